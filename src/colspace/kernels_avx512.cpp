// The AVX-512 kernel set (AVX-512BW with VBMI). Everything compiled for
// AVX-512 lives between the target pragmas below, after every header, so no
// inline function shared with the rest of the driver is ever compiled for it;
// the set is used only when the processor reports AVX-512BW and VBMI.
#include "colspace/kernels.h"

#if defined(__x86_64__) || defined(__i386__)

// g++ 12 reports the AVX-512 headers' own deliberately undefined vectors
// (_mm512_undefined_*) as uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "colspace/chroma_pairs.h"
#include "colspace/reconstruct.h"
#include "colspace/reconstruct_rows.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,avx512f,avx512bw,avx512vbmi"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512bw,avx512vbmi")
#endif

// Loops of scalar table reads that the compiler must not turn into vector
// lane inserts (slower than the reads themselves).
#if defined(__clang__)
#define KEEP_SCALAR
#else
#define KEEP_SCALAR __attribute__((optimize("no-tree-vectorize", "no-tree-slp-vectorize")))
#endif

namespace colspace_avx512 {
#include "colspace/simd_isa_avx512.h"
#include "colspace/simd_mosaic.inc"
#include "colspace/simd_yuv.inc"
#include "colspace/simd_rgb.inc"
}  // namespace colspace_avx512

#undef KEEP_SCALAR

namespace {
constexpr ColourKernels kAVX512Kernels = {KernelSet::kAVX512,         "avx512",
                                        colspace_avx512::DeinterleaveSimd, colspace_avx512::MosaicSimd,
                                        colspace_avx512::YUVSimd,          colspace_avx512::DoubleSimd,
                                        colspace_avx512::RGB16Simd};
}  // namespace

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

const ColourKernels* AVX512Kernels() { return &kAVX512Kernels; }

#else

const ColourKernels* AVX512Kernels() { return nullptr; }

#endif
