// The recorder: a port device put in front of whichever backend opened (the
// virtual camera, the parallel port, a replay) that passes every request on
// and writes it, with its reply and the bytes that moved, to the recording.
// One recording per file and process: every open of the device in the
// process adds to it, so a run that opens the driver several times (zarncap
// check) leaves one recording with its requests in order.
#pragma once

#include <memory>
#include <string>

#include "platform/portable/port_device_backend.h"

namespace portrec {

class RecordingSink;

class Recorder : public platform::PortDeviceBackend {
 public:
  Recorder(std::unique_ptr<platform::PortDeviceBackend> backend, std::shared_ptr<RecordingSink> sink);
  // What is recorded reaches the file when the device closes.
  ~Recorder() override;
  BOOL Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
               DWORD* bytesReturned) override;
  // The backend behind the recorder (tests look at the virtual device).
  platform::PortDeviceBackend& Backend() { return *backend_; }

 private:
  const std::unique_ptr<platform::PortDeviceBackend> backend_;
  const std::shared_ptr<RecordingSink> sink_;
};

// Starts recording to path (the file is replaced at the first open in the
// process, added to at later ones) in front of backend; nullptr with *error
// when the file cannot be written.
std::unique_ptr<platform::PortDeviceBackend> MakeRecorder(std::unique_ptr<platform::PortDeviceBackend> backend,
                                                          const std::string& cameraSpec, const std::string& path,
                                                          std::string* error);

// The next open of path starts a new file (tests that record twice).
void ForgetRecording(const std::string& path);

}  // namespace portrec
