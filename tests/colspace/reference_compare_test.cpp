// Whole frames through ConvertFrame, compared byte for byte with the plain
// reference, for every output format from both camera formats; and a sweep of
// every size class the format rules accept, with buffers of exactly the
// announced sizes so that the sanitizer build catches any stray access.
#include <random>

#include "colspace/colspace_fixture.h"
#include "colspace/palette.h"
#include "colspace/reference_pipeline.h"
#include "colspace/yuv_prepare.h"

namespace {

using Bytes = ref::Bytes;

// A picture worth reconstructing: colour bars, a ramp and some noise; with
// noisy set, pure noise that drives every clamp.
Bytes MakeFrame(size_t bytes, int w, uint32_t seed, bool noisy) {
  std::mt19937 rng(seed);
  Bytes f(bytes);
  for (size_t i = 0; i < bytes; ++i) {
    const int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
    const int base = ((x / 16) % 4) * 60 + (y * 255) / 300 + ((x + y) % 2) * 40;
    f[i] = noisy ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>((base + rng() % 24) & 0xFF);
  }
  return f;
}

struct Case {
  LONG srcW, srcH;
  DWORD srcTag;
  LONG outW, outH;
  int bits;
  DWORD outTag;
};

class PipelineCompare : public ColSpaceTest {
 protected:
  // Runs `frames` consecutive frames and compares each; the reference follows
  // the white balance from frame to frame.
  void Check(const Case& c, int frames, uint32_t seed) {
    SCOPED_TRACE(testing::Message() << c.srcW << "x" << c.srcH << " -> " << c.outW << "x" << c.outH << " bits "
                                    << c.bits << " tag " << std::hex << c.outTag);
    ColSpace* cs = Make();
    BITMAPINFOHEADER src = Header(c.srcW, c.srcH, c.srcTag == FOURCC_PSHU ? 8 : 16, c.srcTag);
    BITMAPINFOHEADER out = Header(c.outW, c.outH, c.bits, c.outTag);
    ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
    ref::Settings s;
    const bool yuvOut = c.outTag != 0;
    std::vector<std::array<uint8_t, 4>> palette;
    for (int i = 0; i < 256; ++i) {
      const PALETTEENTRY& e = BuiltInPalette.palPalEntry[i];
      palette.push_back({e.peRed, e.peGreen, e.peBlue, 0});
    }
    const size_t frameBytes = c.srcTag == FOURCC_PSHU ? static_cast<size_t>(c.srcW) * c.srcH
                                                      : static_cast<size_t>(c.srcW) * c.srcH * 3 / 2;
    for (int n = 0; n < frames; ++n) {
      const Bytes input = MakeFrame(frameBytes, c.srcW, seed + n, n % 2 == 1);
      Bytes frame = input;
      Bytes dest(GetFormatImageSize(&out), 0xA5);
      ASSERT_TRUE(ConvertFrame(CurrentColSpace(), frame.data(), dest.data())) << "frame " << n;
      Bytes expected;
      ref::Stats st;
      if (c.srcTag == FOURCC_PSHU) {
        LONG w = c.outW, h = c.outH;
        const bool twice = w > 320 && h > 240;
        if (twice) w /= 2, h /= 2;
        const bool stretch = w != c.srcW - 4;
        expected = ref::Mosaic(input, c.srcW, c.srcH, s, stretch, w, h, &st);
        if (twice) expected = ref::Double(expected, w, h);
        if (c.bits == 16) expected = ref::ToRGB16(expected, w, h);
      } else {
        Bytes f = input;
        const auto luma = ref::Luma(s, yuvOut);
        st = ref::PrepareYUV(f, c.srcW, c.srcH, luma);
        const bool twice = c.outW == 2 * c.srcW && c.outTag == 0;
        switch (c.outTag) {
          case 0:
            if (c.bits == 24 || twice) expected = ref::YUVToRGB24(f, c.srcW, c.srcH, luma);
            if (twice) expected = ref::Double(expected, c.srcW, c.srcH);
            if (twice && c.bits == 16) expected = ref::ToRGB16(expected, c.outW, c.outH);
            if (!twice && c.bits == 16) expected = ref::YUVToRGB16(f, c.srcW, c.srcH, luma);
            if (c.bits == 8) expected = ref::YUVToPal8(f, c.srcW, c.srcH, luma, palette);
            break;
          case FOURCC_I420:
          case FOURCC_IYUV: expected = ref::YUVToPlanar(f, c.srcW, c.srcH, luma, true); break;
          case FOURCC_YV12: expected = ref::YUVToPlanar(f, c.srcW, c.srcH, luma, false); break;
          case FOURCC_YUY2: expected = ref::YUVToYUY2(f, c.srcW, c.srcH, luma); break;
          case FOURCC_YVU9: expected = ref::YUVToYVU9(f, c.srcW, c.srcH, luma); break;
        }
      }
      ASSERT_LE(expected.size(), dest.size());
      size_t firstDiff = expected.size();
      for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != dest[i]) {
          firstDiff = i;
          break;
        }
      }
      ASSERT_EQ(firstDiff, expected.size()) << "frame " << n << ": got " << int(dest[firstDiff]) << " expected "
                                            << int(expected[firstDiff]);
      for (size_t i = expected.size(); i < dest.size(); ++i) ASSERT_EQ(dest[i], 0xA5) << "stray byte " << i;
      EXPECT_EQ(cs->chromaBiasU, st.biasU);
      EXPECT_EQ(cs->chromaBiasV, st.biasV);
      ref::WhiteBalance(st, s);
      ASSERT_EQ(cs->redGain, s.redGain);
      ASSERT_EQ(cs->greenGain, s.greenGain);
      ASSERT_EQ(cs->blueGain, s.blueGain);
    }
    FreeColSpace(cs, nullptr);
    Released(cs);
  }
};

TEST_F(PipelineCompare, MosaicOutputs) {
  const Case cases[] = {
      {324, 244, FOURCC_PSHU, 320, 240, 24, 0}, {324, 244, FOURCC_PSHU, 640, 480, 24, 0},
      {324, 244, FOURCC_PSHU, 320, 240, 16, 0}, {292, 220, FOURCC_PSHU, 320, 240, 24, 0},
      {292, 220, FOURCC_PSHU, 640, 480, 24, 0}, {292, 220, FOURCC_PSHU, 320, 240, 16, 0},
      {172, 124, FOURCC_PSHU, 168, 120, 24, 0}, {148, 112, FOURCC_PSHU, 160, 120, 24, 0},
  };
  for (const Case& c : cases) Check(c, 4, 7);
}

TEST_F(PipelineCompare, YUVOutputs) {
  for (auto [w, h] : {std::pair{160, 120}, std::pair{80, 60}, std::pair{128, 96}}) {
    const Case cases[] = {
        {w, h, FOURCC_PYUV, w, h, 24, 0},           {w, h, FOURCC_PYUV, w, h, 16, 0},
        {w, h, FOURCC_PYUV, w, h, 8, 0},            {w, h, FOURCC_PYUV, w, h, 12, FOURCC_I420},
        {w, h, FOURCC_PYUV, w, h, 12, FOURCC_IYUV}, {w, h, FOURCC_PYUV, w, h, 12, FOURCC_YV12},
        {w, h, FOURCC_PYUV, w, h, 16, FOURCC_YUY2}, {w, h, FOURCC_PYUV, w, h, 9, FOURCC_YVU9},
        {w, h, FOURCC_PYUV, 2 * w, 2 * h, 24, 0},   {w, h, FOURCC_PYUV, 2 * w, 2 * h, 16, 0},
    };
    for (const Case& c : cases) Check(c, 3, 11);
  }
}

TEST(QCIFCompare, StretchMatchesTheReference) {
  const Bytes raw = MakeFrame(kRawBufferSize, 160, 5, true);
  Bytes buffer = raw;
  ASSERT_TRUE(StretchToQCIF(buffer.data(), buffer.data() + kQCIFOffset));
  const Bytes expected = ref::QCIF(Bytes(raw.begin(), raw.begin() + kQCIFOffset));
  ASSERT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin() + kQCIFOffset));
  EXPECT_TRUE(std::equal(raw.begin(), raw.begin() + kQCIFOffset, buffer.begin()));  // source untouched
}

// Every size class the format rules accept, through ConvertFrame, with buffers
// of exactly the announced size.
TEST_F(PipelineCompare, SweepOfAcceptedSizes) {
  for (int w : {80, 84, 120, 152, 160, 176}) {
    for (int h : {60, 62, 96, 120, 136, 144}) {
      for (const auto& [bits, tag] : {std::pair{24, DWORD{0}}, std::pair{16, DWORD{0}}, std::pair{8, DWORD{0}},
                                      std::pair{12, FOURCC_I420}, std::pair{12, FOURCC_YV12},
                                      std::pair{16, FOURCC_YUY2}, std::pair{9, FOURCC_YVU9}}) {
        Check({w, h, FOURCC_PYUV, w, h, bits, tag}, 1, static_cast<uint32_t>(w * h));
      }
      Check({w, h, FOURCC_PYUV, 2 * w, 2 * h, 24, 0}, 1, 3);
      Check({w, h, FOURCC_PYUV, 2 * w, 2 * h, 16, 0}, 1, 4);
    }
  }
  for (int w : {80, 168, 232, 320}) {
    for (int h : {60, 124, 180, 240}) {
      if (w <= 160 && h <= 120) continue;  // served from "PYUV"
      for (int bits : {24, 16}) Check({w + 4, h + 4, FOURCC_PSHU, w, h, bits, 0}, 1, 9);
    }
  }
  for (auto [w, h] : {std::pair{328, 244}, std::pair{400, 300}, std::pair{512, 384}, std::pair{640, 480},
                      std::pair{336, 476}}) {
    Check({w / 2 + 4, h / 2 + 4, FOURCC_PSHU, w, h, 24, 0}, 1, 13);
  }
}

}  // namespace
