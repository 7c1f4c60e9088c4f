// The driver's formats as V4L2 pixel formats, and the sizes the face offers:
// in each format the format dialog's seven sizes the driver takes, and the
// largest it takes; a request for any other size snaps to the nearest of them.
#pragma once

#include <linux/videodev2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/zarncap/host/format_table.h"

namespace zarncap {

class DriverLink;

struct FaceFormat {
  const PixelFormat* pixel = nullptr;
  std::uint32_t fourcc = 0;
  const char* description = "";  // V4L2's text for the pixel format
  bool flipRows = false;  // the driver writes bottom-up rows; V4L2 wants top-down
  std::vector<std::pair<int, int>> sizes;  // offered sizes, smallest first
};

struct FaceSize {
  int width = 0;
  int height = 0;
};

class FaceFormats {
 public:
  // Asks the driver which sizes it takes in each format (leaves it in the
  // first format's largest offered size).
  explicit FaceFormats(DriverLink& link);
  // For tests: the formats with the sizes given.
  explicit FaceFormats(std::vector<FaceFormat> formats) : formats_(std::move(formats)) {}

  const std::vector<FaceFormat>& All() const { return formats_; }
  const FaceFormat* Find(std::uint32_t fourcc) const;
  // The offered size nearest to the request (by the sum of the differences).
  FaceSize Nearest(const FaceFormat& format, int width, int height) const;
  // The V4L2 record of a format at an offered size: bytesperline, sizeimage,
  // field and colour description stated.
  v4l2_pix_format Describe(const FaceFormat& format, FaceSize size) const;

 private:
  std::vector<FaceFormat> formats_;
};

// The table of formats with a V4L2 twin (no sizes yet).
std::vector<FaceFormat> FaceFormatTable();

}  // namespace zarncap
