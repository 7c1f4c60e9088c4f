// The replay: a port device that answers from a recording
// (ZARNCAP_CAMERA=replay:<file>). Each request the driver sends is matched
// against the next recorded one on everything but the addresses (which differ
// from process to process); the recorded reply, the bytes read and the count
// stored then go back to the driver, so its run reproduces the recorded one.
// A run of ready polls is matched as a run, whatever its length, since how
// often the driver polls depends on timing, and the port's release matches
// the recording's next release, passing over a frame or two the recorded
// session took before it closed. The first request that differs
// stops the replay with a message naming it; from then on every request fails,
// as a device that went away would, so the driver ends with its usual failure.
#pragma once

#include <memory>
#include <string>

#include "platform/portable/port_device_backend.h"
#include "portrec/port_recording.h"

namespace portrec {

class ReplayState;

class ReplayDevice : public platform::PortDeviceBackend {
 public:
  explicit ReplayDevice(std::shared_ptr<ReplayState> state);
  BOOL Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
               DWORD* bytesReturned) override;
  // The message the replay stopped with ("" while it follows the recording).
  std::string Divergence() const;

 private:
  const std::shared_ptr<ReplayState> state_;
};

// Reads the recording at path; nullptr with *error ("replay: <path>: <why>")
// when it cannot be read or is not a recording. Every open in the process
// continues where the last one stopped, until the recording has been played
// to its end or has diverged; the next open then starts it again.
std::unique_ptr<platform::PortDeviceBackend> MakeReplayDevice(const std::string& path, std::string* error);

// Reads and checks a recording without replaying it (a host's check of
// --camera replay:<file>); false with the reason.
bool CheckRecordingFile(const std::string& path, PortRecording* recording, std::string* error);

// The next open of path starts from the recording's first request.
void ForgetReplay(const std::string& path);

}  // namespace portrec
