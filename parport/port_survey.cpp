#include "parport/port_survey.h"

#include <unistd.h>

#include <cerrno>

#include "parport/port_problems.h"
#include "parport/port_search.h"

namespace parallel {
namespace {

constexpr std::size_t kDeviceIdRoom = 1024;

std::string DeviceIdOf(const Ieee1284Calls& calls, parport* port) {
  char buffer[kDeviceIdRoom] = {};
  const ssize_t got = calls.getDeviceId(port, -1, F1284_FRESH, buffer, sizeof buffer - 1);
  if (got <= 2) return "";
  std::string text(buffer + 2, static_cast<std::size_t>(got) - 2);
  return text.substr(0, text.find('\0'));
}

void SurveyOpenPort(const Ieee1284Calls& calls, parport* port, PortSurvey& survey) {
  if (const std::string holder = calls.portHolder(port); !holder.empty()) {
    survey.problem = BusyProblem(port, holder);
  } else if (calls.claim(port) == E1284_OK) {
    survey.claimable = true;
    calls.release(port);
    survey.deviceId = DeviceIdOf(calls, port);
  } else {
    survey.problem = BusyProblem(port, "");
  }
  survey.usable = survey.claimable;
}

}  // namespace

std::vector<std::string> CapabilityNames(int caps) {
  static const struct {
    int bit;
    const char* name;
  } kNames[] = {{CAP1284_RAW, "raw"},       {CAP1284_NIBBLE, "nibble"}, {CAP1284_BYTE, "byte"},
                {CAP1284_COMPAT, "compat"}, {CAP1284_BECP, "BECP"},     {CAP1284_ECP, "ECP"},
                {CAP1284_ECPRLE, "ECP-RLE"}, {CAP1284_ECPSWE, "ECP-SWE"}, {CAP1284_EPP, "EPP"},
                {CAP1284_EPPSL, "EPP-1.7"}, {CAP1284_EPPSWE, "EPP-SWE"}, {CAP1284_IRQ, "IRQ"},
                {CAP1284_DMA, "DMA"}};
  std::vector<std::string> names;
  for (const auto& entry : kNames) {
    if ((caps & entry.bit) != 0) names.emplace_back(entry.name);
  }
  return names;
}

PortsSurvey SurveyPorts(const Ieee1284Calls& calls, bool devPortPresent) {
  PortsSurvey result;
  PortList list(calls);
  result.listed = list.Found();
  if (!result.listed) {
    result.listError = "libieee1284 could not list the ports";
    return result;
  }
  for (parport* port : list.All()) {
    PortSurvey survey;
    survey.name = port->name != nullptr ? port->name : "";
    survey.file = port->filename != nullptr ? port->filename : "";
    survey.base = port->base_addr;
    const PortAccess access = AccessOf(port);
    survey.access = AccessName(access);
    if (access == PortAccess::DirectIo && devPortPresent) {
      // Opening a direct I/O port pokes its registers: only on the user's word.
      survey.probed = false;
      survey.problem = "not probed: direct I/O touches the hardware registers; name it to use it (--camera parport:" +
                       survey.name + ", as root)";
      result.ports.push_back(survey);
      continue;
    }
    errno = 0;
    int caps = 0;
    const int status = calls.open(port, 0, &caps);
    const int error = errno;
    if (status != E1284_OK) {
      survey.problem = OpenProblem(port, status, error);
      result.ports.push_back(survey);
      continue;
    }
    survey.opened = true;
    survey.capabilities = CapabilityNames(caps);
    SurveyOpenPort(calls, port, survey);
    calls.close(port);
    result.ports.push_back(survey);
  }
  return result;
}

PortsSurvey SurveyPorts() { return SurveyPorts(SystemIeee1284(), access("/dev/port", F_OK) == 0); }

}  // namespace parallel
