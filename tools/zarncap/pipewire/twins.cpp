#include "tools/zarncap/pipewire/twins.h"

#include <spa/debug/types.h>
#include <spa/param/props-types.h>
#include <spa/param/props.h>
#include <spa/param/video/raw-types.h>

#include <cctype>
#include <string>

namespace zarncap {

const std::vector<FormatTwin>& FormatTwins() {
  static const std::vector<FormatTwin> twins = [] {
    std::vector<FormatTwin> list;
    for (const PixelFormat& pixel : AllFormats()) {
      if (pixel.spa.empty()) continue;
      const uint32_t video = spa_debug_type_find_type_short(spa_type_video_format, std::string(pixel.spa).c_str());
      if (video != SPA_ID_INVALID) list.push_back({&pixel, static_cast<spa_video_format>(video)});
    }
    return list;
  }();
  return twins;
}

const std::vector<ControlTwin>& ControlTwins() {
  static const std::vector<ControlTwin> twins = [] {
    std::vector<ControlTwin> list;
    std::uint32_t custom = SPA_PROP_START_CUSTOM;
    for (const ZarncapControl& control : kControls) {
      std::string label;
      for (char c : control.label) label += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      uint32_t id = spa_debug_type_find_type_short(spa_type_props, label.c_str());
      // Only the picture's own: SPA's audio "quality" is no compression quality.
      if (id < SPA_PROP_START_Video || id >= SPA_PROP_START_Other) id = custom++;
      list.push_back({&control, id});
    }
    return list;
  }();
  return twins;
}

}  // namespace zarncap
