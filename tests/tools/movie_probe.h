// What FFmpeg reads back from a movie file: the first stream's size, pixel
// format and codec, and how many frames it holds.
#pragma once

#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tooltest {

struct MovieInfo {
  int frames = 0, width = 0, height = 0;
  AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
  AVCodecID codec = AV_CODEC_ID_NONE;
};

inline MovieInfo Probe(const std::string& path) {
  MovieInfo info;
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return info;
  avformat_find_stream_info(input, nullptr);
  info.width = input->streams[0]->codecpar->width;
  info.height = input->streams[0]->codecpar->height;
  info.pixelFormat = static_cast<AVPixelFormat>(input->streams[0]->codecpar->format);
  info.codec = input->streams[0]->codecpar->codec_id;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(input, packet) >= 0) {
    ++info.frames;
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&input);
  return info;
}

}  // namespace tooltest
