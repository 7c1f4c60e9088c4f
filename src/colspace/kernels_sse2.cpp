// The SSE2 kernel set, the x86-64 baseline (and a choice on 32-bit x86).
#define KERNEL_SET_TARGET "sse2"
#define KERNEL_SET_NAMESPACE colspace_sse2
#define KERNEL_SET_ISA "colspace/simd_isa_sse2.h"
#define KERNEL_SET_RGB 0
#define KERNEL_SET_ID kSSE2
#define KERNEL_SET_NAME "sse2"
#define KERNEL_SET_ACCESSOR SSE2Kernels
#include "colspace/kernel_set.inc"
