// The virtual camera's frames: mode-1 windows and bands in the raw layout,
// mode-2 luminance and colour difference, temporal-difference lengths, pacing
// by the sensor period, the transfer wrap, defects where the map puts them,
// the unplug fault and the frame dump.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/camera/sensor_model.h"
#include "tests/sim/camera_host.h"

namespace camtest {
namespace {

using sim::SimConfig;

constexpr uint32_t kMode1Full = 324 * 244;
constexpr uint32_t kMode2Frame = 160 * 120 * 3 / 2;

class CameraFrames : public CameraTest {
 protected:
  std::vector<uint8_t> buffer = std::vector<uint8_t>(0x20000, 0xEE);

  // One mode-1 window frame: x0, y0 and size as the camera layer computes them.
  uint32_t Window(int width, int height, int x0, int y0) {
    EXPECT_TRUE(host->RequestWindow(static_cast<uint16_t>(y0), static_cast<uint16_t>(y0 + height),
                                    static_cast<uint16_t>(x0), static_cast<uint16_t>(width)));
    return host->Transfer(buffer.data(), static_cast<uint32_t>(width * height));
  }
  // One 160 x 120 mode-2 frame (window (8, 9)-(168, 249)).
  uint32_t Yuv(bool temporal = false, int16_t t1 = 0, int16_t t2 = 0, bool counted = false) {
    EXPECT_TRUE(host->RequestYuv(9, 249, 8, 168, temporal, t1, t2));
    return host->Transfer(buffer.data(), kMode2Frame, counted);
  }
  static SimConfig Flat(uint8_t r, uint8_t g, uint8_t b) {
    SimConfig config = Quiet();
    config.scene = sim::SceneKind::Flat;
    config.flatRgb[0] = r;
    config.flatRgb[1] = g;
    config.flatRgb[2] = b;
    return config;
  }
};

// ---- mode 1

TEST_F(CameraFrames, WindowRowsAreGroupedByColumnParityWithDarkAdded) {
  SimConfig config = Flat(255, 0, 0);
  config.defects = 0;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Window(324, 244, 7, 8), kMode1Full);
  const sim::SensorModel& sensor = *new sim::SensorModel(sim::Scene::Flat(255, 0, 0), {}, 0, 16, 1);
  // Frame row y is sensor row 8 - 4 + y; byte k is site 2*7 + 2k + 1, byte
  // 162 + k site 2*7 + 2k + 2.
  for (int y = 0; y < 244; ++y) {
    for (int k = 0; k < 162; ++k) {
      int odd = ((sensor.Signal(4 + y, 15 + 2 * k) + 8) >> 4) + 16;
      int even = ((sensor.Signal(4 + y, 16 + 2 * k) + 8) >> 4) + 16;
      ASSERT_EQ(buffer[static_cast<size_t>(y * 324 + k)], odd) << y << " " << k;
      ASSERT_EQ(buffer[static_cast<size_t>(y * 324 + 162 + k)], even) << y << " " << k;
    }
  }
  delete &sensor;
  // Red light: in even sensor rows the odd sites (red) outshine the even ones
  // (green); odd rows hold green and blue, both dim.
  EXPECT_GT(buffer[0], buffer[162] + 60);
  EXPECT_LT(buffer[324], buffer[0] - 60);
  EXPECT_GE(buffer[324 + 162], 16);
}

TEST_F(CameraFrames, BandsOfAFrameMatchTheFrameReadAtOnce) {
  SimConfig config = Quiet();
  config.scene = sim::SceneKind::Ramp;
  Make(config);
  ASSERT_TRUE(host->Arm());
  // 292 x 220 at (15, 20): one read, then 112 + 108 rows as the camera layer
  // reads it through a 32 KB transfer.
  ASSERT_EQ(Window(292, 220, 15, 20), 64240u);
  std::vector<uint8_t> whole(buffer.begin(), buffer.begin() + 64240);
  ASSERT_TRUE(host->ReadStatus());
  ASSERT_TRUE(host->RequestWindow(20, 132, 15, 292));
  ASSERT_EQ(host->Transfer(buffer.data(), 32704), 32704u);
  ASSERT_TRUE(host->RequestWindow(132, 240, 15, 292));
  ASSERT_EQ(host->Transfer(buffer.data() + 32704, 31536), 31536u);
  EXPECT_TRUE(std::equal(whole.begin(), whole.end(), buffer.begin()));
  ASSERT_TRUE(host->ReadStatus());
  EXPECT_EQ(camera->FramesDelivered(), 2u);  // the bands counted once
}

TEST_F(CameraFrames, DarkLevelFollowsTheConfiguration) {
  SimConfig config = Flat(0, 0, 0);
  config.defects = 0;
  config.dark = 30;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Window(160, 120, 48, 70), 19200u);
  for (size_t i = 0; i < 19200; ++i) ASSERT_EQ(buffer[i], 30) << i;
}

TEST_F(CameraFrames, WindowsOutsideTheSensorAreBoundedAndDark) {
  SimConfig config = Flat(255, 255, 255);
  Make(config);
  ASSERT_TRUE(host->Arm());
  // A nonsense window: rows and columns limited to the sensor; what lies off
  // the sensor reads as the dark level.
  ASSERT_TRUE(host->RequestWindow(0, 65535, 65535, 65535));
  ASSERT_EQ(host->Transfer(buffer.data(), 1000), 1000u);
  for (size_t i = 0; i < 388; ++i) ASSERT_EQ(buffer[i], 16) << i;  // window rows 0..3 are above the sensor
}

// The driver's mapping of a defect-map position to a mode-1 frame byte.
bool DriverMode1(uint32_t p, int w, int h, int x0, int y0, int* x, int* y) {
  if (p % 2 == 0) p += 2;
  int sr = static_cast<int>(p / 388), sc = static_cast<int>(p % 388);
  int col = (sc & 1) ? sc / 2 : sc / 2 + 194;
  *x = col >= 194 ? col - 195 + w / 2 - x0 : col - x0;
  *y = sr - y0 + 4;
  return *x >= 0 && *y >= 0 && *x < w && *y < h;
}

TEST_F(CameraFrames, DefectsShowWhereTheMapSaysInMode1) {
  SimConfig config = Flat(128, 128, 128);
  config.eepromBits = 4096;
  config.defects = 160;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Window(324, 244, 7, 8), kMode1Full);
  ASSERT_EQ(camera->Defects().size(), 160u);
  int seen = 0;
  for (const sim::FactoryDefect& d : camera->Defects()) {
    int x, y;
    ASSERT_TRUE(DriverMode1(d.position, 324, 244, 7, 8, &x, &y));
    uint8_t value = buffer[static_cast<size_t>(y * 324 + x)];
    // Its same-colour neighbours in the raw row are the adjacent bytes.
    uint8_t left = buffer[static_cast<size_t>(y * 324 + x - 1)];
    uint8_t right = buffer[static_cast<size_t>(y * 324 + x + 1)];
    EXPECT_EQ(left, right);
    switch (d.kind) {
      case sim::kDefectStuckHigh:
        EXPECT_EQ(value, 255);
        break;
      case sim::kDefectDead:
        EXPECT_EQ(value, 16);
        break;
      default:
        EXPECT_EQ(value, std::min(255, left + sim::SensorModel::kHotExcess));
        break;
    }
    ++seen;
  }
  EXPECT_EQ(seen, 160);
}

TEST_F(CameraFrames, DefectsShowWhereTheMapSaysInMode2) {
  SimConfig config = Flat(128, 128, 128);
  config.eepromBits = 4096;
  config.defects = 160;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Yuv(), kMode2Frame);
  const int w = 160, x0 = 8, y0 = 9;
  int checked = 0;
  for (const sim::FactoryDefect& d : camera->Defects()) {
    uint32_t p = d.position % 2 ? d.position : d.position + 2;
    int sr = static_cast<int>(p / 388), sc = static_cast<int>(p % 388);
    if (!(sr & 1) || !(sc & 1)) continue;  // the luminance repair concerns the odd-row green only
    int x = sc / 2 - x0, y = (sr + 1) / 2 - y0 / 2 + 1;
    ASSERT_GE(x, 1);
    ASSERT_LT(y, 120);
    size_t off = static_cast<size_t>((y / 2) * 3 * w + x + (y % 2 ? w : 0));
    int around = (buffer[off - 1] + buffer[off + 1]) / 2;
    if (d.kind == sim::kDefectDead) {
      EXPECT_LT(buffer[off], around - 5);
    } else {
      EXPECT_GT(buffer[off], around + 5);
    }
    ++checked;
  }
  EXPECT_GT(checked, 10);
}

// ---- mode 2

TEST_F(CameraFrames, YuvFrameOfGreyHasNeutralChroma) {
  SimConfig config = Flat(255, 255, 255);
  config.defects = 0;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Yuv(), kMode2Frame);
  for (int group = 0; group < 60; ++group) {
    for (int x = 0; x < 160; ++x) {
      size_t line = static_cast<size_t>(group * 480);
      // White fills the luminance range the host's curve expects (219 at the top).
      ASSERT_NEAR(buffer[line + static_cast<size_t>(x)], 217, 2);
      ASSERT_NEAR(buffer[line + 160 + static_cast<size_t>(x)], 217, 2);
      ASSERT_NEAR(buffer[line + 320 + static_cast<size_t>(x)], 128, 2);
    }
  }
}

TEST_F(CameraFrames, YuvChromaFollowsTheBarsAndTheLoadedMatrix) {
  sim::SimConfig config = Quiet();
  config.scene = sim::SceneKind::Bars;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Yuv(), kMode2Frame);
  // Frame column x sees the scene at 2x + 2: the red bar (6th of 8) around
  // x = 110, the blue bar around x = 140; chroma line of group 30.
  size_t chroma = 30 * 480 + 320;
  uint8_t redU = buffer[chroma + 110], redV = buffer[chroma + 111];
  uint8_t blueU = buffer[chroma + 140], blueV = buffer[chroma + 141];
  EXPECT_GT(redV, 170);
  EXPECT_LT(redU, 110);
  EXPECT_GT(blueU, 145);
  EXPECT_LT(blueV, 128);
  // A matrix with the colour rows cleared gives neutral chroma everywhere.
  std::array<int16_t, 9> grey = sim::VirtualCamera::kDefaultMatrix;
  for (size_t i = 3; i < 9; ++i) grey[i] = 0;
  ASSERT_TRUE(host->SendMatrix(grey));
  ASSERT_EQ(Yuv(), kMode2Frame);
  EXPECT_EQ(buffer[chroma + 110], 128);
  EXPECT_EQ(buffer[chroma + 141], 128);
}

TEST_F(CameraFrames, TemporalDifferenceLengthGrowsWithChangeAndShrinksWithThresholds) {
  SimConfig config;
  config.noise = 1.5;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Yuv(), kMode2Frame);  // the full frame after a change
  std::vector<uint32_t> still;
  for (int16_t t : {0, 2, 5, 10}) still.push_back(Yuv(true, t, static_cast<int16_t>(t / 2), true));
  for (size_t i = 1; i < still.size(); ++i) EXPECT_LE(still[i], still[i - 1]);
  EXPECT_GT(still[0], kMode2Frame / 2);  // with no threshold the noise moves nearly everything
  EXPECT_LT(still[3], kMode2Frame / 20);
  EXPECT_GE(still[3], 4u);
  EXPECT_EQ(camera->LastCountedLength(), still[3]);

  config.scene = sim::SceneKind::Moving;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Yuv(), kMode2Frame);
  uint32_t moving = Yuv(true, 10, 5, true);
  EXPECT_GT(moving, still[3] + 500);
  EXPECT_LT(moving, kMode2Frame);
}

TEST_F(CameraFrames, CountedFrameLeavesTheWholeFrameInTheBuffer) {
  SimConfig config;
  config.scene = sim::SceneKind::Moving;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Yuv(), kMode2Frame);
  std::vector<uint8_t> first(buffer.begin(), buffer.begin() + kMode2Frame);
  std::fill(buffer.begin(), buffer.end(), 0xEE);
  uint32_t counted = Yuv(true, 4, 2, true);
  ASSERT_LT(counted, kMode2Frame);
  // Every byte written: unchanged blocks keep the previous frame's bytes.
  size_t same = 0;
  for (size_t i = 0; i < kMode2Frame; ++i) same += buffer[i] == first[i];
  EXPECT_GT(same, kMode2Frame / 2);
  EXPECT_EQ(buffer[kMode2Frame], 0xEE);
  // A counted read of a frame asked for without the flag reports its full length.
  EXPECT_EQ(Yuv(false, 0, 0, true), kMode2Frame);
}

// ---- pacing

TEST_F(CameraFrames, ReadyLineWaitsForTheSensorPeriod) {
  Make(SimConfig{});  // period 66, the sensor counting from t = 1000
  ASSERT_TRUE(host->Arm());
  ASSERT_TRUE(host->RequestYuv(9, 249, 8, 168));
  EXPECT_FALSE(camera->FrameReady());
  clock.Advance(65);
  EXPECT_FALSE(camera->FrameReady());
  clock.Advance(1);
  EXPECT_TRUE(camera->FrameReady());
  ASSERT_EQ(host->Transfer(buffer.data(), kMode2Frame), kMode2Frame);
  EXPECT_FALSE(camera->FrameReady());  // taken: nothing until the sensor's next frame
  ASSERT_TRUE(host->RequestYuv(9, 249, 8, 168));
  EXPECT_FALSE(camera->FrameReady());
  clock.Advance(66);
  EXPECT_TRUE(camera->FrameReady());
  // With no frame asked for (a frame read in bands asks band by band), the
  // line shows the sensor's next frame after the last transfer.
  ASSERT_TRUE(host->RequestWindow(20, 132, 15, 292));
  ASSERT_EQ(host->Transfer(buffer.data(), 32704), 32704u);
  EXPECT_FALSE(camera->FrameReady());
  clock.Advance(65);
  EXPECT_FALSE(camera->FrameReady());
  clock.Advance(1);
  EXPECT_TRUE(camera->FrameReady());
}

TEST_F(CameraFrames, FrameWaitsMeasureTheSensorPeriod) {
  SimConfig config;
  config.periodMs = 40;
  Make(config);
  ASSERT_TRUE(host->Arm());
  // The host's period measurement: three frame requests, each starting with a
  // status read, which waits for the frame under capture.
  auto request = [&] { return host->ReadStatus() && host->RequestYuv(9, 249, 8, 168); };
  clock.Advance(7);
  ASSERT_TRUE(request());
  ASSERT_TRUE(request());
  DWORD start = clock.Now();
  ASSERT_TRUE(request());
  EXPECT_EQ(clock.Now() - start, 40u);
  // A frame transfer without polling waits for the frame too.
  ASSERT_TRUE(host->RequestYuv(9, 249, 8, 168));
  DWORD before = clock.Now();
  ASSERT_EQ(host->Transfer(buffer.data(), kMode2Frame), kMode2Frame);
  EXPECT_EQ(clock.Now() - before, 40u);
}

TEST_F(CameraFrames, FrameTransferRules) {
  Make(SimConfig{});
  ASSERT_TRUE(host->Arm());
  EXPECT_FALSE(camera->BeginFrame(10, 0));  // nothing requested
  EXPECT_EQ(camera->ReadFrame(buffer.data(), 10, false, sim::ReverseMode::Byte), 0u);
  EXPECT_FALSE(camera->EndFrame());
  ASSERT_TRUE(host->RequestYuv(9, 249, 8, 168));
  EXPECT_FALSE(camera->BeginFrame(8, 0));
  EXPECT_FALSE(camera->BeginFrame(10, 1));
  for (uint8_t mode : {9, 10, 11}) {
    ASSERT_TRUE(camera->BeginFrame(mode, 0));
    ASSERT_TRUE(camera->EndFrame());  // nothing read: the frame stays
  }
  EXPECT_TRUE(camera->FrameReady());
  EXPECT_EQ(camera->FramesDelivered(), 0u);
  ASSERT_EQ(host->Transfer(buffer.data(), kMode2Frame), kMode2Frame);
  EXPECT_EQ(camera->FramesDelivered(), 1u);
  // A frame request before the camera is armed is ignored.
  Make(SimConfig{});
  ASSERT_TRUE(host->RequestYuv(9, 249, 8, 168));
  EXPECT_FALSE(camera->BeginFrame(10, 0));
}

// ---- transfer size

TEST_F(CameraFrames, ThirtyTwoKilobyteTransferWraps) {
  SimConfig config;
  config.transferLimit = 0x8000;
  Make(config);
  ASSERT_TRUE(host->Arm());
  // The transfer probe: a 33792-byte read of a 28800-byte mode-2 frame.
  ASSERT_TRUE(host->RequestYuv(9, 249, 8, 168));
  ASSERT_EQ(host->Transfer(buffer.data(), 0x8400), 0x8400u);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 64, buffer.begin() + 32768));
  // A whole mode-1 frame in one transfer wraps as well.
  ASSERT_TRUE(host->ReadStatus());
  ASSERT_EQ(Window(324, 244, 7, 8), kMode1Full);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + (kMode1Full - 65536), buffer.begin() + 65536));
}

TEST_F(CameraFrames, LargeTransferDoesNotWrap) {
  for (sim::SceneKind scene : {sim::SceneKind::Bars, sim::SceneKind::Flat}) {
    SimConfig config;
    config.scene = scene;
    config.noise = 0;
    Make(config);
    ASSERT_TRUE(host->Arm());
    ASSERT_TRUE(host->RequestYuv(9, 249, 8, 168));
    ASSERT_EQ(host->Transfer(buffer.data(), 0x8400), 0x8400u);
    EXPECT_FALSE(std::equal(buffer.begin(), buffer.begin() + 64, buffer.begin() + 32768));
  }
}

// ---- faults and dumps

TEST_F(CameraFrames, UnplugAfterFramesStopsAnswering) {
  SimConfig config;
  config.unplugAfterFrames = 2;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Yuv(), kMode2Frame);
  EXPECT_TRUE(camera->Present());
  ASSERT_EQ(Yuv(), kMode2Frame);
  EXPECT_FALSE(camera->Present());
  EXPECT_FALSE(host->ReadStatus());
  EXPECT_FALSE(host->RequestYuv(9, 249, 8, 168));
  EXPECT_FALSE(camera->FrameReady());
  EXPECT_FALSE(camera->BeginFrame(10, 0));
  // A mode-1 frame counts when the next exchange shows it is complete.
  config.unplugAfterFrames = 1;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Window(160, 120, 48, 70), 19200u);
  EXPECT_TRUE(camera->Present());
  EXPECT_FALSE(host->ReadStatus());
  EXPECT_FALSE(camera->Present());
}

TEST_F(CameraFrames, NoiseIsRepeatableAndAsConfigured) {
  SimConfig config = Flat(128, 128, 128);
  config.noise = 4;
  config.defects = 0;
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Window(160, 120, 48, 70), 19200u);
  std::vector<uint8_t> first(buffer.begin(), buffer.begin() + 19200);
  // The same camera on the same clock gives the same frame.
  clock = platform::VirtualClock(1000);
  Make(config);
  ASSERT_TRUE(host->Arm());
  ASSERT_EQ(Window(160, 120, 48, 70), 19200u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), buffer.begin()));
  // Spread of the red sites (odd sites of even sensor rows) around their mean.
  double sum = 0, squares = 0;
  int n = 0;
  for (int y = 0; y < 120; y += 2) {
    for (int k = 0; k < 80; ++k) {
      double v = buffer[static_cast<size_t>(y * 160 + k)];
      sum += v;
      squares += v * v;
      ++n;
    }
  }
  double mean = sum / n, sigma = std::sqrt(squares / n - mean * mean);
  EXPECT_GT(sigma, 3.0);
  EXPECT_LT(sigma, 5.0);
  // The next sensor frame has other noise.
  ASSERT_TRUE(host->ReadStatus());
  ASSERT_EQ(Window(160, 120, 48, 70), 19200u);
  EXPECT_FALSE(std::equal(first.begin(), first.end(), buffer.begin()));
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST_F(CameraFrames, DumpWritesEveryDeliveredFrame) {
  std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / ("zarncap-camera-dump-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  SimConfig config;
  config.dumpDir = dir.string();
  config.dark = 20;
  config.transferLimit = 0x8000;
  Make(config);
  ASSERT_TRUE(host->Arm());
  // Frame 1: mode 2.
  ASSERT_EQ(Yuv(), kMode2Frame);
  std::vector<uint8_t> yuv(buffer.begin(), buffer.begin() + kMode2Frame);
  EXPECT_EQ(ReadBytes(dir / "frame-1.raw"), yuv);
  EXPECT_EQ(ReadText(dir / "frame-1.txt"), "mode 2\nwidth 160\nheight 120\ndark 20\nbytes 28800\n");
  // Frame 2: mode 1 in two bands, written once the next exchange begins.
  ASSERT_TRUE(host->ReadStatus());
  ASSERT_TRUE(host->RequestWindow(20, 132, 15, 292));
  ASSERT_EQ(host->Transfer(buffer.data(), 32704), 32704u);
  ASSERT_TRUE(host->RequestWindow(132, 240, 15, 292));
  ASSERT_EQ(host->Transfer(buffer.data() + 32704, 31536), 31536u);
  EXPECT_FALSE(std::filesystem::exists(dir / "frame-2.raw"));
  ASSERT_TRUE(host->ReadStatus());
  EXPECT_EQ(ReadBytes(dir / "frame-2.raw"), std::vector<uint8_t>(buffer.begin(), buffer.begin() + 64240));
  EXPECT_EQ(ReadText(dir / "frame-2.txt"), "mode 1\nwidth 292\nheight 220\ndark 20\nbytes 64240\n");
  // Frame 3: a counted mode-2 frame says what length it reported.
  ASSERT_EQ(Yuv(), kMode2Frame);
  uint32_t counted = Yuv(true, 10, 5, true);
  EXPECT_NE(ReadText(dir / "frame-4.txt").find("counted " + std::to_string(counted) + "\n"), std::string::npos);
  EXPECT_TRUE(camera->DumpError().empty());
  std::filesystem::remove_all(dir);
}

TEST(CameraSensorModel, CrosstalkIsWhatTheDriverCorrects) {
  constexpr double kCorrection[3][3] = {{3.0, -1.0, -0.25}, {-0.75, 3.0, -0.4}, {-1.08, -1.5, 6.0}};
  const auto& crosstalk = sim::SensorModel::Crosstalk();
  for (size_t i = 0; i < 3; ++i) {
    for (size_t j = 0; j < 3; ++j) {
      double product = 0;
      for (size_t k = 0; k < 3; ++k) product += kCorrection[i][k] * crosstalk[k][j];
      EXPECT_NEAR(product, i == j ? 1.0 : 0.0, 1e-12);
      EXPECT_GT(crosstalk[i][j], 0.0);  // a real filter only adds light
    }
  }
}

}  // namespace
}  // namespace camtest
