// Format requests and probing.
#include "tools/zarncap/negotiate.h"

#include <algorithm>

#include "tools/zarncap/tool_error.h"

namespace zarncap {

std::vector<std::pair<int, int>> CandidateSizes() {
  return {{64, 48},   {80, 60},   {128, 96},  {160, 120}, {176, 144}, {240, 180}, {256, 192},
          {320, 240}, {352, 288}, {384, 288}, {480, 360}, {640, 480}, {720, 576}, {800, 600}};
}

std::vector<AcceptedFormat> ProbeFormats(DriverLink& link) {
  std::vector<AcceptedFormat> accepted;
  for (const auto& [width, height] : CandidateSizes()) {
    for (const auto& format : AllFormats()) {
      if (link.SetFormat(MakeFormatHeader(format, width, height)) == DV_ERR_OK) {
        accepted.push_back({width, height, &format});
      }
    }
  }
  return accepted;
}

std::string DescribeAccepted(const std::vector<AcceptedFormat>& accepted) {
  if (accepted.empty()) return "none of the sizes and formats it was asked about";
  std::string text;
  for (const auto& format : AllFormats()) {
    std::string sizes;
    for (const auto& a : accepted) {
      if (a.format != &format) continue;
      sizes += " " + std::to_string(a.width) + "x" + std::to_string(a.height);
    }
    if (sizes.empty()) continue;
    if (!text.empty()) text += ", ";
    text += std::string(format.name) + sizes;
  }
  return text;
}

namespace {

// The largest of the candidate sizes the driver takes in this format; false
// when it takes none.
bool LargestAccepted(DriverLink& link, const PixelFormat& format, int* width, int* height) {
  bool found = false;
  for (const auto& [w, h] : CandidateSizes()) {
    if (found && w * h <= *width * *height) continue;
    if (link.SetFormat(MakeFormatHeader(format, w, h)) != DV_ERR_OK) continue;
    *width = w;
    *height = h;
    found = true;
  }
  return found;
}

}  // namespace

Negotiated NegotiateFormat(DriverLink& link, const PixelFormat& format, int width, int height, bool sizeGiven) {
  BITMAPINFOHEADER request = MakeFormatHeader(format, width, height);
  DWORD answer = link.SetFormat(request);
  if (answer != DV_ERR_OK && !sizeGiven && LargestAccepted(link, format, &width, &height)) {
    request = MakeFormatHeader(format, width, height);
    answer = link.SetFormat(request);
  }
  if (answer != DV_ERR_OK) {
    const std::string what = std::string(format.name) + " " + std::to_string(width) + "x" + std::to_string(height);
    const auto accepted = ProbeFormats(link);
    throw ToolError("the driver refused " + what + " (answer " + VideoErrorText(answer) +
                    "); it accepts: " + DescribeAccepted(accepted));
  }
  Negotiated result;
  result.format = &format;
  result.width = width;
  result.height = height;
  result.header = request;
  BITMAPINFOHEADER reported{};
  // The driver may restate the request (IYUV comes back as I420, which has the
  // same layout); a report of another size or layout is not trusted.
  if (link.GetFormat(&reported) && reported.biWidth == width && reported.biHeight == height) {
    if (const PixelFormat* same = FormatOfHeader(reported); same != nullptr && same->layout == format.layout) {
      result.header = reported;
    }
  }
  result.frameBytes = FrameBytes(format, width, height);
  // A frame buffer holds what the driver says a frame takes, within reason.
  result.bufferBytes = std::clamp<size_t>(result.header.biSizeImage, result.frameBytes, 4 * result.frameBytes);
  return result;
}

}  // namespace zarncap
