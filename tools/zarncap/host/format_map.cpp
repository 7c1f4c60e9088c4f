#include "tools/zarncap/host/format_map.h"

#include <algorithm>

#include "tools/zarncap/common/json_text.h"

namespace zarncap {
namespace {

// The accepted values of one row as evenly stepped runs.
std::vector<Run> Runs(const std::vector<bool>& row) {
  std::vector<int> values;
  for (size_t v = 1; v < row.size(); ++v) {
    if (row[v]) values.push_back(static_cast<int>(v));
  }
  std::vector<Run> runs;
  for (size_t i = 0; i < values.size();) {
    Run run{values[i], values[i], 1};
    size_t j = i + 1;
    if (j < values.size()) {
      run.step = values[j] - values[i];
      while (j < values.size() && values[j] - run.last == run.step) run.last = values[j++];
    }
    if (run.first == run.last) run.step = 1;
    runs.push_back(run);
    i = j;
  }
  return runs;
}

std::string Text(const Run& run) {
  if (run.first == run.last) return std::to_string(run.first);
  return std::to_string(run.first) + ".." + std::to_string(run.last) + "/" + std::to_string(run.step);
}

std::string Json(const Run& run) {
  return "[" + std::to_string(run.first) + ", " + std::to_string(run.last) + ", " + std::to_string(run.step) + "]";
}

}  // namespace

std::vector<SizeBlock> SumUp(const std::vector<std::vector<bool>>& accepted) {
  // Heights with the same widths, evenly stepped, make one block.
  std::vector<SizeBlock> blocks;
  for (size_t h = 1; h < accepted.size(); ++h) {
    std::vector<Run> widths = Runs(accepted[h]);
    if (widths.empty()) continue;
    const int height = static_cast<int>(h);
    bool joined = false;
    for (SizeBlock& block : blocks) {
      if (block.widths != widths) continue;
      Run& hs = block.heights;
      const int step = hs.first == hs.last ? height - hs.last : hs.step;
      if (height - hs.last == step) {
        hs.step = step;
        hs.last = height;
        joined = true;
        break;
      }
    }
    if (!joined) blocks.push_back({widths, Run{height, height, 1}});
  }
  return blocks;
}

FormatSizes MapAcceptedSizes(DriverLink& link, const PixelFormat& format) {
  std::vector<std::vector<bool>> accepted(kMapMaxHeight + 1, std::vector<bool>(kMapMaxWidth + 1, false));
  for (int h = 1; h <= kMapMaxHeight; ++h) {
    for (int w = 1; w <= kMapMaxWidth; ++w) {
      accepted[static_cast<size_t>(h)][static_cast<size_t>(w)] = link.SetFormat(MakeFormatHeader(format, w, h)) == DV_ERR_OK;
    }
  }
  return {&format, SumUp(accepted)};
}

std::vector<FormatSizes> MapAcceptedFormats(DriverLink& link) {
  std::vector<FormatSizes> map;
  for (const PixelFormat& format : AllFormats()) map.push_back(MapAcceptedSizes(link, format));
  return map;
}

bool MapAccepts(const FormatSizes& sizes, int width, int height) {
  const auto in = [](const Run& run, int value) {
    return value >= run.first && value <= run.last && (value - run.first) % run.step == 0;
  };
  for (const SizeBlock& block : sizes.blocks) {
    if (!in(block.heights, height)) continue;
    for (const Run& widths : block.widths) {
      if (in(widths, width)) return true;
    }
  }
  return false;
}

bool LargestSize(const FormatSizes& sizes, int* width, int* height) {
  bool found = false;
  for (const SizeBlock& block : sizes.blocks) {
    for (const Run& widths : block.widths) {
      if (found && widths.last * block.heights.last <= *width * *height) continue;
      *width = widths.last;
      *height = block.heights.last;
      found = true;
    }
  }
  return found;
}

std::string DescribeBlocks(const std::vector<SizeBlock>& blocks) {
  std::string text;
  for (const SizeBlock& block : blocks) {
    if (!text.empty()) text += "; ";
    std::string widths;
    for (const Run& run : block.widths) widths += (widths.empty() ? "" : ",") + Text(run);
    text += widths + " x " + Text(block.heights);
  }
  return text.empty() ? "no size" : text;
}

std::string FormatMapJson(const std::vector<FormatSizes>& map) {
  JsonWriter json;
  json.BeginArray();
  for (const FormatSizes& sizes : map) {
    json.Space("\n  ").BeginObject().Key("format").String(std::string(sizes.format->name)).Key("sizes").BeginArray();
    for (const SizeBlock& block : sizes.blocks) {
      json.BeginObject().Key("widths").BeginArray();
      for (const Run& run : block.widths) json.Raw(Json(run));
      json.EndArray().Key("heights").BeginArray().Raw(Json(block.heights)).EndArray().EndObject();
    }
    json.EndArray().EndObject();
  }
  return json.Space("\n").EndArray().Text() + "\n";
}

}  // namespace zarncap
