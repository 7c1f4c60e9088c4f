// The PipeWire twins of the driver's one format table and one control table
// (include/zarncap): each format's SPA video format, each control's SPA
// property id. The node keeps no list of its own.
#pragma once

#include <spa/param/video/raw.h>

#include <cstdint>
#include <vector>

#include "tools/zarncap/host/format_table.h"
#include "zarncap/controls.h"

namespace zarncap {

struct FormatTwin {
  const PixelFormat* pixel;
  spa_video_format video;
};
// Every format with a PipeWire twin, in the table's order.
const std::vector<FormatTwin>& FormatTwins();

struct ControlTwin {
  const ZarncapControl* control;
  // SPA's own property where SPA has one by the control's label (brightness,
  // contrast, saturation, as PipeWire's V4L2 camera nodes name them), else
  // one beyond SPA_PROP_START_CUSTOM.
  std::uint32_t propId;
};
const std::vector<ControlTwin>& ControlTwins();

}  // namespace zarncap
