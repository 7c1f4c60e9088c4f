// zarncap formats and zarncap defects, and the size argument.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "tools/zarncap/commands.h"
#include "tools/zarncap/driver_link.h"
#include "tools/zarncap/format_map.h"
#include "tools/zarncap/format_table.h"
#include "tools/zarncap/negotiate.h"
#include "tools/zarncap/session.h"
#include "tools/zarncap/tool_error.h"

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
  return request;
}

std::vector<RGBQUAD> PaletteFor(const PixelFormat& format, DriverLink& link) {
  if (format.layout != Layout::kPal8) return {};
  std::vector<RGBQUAD> palette = link.GetPalette();
  if (palette.empty()) throw ToolError("the driver gave no palette for pal8 (DVM_PALETTE)");
  return palette;
}

void RunFormats(const GlobalOptions& global, const FormatsOptions& options, const Host& host) {
  Session session(global, host);
  const auto map = MapAcceptedFormats(session.Link());
  session.Finish();
  if (options.json) {
    std::fputs(FormatMapJson(map).c_str(), host.out);
    return;
  }
  std::fprintf(host.out, "The driver accepts (asked with DVM_FORMAT at every size up to %dx%d; widths x heights, "
                         "first..last/step):\n", kMapMaxWidth, kMapMaxHeight);
  for (const FormatSizes& entry : map) {
    std::fprintf(host.out, "  %-6s %s\n", std::string(entry.format->name).c_str(), DescribeBlocks(entry.blocks).c_str());
  }
}

void RunDefects(const GlobalOptions& global, const DefectsOptions& options, const Host& host) {
  std::error_code ec;
  if (std::filesystem::is_directory(options.store, ec)) throw ToolError("cannot read " + options.store + ": it is a folder");
  std::ifstream in(options.store, std::ios::binary);
  if (!in) throw ToolError("cannot read " + options.store + ": " + std::strerror(errno));
  std::vector<BYTE> map((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw ToolError("cannot read " + options.store);
  if (map.size() != kDefectMapBytes) {
    throw ToolError(options.store + " holds " + std::to_string(map.size()) + " bytes; a defect map is exactly " +
                    std::to_string(kDefectMapBytes) + " bytes (160 entries of 3)");
  }

  Session session(global, host);
  DWORD result = 0;
  const DWORD answer = session.Link().SendPrivate(kStoreDefectMapMessage, reinterpret_cast<DWORD_PTR>(map.data()), &result);
  session.Finish();
  if (answer == DV_ERR_NOTSUPPORTED) {
    throw ToolError("the driver does not store defect maps (answer " + VideoErrorText(answer) + ")");
  }
  if (answer != 0) {
    throw ToolError("the driver could not store the defect map in the camera (answer " + std::to_string(answer) + ")");
  }
  Say(host, host.out, "zarncap: the driver stored the defect map from %s in the camera (answer 0)\n",
               options.store.c_str());
}

}  // namespace zarncap
