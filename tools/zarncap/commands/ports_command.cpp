// zarncap ports: every parallel port libieee1284 finds, how it is reached,
// what it can do, whether it can be claimed, and the device ID of what is
// attached. It does not load the driver.
#include "parport/register.h"
#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/common/json_text.h"

namespace zarncap {
namespace {

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

std::string PortsJson(const parallel::PortsSurvey& survey) {
  JsonWriter json;
  json.BeginObject().Key("listed").Bool(survey.listed);
  if (!survey.listed) json.Key("error").String(survey.listError);
  json.Key("ports").BeginArray();
  for (const parallel::PortSurvey& port : survey.ports) {
    json.Space("\n  ").BeginObject();
    json.Key("name").String(port.name).Key("file").String(port.file).Key("access").String(port.access);
    json.Key("base").Number(static_cast<long long>(port.base));
    json.Key("capabilities").BeginArray();
    for (const std::string& capability : port.capabilities) json.String(capability);
    json.EndArray();
    json.Key("unused_modes").BeginArray();
    for (const std::string& unused : port.unusedModes) json.String(unused);
    json.EndArray();
    json.Key("probed").Bool(port.probed).Key("opened").Bool(port.opened).Key("claimable").Bool(port.claimable);
    json.Key("usable").Bool(port.usable);
    json.Key("device_id").String(port.deviceId).Key("problem").String(port.problem);
    json.EndObject();
  }
  json.EndArray().EndObject();
  return json.Text() + "\n";
}

// Whether the kernel has ports ppdev offers, reachable or not.
bool AnyKernelPort(const parallel::PortsSurvey& survey) {
  for (const parallel::PortSurvey& port : survey.ports) {
    if (port.access == "ppdev" || port.access == "no access") return true;
  }
  return false;
}

void PrintPorts(const parallel::PortsSurvey& survey, std::FILE* out) {
  if (!survey.listed) {
    std::fprintf(out, "Parallel ports: %s\n", survey.listError.c_str());
    return;
  }
  if (!AnyKernelPort(survey)) {
    std::fprintf(out, "No parallel port offered by the kernel (no /dev/parportN: load ppdev with 'modprobe ppdev'; "
                      "a machine without a parallel port has none).\n");
  }
  for (const parallel::PortSurvey& port : survey.ports) {
    std::fprintf(out, "%-10s %-14s %-10s", port.name.c_str(), port.file.c_str(), port.access.c_str());
    if (port.opened) std::fprintf(out, " [%s]", Joined(port.capabilities).c_str());
    if (port.usable) {
      std::fprintf(out, " claimable; %s\n",
                   port.deviceId.empty() ? "no device ID answered" : ("device: " + port.deviceId).c_str());
    } else {
      std::fprintf(out, " %s\n", port.problem.c_str());
    }
    for (const std::string& unused : port.unusedModes) std::fprintf(out, "%-10s   %s\n", "", unused.c_str());
  }
  if (survey.ports.empty()) std::fprintf(out, "libieee1284 found no port at all.\n");
}

}  // namespace

void RunPorts(const PortsOptions& options, const Host& host) {
  const parallel::PortsSurvey survey = parallel::SurveyPorts();
  if (options.json) {
    std::fputs(PortsJson(survey).c_str(), host.out);
  } else {
    PrintPorts(survey, host.out);
  }
}

}  // namespace zarncap
