// The camera's frame readout.
#include "sim/camera/frame_builder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace sim {
namespace {

constexpr int kRowOffset = 4;  // window row numbers run 4 ahead of sensor rows

inline uint8_t ToByte(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// count sites of one sensor row from `column` on, every second one, with noise
// and the dark level, into out.
template <bool kNoisy>
void ReadSites(const SensorModel& sensor, const int16_t* row, int column, int count, Random& random, uint8_t* out) {
  int dark = sensor.Dark();
  int inside = row == nullptr ? 0 : std::clamp((kSensorColumns - column + 1) / 2, 0, count);
  const int16_t* site = inside > 0 ? row + column : nullptr;
  for (int i = 0; i < inside; ++i, site += 2) {
    int value = sensor.Exposed(*site);
    if constexpr (kNoisy) value += sensor.Noise(random);
    out[i] = ToByte(((value + 8) >> 4) + dark);
  }
  for (int i = inside; i < count; ++i) {
    int value = 0;
    if constexpr (kNoisy) value += sensor.Noise(random);
    out[i] = ToByte(((value + 8) >> 4) + dark);
  }
}

// One site for the mode-2 arithmetic: noisy, limited to what the converter
// holds, dark level already taken off.
inline int Sample(const SensorModel& sensor, int row, int column, Random& random) {
  int value = sensor.Exposed(sensor.Signal(row, column));
  if (sensor.Noisy()) value += sensor.Noise(random);
  return std::clamp(value, 0, sensor.Saturation());
}

}  // namespace

WindowGeometry WindowFromCommand(uint16_t firstRow, uint16_t endRow, uint16_t firstPair, uint16_t columns) {
  WindowGeometry window;
  window.firstRow = firstRow;
  window.endRow = std::min<int>(endRow, firstRow + kSensorRows);
  window.firstPair = std::min<int>(firstPair, kSensorColumns / 2);
  window.columns = std::min<int>(columns, kSensorColumns);
  return window;
}

size_t BuildWindowFrame(const SensorModel& sensor, uint32_t frame, const WindowGeometry& window, uint8_t* out) {
  Random random(sensor.NoiseSeed(frame));
  int width = window.columns;
  int half = width / 2;
  int rows = window.Rows();
  int oddStart = 2 * window.firstPair + 1;
  int evenStart = 2 * window.firstPair + 2;
  for (int y = 0; y < rows; ++y) {
    const int16_t* row = sensor.Row(window.firstRow - kRowOffset + y);
    uint8_t* line = out + static_cast<size_t>(y) * static_cast<size_t>(width);
    if (sensor.Noisy()) {
      ReadSites<true>(sensor, row, oddStart, half, random, line);
      ReadSites<true>(sensor, row, evenStart, width - half, random, line + half);
    } else {
      ReadSites<false>(sensor, row, oddStart, half, random, line);
      ReadSites<false>(sensor, row, evenStart, width - half, random, line + half);
    }
  }
  return static_cast<size_t>(rows) * static_cast<size_t>(width);
}

YuvGeometry YuvFromCommand(uint16_t y0, uint16_t y1, uint16_t x0, uint16_t x1) {
  YuvGeometry geometry;
  geometry.y0 = y0;
  geometry.x0 = std::min<int>(x0, kSensorColumns / 2);
  geometry.width = x1 > x0 ? std::min(x1 - x0, kMaxYuvWidth) : 0;
  geometry.height = y1 > y0 ? std::min((y1 - y0) / 2, kMaxYuvHeight) : 0;
  return geometry;
}

size_t BuildYuvFrame(const SensorModel& sensor, uint32_t frame, const YuvGeometry& geometry,
                     const std::array<int16_t, 9>& m, uint8_t* out) {
  Random random(sensor.NoiseSeed(frame));
  const int width = geometry.width;
  const int groups = (geometry.height + 1) / 2;
  const size_t stride = static_cast<size_t>(width);
  for (int group = 0; group < groups; ++group) {
    uint8_t* luma0 = out + static_cast<size_t>(group) * 3 * stride;
    uint8_t* luma1 = luma0 + stride;
    uint8_t* chroma = luma1 + stride;
    for (int pair = 0; pair < (width + 1) / 2; ++pair) {
      int64_t sumR = 0, sumG = 0, sumB = 0;
      int sites = 0;
      for (int line = 0; line < 2; ++line) {
        int y = 2 * group + line;
        int oddRow = 2 * (y + geometry.y0 / 2) - 3;
        for (int x = 2 * pair; x < std::min(2 * pair + 2, width); ++x) {
          int evenColumn = 2 * (geometry.x0 + x);
          int r = Sample(sensor, oddRow + 1, evenColumn + 1, random);
          int g = Sample(sensor, oddRow, evenColumn + 1, random);
          int b = Sample(sensor, oddRow, evenColumn, random);
          int64_t luma = (int64_t{m[0]} * r + int64_t{m[1]} * g + 2 * int64_t{m[2]} * b) >> 17;
          (line == 0 ? luma0 : luma1)[x] = ToByte(static_cast<int>(luma));
          sumR += r;
          sumG += g;
          sumB += b;
          ++sites;
        }
      }
      // The block's mean colour: sums of `sites` samples in sixteenths.
      int64_t u = (int64_t{m[3]} * sumR + int64_t{m[4]} * sumG + 2 * int64_t{m[5]} * sumB) / sites;
      int64_t v = (int64_t{m[6]} * sumR + int64_t{m[7]} * sumG + 2 * int64_t{m[8]} * sumB) / sites;
      chroma[2 * pair] = ToByte(128 + static_cast<int>(u >> 17));
      if (2 * pair + 1 < width) chroma[2 * pair + 1] = ToByte(128 + static_cast<int>(v >> 17));
    }
  }
  return geometry.BuiltBytes();
}

uint32_t CodeTemporalDifference(const uint8_t* fresh, uint8_t* reference, const YuvGeometry& geometry,
                                int lumaThreshold, int chromaThreshold) {
  constexpr int kBlockColumns = 8;
  const size_t frameBytes = geometry.FrameBytes();
  const size_t stride = static_cast<size_t>(geometry.width);
  const int groups = (geometry.height + 1) / 2;
  uint64_t length = 4;
  for (int group = 0; group < groups; ++group) {
    size_t base = static_cast<size_t>(group) * 3 * stride;
    for (int x = 0; x < geometry.width; x += kBlockColumns) {
      size_t count = static_cast<size_t>(std::min(kBlockColumns, geometry.width - x));
      bool changed = false;
      for (size_t line = 0; line < 3 && !changed; ++line) {
        int threshold = line < 2 ? lumaThreshold : chromaThreshold;
        size_t at = base + line * stride + static_cast<size_t>(x);
        for (size_t i = 0; i < count; ++i) {
          if (std::abs(fresh[at + i] - reference[at + i]) > threshold) {
            changed = true;
            break;
          }
        }
      }
      if (!changed) continue;
      for (size_t line = 0; line < 3; ++line) {
        size_t at = base + line * stride + static_cast<size_t>(x);
        std::memcpy(reference + at, fresh + at, count);
      }
      length += 2 + 3 * count;
    }
  }
  return static_cast<uint32_t>(std::min<uint64_t>(length, frameBytes));
}

}  // namespace sim
