// The AVX-512 kernel set (AVX-512BW and VL with VBMI).
// g++ 12 reports the AVX-512 headers' own deliberately undefined vectors
// (_mm512_undefined_*) as uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define KERNEL_SET_TARGET "avx2,avx512f,avx512bw,avx512vl,avx512vbmi,avx512vnni"
#define KERNEL_SET_NAMESPACE colspace_avx512
#define KERNEL_SET_ISA "colspace/simd_isa_avx512.h"
#define KERNEL_SET_RGB 1
#define KERNEL_SET_BYTE_LANES 1
#define KERNEL_SET_ID kAVX512
#define KERNEL_SET_NAME "avx512"
#define KERNEL_SET_ACCESSOR AVX512Kernels
#include "colspace/kernel_set.inc"
