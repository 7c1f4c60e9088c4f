// Every kernel set this processor runs against the portable one, on the same
// frames and settings, byte for byte: reconstructed mosaics (settings that
// take every path of the vector code: paired and split colour coefficients,
// wide sharpening and colour that fall back), every "PYUV" output, sizes
// that end on a partial vector step, and the white-balance statistics.
#include <cstring>
#include <random>

#include "colspace/colour_tables.h"
#include "colspace/colspace_fixture.h"
#include "colspace/kernels.h"
#include "colspace/reconstruct.h"
#include "colspace/writers.h"

namespace {

using Bytes = std::vector<BYTE>;

Bytes Noise(size_t bytes, uint32_t seed, int spread) {
  std::mt19937 rng(seed);
  Bytes f(bytes);
  for (size_t i = 0; i < bytes; ++i) {
    // A ramp with noise; spread 256 is pure noise.
    const int base = static_cast<int>((i * 7 / 5) % 256);
    f[i] = spread >= 256 ? static_cast<BYTE>(rng()) : static_cast<BYTE>((base + rng() % spread) & 0xFF);
  }
  return f;
}

struct Output {
  Bytes image;
  Bytes frame;  // the raw frame afterwards (the in-place steps change it)
  int32_t biasU;
  int32_t biasV;
  bool operator==(const Output&) const = default;
};

std::vector<KernelSet> SetsToCompare() {
  std::vector<KernelSet> sets;
  for (KernelSet s : {KernelSet::kSSE2, KernelSet::kAVX2, KernelSet::kAVX512}) {
    if (KernelSetSupported(s)) sets.push_back(s);
  }
  return sets;
}

const char* Name(KernelSet s) {
  switch (s) {
    case KernelSet::kPortable: return "portable";
    case KernelSet::kSSE2: return "sse2";
    case KernelSet::kAVX2: return "avx2";
    case KernelSet::kAVX512: return "avx512";
  }
  return "?";
}

class KernelSets : public ColSpaceTest {
 protected:
  // Settings a test applies to the record before each conversion (the white
  // balance is off, so both runs see the same matrix).
  struct Knobs {
    int16_t brightness = 50, contrast = 50, colour = 50;
    double red = 1.0, green = 1.0, blue = 1.0;
    int16_t threshold = 1, gain = 3;
  };

  Output Convert(KernelSet set, const BITMAPINFOHEADER& srcIn, const BITMAPINFOHEADER& outIn, const Bytes& input,
                 const Knobs& k) {
    ColSpace* cs = CurrentColSpace();
    EXPECT_TRUE(ForceKernelSet(set));
    BITMAPINFOHEADER src = srcIn, out = outIn;
    EXPECT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
    SetAutoWhiteBalance(0);
    SetPictureControls(k.brightness, k.contrast, k.colour);
    cs->redGain = k.red;
    cs->greenGain = k.green;
    cs->blueGain = k.blue;
    cs->matrixValid = 0;
    cs->coringThreshold = k.threshold;
    cs->sharpenGain = k.gain;
    Output o{Bytes(GetFormatImageSize(&out), 0x5A), input, 0, 0};
    cs->chromaBiasU = cs->chromaBiasV = 777;
    EXPECT_TRUE(ConvertFrame(CurrentColSpace(), o.frame.data(), o.image.data()));
    o.biasU = cs->chromaBiasU;
    o.biasV = cs->chromaBiasV;
    return o;
  }

  void Compare(const BITMAPINFOHEADER& src, const BITMAPINFOHEADER& out, const Bytes& input, const Knobs& k) {
    const Output expected = Convert(KernelSet::kPortable, src, out, input, k);
    for (KernelSet set : SetsToCompare()) {
      const Output got = Convert(set, src, out, input, k);
      SCOPED_TRACE(Name(set));
      ASSERT_EQ(got.image.size(), expected.image.size());
      size_t diff = 0;
      while (diff < got.image.size() && got.image[diff] == expected.image[diff]) ++diff;
      ASSERT_EQ(diff, got.image.size()) << "first differing byte " << diff << ": " << int(got.image[diff]) << " vs "
                                        << int(expected.image[diff]);
      EXPECT_TRUE(got.frame == expected.frame) << "raw frame changed differently";
      EXPECT_EQ(got.biasU, expected.biasU);
      EXPECT_EQ(got.biasV, expected.biasV);
    }
  }
};

TEST_F(KernelSets, PortableIsAlwaysThereAndForcingReportsSupport) {
  Make();
  EXPECT_TRUE(KernelSetSupported(KernelSet::kPortable));
  EXPECT_TRUE(ForceKernelSet(KernelSet::kPortable));
  EXPECT_EQ(ActiveKernels().set, KernelSet::kPortable);
  for (KernelSet s : SetsToCompare()) {
    EXPECT_TRUE(ForceKernelSet(s));
    EXPECT_EQ(ActiveKernels().set, s);
  }
  // The forced set survives a new format; a reset forgets it.
  BITMAPINFOHEADER src = Header(164, 124, 8, FOURCC_PSHU), out = Header(160, 120, 24, 0);
  ASSERT_TRUE(ForceKernelSet(KernelSet::kPortable));
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  EXPECT_EQ(ActiveKernels().set, KernelSet::kPortable);
  std::printf("kernel sets compared here: %zu\n", SetsToCompare().size());
}

TEST_F(KernelSets, MosaicFramesAgree) {
  Make();
  // Widths whose rows end on a partial vector step, and the largest frame.
  const std::pair<LONG, LONG> sizes[] = {{324, 244}, {172, 124}, {84, 64}, {70, 40}, {68, 24}, {40, 20}};
  for (auto [w, h] : sizes) {
    const BITMAPINFOHEADER src = Header(w, h, 8, FOURCC_PSHU), out = Header(w - 4, h - 4, 24, 0);
    for (int spread : {24, 256}) {
      SCOPED_TRACE(testing::Message() << w << "x" << h << " spread " << spread);
      Compare(src, out, Noise(static_cast<size_t>(w) * h, static_cast<uint32_t>(w + spread), spread), Knobs{});
    }
  }
}

// The enlarged and 16-bit outputs, which add the 2x enlargement and the
// RGB555 reformat to the reconstruction.
TEST_F(KernelSets, MosaicDoubledAnd16BitFramesAgree) {
  Make();
  for (int spread : {24, 256}) {
    const Bytes input = Noise(324 * 244, static_cast<uint32_t>(spread), spread);
    Compare(Header(324, 244, 8, FOURCC_PSHU), Header(640, 480, 24, 0), input, Knobs{});
    Compare(Header(324, 244, 8, FOURCC_PSHU), Header(320, 240, 16, 0), input, Knobs{});
    const Bytes small = Noise(94 * 38, static_cast<uint32_t>(spread + 1), spread);
    Compare(Header(94, 38, 8, FOURCC_PSHU), Header(90, 34, 16, 0), small, Knobs{});
  }
}

TEST_F(KernelSets, MosaicSettingsAgree) {
  Make();
  const BITMAPINFOHEADER src = Header(172, 124, 8, FOURCC_PSHU), out = Header(168, 120, 24, 0);
  const Bytes input = Noise(172 * 124, 3, 256);
  const Bytes soft = Noise(172 * 124, 4, 40);
  std::vector<Knobs> cases;
  cases.push_back({});
  cases.push_back({80, 90, 100, 5.0, 1.0, 5.0, 1, 3});  // large coefficients: the split colour sums
  cases.push_back({50, 50, 100, 1.0, 1.0, 5.0, 1, 3});  // a blue coefficient beyond a byte
  cases.push_back({20, 10, 0, 1.0, 1.0, 1.0, 0, 0});    // no colour, no sharpening
  cases.push_back({50, 50, 50, 1.0, 3.0, 1.0, 9, -7});  // negative gain, wide coring
  cases.push_back({50, 50, 50, 1.0, 1.0, 1.0, 1, 64});  // largest gain of the 16-bit lanes
  cases.push_back({50, 50, 50, 1.0, 1.0, 1.0, 1, 65});  // beyond: the portable path takes it
  cases.push_back({50, 50, 50, 1.0, 1.0, 1.0, -3, 3});  // negative threshold: likewise
  cases.push_back({100, -40, 50, 2.0, 1.0, 1.5, 2, 5});  // a falling luminance table
  cases.push_back({50, 50, 2000, 5.0, 1.0, 5.0, 1, 3});  // coefficients no vector sum holds
  for (const Knobs& k : cases) {
    SCOPED_TRACE(testing::Message() << "colour " << k.colour << " gains " << k.red << "/" << k.green << "/" << k.blue
                                    << " thr " << k.threshold << " gain " << k.gain);
    Compare(src, out, input, k);
    Compare(src, out, soft, k);
  }
}

TEST_F(KernelSets, YUVOutputsAgree) {
  Make();
  // Besides the usual sizes, rows that end exactly on a 64-byte step (64,
  // 128) and one whose second step is partial (96).
  const std::pair<LONG, LONG> sizes[] = {{160, 120}, {176, 144}, {34, 10}, {62, 62}, {80, 60},
                                         {32, 4},    {30, 6},    {64, 8},  {96, 10}, {128, 6}};
  const std::pair<int, DWORD> outputs[] = {{24, 0},           {16, 0},           {8, 0},           {12, FOURCC_I420},
                                           {12, FOURCC_YV12}, {16, FOURCC_YUY2}, {9, FOURCC_YVU9}};
  for (auto [w, h] : sizes) {
    for (auto [bits, tag] : outputs) {
      for (int spread : {40, 256}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h << " bits " << bits << " tag " << std::hex << tag
                                        << std::dec << " spread " << spread);
        const BITMAPINFOHEADER src = Header(w, h, 16, FOURCC_PYUV), out = Header(w, h, bits, tag);
        const Bytes input = Noise(static_cast<size_t>(w) * h * 3 / 2, static_cast<uint32_t>(w * h + spread), spread);
        Compare(src, out, input, Knobs{});
        Compare(src, out, input, Knobs{90, 120, 50, 1.0, 1.0, 1.0, 1, 3});  // many bright pairs
      }
    }
    // Twice the size, in 24 and 16 bits.
    for (int bits : {24, 16}) {
      SCOPED_TRACE(testing::Message() << w << "x" << h << " doubled, bits " << bits);
      const Bytes input = Noise(static_cast<size_t>(w) * h * 3 / 2, static_cast<uint32_t>(w + bits), 256);
      Compare(Header(w, h, 16, FOURCC_PYUV), Header(2 * w, 2 * h, bits, 0), input, Knobs{});
    }
  }
}

// Every size class the format rules accept, with buffers of exactly the
// announced size, so that the sanitizer build checks every set's reads and
// writes at each one.
TEST_F(KernelSets, SweepOfAcceptedSizesAgrees) {
  Make();
  const std::pair<int, DWORD> outputs[] = {{24, 0},           {16, 0},           {8, 0},           {12, FOURCC_I420},
                                           {12, FOURCC_YV12}, {16, FOURCC_YUY2}, {9, FOURCC_YVU9}};
  for (int w : {80, 84, 120, 152, 160, 176}) {
    for (int h : {60, 62, 96, 120, 136, 144}) {
      const Bytes input = Noise(static_cast<size_t>(w) * h * 3 / 2, static_cast<uint32_t>(w * h), 256);
      for (auto [bits, tag] : outputs) {
        SCOPED_TRACE(testing::Message() << "PYUV " << w << "x" << h << " bits " << bits << " tag " << tag);
        Compare(Header(w, h, 16, FOURCC_PYUV), Header(w, h, bits, tag), input, Knobs{});
      }
      for (int bits : {24, 16}) {
        SCOPED_TRACE(testing::Message() << "PYUV " << w << "x" << h << " doubled, bits " << bits);
        Compare(Header(w, h, 16, FOURCC_PYUV), Header(2 * w, 2 * h, bits, 0), input, Knobs{});
      }
    }
  }
  for (int w : {80, 168, 232, 320}) {
    for (int h : {60, 124, 180, 240}) {
      const Bytes input = Noise(static_cast<size_t>(w + 4) * (h + 4), static_cast<uint32_t>(w + h), 256);
      for (int bits : {24, 16}) {
        SCOPED_TRACE(testing::Message() << "PSHU " << w << "x" << h << " bits " << bits);
        Compare(Header(w + 4, h + 4, 8, FOURCC_PSHU), Header(w, h, bits, 0), input, Knobs{});
      }
    }
  }
}

// The public writers, called on a frame as it stands (no highlight limit).
TEST_F(KernelSets, PublicWritersAgree) {
  Make();
  const LONG w = 96, h = 40;
  BITMAPINFOHEADER src = Header(w, h, 16, FOURCC_PYUV), out = Header(w, h, 24, 0);
  const Bytes input = Noise(static_cast<size_t>(w) * h * 3 / 2, 9, 256);
  using Writer = BOOL (*)(const BYTE*, BYTE*);
  for (Writer writer : {Writer{YUVToRGB24}, Writer{YUVToRGB16}, Writer{YUVToPal8}, Writer{YUVToI420},
                        Writer{YUVToYV12}, Writer{YUVToYUY2}, Writer{YUVToYVU9}}) {
    ASSERT_TRUE(ForceKernelSet(KernelSet::kPortable));
    ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
    Bytes expected(static_cast<size_t>(3) * w * h, 1);
    ASSERT_TRUE(writer(input.data(), expected.data()));
    for (KernelSet set : SetsToCompare()) {
      ASSERT_TRUE(ForceKernelSet(set));
      Bytes got(expected.size(), 1);
      ASSERT_TRUE(writer(input.data(), got.data()));
      EXPECT_TRUE(got == expected) << Name(set);
    }
  }
}

// The bright-pixel sums after the bytes of an image, to compare them too.
void AppendSums(Bytes& image, int64_t sumU, int64_t sumV) {
  BYTE bytes[16];
  std::memcpy(bytes, &sumU, 8);
  std::memcpy(bytes + 8, &sumV, 8);
  image.insert(image.end(), bytes, bytes + 16);
}

// Without the two-pixel table (its allocation failed) every set reads the
// luminance table a byte at a time, with the same result.
TEST_F(KernelSets, WithoutTheTwoPixelTable) {
  ColSpace* cs = Make();
  BITMAPINFOHEADER src = Header(96, 40, 16, FOURCC_PYUV), out = Header(96, 40, 12, FOURCC_I420);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  const Bytes input = Noise(96 * 60, 21, 256);
  for (YUVTarget target : {YUVTarget::kRGB24, YUVTarget::kI420, YUVTarget::kYUY2, YUVTarget::kYVU9,
                           YUVTarget::kRGB16}) {
    auto run = [&](const ColourKernels& kernels, const uint16_t* pairs, Bytes* frame) {
      Bytes image(96 * 40 * 3, 0);
      YUVJob job;
      job.frame = frame->data();
      job.width = 96;
      job.height = 40;
      job.luma = cs->lumaTable;
      job.lumaPairs = pairs;
      job.destination = image.data();
      job.rgb16Table = cs->lookupBlock.get();
      job.prepare = true;
      EXPECT_TRUE(kernels.yuv(job, target));
      AppendSums(image, job.sumU, job.sumV);
      return image;
    };
    Bytes frame = input;
    const Bytes expected = run(PortableKernels(), nullptr, &frame);
    for (KernelSet set : SetsToCompare()) {
      ASSERT_TRUE(ForceKernelSet(set));
      Bytes again = input;
      EXPECT_TRUE(run(ActiveKernels(), nullptr, &again) == expected) << Name(set) << " target " << int(target);
      EXPECT_TRUE(again == frame);
    }
  }
  // The mosaic likewise.
  src = Header(172, 124, 8, FOURCC_PSHU);
  out = Header(168, 120, 24, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  int16_t k[9];
  MatrixCoefficients(GetColourMatrix(CurrentColSpace()), k);
  const Bytes raw = Noise(172 * 124, 22, 256);
  auto mosaic = [&](const ColourKernels& kernels) {
    Bytes frame = raw;
    Bytes image(168 * 120 * 3, 0);
    MosaicJob job;
    job.frame = frame.data();
    job.geometry = &Colour().geometry;
    job.plane = Colour().greenPlane.get();
    job.threshold = 1;
    job.gain = 3;
    job.k = k;
    job.luma = cs->lumaTable;
    job.destination = image.data();
    EXPECT_TRUE(kernels.mosaic(job));
    image.insert(image.end(), frame.begin(), frame.end());
    AppendSums(image, job.sumU, job.sumV);
    return image;
  };
  const Bytes expected = mosaic(PortableKernels());
  for (KernelSet set : SetsToCompare()) {
    ASSERT_TRUE(ForceKernelSet(set));
    EXPECT_TRUE(mosaic(ActiveKernels()) == expected) << Name(set);
  }
}

TEST_F(KernelSets, DeinterleaveAgrees) {
  for (int w : {0, 1, 7, 8, 31, 32, 33, 34, 66, 324, 511}) {
    const Bytes input = Noise(static_cast<size_t>(w) * 3, static_cast<uint32_t>(w), 256);
    Bytes expected = input;
    PortableKernels().deinterleave(expected.data(), w, 3);
    for (KernelSet set : SetsToCompare()) {
      ASSERT_TRUE(ForceKernelSet(set));
      Bytes got = input;
      ASSERT_TRUE(DeinterleaveRows(got.data(), w, 3));
      EXPECT_TRUE(got == expected) << Name(set) << " width " << w;
    }
  }
}

}  // namespace
