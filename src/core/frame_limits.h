// The one size every layer of the frame path agrees on: the device's raw
// buffer (hRawBuffer), which holds the largest mode-1 frame, 324 x 244. Raw
// reads stop there, defect repair never writes past it, and no camera format
// the converter accepts may describe more.
#pragma once

#include <cstdint>

constexpr std::uint32_t kRawBufferSize = 79056;  // 0x134D0
