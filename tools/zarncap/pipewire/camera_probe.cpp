#include "tools/zarncap/pipewire/camera_probe.h"

#include <cctype>

#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/camera_details.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/pipewire/camera_feed.h"

namespace zarncap {
namespace {

std::string Lowered(const std::string& text) {
  std::string name;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    name += std::isalnum(u) ? static_cast<char>(std::tolower(u)) : '-';
  }
  return name;
}

}  // namespace

CameraProbe ProbeCamera(CameraFeed& feed, const GlobalOptions& global, const Host& host) {
  CameraProbe probe;
  feed.Open();
  probe.formats = OfferedNodeFormats(feed.Video());
  if (probe.formats.empty()) throw ToolError("pipewire: the driver takes none of the formats PipeWire has a name for");
  probe.controls = feed.ApplyControls({});
  {
    Session configuration(ForSecondChannel(global), host, 0);
    const CameraDetails details = ReadCameraDetails(configuration.Link());
    configuration.Finish();
    probe.model = details.Model();
    probe.port = details.port;
  }
  feed.Close();
  return probe;
}

std::string NodeName(const CameraProbe& probe) { return "zarncap." + Lowered(probe.model) + "." + Lowered(probe.port); }

std::string NodeDescription(const CameraProbe& probe) { return "Zarn camera " + probe.model + " on " + probe.port; }

}  // namespace zarncap
