// File kinds by name.
#include "tools/zarncap/media/file_kinds.h"

#include <cctype>
#include <string_view>
#include <vector>

#include "tools/zarncap/common/tool_error.h"

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

// The names of the YUV formats, or of the others, from the format table:
// "rgb24, rgb16 or pal8" with " or " as the last separator.
std::string NamesOf(bool yuv, const char* lastSeparator) {
  std::vector<std::string_view> names;
  for (const PixelFormat& format : AllFormats()) {
    if (format.yuv == yuv) names.push_back(format.name);
  }
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? lastSeparator : ", ";
    text += names[i];
  }
  return text;
}

}  // namespace

bool NamesRawYuv(const std::string& path, const std::string& type) {
  return type.empty() ? EndsWith(path, ".yuv") : type == "yuv";
}

StillKind StillKindOf(const std::string& path, const std::string& type, const PixelFormat& format) {
  if (!type.empty()) return StillKindOf("." + type, "", format);
  const std::string name(format.name);
  if (path == "-" || EndsWith(path, ".png")) return StillKind::kPng;
  if (EndsWith(path, ".jpg") || EndsWith(path, ".jpeg")) return StillKind::kJpeg;
  if (EndsWith(path, ".bmp")) {
    if (format.yuv) {
      throw ToolError("a .bmp file holds " + NamesOf(false, " or ") + ", not " + name + " (use .png or .yuv)", kExitUsage);
    }
    return StillKind::kBmp;
  }
  if (EndsWith(path, ".yuv")) {
    if (!format.yuv) {
      throw ToolError("a .yuv file holds the YUV formats (" + NamesOf(true, ", ") + "), not " + name +
                          " (use .png or .bmp)",
                      kExitUsage);
    }
    return StillKind::kYuv;
  }
  throw ToolError("cannot tell what to write to '" + path + "': the name must end in .png, .jpg, .bmp or .yuv", kExitUsage);
}

MovieKind MovieKindOf(const std::string& path) {
  if (path == "-") return MovieKind::kY4mStdout;
  if (EndsWith(path, ".avi")) return MovieKind::kAvi;
  if (EndsWith(path, ".mkv")) return MovieKind::kMatroska;
  if (EndsWith(path, ".mp4")) return MovieKind::kMp4;
  if (EndsWith(path, ".y4m")) return MovieKind::kY4m;
  throw ToolError("cannot tell what to write to '" + path + "': the name must end in .avi, .mkv, .mp4 or .y4m (or be "
                  "- for Y4M on standard output)",
                  kExitUsage);
}

VideoCodec MovieCodecOf(MovieKind kind, const std::string& codec, const PixelFormat& format) {
  const bool y4m = kind == MovieKind::kY4m || kind == MovieKind::kY4mStdout;
  if (codec.empty() || codec == "raw") {
    if (kind == MovieKind::kMp4) {
      if (codec.empty()) return VideoCodec::kH264;
      throw ToolError("a .mp4 file holds H.264, not raw video (use .avi, .mkv or .y4m)", kExitUsage);
    }
    // FFmpeg reads no palette back from Matroska: the picture would be lost.
    if (kind == MovieKind::kMatroska && format.layout == Layout::kPal8) {
      throw ToolError("a .mkv file cannot carry the driver's palette for pal8 (use .avi or .y4m, or --codec mjpeg)",
                      kExitUsage);
    }
    return VideoCodec::kRaw;
  }
  if (y4m) {
    const char* files = codec == "h264" ? ".mp4 or .mkv" : codec == "mjpeg" ? ".avi or .mkv" : ".avi, .mkv or .mp4";
    throw ToolError("Y4M holds raw 4:2:0 pictures; --codec " + codec + " needs " + files, kExitUsage);
  }
  if (codec == "mjpeg") {
    if (kind == MovieKind::kMp4) throw ToolError("a .mp4 file holds H.264 here (use .avi or .mkv for mjpeg)", kExitUsage);
    return VideoCodec::kMjpeg;
  }
  if (codec == "h264") {
    if (kind == MovieKind::kAvi) throw ToolError("an .avi file holds raw video or mjpeg here (use .mp4 or .mkv for h264)", kExitUsage);
    return VideoCodec::kH264;
  }
  throw ToolError("--codec must be raw, mjpeg or h264 (got '" + codec + "')", kExitUsage);
}

const char* MovieKindName(MovieKind kind) {
  switch (kind) {
    case MovieKind::kAvi: return "avi";
    case MovieKind::kMatroska: return "matroska";
    case MovieKind::kMp4: return "mp4";
    case MovieKind::kY4m:
    case MovieKind::kY4mStdout: return "y4m";
  }
  return "";
}

}  // namespace zarncap
