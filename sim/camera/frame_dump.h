// Writes every frame the camera delivers to <dir>/frame-<n>.raw (the exact
// bytes put into the host's buffer; the bands of a banded frame together) with
// <dir>/frame-<n>.txt (mode, width, height, dark level, byte counts), so a frame
// can be recomputed outside the driver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class FrameDump {
 public:
  // An empty dir switches dumping off. The folder is created when missing.
  explicit FrameDump(std::string dir);

  bool Enabled() const { return !dir_.empty(); }
  const std::string& Error() const { return error_; }

  // A new frame begins: mode (1 or 2), width, and the rows it has so far.
  void Begin(int mode, int width, int height);
  // More rows of the same frame (a band).
  void AddRows(int rows) { height_ += rows; }
  // Bytes delivered into the host's buffer for the frame.
  void Append(const uint8_t* data, size_t count);
  void SetCountedLength(uint32_t length) { counted_ = length; }
  bool Open() const { return open_; }
  // Writes the frame as number n and closes it.
  void Write(uint32_t number, int dark);

  // The largest frame kept (larger transfers are cut, and the text says so).
  static constexpr size_t kLimit = size_t{1} << 20;

 private:
  std::string dir_;
  std::string error_;
  std::vector<uint8_t> bytes_;
  bool open_ = false;
  bool truncated_ = false;
  int mode_ = 0;
  int width_ = 0;
  int height_ = 0;
  uint64_t delivered_ = 0;
  int64_t counted_ = -1;
};

}  // namespace sim
