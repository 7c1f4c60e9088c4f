#include "colspace/kernel_calibration.h"

#include <chrono>
#include <cstdint>
#include <string>

#include "colspace/colour_tables.h"
#include "colspace/palette.h"
#include "zarncap/formats.h"

namespace {

// A quarter-size frame: large enough to time the inner loops, small enough
// that choosing costs well under a millisecond per set.
constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kRuns = 5;
constexpr int kSettleRuns = 1;

// The client format each YUV target writes (in YUVTarget's order), named in the report.
constexpr const ZarncapFormat* kTargetFormats[kYUVTargetCount] = {
    ZarncapFormatOf(BI_RGB, 24),      ZarncapFormatOf(FOURCC_I420, 12), ZarncapFormatOf(FOURCC_YV12, 12),
    ZarncapFormatOf(FOURCC_YUY2, 16), ZarncapFormatOf(FOURCC_YVU9, 9),  ZarncapFormatOf(BI_RGB, 16),
    ZarncapFormatOf(BI_RGB, 8)};

// Deterministic bytes with some texture, so no path is timed on a flat frame.
void FillSynthetic(std::vector<BYTE>& bytes) {
  uint32_t state = 0x2545F491u;
  for (BYTE& b : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<BYTE>(state >> 24);
  }
}

// The fastest of the runs, in nanoseconds; the first run warms the caches.
template <class Run>
int64_t Fastest(Run run) {
  int64_t best = INT64_MAX;
  for (int i = 0; i < kSettleRuns + kRuns; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    const bool handled = run();
    const auto t1 = std::chrono::steady_clock::now();
    if (!handled) return INT64_MAX;  // the set does not take this case
    if (i >= kSettleRuns) best = std::min<int64_t>(best, std::chrono::nanoseconds(t1 - t0).count());
  }
  return best;
}

struct Scratch {
  BYTE luma[256];
  int16_t k[9];
  std::vector<BYTE> mosaicSource;
  std::vector<BYTE> mosaicFrame;
  std::vector<BYTE> plane;
  std::vector<BYTE> yuvSource;
  std::vector<BYTE> yuvFrame;
  std::vector<BYTE> destination;
  std::vector<uint16_t> rgb16Table;
  std::vector<BYTE> paletteTable;
  const uint16_t* lumaPairs = nullptr;
  DemosaicGeometry geometry;

  Scratch() {
    BuildLumaTable(luma, 0.625, 0, 200, 50, 50);
    double matrix[9];
    BuildColourMatrix(matrix, 1.0, 1.0, 1.0, 50);
    MatrixCoefficients(matrix, k);
    const int w = kWidth + 4;
    const int h = kHeight + 4;
    geometry = DemosaicGeometry{w, h, w - 2, h - 2, w - 4, h - 4, 3};
    mosaicSource.resize(static_cast<size_t>(w) * h);
    FillSynthetic(mosaicSource);
    plane.resize(static_cast<size_t>(w - 2) * (h - 2));
    yuvSource.resize(static_cast<size_t>(kWidth) * kHeight * 3 / 2);
    FillSynthetic(yuvSource);
    destination.resize(static_cast<size_t>(w) * h * 3);
    rgb16Table.assign(65536, 0x1234);
    paletteTable.assign(kPaletteIndexEntries, 7);
    lumaPairs = LumaPairTable(luma);
  }

  bool Mosaic(const ColourKernels& set) {
    mosaicFrame = mosaicSource;  // the rows are de-interleaved in place
    MosaicJob job;
    job.frame = mosaicFrame.data();
    job.geometry = &geometry;
    job.plane = plane.data();
    job.threshold = 1;
    job.gain = 3;
    job.k = k;
    job.luma = luma;
    job.lumaPairs = lumaPairs;
    job.destination = destination.data();
    return set.mosaic(job);
  }

  bool Yuv(const ColourKernels& set, YUVTarget target) {
    yuvFrame = yuvSource;  // the highlight limit is applied in place
    YUVJob job;
    job.frame = yuvFrame.data();
    job.width = kWidth;
    job.height = kHeight;
    job.luma = luma;
    job.lumaPairs = lumaPairs;
    job.destination = destination.data();
    job.rgb16Table = rgb16Table.data();
    job.paletteTable = paletteTable.data();
    job.prepare = true;
    return set.yuv(job, target);
  }
};

// A narrower set replaces a wider one only when it is clearly faster: timings
// closer than this are the machine's noise, and a choice that flips with it
// from one run to the next makes every run measure something else.
constexpr double kClearlyFaster = 0.9;

// The sets come widest first: the widest that takes the case, unless a later
// one is clearly faster.
template <class Time>
const ColourKernels* FastestSet(const std::vector<const ColourKernels*>& sets, Time time) {
  const ColourKernels* best = sets.empty() ? nullptr : sets.front();
  int64_t bestTime = INT64_MAX;
  for (const ColourKernels* set : sets) {
    const int64_t t = time(*set);
    if (t == INT64_MAX) continue;  // the set does not take this case
    if (bestTime == INT64_MAX || static_cast<double>(t) < static_cast<double>(bestTime) * kClearlyFaster) {
      bestTime = t;
      best = set;
    }
  }
  return best;
}

}  // namespace

KernelChoice CalibrateKernels(const std::vector<const ColourKernels*>& sets) {
  Scratch scratch;
  KernelChoice choice;
  choice.mosaic = FastestSet(sets, [&](const ColourKernels& set) { return Fastest([&] { return scratch.Mosaic(set); }); });
  for (int t = 0; t < kYUVTargetCount; ++t) {
    const auto target = static_cast<YUVTarget>(t);
    choice.yuv[t] = FastestSet(
        sets, [&](const ColourKernels& set) { return Fastest([&] { return scratch.Yuv(set, target); }); });
  }
  return choice;
}

std::string DescribeKernelChoice(const KernelChoice& choice) {
  std::string text = std::string("mosaic ") + (choice.mosaic != nullptr ? choice.mosaic->name : "-");
  for (int t = 0; t < kYUVTargetCount; ++t) {
    text += ", " + std::string(kTargetFormats[t]->name) + " " + (choice.yuv[t] != nullptr ? choice.yuv[t]->name : "-");
  }
  return text;
}
