// The AVX2 kernel set.
#define KERNEL_SET_TARGET "avx2"
#define KERNEL_SET_NAMESPACE colspace_avx2
#define KERNEL_SET_ISA "colspace/simd_isa_avx2.h"
#define KERNEL_SET_RGB 1
#define KERNEL_SET_ID kAVX2
#define KERNEL_SET_NAME "avx2"
#define KERNEL_SET_ACCESSOR AVX2Kernels
#include "colspace/kernel_set.inc"
