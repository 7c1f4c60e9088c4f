// Frame dump files.
#include "sim/camera/frame_dump.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace sim {

FrameDump::FrameDump(std::string dir) : dir_(std::move(dir)) {
  if (dir_.empty()) return;
  std::error_code code;
  std::filesystem::create_directories(dir_, code);
  if (code) error_ = "cannot create dump folder '" + dir_ + "': " + code.message();
  bytes_.reserve(kLimit);
}

void FrameDump::Begin(int mode, int width, int height) {
  open_ = true;
  truncated_ = false;
  mode_ = mode;
  width_ = width;
  height_ = height;
  delivered_ = 0;
  counted_ = -1;
  bytes_.clear();
}

void FrameDump::Append(const uint8_t* data, size_t count) {
  if (!open_) return;
  delivered_ += count;
  size_t room = kLimit - bytes_.size();
  if (count > room) {
    truncated_ = true;
    count = room;
  }
  bytes_.insert(bytes_.end(), data, data + count);
}

void FrameDump::Write(uint32_t number, int dark) {
  if (!open_) return;
  open_ = false;
  std::string base = dir_ + "/frame-" + std::to_string(number);
  using File = std::unique_ptr<FILE, int (*)(FILE*)>;
  File raw(std::fopen((base + ".raw").c_str(), "wb"), &std::fclose);
  if (!raw || std::fwrite(bytes_.data(), 1, bytes_.size(), raw.get()) != bytes_.size()) {
    error_ = "cannot write " + base + ".raw";
    return;
  }
  File text(std::fopen((base + ".txt").c_str(), "w"), &std::fclose);
  if (!text) {
    error_ = "cannot write " + base + ".txt";
    return;
  }
  std::fprintf(text.get(), "mode %d\nwidth %d\nheight %d\ndark %d\nbytes %llu\n", mode_, width_, height_, dark,
               static_cast<unsigned long long>(delivered_));
  if (counted_ >= 0) std::fprintf(text.get(), "counted %lld\n", static_cast<long long>(counted_));
  if (truncated_) std::fprintf(text.get(), "truncated %zu\n", bytes_.size());
}

}  // namespace sim
