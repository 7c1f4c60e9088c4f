// Format negotiation with the driver: asking for one format (DVM_FORMAT SET,
// then GET to read what the driver made of it), and finding every size and
// format it accepts by asking it about a list of candidates.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"
#include "tools/zarncap/driver_link.h"
#include "tools/zarncap/format_table.h"

namespace zarncap {

struct Negotiated {
  const PixelFormat* format = nullptr;  // the layout the driver will deliver
  int width = 0, height = 0;
  BITMAPINFOHEADER header{};  // as the driver reports it after the SET
  size_t frameBytes = 0;      // bytes of one frame in that layout
  size_t bufferBytes = 0;     // what a frame buffer must hold
};

struct AcceptedFormat {
  int width, height;
  const PixelFormat* format;
};

// The sizes `formats` asks the driver about.
std::vector<std::pair<int, int>> CandidateSizes();
// Every candidate size and format the driver accepts, by size then format.
// Leaves the channel in the last format tried.
std::vector<AcceptedFormat> ProbeFormats(DriverLink& link);
// One line: "rgb24 80x60 160x120, pal8 80x60, ...".
std::string DescribeAccepted(const std::vector<AcceptedFormat>& accepted);
// Asks for the format; when the driver refuses, probes and throws ToolError
// with the list of what it accepts.
// Sets the format; a refusal is an error listing what the driver accepts.
// Without a size of the user's (sizeGiven false) a refused default size gives
// way to the largest size the driver accepts in that format.
Negotiated NegotiateFormat(DriverLink& link, const PixelFormat& format, int width, int height, bool sizeGiven = true);

}  // namespace zarncap
