// The sizes each format takes and the one list of sizes to use.
#include "tools/zarncap/host/size_table.h"

#include <algorithm>
#include <iterator>

#include "tools/zarncap/common/tool_error.h"
#include "zarncap/dialogs.h"

namespace zarncap {
namespace {

// The usual capture sizes beside the format dialog's own.
constexpr FrameSize kCaptureSizes[] = {{80, 60}, {240, 180}, {352, 288}};

// The sizes to use in every format: the format dialog's and the usual capture
// sizes, smallest first.
std::vector<FrameSize> AllSizesToUse() {
  std::vector<FrameSize> sizes(std::begin(kCaptureSizes), std::end(kCaptureSizes));
  for (const ZarncapSizeButton& button : kFormatDialogSizes) sizes.emplace_back(button.width, button.height);
  std::sort(sizes.begin(), sizes.end(), [](FrameSize a, FrameSize b) { return a.first * a.second < b.first * b.second; });
  return sizes;
}

// What the driver takes: RGB24 from the camera's mosaic (doubled past
// 320x240), RGB16 up to 320x240, the palette and YUV formats from the
// camera's own YUV data (up to 160x120, and 176x144 from its 160x132 window).
const std::vector<SizeBlock> kMosaicSizes = {{{{168, 320, 8}}, {56, 56, 1}},
                                             {{{80, 320, 8}}, {60, 240, 4}},
                                             {{{328, 640, 8}}, {244, 480, 4}}};
const std::vector<SizeBlock> kSmallMosaicSizes = {{{{168, 320, 8}}, {56, 56, 1}}, {{{80, 320, 8}}, {60, 240, 4}}};
const std::vector<SizeBlock> kCameraYuvSizes = {{{{80, 160, 8}}, {60, 120, 4}}, {{{176, 176, 1}}, {144, 144, 1}}};

const std::vector<SizeBlock>& BlocksOf(const PixelFormat& format) {
  switch (format.layout) {
    case Layout::kBgr24: return kMosaicSizes;
    case Layout::kRgb555: return kSmallMosaicSizes;
    default: return kCameraYuvSizes;
  }
}

}  // namespace

const FormatSizes& KnownSizes(const PixelFormat& format) {
  static const std::vector<FormatSizes> known = [] {
    std::vector<FormatSizes> all;
    for (const PixelFormat& each : AllFormats()) all.push_back({&each, BlocksOf(each)});
    return all;
  }();
  for (const FormatSizes& sizes : known) {
    if (sizes.format->name == format.name) return sizes;
  }
  return known.front();
}

std::vector<FrameSize> SizesToUse(const FormatSizes& takes) {
  static const std::vector<FrameSize> all = AllSizesToUse();
  std::vector<FrameSize> sizes;
  for (const FrameSize& size : all) {
    if (MapAccepts(takes, size.first, size.second)) sizes.push_back(size);
  }
  return sizes;
}

std::vector<FrameSize> OfferedStreamSizes(const FormatSizes& takes) {
  std::vector<FrameSize> sizes = SizesToUse(takes);
  int width = 0, height = 0;
  if (LargestSize(takes, &width, &height)) sizes.emplace_back(width, height);
  std::sort(sizes.begin(), sizes.end(), [](FrameSize a, FrameSize b) { return a.first * a.second < b.first * b.second; });
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  return sizes;
}

FrameSize DefaultSize(const PixelFormat& format) {
  const FormatSizes& takes = KnownSizes(format);
  if (MapAccepts(takes, 320, 240)) return {320, 240};
  FrameSize largest{0, 0};
  LargestSize(takes, &largest.first, &largest.second);
  return largest;
}

std::string SizesText(const std::vector<FrameSize>& sizes) {
  std::string text;
  for (const auto& [width, height] : sizes) {
    text += (text.empty() ? "" : ", ") + std::to_string(width) + "x" + std::to_string(height);
  }
  return text;
}

void RequireKnownSize(const PixelFormat& format, int width, int height) {
  const FormatSizes& takes = KnownSizes(format);
  if (MapAccepts(takes, width, height)) return;
  const std::string name(format.name);
  throw ToolError("the driver refused " + name + " " + std::to_string(width) + "x" + std::to_string(height) +
                      " (it never takes that size, so it was not opened); sizes to use: " +
                      SizesText(SizesToUse(takes)) + "; it takes (widths x heights, first..last/step): " + name + " " +
                      DescribeBlocks(takes.blocks),
                  kExitUsage);
}

}  // namespace zarncap
