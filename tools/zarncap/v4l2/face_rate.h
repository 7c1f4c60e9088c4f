// The sensor frame period the driver streams at, measured once at start with
// a short stream asked at the fastest rate (the average gap between its
// frames): the driver delivers whole sensor frames, so the intervals the face
// offers are multiples of it.
#pragma once

#include <cstdint>

namespace zarncap {

class DriverLink;
struct FaceFormat;

// In microseconds; fallback when the driver delivers too few frames to tell.
std::uint32_t MeasureFramePeriodUs(DriverLink& link, const FaceFormat& format, int width, int height,
                                   std::uint32_t fallback);

}  // namespace zarncap
