#include "colspace/kernels.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "colspace/kernel_calibration.h"
#include "colspace/reconstruct.h"
#include "colspace/reconstruct_rows.h"
#include "colspace/yuv_portable.h"
#include "trace/trace.h"

namespace {

// ---- the portable set: plain loops, every size and every setting

void DeinterleavePortable(BYTE* frame, int width, int height) {
  if (width <= 0) return;  // no row to copy (and perhaps no frame)
  const int half = width / 2;
  BYTE row[kDeinterleaveRowBytes];
  for (int y = 0; y < height; ++y) {
    BYTE* line = frame + static_cast<size_t>(y) * width;
    std::memcpy(row, line, static_cast<size_t>(width));
    // Even columns come from the second half, starting one byte before the
    // middle; odd columns from the first half.
    BYTE* __restrict out = line;
    for (int k = 0; k < half; ++k) {
      out[2 * k] = row[half - 1 + k];
      out[2 * k + 1] = row[k];
    }
  }
}

bool MosaicPortable(MosaicJob& job) {
  DeinterleavePortable(job.frame, job.geometry->width, job.geometry->height);
  ColourPass pass{job.k, job.luma};
  DemosaicRows(job.frame, *job.geometry, job.plane, job.threshold, job.gain, &pass, job.destination);
  job.sumU = pass.sumU;
  job.sumV = pass.sumV;
  return true;
}

bool YUVPortable(YUVJob& job, YUVTarget target) {
  if (job.prepare) PrepareYUVRows(job.frame, job.width, job.height, job.luma, &job.sumU, &job.sumV);
  const PortableYUVFrame f{job.frame, job.width, job.height};
  switch (target) {
    case YUVTarget::kRGB24: WriteRGB24Portable(f, job.luma, job.destination); break;
    case YUVTarget::kI420: WritePlanarPortable(f, job.luma, job.destination, true); break;
    case YUVTarget::kYV12: WritePlanarPortable(f, job.luma, job.destination, false); break;
    case YUVTarget::kYUY2: WriteYUY2Portable(f, job.luma, job.destination); break;
    case YUVTarget::kYVU9: WriteYVU9Portable(f, job.luma, job.destination); break;
    case YUVTarget::kRGB16: WriteRGB16Portable(f, job.luma, job.rgb16Table, job.destination); break;
    case YUVTarget::kPal8: WritePal8Portable(f, job.luma, job.paletteTable, job.destination); break;
  }
  return true;
}

constexpr ColourKernels kPortableKernels = {KernelSet::kPortable, "portable", DeinterleavePortable, MosaicPortable,
                                            YUVPortable, nullptr, nullptr};

// The measured choice: each path through the set that was fastest for it.
void DeinterleaveChosen(BYTE* frame, int width, int height) {
  Colour().mosaicSet->deinterleave(frame, width, height);
}
bool MosaicChosen(MosaicJob& job) { return Colour().mosaicSet->mosaic(job); }
bool YUVChosen(YUVJob& job, YUVTarget target) {
  return Colour().yuvSets[static_cast<int>(target)]->yuv(job, target);
}
bool Double2xChosen(BYTE* image, int height, int width) {
  const ColourKernels* set = Colour().rgbSet;
  return set->double2x != nullptr && set->double2x(image, height, width);
}
bool RGB16Chosen(const BYTE* source, BYTE* destination, size_t pixels) {
  const ColourKernels* set = Colour().rgbSet;
  return set->rgb16 != nullptr && set->rgb16(source, destination, pixels);
}
constexpr ColourKernels kChosenKernels = {KernelSet::kPortable, "measured", DeinterleaveChosen, MosaicChosen,
                                          YUVChosen, Double2xChosen, RGB16Chosen};

const ColourKernels* KernelsOf(KernelSet set) {
  switch (set) {
    case KernelSet::kPortable: return &kPortableKernels;
    case KernelSet::kSSE2: return SSE2Kernels();
    case KernelSet::kAVX2: return AVX2Kernels();
    case KernelSet::kAVX512: return AVX512Kernels();
  }
  return nullptr;
}

bool ProcessorRuns(KernelSet set) {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  switch (set) {
    case KernelSet::kPortable: return true;
    case KernelSet::kSSE2: return __builtin_cpu_supports("sse2");
    case KernelSet::kAVX2: return __builtin_cpu_supports("avx2");
    case KernelSet::kAVX512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
             __builtin_cpu_supports("avx512vnni");
  }
  return false;
#else
  return set == KernelSet::kPortable;
#endif
}

}  // namespace

const ColourKernels& PortableKernels() { return kPortableKernels; }

bool KernelSetSupported(KernelSet set) { return KernelsOf(set) != nullptr && ProcessorRuns(set); }

void SelectKernels() {
  ColourState& module = Colour();
  if (module.kernelsForced && module.kernels != nullptr) return;
  if (!module.calibrated) {
    std::vector<const ColourKernels*> sets;
    for (KernelSet set : {KernelSet::kAVX512, KernelSet::kAVX2, KernelSet::kSSE2, KernelSet::kPortable}) {
      if (KernelSetSupported(set)) sets.push_back(KernelsOf(set));
    }
    const KernelChoice choice = CalibrateKernels(sets);
    module.mosaicSet = choice.mosaic;
    for (int t = 0; t < kYUVTargetCount; ++t) module.yuvSets[t] = choice.yuv[t];
    // The RGB24 helpers use no table look-ups: the widest set runs them fastest.
    module.rgbSet = sets.front();
    module.calibrated = true;
    DriverTrace(TRACE_LINE, "colour kernels: %s", DescribeKernelChoice(choice).c_str());
  }
  module.kernels = &kChosenKernels;
}

std::string DescribeChosenKernels() {
  const ColourState& module = Colour();
  if (module.kernelsForced && module.kernels != nullptr) return std::string("all ") + module.kernels->name;
  KernelChoice choice;
  choice.mosaic = module.mosaicSet;
  for (int t = 0; t < kYUVTargetCount; ++t) choice.yuv[t] = module.yuvSets[t];
  return DescribeKernelChoice(choice);
}

const ColourKernels& ActiveKernels() {
  ColourState& module = Colour();
  if (module.kernels == nullptr) SelectKernels();
  return *module.kernels;
}

bool ForceKernelSet(KernelSet set) {
  if (!KernelSetSupported(set)) return false;
  ColourState& module = Colour();
  module.kernels = KernelsOf(set);
  module.kernelsForced = true;
  return true;
}

namespace {
constexpr size_t kLumaPairEntries = 65536;
constexpr size_t kLumaPairPadding = 2;
}  // namespace

const uint16_t* LumaPairTable(const BYTE luma[256]) {
  ColourState& module = Colour();
  if (module.lumaPairsValid && std::memcmp(module.lumaPairsSource, luma, 256) == 0) return module.lumaPairs.get();
  if (!module.lumaPairs) {
    // The vector sets read each entry as a 32-bit word (a gather keeps its low
    // half), so the last entry is followed by one spare entry of padding.
    module.lumaPairs.reset(new (std::nothrow) uint16_t[kLumaPairEntries + kLumaPairPadding]());
    if (!module.lumaPairs) return nullptr;
  }
  uint16_t* __restrict table = module.lumaPairs.get();
  for (int b = 0; b < 256; ++b) {
    const auto high = static_cast<uint16_t>(luma[b] << 8);
    uint16_t* __restrict row = table + 256 * b;
    for (int a = 0; a < 256; ++a) row[a] = static_cast<uint16_t>(luma[a] | high);
  }
  std::memcpy(module.lumaPairsSource, luma, 256);
  module.lumaPairsValid = true;
  return table;
}
