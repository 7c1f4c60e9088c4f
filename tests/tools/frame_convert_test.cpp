// zarncap's pixel conversions against hand-computed values.
#include <gtest/gtest.h>

#include <vector>

#include "tools/zarncap/host/format_table.h"
#include "tools/zarncap/media/frame_convert.h"
#include "zarncap/formats.h"

namespace zarncap {
namespace {

Frame MakeFrame(const char* name, int w, int h, const std::vector<uint8_t>& data,
                const std::vector<RGBQUAD>& palette = {}) {
  Frame frame;
  frame.format = FindFormat(name);
  frame.width = w;
  frame.height = h;
  frame.data = data;
  frame.palette = palette;
  return frame;
}

std::vector<uint8_t> ToRgb(const Frame& frame) {
  std::vector<uint8_t> rgb(static_cast<size_t>(frame.width * frame.height * 3), 0xEE);
  EXPECT_TRUE(FrameToRgb24(frame, rgb));
  return rgb;
}

TEST(YuvRgb, DriverMatrixOnStudioRange) {
  EXPECT_EQ(YuvToRgb(16, 128, 128), (Rgb{0, 0, 0}));
  EXPECT_EQ(YuvToRgb(235, 128, 128), (Rgb{255, 255, 255}));  // 19 x 219 / 16 = 260, clamped
  EXPECT_EQ(YuvToRgb(126, 128, 128), (Rgb{130, 130, 130}));
  EXPECT_EQ(YuvToRgb(100, 150, 110), (Rgb{70, 106, 143}));
  EXPECT_EQ(YuvToRgb(81, 90, 240), (Rgb{255, 0, 1}));
  EXPECT_EQ(YuvToRgb(16, 128, 0), (Rgb{0, 104, 0}));  // negative red clamps to 0
}

TEST(YuvRgb, Bt601StudioRangeFromRgb) {
  EXPECT_EQ(RgbToYuv(255, 255, 255), (Yuv{235, 128, 128}));
  EXPECT_EQ(RgbToYuv(0, 0, 0), (Yuv{16, 128, 128}));
  EXPECT_EQ(RgbToYuv(255, 0, 0), (Yuv{82, 90, 240}));
  EXPECT_EQ(RgbToYuv(0, 255, 0), (Yuv{144, 54, 34}));
  EXPECT_EQ(RgbToYuv(0, 0, 255), (Yuv{41, 240, 110}));
}

TEST(FrameToRgb24, Rgb24BottomUpRowsComeOutTopDown) {
  const std::vector<uint8_t> data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // buffer row 0 = image bottom row
  EXPECT_EQ(ToRgb(MakeFrame("rgb24", 2, 2, data)), (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
}

TEST(FrameToRgb24, Rgb555WidensFiveBitsAndFlips) {
  // One column, two rows: buffer row 0 (bottom) white, row 1 (top) red.
  EXPECT_EQ(ToRgb(MakeFrame("rgb16", 1, 2, {0xFF, 0x7F, 0x00, 0x7C})),
            (std::vector<uint8_t>{255, 0, 0, 255, 255, 255}));
  // Level 1 of 31 widens to 8; pure green keeps only green.
  EXPECT_EQ(ToRgb(MakeFrame("rgb16", 2, 1, {0x21, 0x04, 0xE0, 0x03})), (std::vector<uint8_t>{8, 8, 8, 0, 255, 0}));
}

TEST(FrameToRgb24, PaletteIndicesAndIndicesBeyondThePalette) {
  const std::vector<RGBQUAD> palette{{10, 20, 30, 0}, {40, 50, 60, 0}};  // B, G, R
  EXPECT_EQ(ToRgb(MakeFrame("pal8", 2, 2, {1, 200, 0, 1}, palette)),
            (std::vector<uint8_t>{30, 20, 10, 60, 50, 40, 60, 50, 40, 0, 0, 0}));
}

TEST(FrameToRgb24, PlanarChromaOrderOfI420Yv12AndYvu9) {
  // I420: Y, then U, then V.
  EXPECT_EQ(ToRgb(MakeFrame("i420", 2, 2, {16, 235, 126, 81, 128, 128})),
            (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 130, 130, 130, 77, 77, 77}));
  // YV12 stores V first: V = 0 gives (0, 104, 0) for black luma; read as U it would give (0, 48, 0).
  const auto yv12 = ToRgb(MakeFrame("yv12", 2, 2, {16, 16, 16, 16, 0, 128}));
  EXPECT_EQ((std::vector<uint8_t>(yv12.begin(), yv12.begin() + 3)), (std::vector<uint8_t>{0, 104, 0}));
  // YVU9: one V and one U sample for the whole 4 x 4 block, V first.
  std::vector<uint8_t> yvu9(16, 126);
  yvu9.push_back(0);    // V
  yvu9.push_back(128);  // U
  const auto rgb = ToRgb(MakeFrame("yvu9", 4, 4, yvu9));
  for (size_t i = 0; i < rgb.size(); i += 3) EXPECT_EQ((Rgb{rgb[i], rgb[i + 1], rgb[i + 2]}), (Rgb{0, 234, 130}));
}

TEST(FrameToRgb24, Yuy2IsBottomUpAsTheDriverWritesIt) {
  // Buffer row 0 is the image's bottom row (black), row 1 its top row (white).
  const auto rgb = ToRgb(MakeFrame("yuy2", 2, 2, {16, 128, 16, 128, 235, 128, 235, 128}));
  EXPECT_EQ(rgb, (std::vector<uint8_t>{255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0}));
}

TEST(FrameToRgb24, RefusesIncompleteFrames) {
  std::vector<uint8_t> out(64);
  EXPECT_FALSE(FrameToRgb24(MakeFrame("rgb24", 2, 2, std::vector<uint8_t>(11)), out));
  EXPECT_FALSE(FrameToRgb24(MakeFrame("i420", 3, 2, std::vector<uint8_t>(64)), out));  // odd 4:2:0 width
  EXPECT_FALSE(FrameToRgb24(MakeFrame("rgb24", 4, 4, std::vector<uint8_t>(48)), std::span<uint8_t>(out.data(), 47)));
}

TEST(Rgb24ToI420, AveragesChromaOverEachBlockIncludingOddEdges) {
  // White, black / red, blue: Y per pixel, U and V the rounded mean of the four.
  const std::vector<uint8_t> rgb{255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255};
  std::vector<uint8_t> out(I420Bytes(2, 2));
  Rgb24ToI420(rgb, 2, 2, out);
  EXPECT_EQ(out, (std::vector<uint8_t>{235, 16, 82, 41, 147, 152}));

  // Three pixels in one row: the last chroma sample covers one pixel only.
  std::vector<uint8_t> odd(I420Bytes(3, 1));
  ASSERT_EQ(odd.size(), 3u + 2u * 2u);
  Rgb24ToI420(std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 255, 0, 0}, 3, 1, odd);
  EXPECT_EQ(odd, (std::vector<uint8_t>{16, 16, 82, 128, 90, 128, 240}));
}

TEST(FrameToI420, Yuy2AndYvu9BecomeFourTwoZero) {
  std::vector<uint8_t> out(I420Bytes(2, 2)), scratch(12);
  // Buffer row 0 = image row 1: U 100, V 200; buffer row 1 = image row 0: U 50, V 60.
  ASSERT_TRUE(FrameToI420(MakeFrame("yuy2", 2, 2, {1, 100, 2, 200, 3, 50, 4, 60}), out, scratch));
  EXPECT_EQ(out, (std::vector<uint8_t>{3, 4, 1, 2, 75, 130}));

  std::vector<uint8_t> yvu9(16);
  for (size_t i = 0; i < 16; ++i) yvu9[i] = static_cast<uint8_t>(i);
  yvu9.push_back(7);  // V
  yvu9.push_back(9);  // U
  std::vector<uint8_t> big(I420Bytes(4, 4)), bigScratch(48);
  ASSERT_TRUE(FrameToI420(MakeFrame("yvu9", 4, 4, yvu9), big, bigScratch));
  EXPECT_EQ((std::vector<uint8_t>(big.begin() + 16, big.end())), (std::vector<uint8_t>{9, 9, 9, 9, 7, 7, 7, 7}));
  EXPECT_EQ(big[5], 5);
}

TEST(FrameToI420, RgbGoesThroughTheScratchImage) {
  std::vector<uint8_t> out(I420Bytes(2, 2)), scratch(12);
  // BGR bottom-up: bottom row red, red; top row blue, blue.
  ASSERT_TRUE(FrameToI420(MakeFrame("rgb24", 2, 2, {0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0}), out, scratch));
  EXPECT_EQ(out, (std::vector<uint8_t>{41, 41, 82, 82, 165, 175}));  // U (240+90)/2, V (110+240)/2
  EXPECT_FALSE(FrameToI420(MakeFrame("rgb24", 2, 2, std::vector<uint8_t>(12)), out, std::span<uint8_t>(scratch.data(), 4)));
}

TEST(FrameToTopDown, FlipsBottomUpRowsAndKeepsPlanarBytes) {
  std::vector<uint8_t> out(12);
  ASSERT_TRUE(FrameToTopDown(MakeFrame("rgb24", 2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), out));
  EXPECT_EQ(out, (std::vector<uint8_t>{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
  std::vector<uint8_t> packed(8);
  ASSERT_TRUE(FrameToTopDown(MakeFrame("yuy2", 2, 2, {1, 2, 3, 4, 5, 6, 7, 8}), packed));
  EXPECT_EQ(packed, (std::vector<uint8_t>{5, 6, 7, 8, 1, 2, 3, 4}));
  std::vector<uint8_t> planar(6);
  ASSERT_TRUE(FrameToTopDown(MakeFrame("yv12", 2, 2, {1, 2, 3, 4, 50, 60}), planar));
  EXPECT_EQ(planar, (std::vector<uint8_t>{1, 2, 3, 4, 50, 60}));
  EXPECT_FALSE(FrameToTopDown(MakeFrame("yv12", 2, 2, {1, 2, 3, 4, 50}), planar));
}

TEST(FormatTable, FrameSizesAndHeaders) {
  EXPECT_EQ(FrameBytes(*FindFormat("rgb24"), 320, 240), 230400u);
  EXPECT_EQ(FrameBytes(*FindFormat("I420"), 160, 120), 28800u);
  EXPECT_EQ(FrameBytes(*FindFormat("yvu9"), 160, 120), 21600u);
  EXPECT_EQ(FrameBytes(*FindFormat("yuy2"), 160, 120), 38400u);
  const BITMAPINFOHEADER h = MakeFormatHeader(*FindFormat("iyuv"), 176, 144);
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biCompression, FOURCC_IYUV);
  EXPECT_EQ(h.biSizeImage, 176u * 144u * 3u / 2u);
  EXPECT_EQ(FindFormat("nv12"), nullptr);
  BITMAPINFOHEADER i420 = h;
  i420.biCompression = FOURCC_I420;
  EXPECT_EQ(FormatOfHeader(i420)->layout, Layout::kI420);
  EXPECT_EQ(CompressionText(FOURCC_YVU9), "YVU9");
}

}  // namespace
}  // namespace zarncap
