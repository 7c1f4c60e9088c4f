// Which file a name asks for, and whether it can hold the chosen format.
#pragma once

#include <string>

#include "tools/zarncap/format_table.h"
#include "tools/zarncap/video_writers.h"

namespace zarncap {

enum class StillKind { kPng, kJpeg, kBmp, kYuv };
enum class MovieKind { kAvi, kMatroska, kY4m, kY4mStdout };

// By --type (png, jpg, bmp, yuv) when given, else by the name's ending (any
// case; standard output, "-", is PNG); throws ToolError (usage) for an ending
// the tool does not write or a format the file cannot hold.
StillKind StillKindOf(const std::string& path, const std::string& type, const PixelFormat& format);
MovieKind MovieKindOf(const std::string& path, const PixelFormat& format);

}  // namespace zarncap
