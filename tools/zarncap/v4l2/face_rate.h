// The frame intervals the face offers. The driver delivers whole sensor
// frames (its stream period is a whole multiple of the sensor period it
// measures at open), and the sensor runs at a nominal 15 frames a second, so
// the intervals are 1/15, 2/15, 1/5 and 4/15 of a second: simple fractions,
// the same every run, that applications negotiate as they would a webcam's.
#pragma once

#include <linux/videodev2.h>

#include <cstdint>

#include "tools/zarncap/host/driver_stream.h"

namespace zarncap {

// The longest interval offered, in sensor frames.
inline constexpr std::uint32_t kLongestInterval = 4;

// The interval of a number of sensor frames, in lowest terms.
v4l2_fract IntervalOf(std::uint32_t frames);
// The number of sensor frames (1 to kLongestInterval) nearest an interval
// asked; an interval with a zero term asks for the shortest.
std::uint32_t FramesFor(v4l2_fract asked);
// The nominal interval in microseconds.
std::uint32_t NominalMicroseconds(std::uint32_t frames);
// What the driver's stream is asked for: half a frame beyond the nominal, so
// the whole multiple of its measured period it picks is `frames` for any
// sensor within a tenth of the nominal rate.
std::uint32_t DriverMicroseconds(std::uint32_t frames);

}  // namespace zarncap
