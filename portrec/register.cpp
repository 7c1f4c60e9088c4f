#include "portrec/register.h"

#include "platform/portable/port_device_backend.h"
#include "portrec/recorder.h"
#include "portrec/replay_device.h"

namespace portrec {
namespace {

std::unique_ptr<platform::PortDeviceBackend> MakeReplayBackend(const std::string& options, std::string* error) {
  if (options.empty()) {
    if (error != nullptr) *error = "replay: name the recording (replay:<file>)";
    return nullptr;
  }
  return MakeReplayDevice(options, error);
}

// Whoever loads the library can record and replay without a call.
[[maybe_unused]] const bool registeredAtLoad = (RegisterPortRecording(), true);

}  // namespace

void RegisterPortRecording() {
  platform::RegisterPortDeviceBackend("replay", &MakeReplayBackend);
  platform::RegisterPortDeviceRecorder(&MakeRecorder);
}

bool CheckReplayOptions(const std::string& options, std::string* why) {
  if (options.empty()) {
    *why = "replay: name the recording (replay:<file>)";
    return false;
  }
  PortRecording recording;
  return CheckRecordingFile(options, &recording, why);
}

}  // namespace portrec
