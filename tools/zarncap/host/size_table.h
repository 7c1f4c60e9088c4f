// The sizes each format takes, known without opening the driver, and the one
// list of sizes the tool offers: in --help, in a --size error, in the
// preview's selector, on the V4L2 face and in the shell completion.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/zarncap/host/format_map.h"
#include "tools/zarncap/host/format_table.h"

namespace zarncap {

using FrameSize = std::pair<int, int>;  // width, height

// What the driver takes in a format, as `zarncap formats` finds it by asking
// (a camera that takes less still refuses at the open).
const FormatSizes& KnownSizes(const PixelFormat& format);
// The sizes to use that a map (the known one, or the driver's own) takes,
// smallest first.
std::vector<FrameSize> SizesToUse(const FormatSizes& takes);
// The sizes a camera face offers in a format: the sizes to use the driver's
// map takes, and the largest it takes; smallest first, each once.
std::vector<FrameSize> OfferedStreamSizes(const FormatSizes& takes);
// The size a format takes without --size: 320x240 where it is taken, else
// the largest size taken.
FrameSize DefaultSize(const PixelFormat& format);
// "80x60, 128x96, 160x120"
std::string SizesText(const std::vector<FrameSize>& sizes);
// Throws a usage error naming the sizes to use when the format is known not
// to take width x height.
void RequireKnownSize(const PixelFormat& format, int width, int height);

}  // namespace zarncap
