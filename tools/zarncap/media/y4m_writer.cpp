// Y4M: a text header, then "FRAME\n" and the Y, Cb, Cr planes of each frame.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <numeric>

#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/media/video_writers.h"

namespace zarncap {

FrameRate FrameRateOf(double fps) {
  const auto thousandths = static_cast<unsigned long>(fps * 1000.0 + 0.5);
  if (thousandths == 0) return {1, 1000};
  const unsigned long divisor = std::gcd(thousandths, 1000ul);
  return {static_cast<unsigned>(thousandths / divisor), static_cast<unsigned>(1000ul / divisor)};
}

std::string Y4mHeader(int width, int height, FrameRate rate) {
  // C420jpeg: chroma sited between the luma rows and columns, as the camera's
  // and the tool's 4:2:0 chroma is (one sample for each 2 x 2 block).
  return "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F" + std::to_string(rate.num) +
         ":" + std::to_string(rate.den) + " Ip A1:1 C420jpeg\n";
}

Y4mWriter::Y4mWriter(std::FILE* out, std::string name, int width, int height, FrameRate rate)
    : out_(out), name_(std::move(name)), width_(width), height_(height),
      i420_(I420Bytes(width, height)), rgb_(static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
  const std::string header = Y4mHeader(width, height, rate);
  Write(header.data(), header.size());
}

void Y4mWriter::Write(const void* data, size_t size) {
  if (std::fwrite(data, 1, size, out_) != size) {
    const int error = errno != 0 ? errno : EIO;
    if (error == EPIPE) throw ReaderGone("the reader of " + name_ + " went away");
    throw ToolError("cannot write " + name_ + ": " + std::strerror(error));
  }
}

void Y4mWriter::WriteFrame(const Frame& frame, DWORD) {
  if (frame.width != width_ || frame.height != height_ || !FrameToI420(frame, i420_, rgb_)) {
    throw ToolError("a frame from the driver does not match the stream's format");
  }
  static constexpr char kFrame[] = "FRAME\n";
  Write(kFrame, sizeof kFrame - 1);
  Write(i420_.data(), i420_.size());
}

size_t Y4mFrameBytes(int width, int height) { return 6 + I420Bytes(width, height); }

long KeepWholeY4mFrames(const std::string& path, size_t frameBytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  long headerBytes = 0;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    ++headerBytes;
    if (c == '\n') break;
  }
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fclose(file);
  if (headerBytes == 0 || size < headerBytes || frameBytes == 0) return 0;
  const long frames = (size - headerBytes) / static_cast<long>(frameBytes);
  if (::truncate(path.c_str(), headerBytes + frames * static_cast<long>(frameBytes)) != 0) return 0;
  return frames;
}

void Y4mWriter::Finish() {
  if (std::fflush(out_) != 0 || std::ferror(out_) != 0) {
    throw ToolError("cannot write " + name_ + ": " + std::strerror(errno != 0 ? errno : EIO));
  }
}

}  // namespace zarncap
