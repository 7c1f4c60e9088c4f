// The camera layer against the virtual camera: detection, the factory defect
// map from its EEPROM, and raw frames of both modes whose stuck pixels the
// defect repair removes.
#include <gtest/gtest.h>

#include "support/clean_driver.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "support/environment.h"
#include "core/driver_context.h"
#include "camera/zarncam.h"
#include "core/driver_state.h"
#include "platform/portable/testing.h"
#include "port/port.h"
#include "port/port_device.h"
#include "sim/register.h"

namespace {

class VirtualCameraTest : public ::testing::Test {
 protected:
  void Start(const char* camera) {
    testsupport::BeginCleanDriver(&clock);
    sim::RegisterVirtualCamera();
    testsupport::SetEnvironment("ZARNCAP_CAMERA", camera);
    Driver().portDevice = OpenPortDevice(kPortDeviceIndex);
    ASSERT_NE(Driver().portDevice, INVALID_HANDLE_VALUE);
    device = InitCaptureDevice(1, 0);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(SelectCaptureDevice(device));
    kind = DetectZarncam(kSensorBusAddress) ? 0 : 1;
    ops = kind == 0 ? CreateSensorOpsKind0(0, kSensorBusAddress) : CreateSensorOpsKind1(0, kSensorBusAddress);
    ASSERT_NE(ops, nullptr);
    ASSERT_EQ(ops->SetCameraMode(ops, kSensorCameraMode), SENSOR_OK);
    mapLoaded = LoadDefectMap(ops, GetDefectTable().Bytes(), kDefectMapEntries);
    buffer.assign(kRawBufferSize, 0);
    ProbeTransferSize(device, buffer.data(), kRawBufferSize);
  }

  void TearDown() override {
    FreeSensorOps(ops);
    CloseCaptureDevices();
    ClosePortDevice(Driver().portDevice);
    testsupport::EndCleanDriver();
    testsupport::SetEnvironment("ZARNCAP_CAMERA", "none");
  }

  // Sets the format up as the capture engine does and reads one frame.
  void Capture(DWORD mode, WORD width, WORD height) {
    ASSERT_TRUE(SetCaptureMode(device, mode));
    ASSERT_TRUE(SetFrameSize(device, width, height));
    std::int16_t x0, y0, x1, y1;
    GetCaptureWindow(device, &x0, &y0, &x1, &y1);
    ASSERT_TRUE(PrepareDefectCorrection(mode, x0, y0, x1, y1));
    ASSERT_TRUE(ApplyCaptureSettings(device));
    DWORD length = 0;
    ASSERT_TRUE(ReadRawFrame(device, buffer.data(), kRawBufferSize, &length));
    ASSERT_EQ(length, device->frameBytes);
  }

  int Spread(const BYTE* begin, const BYTE* end) {
    auto [lo, hi] = std::minmax_element(begin, end);
    return *hi - *lo;
  }

  platform::VirtualClock clock;
  CaptureDevice* device = nullptr;
  SensorOps* ops = nullptr;
  int kind = -1;
  BOOL mapLoaded = FALSE;
  std::vector<BYTE> buffer;
};

TEST_F(VirtualCameraTest, RawFrameOfAFlatSceneHasNoStuckPixelAfterRepair) {
  Start("sim:sensor=1,eeprom=4096,defects=60,noise=0,scene=flat:128,128,128");
  EXPECT_EQ(kind, 1);
  ASSERT_TRUE(mapLoaded);
  EXPECT_EQ(GetDefectTable().entries[59].Kind() != 0, true);
  EXPECT_EQ(device->maxTransfer, kTransferLarge);
  Capture(1, 324, 244);
  ASSERT_GT(Camera().correctionList.count, 0);

  // Each half of a raw row holds one colour, all alike in a flat scene: only
  // the defects stand out, and only until they are repaired.
  const int w = 324, h = 244;
  auto worst = [&]() {
    int spread = 0;
    for (int y = 0; y < h; ++y) {
      const BYTE* row = buffer.data() + y * w;
      spread = std::max({spread, Spread(row, row + w / 2), Spread(row + w / 2, row + w)});
    }
    return spread;
  };
  EXPECT_GT(worst(), 20);
  CorrectDefects(buffer.data(), kRawBufferSize);
  EXPECT_LE(worst(), 1);
}

TEST_F(VirtualCameraTest, BandedRawFrameIsRepairedToo) {
  Start("sim:sensor=0,eeprom=4096,defects=40,noise=0,transfer=32k,scene=flat:90,160,60");
  EXPECT_EQ(kind, 0);
  ASSERT_TRUE(mapLoaded);
  EXPECT_EQ(device->maxTransfer, kTransferSmall);
  Capture(1, 292, 220);
  EXPECT_EQ(device->singleRead, 0u);
  CorrectDefects(buffer.data(), kRawBufferSize);
  for (int y = 0; y < 220; ++y) {
    const BYTE* row = buffer.data() + y * 292;
    ASSERT_LE(Spread(row, row + 146), 1) << y;
    ASSERT_LE(Spread(row + 146, row + 292), 1) << y;
  }
}

TEST_F(VirtualCameraTest, YuvFrameLosesItsStuckLuminance) {
  Start("sim:eeprom=4096,defects=160,noise=0,scene=flat:128,128,128");
  ASSERT_TRUE(mapLoaded);
  const double matrix[9] = {0.05367647058823529, 0.05367647058823529, 0.10735294117647058,
                            -0.109534, -0.216289, 0.217966, 0.261148, -0.224403, -0.030568};
  ASSERT_TRUE(SetConversionMatrix(device, matrix));
  Capture(2, 160, 120);

  const CorrectionList& list = Camera().correctionList;
  const long w = 160;
  auto luminance = [&](const CorrectionItem& item) {
    return (item.y / 2) * 3 * w + item.x + (item.y % 2 ? w : 0);
  };
  int stuck = 0;
  for (int i = 0; i < list.count; ++i) {
    const CorrectionItem& item = list.items[i];
    if (item.colourClass != 3 || item.x == 0 || item.x == w - 1) continue;
    const long off = luminance(item);
    stuck += std::abs(buffer[off] - (buffer[off - 1] + buffer[off + 1]) / 2) > 5;
  }
  EXPECT_GT(stuck, 10);
  CorrectDefects(buffer.data(), kRawBufferSize);
  for (int i = 0; i < list.count; ++i) {
    const CorrectionItem& item = list.items[i];
    if (item.colourClass != 3 || item.x == 0 || item.x == w - 1) continue;
    const long off = luminance(item);
    EXPECT_LE(std::abs(buffer[off] - buffer[off - 1]), 1) << item.x << "," << item.y;
  }
}

TEST_F(VirtualCameraTest, StoredMapReplacesTheFactoryMap) {
  Start("sim:eeprom=4096,defects=8");
  ASSERT_TRUE(mapLoaded);
  std::vector<BYTE> map(kDefectMapBytes, 0);
  for (int i = 0; i < 12; ++i) {
    const DefectEntry entry = DefectEntry::Make(1 + i % 3, 388 * (100 + 2 * i) + 51 + 4 * i);
    std::copy(entry.bytes, entry.bytes + 3, map.begin() + 3 * i);
  }
  SetDefectTable(map.data());
  ASSERT_TRUE(StoreDefectMap());
  std::fill(buffer.begin(), buffer.begin() + kDefectMapBytes, 0xEE);
  ClearEEPROMImage();
  ASSERT_TRUE(LoadDefectMap(ops, buffer.data(), kDefectMapEntries));
  EXPECT_TRUE(std::equal(map.begin(), map.end(), buffer.begin()));
  EXPECT_TRUE(platform::RecordedMessageBoxes().empty());
}

TEST_F(VirtualCameraTest, FactoryMapWithABadChecksumDoesNotLoad) {
  Start("sim:eeprom=4096,badsum");
  EXPECT_FALSE(mapLoaded);
  Driver().debugFlags = DEBUG_EEPROM_BOXES;
  EXPECT_FALSE(LoadDefectMap(ops, GetDefectTable().Bytes(), kDefectMapEntries));
  auto boxes = platform::RecordedMessageBoxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().text, "Error in EEPROM checksum, first page");
}

TEST_F(VirtualCameraTest, CameraThatNeverGetsReadyIsRefusedFrames) {
  Start("sim:notready");
  EXPECT_FALSE(ApplyCaptureSettings(device));
}

}  // namespace
