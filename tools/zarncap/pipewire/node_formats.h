// The driver's formats as PipeWire raw video formats: the PipeWire twins of
// the tool's format table, and the sizes the node offers in each (what the
// driver takes, asked once at start).
#pragma once

#include <spa/param/video/raw.h>

#include <utility>
#include <vector>

#include "tools/zarncap/host/format_table.h"

namespace zarncap {

class DriverLink;

struct NodeFormat {
  const PixelFormat* pixel = nullptr;
  spa_video_format video = SPA_VIDEO_FORMAT_UNKNOWN;
  // The driver writes these rows bottom-up; PipeWire's are top-down, so the
  // node turns each frame over in its buffer.
  bool flipRows = false;
  std::vector<std::pair<int, int>> sizes;  // largest first: the first is the default
};

// The formats with a PipeWire twin, in the node's order of preference (no sizes yet).
std::vector<NodeFormat> NodeFormatTable();
// The twins with the sizes the driver takes (formats it takes at no size are
// left out); leaves the channel in the last format asked.
std::vector<NodeFormat> OfferedNodeFormats(DriverLink& link);
// The offered format of that kind and size, or nullptr.
const NodeFormat* FindNodeFormat(const std::vector<NodeFormat>& formats, spa_video_format video, int width,
                                 int height);

}  // namespace zarncap
