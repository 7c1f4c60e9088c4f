// Moving-picture files: Y4M (written here, 4:2:0), AVI or Matroska through
// FFmpeg's libavformat holding raw video in the driver's own pixel format, and
// compressed movies (H.264, Motion JPEG) through libavcodec.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/types.h"
#include "tools/zarncap/host/format_table.h"
#include "tools/zarncap/media/frame_convert.h"

namespace zarncap {

struct FrameRate {
  unsigned num = 15, den = 1;
  double Value() const { return static_cast<double>(num) / den; }
};
// A frame rate as a reduced fraction (thousandths at most): 15 -> 15/1,
// 12.5 -> 25/2, 29.97 -> 2997/100.
FrameRate FrameRateOf(double fps);

class VideoWriter {
 public:
  virtual ~VideoWriter() = default;
  // One frame as delivered; timeMs is the driver's capture time of it.
  virtual void WriteFrame(const Frame& frame, DWORD timeMs) = 0;
  // Completes the file; throws ToolError.
  virtual void Finish() = 0;
};

// The Y4M stream header: "YUV4MPEG2 W320 H240 F15:1 Ip A1:1 C420jpeg\n".
std::string Y4mHeader(int width, int height, FrameRate rate);

// The bytes of one Y4M frame record ("FRAME\n" and the 4:2:0 picture).
size_t Y4mFrameBytes(int width, int height);
// Cuts a Y4M file after its last whole frame; the frames it keeps (0 when
// not even the header is whole).
long KeepWholeY4mFrames(const std::string& path, size_t frameBytes);

class Y4mWriter : public VideoWriter {
 public:
  // name is how messages call the destination ("standard output", a path).
  Y4mWriter(std::FILE* out, std::string name, int width, int height, FrameRate rate);
  void WriteFrame(const Frame& frame, DWORD timeMs) override;
  void Finish() override;

 private:
  void Write(const void* data, size_t size);
  std::FILE* out_;
  std::string name_;
  int width_, height_;
  std::vector<uint8_t> i420_, rgb_;
};

enum class Container { kAvi, kMatroska, kMp4 };
enum class VideoCodec { kRaw, kMjpeg, kH264 };

// A libavformat muxer writing rawvideo to path (the container is given, not
// guessed from the name, so path may be a temporary name).
std::unique_ptr<VideoWriter> MakeAvWriter(const std::string& path, std::string name, Container container,
                                          const PixelFormat& format, int width, int height, FrameRate rate,
                                          std::span<const RGBQUAD> palette);

struct EncodedMovie {
  Container container = Container::kMp4;
  VideoCodec codec = VideoCodec::kH264;
  int crf = 23;      // H.264's constant rate factor, 0 (lossless) to 51
  int quality = 90;  // Motion JPEG's quality, 1 to 100
};

// A compressed movie at path; H.264 needs an even width and height.
std::unique_ptr<VideoWriter> MakeEncodedWriter(const std::string& path, std::string name, const EncodedMovie& movie,
                                               int width, int height, FrameRate rate);

}  // namespace zarncap
