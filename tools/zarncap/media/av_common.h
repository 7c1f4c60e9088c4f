// What the two FFmpeg writers (raw video, encoded video) share: error texts
// and the presentation times of the frames they write.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/error.h>
}

#include "platform/types.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/media/video_writers.h"

namespace zarncap {

inline std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// A failed libav call while writing the movie `name`.
[[noreturn]] inline void ThrowAvFailure(const std::string& name, const std::string& what, int code) {
  throw ToolError("cannot write " + name + ": " + what + " (" + AvErrorText(code) + ")");
}

// libavformat's name of the container.
inline const char* MuxerOf(Container container) {
  switch (container) {
    case Container::kAvi: return "avi";
    case Container::kMatroska: return "matroska";
    case Container::kMp4: return "mp4";
  }
  return "";
}

// Frame times: counted frames (AVI), or the driver's capture times in ms from
// the first frame, always rising (Matroska, MP4).
class FrameClock {
 public:
  explicit FrameClock(bool captureTimes) : captureTimes_(captureTimes) {}
  int64_t Next(DWORD timeMs) {
    int64_t pts = frames_;
    if (captureTimes_) {
      if (frames_ == 0) firstTime_ = timeMs;
      pts = static_cast<int64_t>(static_cast<DWORD>(timeMs - firstTime_));
      if (frames_ > 0 && pts <= last_) pts = last_ + 1;
    }
    last_ = pts;
    ++frames_;
    return pts;
  }
  int64_t Frames() const { return frames_; }

 private:
  bool captureTimes_;
  int64_t frames_ = 0;
  int64_t last_ = 0;
  DWORD firstTime_ = 0;
};

}  // namespace zarncap
