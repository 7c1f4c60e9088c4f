#include "tools/zarncap/commands/picture_check.h"

#include <cmath>
#include <cstdio>

namespace zarncap {
namespace {

// A spread below this many levels is a flat picture.
constexpr int kFlatSpread = 4;
// Neighbours as far apart as random samples of the picture would be: for
// independent samples the mean neighbour difference is about 1.13 standard
// deviations; a scene keeps it well under half of one.
constexpr double kNoiseRatio = 0.9;

}  // namespace

PictureVerdict JudgePicture(std::span<const uint8_t> rgb, int width, int height) {
  PictureVerdict verdict;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
  if (width < 2 || height < 1 || rgb.size() < count) {
    verdict.why = "no picture: the frame is smaller than its size";
    return verdict;
  }
  int low = 255, high = 0;
  double sum = 0, squares = 0, neighbours = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int value = rgb[i];
    low = value < low ? value : low;
    high = value > high ? value : high;
    sum += value;
    squares += static_cast<double>(value) * value;
    // The same colour of the pixel on the left, within the row.
    if (i % (static_cast<std::size_t>(width) * 3) >= 3) neighbours += std::abs(value - rgb[i - 3]);
  }
  const double n = static_cast<double>(count);
  verdict.mean = sum / n;
  const double deviation = std::sqrt(std::fmax(0.0, squares / n - verdict.mean * verdict.mean));
  const double neighbourMean = neighbours / (n - 3.0 * height);
  char text[160];
  if (high - low < kFlatSpread) {
    if (low == high) {
      std::snprintf(text, sizeof text, "a flat picture: every byte is %d", low);
    } else {
      std::snprintf(text, sizeof text, "a flat picture: every byte is between %d and %d", low, high);
    }
    verdict.why = text;
    return verdict;
  }
  if (neighbourMean > kNoiseRatio * deviation) {
    std::snprintf(text, sizeof text,
                  "all noise: neighbouring pixels differ by %.0f on average, as much as random values would", neighbourMean);
    verdict.why = text;
    return verdict;
  }
  verdict.picture = true;
  return verdict;
}

}  // namespace zarncap
