#include "tools/zarncap/v4l2/face_rate.h"

#include <algorithm>
#include <numeric>

namespace zarncap {

v4l2_fract IntervalOf(std::uint32_t frames) {
  const std::uint32_t divisor = std::gcd(frames, kSensorFramesPerSecond);
  return {frames / divisor, kSensorFramesPerSecond / divisor};
}

std::uint32_t FramesFor(v4l2_fract asked) {
  if (asked.numerator == 0 || asked.denominator == 0) return 1;
  // Rounded to the nearest: frames = numerator / denominator * 15.
  const std::uint64_t frames =
      (2ull * asked.numerator * kSensorFramesPerSecond + asked.denominator) / (2ull * asked.denominator);
  return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(frames, 1, kLongestInterval));
}

std::uint32_t NominalMicroseconds(std::uint32_t frames) { return frames * 1000000u / kSensorFramesPerSecond; }

std::uint32_t DriverMicroseconds(std::uint32_t frames) {
  return (2 * frames + 1) * 1000000u / (2 * kSensorFramesPerSecond);
}

}  // namespace zarncap
