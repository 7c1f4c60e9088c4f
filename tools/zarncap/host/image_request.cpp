// --size and --format as the commands take them, and the palette an 8-bit
// format needs.
#include "tools/zarncap/host/image_request.h"

#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/driver_link.h"
#include "tools/zarncap/host/size_table.h"

namespace zarncap {

bool ParseSize(const std::string& text, int* width, int* height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos || x == 0 || x + 1 >= text.size()) return false;
  auto number = [](const std::string& digits, int* value) {
    if (digits.empty() || digits.size() > 5) return false;
    int result = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      result = result * 10 + (c - '0');
    }
    if (result < 1 || result > 4096) return false;
    *value = result;
    return true;
  };
  return number(text.substr(0, x), width) && number(text.substr(x + 1), height);
}

ImageRequest ParseImageRequest(const std::string& size, const std::string& format, bool sizeGiven) {
  ImageRequest request;
  request.sizeGiven = sizeGiven;
  if (!ParseSize(size, &request.width, &request.height)) {
    throw ToolError("--size must be WIDTHxHEIGHT, e.g. 320x240 (got '" + size + "')", kExitUsage);
  }
  request.format = FindFormat(format);
  if (request.format == nullptr) {
    throw ToolError("unknown format '" + format + "' (one of " + FormatNames() + ")", kExitUsage);
  }
  // A size the driver never takes is told now, not after the seconds an open takes.
  if (sizeGiven) RequireKnownSize(*request.format, request.width, request.height);
  return request;
}

std::vector<RGBQUAD> PaletteFor(const PixelFormat& format, DriverLink& link) {
  if (format.layout != Layout::kPal8) return {};
  std::vector<RGBQUAD> palette = link.GetPalette();
  if (palette.empty()) throw ToolError("the driver gave no palette for pal8 (DVM_PALETTE)");
  return palette;
}

}  // namespace zarncap
