#include "tools/zarncap/v4l2/face_formats.h"

#include <algorithm>
#include <cstdlib>

#include "tools/zarncap/host/driver_link.h"
#include "tools/zarncap/host/format_map.h"
#include "tools/zarncap/host/size_table.h"

namespace zarncap {
namespace {

// The twins in the driver's format table are V4L2's own codes.
static_assert(ZarncapFormatOf(0, 24)->v4l2 == V4L2_PIX_FMT_BGR24);
static_assert(ZarncapFormatOf(0, 16)->v4l2 == V4L2_PIX_FMT_RGB555);
static_assert(ZarncapFormatOf(FOURCC_I420, 12)->v4l2 == V4L2_PIX_FMT_YUV420);
static_assert(ZarncapFormatOf(FOURCC_YV12, 12)->v4l2 == V4L2_PIX_FMT_YVU420);
static_assert(ZarncapFormatOf(FOURCC_YUY2, 16)->v4l2 == V4L2_PIX_FMT_YUYV);
static_assert(ZarncapFormatOf(FOURCC_YVU9, 9)->v4l2 == V4L2_PIX_FMT_YVU410);

}  // namespace

std::vector<FaceFormat> FaceFormatTable() {
  std::vector<FaceFormat> table;
  for (const PixelFormat& pixel : AllFormats()) {
    if (pixel.v4l2 == 0) continue;  // no V4L2 twin
    table.push_back({&pixel, pixel.v4l2, pixel.v4l2Description.data(), pixel.bottomUp, {}});
  }
  return table;
}

FaceFormats::FaceFormats(DriverLink& link) : formats_(FaceFormatTable()) {
  for (FaceFormat& format : formats_) {
    format.sizes = OfferedStreamSizes(MapAcceptedSizes(link, *format.pixel));
  }
  std::erase_if(formats_, [](const FaceFormat& format) { return format.sizes.empty(); });
}

const FaceFormat* FaceFormats::Find(std::uint32_t fourcc) const {
  for (const FaceFormat& format : formats_) {
    if (format.fourcc == fourcc) return &format;
  }
  return nullptr;
}

FaceSize FaceFormats::Nearest(const FaceFormat& format, int width, int height) const {
  FaceSize best{format.sizes.back().first, format.sizes.back().second};
  long bestDistance = -1;
  for (auto [w, h] : format.sizes) {
    const long distance = std::labs(static_cast<long>(w) - width) + std::labs(static_cast<long>(h) - height);
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = {w, h};
    }
  }
  return best;
}

v4l2_pix_format FaceFormats::Describe(const FaceFormat& format, FaceSize size) const {
  v4l2_pix_format pix = {};
  pix.width = static_cast<std::uint32_t>(size.width);
  pix.height = static_cast<std::uint32_t>(size.height);
  pix.pixelformat = format.fourcc;
  pix.field = V4L2_FIELD_NONE;
  pix.bytesperline = static_cast<std::uint32_t>(RowBytes(*format.pixel, size.width));
  pix.sizeimage = static_cast<std::uint32_t>(FrameBytes(*format.pixel, size.width, size.height));
  const bool rgb = !format.pixel->yuv;
  pix.colorspace = V4L2_COLORSPACE_SRGB;
  pix.xfer_func = V4L2_XFER_FUNC_SRGB;
  // The driver's YUV is studio-range BT.601; its RGB full range.
  pix.ycbcr_enc = rgb ? V4L2_YCBCR_ENC_DEFAULT : V4L2_YCBCR_ENC_601;
  pix.quantization = rgb ? V4L2_QUANTIZATION_FULL_RANGE : V4L2_QUANTIZATION_LIM_RANGE;
  return pix;
}

}  // namespace zarncap
