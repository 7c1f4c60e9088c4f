// AVI and Matroska through libavformat: one rawvideo stream in the pixel
// format the driver delivers, rows top-down.
#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
}

#include "tools/zarncap/media/av_common.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/media/video_writers.h"
#include "zarncap/formats.h"

namespace zarncap {
namespace {

// The YUV formats keep the driver's four-character code (the one it keeps:
// IYUV is I420) and bytes, FFmpeg's pixel format naming their layout (the tag
// tells it YV12 and YVU9 store their chroma planes V first); RGB is stored as
// a bottom-up-flipped DIB (tag 0), which both muxers write top-down.
struct RawFormat {
  AVPixelFormat pixelFormat;
  int bitsPerSample;
  uint32_t tag;
};

RawFormat RawFormatOf(const PixelFormat& format) {
  return {av_get_pix_fmt(std::string(format.ffmpeg).c_str()), format.bitCount, format.yuv ? format.stored : 0};
}


class AvWriter : public VideoWriter {
 public:
  AvWriter(const std::string& path, std::string name, Container container, const PixelFormat& format, int width,
           int height, FrameRate rate, std::span<const RGBQUAD> palette)
      : name_(std::move(name)), container_(container), clock_(container != Container::kAvi), width_(width), height_(height),
        frameBytes_(FrameBytes(format, width, height)), buffer_(frameBytes_) {
    try {
      Open(path, container, format, width, height, rate, palette);
    } catch (...) {
      Cleanup();
      throw;
    }
  }

  ~AvWriter() override { Cleanup(); }

  void Open(const std::string& path, Container container, const PixelFormat& format, int width, int height,
            FrameRate rate, std::span<const RGBQUAD> palette) {
    const char* muxer = MuxerOf(container);
    int rc = avformat_alloc_output_context2(&context_, nullptr, muxer, path.c_str());
    if (rc < 0 || context_ == nullptr) Fail("cannot start the " + std::string(muxer) + " muxer", rc);
    stream_ = avformat_new_stream(context_, nullptr);
    if (stream_ == nullptr) Fail("cannot add a video stream", AVERROR(ENOMEM));

    const RawFormat raw = RawFormatOf(format);
    AVCodecParameters* par = stream_->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_RAWVIDEO;
    par->format = raw.pixelFormat;
    par->width = width;
    par->height = height;
    par->bits_per_coded_sample = raw.bitsPerSample;
    par->codec_tag = raw.tag;
    stream_->avg_frame_rate = AVRational{static_cast<int>(rate.num), static_cast<int>(rate.den)};
    stream_->r_frame_rate = stream_->avg_frame_rate;
    // AVI counts frames; Matroska keeps each frame's capture time in ms.
    timeBase_ = container == Container::kAvi ? AVRational{static_cast<int>(rate.den), static_cast<int>(rate.num)}
                                             : AVRational{1, 1000};
    stream_->time_base = timeBase_;

    if (format.layout == Layout::kPal8) {
      // FFmpeg's palette: 256 native-endian 0xAARRGGBB words.
      palette_.assign(256, 0xFF000000u);
      for (size_t i = 0; i < palette.size() && i < 256; ++i) {
        palette_[i] = 0xFF000000u | (static_cast<uint32_t>(palette[i].rgbRed) << 16) |
                      (static_cast<uint32_t>(palette[i].rgbGreen) << 8) | palette[i].rgbBlue;
      }
    }

    rc = avio_open(&context_->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) Fail("cannot open", rc);
    // Matroska keeps raw RGB only as a DIB in its compatibility mode.
    AVDictionary* muxerOptions = nullptr;
    if (container == Container::kMatroska) av_dict_set(&muxerOptions, "allow_raw_vfw", "1", 0);
    rc = avformat_write_header(context_, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (rc < 0) Fail("cannot write the header", rc);
    packet_ = av_packet_alloc();
    if (packet_ == nullptr) Fail("cannot allocate a packet", AVERROR(ENOMEM));
  }

  void Cleanup() {
    av_packet_free(&packet_);
    if (context_ != nullptr) {
      if (context_->pb != nullptr) avio_closep(&context_->pb);
      avformat_free_context(context_);
      context_ = nullptr;
    }
  }

  void WriteFrame(const Frame& frame, DWORD timeMs) override {
    if (frame.width != width_ || frame.height != height_ || !FrameToTopDown(frame, buffer_)) {
      throw ToolError("a frame from the driver does not match the stream's format");
    }
    const bool first = clock_.Frames() == 0;
    const int64_t pts = clock_.Next(timeMs);
    av_packet_unref(packet_);
    packet_->data = buffer_.data();
    packet_->size = static_cast<int>(frameBytes_);
    packet_->stream_index = stream_->index;
    packet_->pts = packet_->dts = av_rescale_q(pts, timeBase_, stream_->time_base);
    packet_->duration = container_ == Container::kAvi ? 1 : 0;
    packet_->flags = AV_PKT_FLAG_KEY;
    if (!palette_.empty() && first) {
      uint8_t* side = av_packet_new_side_data(packet_, AV_PKT_DATA_PALETTE, 256 * 4);
      if (side == nullptr) Fail("cannot attach the palette", AVERROR(ENOMEM));
      std::memcpy(side, palette_.data(), 256 * 4);
    }
    const int rc = av_write_frame(context_, packet_);
    av_packet_unref(packet_);
    if (rc < 0) Fail("cannot write a frame", rc);
  }

  void Finish() override {
    int rc = av_write_trailer(context_);
    if (rc < 0) Fail("cannot finish", rc);
    rc = avio_closep(&context_->pb);
    if (rc < 0) Fail("cannot close", rc);
  }

 private:
  [[noreturn]] void Fail(const std::string& what, int code) { ThrowAvFailure(name_, what, code); }

  std::string name_;
  Container container_;
  FrameClock clock_;
  int width_, height_;
  size_t frameBytes_;
  std::vector<uint8_t> buffer_;
  std::vector<uint32_t> palette_;
  AVFormatContext* context_ = nullptr;
  AVStream* stream_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVRational timeBase_{1, 1000};
};

}  // namespace

std::unique_ptr<VideoWriter> MakeAvWriter(const std::string& path, std::string name, Container container,
                                          const PixelFormat& format, int width, int height, FrameRate rate,
                                          std::span<const RGBQUAD> palette) {
  // FFmpeg's notes on stderr would break the tool's one-line messages; its
  // errors come back as codes and are reported as such.
  av_log_set_level(AV_LOG_ERROR);
  return std::make_unique<AvWriter>(path, std::move(name), container, format, width, height, rate, palette);
}

}  // namespace zarncap
