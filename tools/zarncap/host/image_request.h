// The picture a run asks for: --size and --format as the commands and the
// preview take them, and the palette an 8-bit format needs.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"
#include "tools/zarncap/host/format_table.h"

namespace zarncap {

class DriverLink;

// "320x240" -> 320, 240; false for anything else (sizes 1..4096).
bool ParseSize(const std::string& text, int* width, int* height);

// --size and --format as a command gives them; a bad value is a usage error.
struct ImageRequest {
  int width = 0;
  int height = 0;
  const PixelFormat* format = nullptr;
  bool sizeGiven = true;  // false: the default size, which may give way to one the format takes
};
ImageRequest ParseImageRequest(const std::string& size, const std::string& format, bool sizeGiven = true);
// The driver's palette when the format is 8-bit (empty otherwise); a driver
// that gives none for an 8-bit format is an error.
std::vector<RGBQUAD> PaletteFor(const PixelFormat& format, DriverLink& link);

}  // namespace zarncap
