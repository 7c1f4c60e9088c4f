#include "tools/zarncap/pipewire/node_formats.h"

#include <algorithm>

#include "tools/zarncap/host/driver_link.h"
#include "tools/zarncap/host/format_map.h"
#include "tools/zarncap/host/size_table.h"
#include "tools/zarncap/pipewire/twins.h"

namespace zarncap {

std::vector<NodeFormat> NodeFormatTable() {
  std::vector<NodeFormat> table;
  for (const FormatTwin& twin : FormatTwins()) table.push_back({twin.pixel, twin.video, twin.pixel->bottomUp, {}});
  return table;
}

std::vector<NodeFormat> OfferedNodeFormats(DriverLink& link) {
  std::vector<NodeFormat> formats = NodeFormatTable();
  for (NodeFormat& format : formats) {
    format.sizes = OfferedStreamSizes(MapAcceptedSizes(link, *format.pixel));
    std::reverse(format.sizes.begin(), format.sizes.end());
  }
  std::erase_if(formats, [](const NodeFormat& format) { return format.sizes.empty(); });
  return formats;
}

const NodeFormat* FindNodeFormat(const std::vector<NodeFormat>& formats, spa_video_format video, int width,
                                 int height) {
  for (const NodeFormat& format : formats) {
    if (format.video != video) continue;
    for (auto [w, h] : format.sizes) {
      if (w == width && h == height) return &format;
    }
  }
  return nullptr;
}

}  // namespace zarncap
