// Compressed movies through libavcodec and libavformat: H.264 (libx264, a
// constant rate factor) in MP4 or Matroska, Motion JPEG in AVI or Matroska.
// Every frame is turned into 4:2:0 first, whatever the driver delivers.
// MP4 and Matroska keep each frame's capture time; AVI counts frames at the
// delivered rate.
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include "tools/zarncap/media/av_common.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/media/video_writers.h"

namespace zarncap {
namespace {


// JPEG's quality 1..100 as the encoder's quantiser scale 31..2.
int MjpegScale(int quality) { return 2 + (100 - quality) * 29 / 99; }

class EncodedWriter : public VideoWriter {
 public:
  EncodedWriter(const std::string& path, std::string name, const EncodedMovie& movie, int width, int height,
                FrameRate rate)
      : name_(std::move(name)), container_(movie.container), clock_(movie.container != Container::kAvi), width_(width),
        height_(height),
        i420_(I420Bytes(width, height)), rgb_(static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
    try {
      Open(path, movie, rate);
    } catch (...) {
      Cleanup();
      throw;
    }
  }
  ~EncodedWriter() override { Cleanup(); }

  void WriteFrame(const Frame& frame, DWORD timeMs) override {
    if (frame.width != width_ || frame.height != height_ || !FrameToI420(frame, i420_, rgb_)) {
      throw ToolError("a frame from the driver does not match the stream's format");
    }
    int rc = av_frame_make_writable(picture_);
    if (rc < 0) Fail("cannot reuse the picture", rc);
    CopyPlanes();
    picture_->pts = clock_.Next(timeMs);
    Encode(picture_);
  }

  void Finish() override {
    Encode(nullptr);  // what the encoder still holds
    int rc = av_write_trailer(format_);
    if (rc < 0) Fail("cannot finish", rc);
    rc = avio_closep(&format_->pb);
    if (rc < 0) Fail("cannot close", rc);
  }

 private:
  void Open(const std::string& path, const EncodedMovie& movie, FrameRate rate) {
    const bool h264 = movie.codec == VideoCodec::kH264;
    const AVCodec* codec = h264 ? avcodec_find_encoder_by_name("libx264") : avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (codec == nullptr) {
      throw ToolError(std::string("cannot write ") + name_ + ": this FFmpeg has no " + (h264 ? "libx264" : "MJPEG") +
                      " encoder");
    }
    int rc = avformat_alloc_output_context2(&format_, nullptr, MuxerOf(container_), path.c_str());
    if (rc < 0 || format_ == nullptr) Fail(std::string("cannot start the ") + MuxerOf(container_) + " muxer", rc);
    stream_ = avformat_new_stream(format_, nullptr);
    encoder_ = avcodec_alloc_context3(codec);
    picture_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (stream_ == nullptr || encoder_ == nullptr || picture_ == nullptr || packet_ == nullptr) {
      Fail("out of memory", AVERROR(ENOMEM));
    }
    encoder_->width = width_;
    encoder_->height = height_;
    encoder_->framerate = AVRational{static_cast<int>(rate.num), static_cast<int>(rate.den)};
    encoder_->time_base = container_ == Container::kAvi
                              ? AVRational{static_cast<int>(rate.den), static_cast<int>(rate.num)}
                              : AVRational{1, 1000};
    if (h264) {
      encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
      av_opt_set_int(encoder_->priv_data, "crf", movie.crf, 0);
      av_opt_set(encoder_->priv_data, "preset", "veryfast", 0);  // keeps up with the camera on one core
    } else {
      encoder_->pix_fmt = AV_PIX_FMT_YUVJ420P;  // full-range 4:2:0, as the tool converts
      encoder_->flags |= AV_CODEC_FLAG_QSCALE;
      encoder_->global_quality = FF_QP2LAMBDA * MjpegScale(movie.quality);
    }
    encoder_->color_range = AVCOL_RANGE_JPEG;
    if ((format_->oformat->flags & AVFMT_GLOBALHEADER) != 0) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    rc = avcodec_open2(encoder_, codec, nullptr);
    if (rc < 0) Fail("cannot start the encoder", rc);
    rc = avcodec_parameters_from_context(stream_->codecpar, encoder_);
    if (rc < 0) Fail("cannot describe the stream", rc);
    stream_->time_base = encoder_->time_base;
    stream_->avg_frame_rate = encoder_->framerate;

    picture_->format = encoder_->pix_fmt;
    picture_->width = width_;
    picture_->height = height_;
    rc = av_frame_get_buffer(picture_, 0);
    if (rc < 0) Fail("cannot allocate a picture", rc);

    rc = avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) Fail("cannot open", rc);
    rc = avformat_write_header(format_, nullptr);
    if (rc < 0) Fail("cannot write the header", rc);
  }

  // The tool's I420 (planes back to back) into the encoder's picture.
  void CopyPlanes() {
    const int chromaWidth = (width_ + 1) / 2, chromaHeight = (height_ + 1) / 2;
    const uint8_t* source = i420_.data();
    const int widths[3] = {width_, chromaWidth, chromaWidth};
    const int heights[3] = {height_, chromaHeight, chromaHeight};
    for (int plane = 0; plane < 3; ++plane) {
      for (int row = 0; row < heights[plane]; ++row) {
        std::memcpy(picture_->data[plane] + static_cast<ptrdiff_t>(row) * picture_->linesize[plane], source,
                    static_cast<size_t>(widths[plane]));
        source += widths[plane];
      }
    }
  }

  // Hands a picture (or the end, nullptr) to the encoder and writes what comes out.
  void Encode(const AVFrame* picture) {
    int rc = avcodec_send_frame(encoder_, picture);
    if (rc < 0) Fail("cannot encode a frame", rc);
    for (;;) {
      rc = avcodec_receive_packet(encoder_, packet_);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
      if (rc < 0) Fail("cannot encode a frame", rc);
      av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      rc = av_interleaved_write_frame(format_, packet_);
      if (rc < 0) Fail("cannot write a frame", rc);
    }
  }

  void Cleanup() {
    av_packet_free(&packet_);
    av_frame_free(&picture_);
    avcodec_free_context(&encoder_);
    if (format_ != nullptr) {
      if (format_->pb != nullptr) avio_closep(&format_->pb);
      avformat_free_context(format_);
      format_ = nullptr;
    }
  }

  [[noreturn]] void Fail(const std::string& what, int code) { ThrowAvFailure(name_, what, code); }

  std::string name_;
  Container container_;
  FrameClock clock_;
  int width_, height_;
  std::vector<uint8_t> i420_, rgb_;
  AVFormatContext* format_ = nullptr;
  AVStream* stream_ = nullptr;
  AVCodecContext* encoder_ = nullptr;
  AVFrame* picture_ = nullptr;
  AVPacket* packet_ = nullptr;
};

}  // namespace

std::unique_ptr<VideoWriter> MakeEncodedWriter(const std::string& path, std::string name, const EncodedMovie& movie,
                                               int width, int height, FrameRate rate) {
  av_log_set_level(AV_LOG_ERROR);
  return std::make_unique<EncodedWriter>(path, std::move(name), movie, width, height, rate);
}

}  // namespace zarncap
