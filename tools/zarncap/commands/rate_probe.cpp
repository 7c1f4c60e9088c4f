#include "tools/zarncap/commands/rate_probe.h"

#include <cstdio>

namespace zarncap {

FrameRate DeliveredRate(const std::vector<DWORD>& times, FrameRate fallback) {
  if (times.size() < 2) return fallback;
  const DWORD span = times.back() - times.front();
  if (span == 0) return fallback;
  const double fps = 1000.0 * static_cast<double>(times.size() - 1) / static_cast<double>(span);
  return FrameRateOf(fps);
}

RateProbeWriter::RateProbeWriter(FrameRate asked, Factory make, std::function<void(const std::string&)> warn)
    : asked_(asked), rate_(asked), make_(std::move(make)), warn_(std::move(warn)) {}

void RateProbeWriter::WriteFrame(const Frame& frame, DWORD timeMs) {
  if (writer_) {
    writer_->WriteFrame(frame, timeMs);
    return;
  }
  Held held{frame, std::vector<uint8_t>(frame.data.begin(), frame.data.end()), timeMs};
  held_.push_back(std::move(held));
  if (held_.size() < kProbeFrames) return;
  std::vector<DWORD> times;
  for (const Held& h : held_) times.push_back(h.timeMs);
  Start(DeliveredRate(times, asked_));
}

void RateProbeWriter::Start(FrameRate rate) {
  rate_ = rate;
  if (rate.Value() < asked_.Value() * 0.95 && warn_) {
    char text[160];
    std::snprintf(text, sizeof text, "the camera delivers %.2f fps, not the %.2f asked for; the movie says %.2f", rate.Value(),
                  asked_.Value(), rate.Value());
    warn_(text);
  }
  writer_ = make_(rate);
  for (Held& h : held_) {
    h.frame.data = std::span<const uint8_t>(h.bytes.data(), h.bytes.size());
    writer_->WriteFrame(h.frame, h.timeMs);
  }
  held_.clear();
}

void RateProbeWriter::Finish() {
  if (!writer_) {
    // Too few frames to wait for more: the rate of those there are.
    std::vector<DWORD> times;
    for (const Held& h : held_) times.push_back(h.timeMs);
    Start(DeliveredRate(times, asked_));
  }
  writer_->Finish();
}

}  // namespace zarncap
