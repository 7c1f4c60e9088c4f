// A movie's frame rate as the driver delivers it, not as it was asked for: the
// first frames are held back until their capture times tell the rate, then
// the real writer is made with that rate and given them, and every later
// frame goes straight through.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/zarncap/media/video_writers.h"

namespace zarncap {

class RateProbeWriter : public VideoWriter {
 public:
  using Factory = std::function<std::unique_ptr<VideoWriter>(FrameRate rate)>;
  // asked: the rate the user asked for, taken when too few frames arrive to
  // measure one. warn: told once when the delivered rate falls short of it.
  RateProbeWriter(FrameRate asked, Factory make, std::function<void(const std::string&)> warn);

  void WriteFrame(const Frame& frame, DWORD timeMs) override;
  void Finish() override;

  // The rate written into the movie (the asked one until it is known).
  FrameRate Rate() const { return rate_; }

  // Frames held back to measure the rate: their intervals give it.
  static constexpr size_t kProbeFrames = 5;

 private:
  void Start(FrameRate rate);

  FrameRate asked_;
  FrameRate rate_;
  Factory make_;
  std::function<void(const std::string&)> warn_;
  std::unique_ptr<VideoWriter> writer_;
  struct Held {
    Frame frame;
    std::vector<uint8_t> bytes;
    DWORD timeMs;
  };
  std::vector<Held> held_;
};

// The rate of frames captured at these times (ms): the mean interval's.
FrameRate DeliveredRate(const std::vector<DWORD>& times, FrameRate fallback);

}  // namespace zarncap
