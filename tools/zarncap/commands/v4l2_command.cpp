// zarncap v4l2 [--device PATH] -- APP [ARGS...]: runs APP with the camera
// present as a V4L2 video-capture device. This process hosts the driver (one
// video-in channel, one external-in channel for the settings dialog) and
// serves the device to every process of APP through the preloaded library.
#include <filesystem>

#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/host/cpu_time.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/library_path.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/host/source_controls.h"
#include "tools/zarncap/v4l2/face_device.h"
#include "tools/zarncap/v4l2/face_server.h"

namespace zarncap {
namespace {

constexpr const char* kCard = "Parallel port colour camera";
constexpr const char* kPreloadName = "libzarncap-v4l2.so";

// The preload library beside the driver library zarncap loads.
std::string PreloadLibrary() {
  const std::filesystem::path driver = std::filesystem::absolute(LocateDriverLibrary());
  const std::filesystem::path preload = driver.parent_path() / kPreloadName;
  if (!std::filesystem::exists(preload)) {
    throw ToolError("v4l2: " + preload.string() + " is missing (it is built and installed beside " +
                    driver.filename().string() + ")");
  }
  return preload.string();
}

std::vector<std::pair<std::string, std::string>> Shown(const std::vector<ControlValue>& controls) {
  std::vector<std::pair<std::string, std::string>> shown;
  for (const ControlValue& control : controls) shown.emplace_back(control.name, control.value);
  return shown;
}

}  // namespace

int RunV4l2(const GlobalOptions& global, const V4l2Options& options, const Host& host) {
  if (options.command.empty()) throw ToolError("v4l2: name the program to run after --", kExitUsage);
  const FacePlace place = options.device.empty() ? FreeDevicePlace() : NamedDevicePlace(options.device);
  const std::string preload = PreloadLibrary();
  std::unique_ptr<Session> opened;
  try {
    opened = std::make_unique<Session>(global, host, VIDEO_IN);
  } catch (const ToolError& error) {
    // No camera (or a busy port): the application runs all the same and finds
    // no device at the path, as with an unplugged one.
    KeepInOrder(host, host.err);
    std::fprintf(host.err, "zarncap: error: %s; %s runs without it (there is no %s)\n", error.what(),
                 options.command.front().c_str(), place.devicePath.c_str());
    std::fflush(host.err);
    const int status = RunWithoutCamera(preload, place, options.command);
    return status != 0 ? status : kExitFailure;
  }
  Session& video = *opened;
  Session settings(ForSecondChannel(global), host, VIDEO_EXTERNALIN);
  FaceFormats formats(video.Link());
  if (formats.All().empty()) throw ToolError("v4l2: the driver takes none of the formats V4L2 has a name for");

  DriverLink& settingsLink = settings.Link();
  FaceControlValues controls(Shown(RunSettingsDialog(settingsLink, {})), [&settingsLink](const ControlSets& sets) {
    try {
      RunSettingsDialog(settingsLink, sets);
      return true;
    } catch (const ToolError&) {
      return false;
    }
  });
  FaceSetup setup;
  setup.card = kCard;
  setup.busInfo = "parport:" + (global.port.empty() ? std::string("LPT1") : global.port);
  int status = 0;
  {
    FaceDevice device(video.Link(), std::move(formats), std::move(controls), setup);
    FaceServer server(device, place, kCard);
    Say(host, host.err, "zarncap: the camera is %s\n", place.devicePath.c_str());
    std::fflush(host.err);
    const double cpuBefore = ProcessCpuMs();
    status = server.Run(preload, options.command);
    if (device.FramesDelivered() > 0) {
      Detail(host, "v4l2: %llu frames delivered, %.2f ms of CPU per frame in zarncap",
             static_cast<unsigned long long>(device.FramesDelivered()),
             (ProcessCpuMs() - cpuBefore) / static_cast<double>(device.FramesDelivered()));
    }
  }
  settings.Finish();
  video.Finish();
  return status;
}

}  // namespace zarncap
