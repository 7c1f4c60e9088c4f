// The kernel port device on a system without one: the interface every
// stand-in implements (the virtual camera, the parallel port over
// libieee1284, the replay of a recorded session), the registry that
// ZARNCAP_CAMERA picks a backend from, and the hook through which a recorder
// wraps whichever backend opens.
#pragma once

#include <memory>
#include <string>

#include "platform/types.h"

namespace platform {

// A stand-in for the kernel port device: it answers device-control requests
// exactly as the real device would, reading and writing the caller's memory at
// the addresses the request records carry.
class PortDeviceBackend {
 public:
  virtual ~PortDeviceBackend() = default;
  virtual BOOL Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                       DWORD* bytesReturned) = 0;
};

// Makes a backend from the options after "name:" in ZARNCAP_CAMERA. Returns
// nullptr and fills error when the options are bad.
using PortDeviceFactory = std::unique_ptr<PortDeviceBackend> (*)(const std::string& options, std::string* error);
void RegisterPortDeviceBackend(const std::string& name, PortDeviceFactory factory);

// Puts a recorder in front of a backend that has just opened: ZARNCAP_RECORD
// names the file, cameraSpec is what ZARNCAP_CAMERA said. nullptr with *error
// when the recording cannot be written (the device then does not open).
using PortDeviceRecorderFactory = std::unique_ptr<PortDeviceBackend> (*)(std::unique_ptr<PortDeviceBackend> backend,
                                                                        const std::string& cameraSpec,
                                                                        const std::string& path, std::string* error);
void RegisterPortDeviceRecorder(PortDeviceRecorderFactory factory);

// The backend the current CreatePortDevice handle talks to (nullptr if none);
// lets tests inspect the virtual device behind an open handle. With a
// recording on, this is the recorder in front of the backend.
PortDeviceBackend* OpenPortDeviceBackend();

}  // namespace platform
