// Pictures through DriverProc: a flat grey scene comes out flat and neutral
// once white balance has settled, with no stuck pixel, and colour bars come
// out in their hues, in both camera modes and the output formats.
#include <cmath>

#include "capture_host.h"

namespace capture_host {
namespace {

struct Rgb {
  double r, g, b;
};

// Pixel (x, y), y counted from the top, of an uncompressed bottom-up image.
Rgb PixelAt(const std::vector<BYTE>& image, LONG w, LONG h, WORD bits, LONG x, LONG y) {
  const LONG row = h - 1 - y;
  if (bits == 24) {
    const BYTE* p = &image[static_cast<size_t>((row * w + x) * 3)];
    return {double(p[2]), double(p[1]), double(p[0])};
  }
  const auto* words = reinterpret_cast<const WORD*>(image.data());
  const WORD v = words[row * w + x];
  return {double(((v >> 10) & 31) << 3), double(((v >> 5) & 31) << 3), double((v & 31) << 3)};
}

struct Stats {
  Rgb mean{};
  double spread = 0;  // largest distance of one pixel's channel from the channel mean
  double stddev = 0;
};

Stats Measure(const std::vector<BYTE>& image, LONG w, LONG h, WORD bits) {
  Stats s;
  const double n = double(w) * h;
  for (LONG y = 0; y < h; ++y) {
    for (LONG x = 0; x < w; ++x) {
      Rgb p = PixelAt(image, w, h, bits, x, y);
      s.mean.r += p.r / n;
      s.mean.g += p.g / n;
      s.mean.b += p.b / n;
    }
  }
  double var = 0;
  for (LONG y = 0; y < h; ++y) {
    for (LONG x = 0; x < w; ++x) {
      Rgb p = PixelAt(image, w, h, bits, x, y);
      for (double d : {p.r - s.mean.r, p.g - s.mean.g, p.b - s.mean.b}) {
        s.spread = std::max(s.spread, std::fabs(d));
        var += d * d / (3 * n);
      }
    }
  }
  s.stddev = std::sqrt(var);
  return s;
}

class CapturePictureTest : public CaptureHostTest {
 protected:
  // Captures `frames` frames in the format; the last one stays in buffer.
  void CaptureSettled(HDRVR video, const BITMAPINFOHEADER& format, std::vector<BYTE>& buffer, int frames = 30) {
    ASSERT_EQ(SetFormat(video, format), DV_ERR_OK);
    buffer.assign(GetFormat(video).biSizeImage, 0);
    for (int i = 0; i < frames; ++i) ASSERT_EQ(Frame(video, buffer), DV_ERR_OK) << "frame " << i;
  }
};

struct FlatCase {
  LONG w, h;
  WORD bits;
};

void ExpectFlatAndNeutral(const std::vector<BYTE>& image, FlatCase c) {
  Stats s = Measure(image, c.w, c.h, c.bits);
  EXPECT_GT(s.mean.g, 60);
  EXPECT_LT(s.mean.g, 200);
  EXPECT_NEAR(s.mean.r, s.mean.g, 10);
  EXPECT_NEAR(s.mean.b, s.mean.g, 10);
  EXPECT_LT(s.stddev, c.bits == 16 ? 10 : 8);  // RGB555 moves in steps of 8
  EXPECT_LT(s.spread, 48);  // a stuck pixel stands out far more (0 or 255 against about 100)
}

// Mode 1 (sizes above 160 x 120): every defect of the camera's map is repaired.
TEST_F(CapturePictureTest, FlatGreyFromTheRawModeIsFlatAndNeutralWithNoStuckPixel) {
  Camera("sim:scene=flat:128,128,128,defects=40");
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  for (FlatCase c : {FlatCase{320, 240, 24}, FlatCase{320, 240, 16}, FlatCase{640, 480, 24}, FlatCase{240, 180, 24}}) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " x " << c.bits);
    std::vector<BYTE> image;
    CaptureSettled(video, Header(c.w, c.h, c.bits), image);
    ExpectFlatAndNeutral(image, c);
  }
}

// With DebugLevel bit 0x02 the repair is skipped and the stuck pixels show.
TEST_F(CapturePictureTest, SkippingTheDefectRepairLeavesTheStuckPixels) {
  Camera("sim:scene=flat:128,128,128,defects=40");
  Setting("ZARNCAP", "DebugLevel", "2");
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  std::vector<BYTE> image;
  CaptureSettled(video, Header(320, 240), image, 5);
  EXPECT_GT(Measure(image, 320, 240, 24).spread, 80);
}

// Mode 2 (up to 160 x 120, and 176 x 144): the camera forms luminance and
// colour difference itself; white balance settles the grey to neutral.
TEST_F(CapturePictureTest, FlatGreyFromTheYuvModeIsFlatAndNeutral) {
  Camera("sim:scene=flat:128,128,128,defects=none");
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  for (FlatCase c : {FlatCase{160, 120, 24}, FlatCase{160, 120, 16}, FlatCase{176, 144, 24}, FlatCase{128, 96, 24}}) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " x " << c.bits);
    std::vector<BYTE> image;
    CaptureSettled(video, Header(c.w, c.h, c.bits), image);
    ExpectFlatAndNeutral(image, c);
  }
}

TEST_F(CapturePictureTest, FlatGreyIsNeutralInTheYuvFormats) {
  Camera("sim:scene=flat:128,128,128,defects=none");
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  std::vector<BYTE> image;
  CaptureSettled(video, Header(160, 120, 12, FOURCC_I420), image);
  const size_t luma = 160 * 120;
  double y = 0, u = 0, v = 0;
  for (size_t i = 0; i < luma; ++i) y += image[i] / double(luma);
  for (size_t i = 0; i < luma / 4; ++i) {
    u += image[luma + i] / double(luma / 4);
    v += image[luma + luma / 4 + i] / double(luma / 4);
  }
  EXPECT_GT(y, 60);
  EXPECT_NEAR(u, 128, 6);
  EXPECT_NEAR(v, 128, 6);

  CaptureSettled(video, Header(160, 120, 16, FOURCC_YUY2), image);
  double u2 = 0, v2 = 0;
  for (size_t i = 0; i < luma / 2; ++i) {
    u2 += image[4 * i + 1] / double(luma / 2);
    v2 += image[4 * i + 3] / double(luma / 2);
  }
  EXPECT_NEAR(u2, 128, 6);
  EXPECT_NEAR(v2, 128, 6);
}

TEST_F(CapturePictureTest, ColourBarsComeOutInTheirHues) {
  Camera("sim:scene=bars");
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  for (LONG w : {160, 320}) {
    const LONG h = w * 3 / 4;
    SCOPED_TRACE(w);
    std::vector<BYTE> image;
    CaptureSettled(video, Header(w, h), image, 10);
    // White, yellow, cyan, green, magenta, red, blue, black from left to right.
    const char* names[] = {"white", "yellow", "cyan", "green", "magenta", "red", "blue", "black"};
    const int lit[8][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0}, {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
    for (int bar = 0; bar < 8; ++bar) {
      SCOPED_TRACE(names[bar]);
      Rgb p = PixelAt(image, w, h, 24, (2 * bar + 1) * w / 16, h / 2);
      const double c[3] = {p.r, p.g, p.b};
      for (int on = 0; on < 3; ++on) {
        for (int off = 0; off < 3; ++off) {
          if (lit[bar][on] && !lit[bar][off]) {
            EXPECT_GT(c[on], c[off] + 40) << on << " vs " << off;
          }
        }
      }
      if (bar == 0) {
        EXPECT_GT(std::min({p.r, p.g, p.b}), 120);
      }
      if (bar == 7) {
        EXPECT_LT(std::max({p.r, p.g, p.b}), 60);
      }
    }
  }
}

}  // namespace
}  // namespace capture_host
