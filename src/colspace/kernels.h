// The per-pixel loops of the colour layer in interchangeable sets: a portable
// one, and on x86 an SSE2, an AVX2 and an AVX-512 one that write the same bytes. The
// best set the processor runs is chosen when a format is accepted, never per
// pixel; tests may force a set to compare them.
#pragma once

#include <cstdint>
#include <string>

#include "colspace/colspace_state.h"
#include "platform/types.h"

enum class KernelSet : int { kPortable = 0, kSSE2 = 1, kAVX2 = 2, kAVX512 = 3 };
inline constexpr int kKernelSetCount = 4;

// One "PSHU" frame as it arrives: the row de-interleave (in place, as
// DeinterleaveRows does it), demosaic, sharpening and colour correction into
// the RGB24 destination, with the bright-pixel sums.
struct MosaicJob {
  BYTE* frame = nullptr;
  const DemosaicGeometry* geometry = nullptr;
  BYTE* plane = nullptr;
  int16_t threshold = 0;
  int16_t gain = 0;
  const int16_t* k = nullptr;  // the nine colour coefficients
  const BYTE* luma = nullptr;  // the luminance table, 256 bytes
  const uint16_t* lumaPairs = nullptr;  // two-pixel luminance table, or null
  BYTE* destination = nullptr;
  int64_t sumU = 0;
  int64_t sumV = 0;
};

// Outputs of a "PYUV" frame.
enum class YUVTarget : int { kRGB24, kI420, kYV12, kYUY2, kYVU9, kRGB16, kPal8 };

// One "PYUV" frame of width x height to one output. With prepare set, the
// highlight limit is applied to the frame's chroma on the way (as
// PrepareYUVFrame does) and the sums of the limited chroma of bright pairs
// are returned (before scaling).
struct YUVJob {
  BYTE* frame = nullptr;
  int width = 0;
  int height = 0;
  const BYTE* luma = nullptr;  // the luminance table, 256 bytes
  const uint16_t* lumaPairs = nullptr;  // two-pixel luminance table, or null
  BYTE* destination = nullptr;
  const uint16_t* rgb16Table = nullptr;  // kRGB16: the RGB555 lookup table
  const BYTE* paletteTable = nullptr;    // kPal8: the palette-index table
  bool prepare = false;
  int64_t sumU = 0;
  int64_t sumV = 0;
};

struct ColourKernels {
  KernelSet set;
  const char* name;
  // DeinterleaveRows' inner work; width below 512, checked by the caller.
  void (*deinterleave)(BYTE* frame, int width, int height);
  // false when this set does not handle these settings or this size; nothing
  // has been written then and the portable set takes the frame.
  bool (*mosaic)(MosaicJob& job);
  bool (*yuv)(YUVJob& job, YUVTarget target);
  // Double2x's and Reformat_RGB24_To_RGB16's work; null where the set has no
  // version of its own (the portable loops run then).
  bool (*double2x)(BYTE* image, int height, int width);
  bool (*rgb16)(const BYTE* source, BYTE* destination, size_t pixels);
};

// The set in use (chosen on first use when no format chose one yet).
const ColourKernels& ActiveKernels();
// The portable set, which handles every case.
const ColourKernels& PortableKernels();
// Chooses the set for each path by measuring them on this processor (once,
// at the first format), or takes the forced one.
void SelectKernels();
// What runs each path now, in one line (for the trace and the benchmarks).
std::string DescribeChosenKernels();
bool KernelSetSupported(KernelSet set);
// Test hook: uses `set` from now on, until ResetColSpaceState. false (and no
// change) when the processor or the build lacks it.
bool ForceKernelSet(KernelSet set);

// The two-pixel luminance table of `luma`: entry (a | b << 8) is
// luma[a] | luma[b] << 8. Rebuilt only when the luminance table has changed
// since the last call; null when it cannot be allocated.
const uint16_t* LumaPairTable(const BYTE luma[256]);

// The sets of this build, for the dispatcher.
const ColourKernels* SSE2Kernels();  // null when not built
const ColourKernels* AVX2Kernels();
const ColourKernels* AVX512Kernels();
