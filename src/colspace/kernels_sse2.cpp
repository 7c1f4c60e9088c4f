// The SSE2 kernel set, the x86-64 baseline (and a choice on 32-bit x86).
// Everything compiled for SSE2 lives between the target pragmas below, after
// every header, so on 32-bit builds no inline function shared with the rest
// of the driver is compiled for SSE2; the set is used only when the processor
// reports SSE2.
#include "colspace/kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "colspace/reconstruct.h"
#include "colspace/reconstruct_rows.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse2")
#endif

// Loops of scalar table reads that the compiler must not turn into vector
// lane inserts (slower than the reads themselves).
#if defined(__clang__)
#define KEEP_SCALAR
#else
#define KEEP_SCALAR __attribute__((optimize("no-tree-vectorize", "no-tree-slp-vectorize")))
#endif

namespace colspace_sse2 {
#include "colspace/simd_isa_sse2.h"
#include "colspace/simd_mosaic.inc"
#include "colspace/simd_yuv.inc"
}  // namespace colspace_sse2

#undef KEEP_SCALAR

namespace {
constexpr ColourKernels kSSE2Kernels = {KernelSet::kSSE2, "sse2", colspace_sse2::DeinterleaveSimd,
                                        colspace_sse2::MosaicSimd, colspace_sse2::YUVSimd, nullptr, nullptr};
}  // namespace

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

const ColourKernels* SSE2Kernels() { return &kSSE2Kernels; }

#else

const ColourKernels* SSE2Kernels() { return nullptr; }

#endif
