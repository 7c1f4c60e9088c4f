// Choosing the kernel set per path by measuring: every set this processor runs
// is timed on a small synthetic frame for the "PSHU" reconstruction and for
// each "PYUV" output, and the fastest one takes that path. The sets write the
// same bytes, so the choice changes only the speed. (On some processors the
// widest set is not the fastest: AVX2 gathers are slow on several AMD
// generations, for one.)
#pragma once

#include <vector>

#include "colspace/kernels.h"

inline constexpr int kYUVTargetCount = 7;

struct KernelChoice {
  const ColourKernels* mosaic = nullptr;
  const ColourKernels* yuv[kYUVTargetCount] = {};
};

// The fastest of `sets` for each path (each set must run on this processor).
KernelChoice CalibrateKernels(const std::vector<const ColourKernels*>& sets);

// "mosaic AVX2, rgb24 SSE2, ...": the choice in one line, for the trace and
// the benchmarks.
std::string DescribeKernelChoice(const KernelChoice& choice);
