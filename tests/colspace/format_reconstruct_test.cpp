// Format selection and the reconstruction steps on frames made here.
#include <cmath>
#include <cstring>

#include "colspace/colspace_fixture.h"
#include "colspace/reconstruct.h"
#include "colspace/writers.h"
#include "colspace/yuv_prepare.h"
#include "core/driver_state.h"
#include "platform/portable/testing.h"

namespace {

using FormatTest = ColSpaceTest;

TEST_F(FormatTest, MosaicSizesDirectStretchedDoubledOrRefused) {
  ColSpace* cs = Make();
  BITMAPINFOHEADER src = Header(164, 124, 8, FOURCC_PSHU);
  BITMAPINFOHEADER out = Header(160, 120, 24, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  EXPECT_EQ(cs->stretch10by9, 0);
  EXPECT_EQ(cs->reconWidth, 160);

  src = Header(148, 112, 8, FOURCC_PSHU);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  EXPECT_EQ(cs->stretch10by9, 1);
  EXPECT_EQ(cs->reconWidth, 144);
  EXPECT_EQ(cs->reconHeight, 108);

  // 178 x 134 passes the 9/10 test but can never be stretched: refused, and
  // the accepted format stays.
  src = Header(164, 124, 8, FOURCC_PSHU);
  out = Header(178, 134, 24, 0);
  EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  EXPECT_EQ(cs->sourceFormat.biWidth, 148);
  EXPECT_EQ(cs->outputFormat.biWidth, 160);

  src = Header(324, 244, 8, FOURCC_PSHU);
  out = Header(640, 480, 24, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  EXPECT_EQ(cs->doubleSize, 1);
  EXPECT_EQ(cs->outputFormat.biWidth, 320);
  EXPECT_EQ(cs->outputFormat.biHeight, 240);
  EXPECT_EQ(out.biWidth, 640);  // the caller's header is as it was
  EXPECT_EQ(out.biHeight, 480);
  src = Header(164, 124, 8, FOURCC_PSHU);
  EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &src, &out));

  src = Header(324, 244, 8, FOURCC_PSHU);
  out = Header(640, 480, 16, 0);
  EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &src, &out));  // 16 bits above 320 x 240
  out = Header(320, 240, 8, 0);
  EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  out = Header(320, 240, 12, FOURCC_I420);
  EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  out = Header(320, 240, 16, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  EXPECT_NE(cs->intermediateImage, nullptr);
  EXPECT_EQ(cs->intermediateFormat.biSizeImage, 320u * 240 * 3);
  EXPECT_EQ(cs->intermediateFormat.biBitCount, 24);

  // Sources no frame of the raw buffer can be.
  out = Header(160, 120, 24, 0);
  for (BITMAPINFOHEADER bad : {Header(163, 124, 8, FOURCC_PSHU), Header(516, 124, 8, FOURCC_PSHU),
                               Header(400, 300, 8, FOURCC_PSHU), Header(164, 124, 8, MakeFourCC('X', 'X', 'X', 'X'))})
    EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &bad, &out));
}

TEST_F(FormatTest, YUVSourceOutputs) {
  ColSpace* cs = Make();
  BITMAPINFOHEADER src = Header(160, 120, 16, FOURCC_PYUV);
  for (int bits : {24, 16, 8}) {
    BITMAPINFOHEADER out = Header(160, 120, bits, 0);
    EXPECT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out)) << bits;
  }
  BITMAPINFOHEADER out = Header(320, 240, 8, 0);
  EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  out = Header(320, 240, 32, 0);
  EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &src, &out));  // would fail every frame
  out = Header(320, 240, 24, 0);
  EXPECT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  out = Header(320, 240, 16, 0);
  EXPECT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  EXPECT_EQ(cs->intermediateFormat.biWidth, 320);
  out = Header(161, 120, 24, 0);
  EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &src, &out));

  out = Header(160, 120, 12, FOURCC_IYUV);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  EXPECT_EQ(out.biCompression, FOURCC_I420);
  EXPECT_EQ(cs->outputFormat.biCompression, FOURCC_I420);
  for (DWORD tag : {FOURCC_YV12, FOURCC_YUY2, FOURCC_YVU9}) {
    out = Header(160, 120, 16, tag);
    EXPECT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  }
  out = Header(160, 120, 16, FOURCC_CYUV);
  EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  // Written at the source's size: a larger header is fine, a smaller buffer is not.
  out = Header(176, 144, 12, FOURCC_I420);
  EXPECT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  out = Header(80, 60, 12, FOURCC_I420);
  EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  BITMAPINFOHEADER odd = Header(161, 120, 16, FOURCC_PYUV);
  out = Header(161, 120, 24, 0);
  EXPECT_FALSE(SetColSpaceFormat(CurrentColSpace(), &odd, &out));
}

TEST(DeinterleaveRowsTest, RestoresColumnOrder) {
  // w = 8: old bytes 0..7 -> new 3,0,4,1,5,2,6,3 (the last old byte dropped).
  BYTE row[16] = {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17};
  ASSERT_TRUE(DeinterleaveRows(row, 8, 2));
  const BYTE expected[16] = {3, 0, 4, 1, 5, 2, 6, 3, 13, 10, 14, 11, 15, 12, 16, 13};
  EXPECT_EQ(std::memcmp(row, expected, 16), 0);
  EXPECT_FALSE(DeinterleaveRows(row, 512, 1));
  EXPECT_TRUE(DeinterleaveRows(row, 8, 0));
}

TEST_F(FormatTest, FlatGreyMosaicStaysGrey) {
  Make();
  ASSERT_TRUE(AllocGreenPlane(20, 16, 3));
  for (int grey : {0, 77, 255}) {
    std::vector<BYTE> frame(20 * 16, static_cast<BYTE>(grey));
    std::vector<BYTE> out(16 * 12 * 3, 1);
    ASSERT_TRUE(Demosaic(frame.data(), 1, 3, out.data()));
    for (BYTE b : out) ASSERT_EQ(b, grey);
  }
}

TEST_F(FormatTest, StepByStepEqualsTheFusedReconstruction) {
  ColSpace* cs = Make();
  BITMAPINFOHEADER src = Header(172, 124, 8, FOURCC_PSHU), out = Header(168, 120, 24, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  std::vector<BYTE> a(172 * 124);
  for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<BYTE>((i * 37 + i / 172 * 11) & 0xFF);
  std::vector<BYTE> b = a;
  std::vector<BYTE> stepwise(168 * 120 * 3), fused(168 * 120 * 3);
  ASSERT_TRUE(DeinterleaveRows(a.data(), 172, 124));
  ASSERT_TRUE(Demosaic(a.data(), cs->coringThreshold, cs->sharpenGain, stepwise.data()));
  ASSERT_TRUE(CorrectColour(*CurrentColSpace(), stepwise.data(), 168, 120));
  const int32_t biasU = cs->chromaBiasU, biasV = cs->chromaBiasV;
  cs->chromaBiasU = cs->chromaBiasV = 12345;
  ASSERT_TRUE(ReconstructRawFrame(*CurrentColSpace(), b.data(), fused.data()));
  EXPECT_EQ(stepwise, fused);
  EXPECT_EQ(cs->chromaBiasU, biasU);
  EXPECT_EQ(cs->chromaBiasV, biasV);
}

TEST(WhiteBalanceTest, WorkedExampleAndDeadBand) {
  double r = 1.0, g = 1.0, b = 1.0;
  AdjustWhiteBalance(40, -8, &r, &g, &b);
  // Green stays, blue drops by 0.04, red rises by 0.008; then / 0.96.
  EXPECT_DOUBLE_EQ(b, 1.0);
  EXPECT_DOUBLE_EQ(r, 1.008 / 0.96);
  EXPECT_DOUBLE_EQ(g, 1.0 / 0.96);
  r = g = b = 1.0;
  AdjustWhiteBalance(10, -10, &r, &g, &b);
  EXPECT_EQ(r, 1.0);
  AdjustWhiteBalance(500, 500, &r, &g, &b);  // steps clamp at 0.05
  EXPECT_DOUBLE_EQ(g, 1.05 / 0.95);
  r = 0.0, g = 1.0, b = 1.0;  // a zero gain from the settings file
  AdjustWhiteBalance(0, 100, &r, &g, &b);
  EXPECT_EQ(r, 0.0);
  EXPECT_TRUE(std::isfinite(g));
  r = g = b = 4.0;
  AdjustWhiteBalance(-100, 0, &r, &g, &b);
  EXPECT_LE(b, 5.0);
}

TEST_F(FormatTest, DarkYUVFrameGathersNoStatistics) {
  ColSpace* cs = Make();
  BITMAPINFOHEADER src = Header(80, 60, 16, FOURCC_PYUV), out = Header(80, 60, 24, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  std::vector<BYTE> frame(80 * 90, 70);  // luminance 70 -> table value well below 130
  for (int m = 0; m < 30; ++m) std::memset(&frame[(3 * m + 2) * 80], 250, 80);
  cs->chromaBiasU = 99;
  std::vector<BYTE> dest(80 * 60 * 3);
  ASSERT_TRUE(ConvertFrame(CurrentColSpace(), frame.data(), dest.data()));
  EXPECT_EQ(cs->chromaBiasU, 0);
  EXPECT_EQ(cs->chromaBiasV, 0);
  EXPECT_EQ(cs->redGain, 1.0);
  EXPECT_EQ(frame[2 * 80], 250);  // chroma untouched in the dark
}

TEST(Double2xTest, ConstantColourStaysConstant) {
  const int w = 7, h = 5;
  std::vector<BYTE> img(static_cast<size_t>(12) * w * h);
  for (int i = 0; i < w * h; ++i) {
    img[3 * i] = 10;
    img[3 * i + 1] = 200;
    img[3 * i + 2] = 255;
  }
  Double2x(img.data(), h, w);
  for (int i = 0; i < 4 * w * h; ++i) {
    ASSERT_EQ(img[3 * i], 10);
    ASSERT_EQ(img[3 * i + 1], 200);
    ASSERT_EQ(img[3 * i + 2], 255);
  }
}

TEST(StretchTest, RefusesSizesItCannotMake) {
  std::vector<BYTE> img(3 * 200 * 200);
  EXPECT_FALSE(Stretch10by9(img.data(), 160, 120, 178, 134));
  EXPECT_FALSE(Stretch10by9(img.data(), 144, 108, 160, 121));
  EXPECT_FALSE(Stretch10by9(img.data(), 360, 9, 400, 10));  // beyond the line buffer
  EXPECT_TRUE(Stretch10by9(img.data(), 144, 108, 160, 120));
  EXPECT_FALSE(SpreadRows(img.data(), 30, 10, 30, 12));
  EXPECT_FALSE(SpreadRows(img.data(), 27, 10, 30, 10));
}

TEST_F(FormatTest, SixteenBitFramesTraceInsteadOfShowingABox) {
  Make();
  platform::ClearRecordedMessageBoxes();
  platform::SetMessageBoxEcho(false);
  BITMAPINFOHEADER src = Header(168, 128, 8, FOURCC_PSHU), out = Header(164, 124, 16, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  std::vector<BYTE> frame(168 * 128, 90), dest(GetFormatImageSize(&out));
  Driver().debugFlags = DEBUG_TRACE_WINDOW;
  EXPECT_TRUE(ConvertFrame(CurrentColSpace(), frame.data(), dest.data()));
  Driver().debugFlags = 0;
  EXPECT_TRUE(platform::RecordedMessageBoxes().empty());
}

TEST_F(FormatTest, ConverterNeedsTheGeometryItWasChosenFor) {
  ColSpace* a = Make();
  BITMAPINFOHEADER src = Header(164, 124, 8, FOURCC_PSHU), out = Header(160, 120, 24, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  ColSpace* b = Make();
  BITMAPINFOHEADER small = Header(88, 68, 8, FOURCC_PSHU), smallOut = Header(84, 64, 24, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &small, &smallOut));
  ASSERT_TRUE(SelectColSpace(a));  // the green plane is shaped for b's frames
  std::vector<BYTE> frame(164 * 124, 50), dest(160 * 120 * 3);
  EXPECT_FALSE(ConvertFrame(CurrentColSpace(), frame.data(), dest.data()));
  ASSERT_TRUE(SelectColSpace(b));
  EXPECT_TRUE(ConvertFrame(CurrentColSpace(), frame.data(), dest.data()));
}

}  // namespace
