// zarncap info: what the driver's camera details dialog shows, read off the
// dialog itself (DRV_CONFIGURE on a configuration handle, zarncap as the
// owner window). With no channel open the driver searches the ports for the
// camera on its own, and leaves it released.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/zarncap/common/json_text.h"
#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/host/camera_details.h"
#include "tools/zarncap/host/dialog_owner.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

// The details for scripts: port, mode and camera apart, "found" a boolean,
// the title without the blank an empty description leaves.
std::string DetailsJson(const CameraDetails& details) {
  const auto& fields = CameraDetailsFields();
  JsonWriter json;
  json.BeginObject().Key("found").Bool(details.found);
  if (details.found) {
    json.Key("port").String(details.port).Key("mode").String(details.mode).Key("mode_forced").Bool(details.modeForced);
    json.Key("camera").Raw(DialogOwner::JsonText(details.values[1]));
  } else {
    json.Key("port").Null().Key("mode").Null().Key("mode_forced").Bool(false).Key("camera").Null();
  }
  for (std::size_t i = 2; i < details.values.size(); ++i) {
    json.Key(fields[i].key).Raw(DialogOwner::JsonText(details.values[i]));
  }
  const size_t first = details.caption.find_first_not_of(' ');
  json.Key("title").Raw(DialogOwner::JsonText(first == std::string::npos ? "" : details.caption.substr(first)));
  return json.EndObject().Text();
}

}  // namespace

void RunInfo(const GlobalOptions& global, const InfoOptions& options, const Host& host) {
  Session session(global, host, 0);
  const CameraDetails details = ReadCameraDetails(session.Link());
  session.Finish();
  if (options.json) {
    std::fprintf(host.out, "%s\n", DetailsJson(details).c_str());
  } else {
    const auto& fields = CameraDetailsFields();
    for (std::size_t i = 0; i < details.values.size(); ++i) {
      std::fprintf(host.out, "%-15s %s\n", (std::string(fields[i].label) + ":").c_str(), details.values[i].c_str());
    }
  }
  if (!details.found) throw ToolError("no camera found on LPT1-LPT3");
}

}  // namespace zarncap
