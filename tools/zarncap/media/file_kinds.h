// Which file a name asks for, and whether it can hold the chosen format.
#pragma once

#include <string>

#include "tools/zarncap/host/format_table.h"
#include "tools/zarncap/media/video_writers.h"

namespace zarncap {

enum class StillKind { kPng, kJpeg, kBmp, kYuv };
enum class MovieKind { kAvi, kMatroska, kMp4, kY4m, kY4mStdout };

// By --type (png, jpg, bmp, yuv) when given, else by the name's ending (any
// case; standard output, "-", is PNG); throws ToolError (usage) for an ending
// the tool does not write or a format the file cannot hold.
StillKind StillKindOf(const std::string& path, const std::string& type, const PixelFormat& format);
// Whether --type, or else the name's ending, asks for raw YUV.
bool NamesRawYuv(const std::string& path, const std::string& type);
MovieKind MovieKindOf(const std::string& path);
// The codec --codec names (raw, mjpeg, h264; "" = the file's default: raw,
// and H.264 for .mp4); throws ToolError (usage) for a codec the file cannot
// hold or a format the codec cannot carry.
VideoCodec MovieCodecOf(MovieKind kind, const std::string& codec, const PixelFormat& format);
// "avi", "matroska", "mp4" or "y4m".
const char* MovieKindName(MovieKind kind);

}  // namespace zarncap
