// Format negotiation with the driver: asking for one format (DVM_FORMAT SET,
// then GET to read what the driver made of it); what it accepts in all comes
// from format_map.h.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"
#include "tools/zarncap/host/driver_link.h"
#include "tools/zarncap/host/format_table.h"

namespace zarncap {

struct Negotiated {
  const PixelFormat* format = nullptr;  // the layout the driver will deliver
  int width = 0, height = 0;
  BITMAPINFOHEADER header{};  // as the driver reports it after the SET
  size_t frameBytes = 0;      // bytes of one frame in that layout
  size_t bufferBytes = 0;     // what a frame buffer must hold
};

// Sets the format; a refusal is an error listing what the driver accepts.
// Without a size of the user's (sizeGiven false) a refused default size gives
// way to the largest size the driver accepts in that format.
Negotiated NegotiateFormat(DriverLink& link, const PixelFormat& format, int width, int height, bool sizeGiven = true);

}  // namespace zarncap
