// What the driver accepts, completely: every width 1..640 and height 1..480
// asked with DVM_FORMAT in each format, and the answers summed up as blocks of
// evenly stepped widths and heights ("8..320 step 8 x 4..240 step 4").
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/zarncap/host/driver_link.h"
#include "tools/zarncap/host/format_table.h"

namespace zarncap {

constexpr int kMapMaxWidth = 640;
constexpr int kMapMaxHeight = 480;

// Widths first..last in steps of step (one width: first == last, step 1).
struct Run {
  int first = 0, last = 0, step = 1;
  bool operator==(const Run&) const = default;
};

// Every width of `widths` at every height of `heights`.
struct SizeBlock {
  std::vector<Run> widths;
  Run heights;
};

struct FormatSizes {
  const PixelFormat* format = nullptr;
  std::vector<SizeBlock> blocks;  // empty: the driver takes the format at no size
};

// Asks the driver about every size in one format, or in every format; leaves
// the channel in the last format tried.
FormatSizes MapAcceptedSizes(DriverLink& link, const PixelFormat& format);
std::vector<FormatSizes> MapAcceptedFormats(DriverLink& link);
// Whether a format's map takes width x height.
bool MapAccepts(const FormatSizes& sizes, int width, int height);
// The largest size (by area) of a format's map; false when it has none.
bool LargestSize(const FormatSizes& sizes, int* width, int* height);
// Sums up a set of accepted sizes (accepted[h][w], 1-based) as blocks.
std::vector<SizeBlock> SumUp(const std::vector<std::vector<bool>>& accepted);

// "8..320/8 x 4..240/4; 176 x 144" for one format.
std::string DescribeBlocks(const std::vector<SizeBlock>& blocks);
// The whole map as JSON: [{"format": "rgb24", "sizes": [{"widths": [[8, 320, 8]], "heights": [[4, 240, 4]]}]}].
std::string FormatMapJson(const std::vector<FormatSizes>& map);

}  // namespace zarncap
