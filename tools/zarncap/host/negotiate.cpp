// Format requests.
#include "tools/zarncap/host/negotiate.h"

#include <algorithm>

#include "tools/zarncap/host/format_map.h"
#include "tools/zarncap/common/tool_error.h"

namespace zarncap {

Negotiated NegotiateFormat(DriverLink& link, const PixelFormat& format, int width, int height, bool sizeGiven) {
  BITMAPINFOHEADER request = MakeFormatHeader(format, width, height);
  DWORD answer = link.SetFormat(request);
  if (answer != DV_ERR_OK && !sizeGiven && LargestSize(MapAcceptedSizes(link, format), &width, &height)) {
    request = MakeFormatHeader(format, width, height);
    answer = link.SetFormat(request);
  }
  if (answer != DV_ERR_OK) {
    const std::string what = std::string(format.name) + " " + std::to_string(width) + "x" + std::to_string(height);
    // The sizes of the format asked for: the one list the user needs now.
    throw ToolError("the driver refused " + what + " (answer " + VideoErrorText(answer) +
                    "); it takes (widths x heights, first..last/step): " + std::string(format.name) + " " +
                    DescribeBlocks(MapAcceptedSizes(link, format).blocks));
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
