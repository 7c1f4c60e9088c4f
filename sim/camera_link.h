// The narrow interface between the virtual kernel port device and the virtual
// camera at the far end of the cable. The device decodes requests, keeps port
// state and transfer phases, and hands the camera only what travels on the
// wire: command bytes, data blocks, frames, the ready line and the reset lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace sim {

struct SimConfig;

// How bytes travel from camera to host in the current transfer.
enum class ReverseMode { Nibble, Byte, Ecp };

class CameraLink {
 public:
  virtual ~CameraLink() = default;

  // The IEEE 1284 device ID text the camera reports (without its length field).
  virtual std::string DeviceIdText() const = 0;

  // Whether the camera is on the cable at all. Once it says no (unplugged), the
  // port device finds no peripheral there: negotiations and frame transfers
  // fail and the ready poll reads "not ready".
  virtual bool Present() const { return true; }

  // A byte put on the port's output lines by IOCTL_PORT_OUT_A / IOCTL_PORT_OUT_B
  // (the driver's camera reset pulses these).
  virtual void OutputA(uint8_t value) = 0;
  virtual void OutputB(uint8_t value) = 0;

  // One command byte as it appears on the wire. False = the camera did not take it.
  virtual bool Command(uint8_t wireByte) = 0;
  // A forward data block (host -> camera).
  virtual bool Write(const uint8_t* data, size_t count) = 0;
  // A reverse data block (camera -> host). False = the camera had nothing to send.
  virtual bool Read(uint8_t* data, size_t count, ReverseMode mode) = 0;

  // The ready line that IOCTL_PORT_POLL samples: true when a frame is ready.
  virtual bool FrameReady() = 0;
  // A frame transfer: begin with the driver's mode byte and option, read the
  // frame bytes (exactly count, or up to count when counted), end.
  virtual bool BeginFrame(uint8_t mode, uint8_t option) = 0;
  // Returns the number of bytes delivered into data (0 = failure / nothing).
  virtual uint32_t ReadFrame(uint8_t* data, uint32_t count, bool counted, ReverseMode mode) = 0;
  virtual bool EndFrame() = 0;
};

// The camera the virtual device presents, made from the parsed configuration.
std::unique_ptr<CameraLink> MakeCamera(const SimConfig& config);

}  // namespace sim
