// File kinds by name.
#include "tools/zarncap/file_kinds.h"

#include <cctype>

#include "tools/zarncap/tool_error.h"

namespace zarncap {
namespace {

bool EndsWith(const std::string& path, const std::string& ending) {
  if (path.size() < ending.size()) return false;
  for (size_t i = 0; i < ending.size(); ++i) {
    const char c = path[path.size() - ending.size() + i];
    if (std::tolower(static_cast<unsigned char>(c)) != ending[i]) return false;
  }
  return true;
}

}  // namespace

StillKind StillKindOf(const std::string& path, const std::string& type, const PixelFormat& format) {
  if (!type.empty()) return StillKindOf("." + type, "", format);
  const std::string name(format.name);
  if (path == "-" || EndsWith(path, ".png")) return StillKind::kPng;
  if (EndsWith(path, ".jpg") || EndsWith(path, ".jpeg")) return StillKind::kJpeg;
  if (EndsWith(path, ".bmp")) {
    if (format.yuv) {
      throw ToolError("a .bmp file holds rgb24, rgb16 or pal8, not " + name + " (use .png or .yuv)", kExitUsage);
    }
    return StillKind::kBmp;
  }
  if (EndsWith(path, ".yuv")) {
    if (!format.yuv) {
      throw ToolError("a .yuv file holds the YUV formats (i420, iyuv, yv12, yuy2, yvu9), not " + name +
                          " (use .png or .bmp)",
                      kExitUsage);
    }
    return StillKind::kYuv;
  }
  throw ToolError("cannot tell what to write to '" + path + "': the name must end in .png, .jpg, .bmp or .yuv", kExitUsage);
}

MovieKind MovieKindOf(const std::string& path, const PixelFormat& format) {
  if (path == "-") return MovieKind::kY4mStdout;
  if (EndsWith(path, ".avi")) return MovieKind::kAvi;
  if (EndsWith(path, ".mkv")) {
    // FFmpeg reads no palette back from Matroska: the picture would be lost.
    if (format.layout == Layout::kPal8) {
      throw ToolError("a .mkv file cannot carry the driver's palette for pal8 (use .avi or .y4m)", kExitUsage);
    }
    return MovieKind::kMatroska;
  }
  if (EndsWith(path, ".y4m")) return MovieKind::kY4m;
  throw ToolError("cannot tell what to write to '" + path + "': the name must end in .avi, .mkv or .y4m (or be - for "
                  "Y4M on standard output)",
                  kExitUsage);
}

}  // namespace zarncap
