// The AVX2 kernel set. Everything compiled for AVX2 lives between the target
// pragmas below, after every header, so no inline function shared with the
// rest of the driver is ever compiled for AVX2; the set is used only when the
// processor reports AVX2.
#include "colspace/kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "colspace/chroma_pairs.h"
#include "colspace/reconstruct.h"
#include "colspace/reconstruct_rows.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

// Loops of scalar table reads that the compiler must not turn into vector
// lane inserts (slower than the reads themselves).
#if defined(__clang__)
#define KEEP_SCALAR
#else
#define KEEP_SCALAR __attribute__((optimize("no-tree-vectorize", "no-tree-slp-vectorize")))
#endif

namespace colspace_avx2 {
#include "colspace/simd_isa_avx2.h"
#include "colspace/simd_mosaic.inc"
#include "colspace/simd_yuv.inc"
#include "colspace/simd_rgb.inc"
}  // namespace colspace_avx2

#undef KEEP_SCALAR

namespace {
constexpr ColourKernels kAVX2Kernels = {KernelSet::kAVX2,           "avx2",
                                        colspace_avx2::DeinterleaveSimd, colspace_avx2::MosaicSimd,
                                        colspace_avx2::YUVSimd,          colspace_avx2::DoubleSimd,
                                        colspace_avx2::RGB16Simd};
}  // namespace

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

const ColourKernels* AVX2Kernels() { return &kAVX2Kernels; }

#else

const ColourKernels* AVX2Kernels() { return nullptr; }

#endif
