#include "camera/camera_fixture.h"

namespace {

using CaptureDeviceTest = CameraTest;

TEST_F(CaptureDeviceTest, InitAcceptsReadyOrIdleStateAndSetsDefaults) {
  for (WORD state : {WORD{0xC000}, WORD{0x0000}, WORD{0x0080}, WORD{0xC080}}) {
    fake->stateWord = state;
    fake->statusWrites.clear();
    fake->commands.clear();
    CaptureDevice* device = InitCaptureDevice(1, 7);
    ASSERT_NE(device, nullptr) << std::hex << state;
    // The camera is told it is ready, then gets an all-zero command block.
    ASSERT_EQ(fake->statusWrites.size(), 1u);
    EXPECT_EQ(fake->statusWrites[0][8], 0xC000);
    ASSERT_EQ(fake->commands.size(), 1u);
    EXPECT_EQ(fake->commands[0], BlockWords{});
    EXPECT_EQ(device->port, 1);
    EXPECT_EQ(device->option, 7);
    EXPECT_EQ(device->maxTransfer, 0x8000u);
    EXPECT_EQ(device->mode, 2u);
    EXPECT_EQ(device->width, 160);
    EXPECT_EQ(device->height, 120);
    EXPECT_EQ(device->settingsChanged, 1u);
    EXPECT_EQ(device->skipReadyPoll, 1u);
    EXPECT_EQ(device->fullFrameNext, 1u);
    EXPECT_EQ(device->frameBytes, 0u);  // no window before the first SetFrameSize
    EXPECT_EQ(CurrentCaptureDevice(), nullptr);  // creating does not select
    FreeCaptureDevice(device);
  }
}

TEST_F(CaptureDeviceTest, InitRefusesOtherStatesAndFailedExchanges) {
  fake->stateWord = 0x4000;
  EXPECT_EQ(InitCaptureDevice(1, 0), nullptr);
  EXPECT_TRUE(fake->statusWrites.empty());

  fake->stateWord = 0xC000;
  fake->refusedCommands = {48};
  EXPECT_EQ(InitCaptureDevice(1, 0), nullptr);
  fake->refusedCommands = {16};
  EXPECT_EQ(InitCaptureDevice(1, 0), nullptr);
  fake->refusedCommands.clear();
  EXPECT_EQ(InitCaptureDevice(4, 0), nullptr);  // no such port
}

TEST_F(CaptureDeviceTest, SelectResetFreeAndClose) {
  CaptureDevice* a = InitCaptureDevice(1, 0);
  CaptureDevice* b = InitCaptureDevice(1, 0);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(SelectCaptureDevice(a));
  EXPECT_EQ(CurrentCaptureDevice(), a);
  EXPECT_FALSE(SelectCaptureDevice(nullptr));
  EXPECT_EQ(CurrentCaptureDevice(), nullptr);

  EXPECT_TRUE(SelectCaptureDevice(b));
  EXPECT_TRUE(ResetCaptureDevices());  // forgotten, not freed
  EXPECT_EQ(CurrentCaptureDevice(), nullptr);
  EXPECT_TRUE(SelectCaptureDevice(b));
  FreeCaptureDevice(a);  // not current: only freed
  EXPECT_EQ(CurrentCaptureDevice(), b);
  CloseCaptureDevices();
  EXPECT_EQ(CurrentCaptureDevice(), nullptr);

  // Without a device every camera operation refuses.
  EXPECT_FALSE(BusStart(nullptr));
  EXPECT_EQ(BusWriteByte(nullptr, 0x20), 0u);
  EXPECT_FALSE(SetFrameSize(nullptr, 160, 120));
  EXPECT_FALSE(ApplyCaptureSettings(nullptr));
}

TEST_F(CaptureDeviceTest, BlocksTravelLittleEndian) {
  WORD words[9] = {0x0046, 0x1234, 0xABCD, 0, 0, 0, 0, 0, 0xFFEE};
  BYTE bytes[18];
  EncodeCameraBlock(words, bytes);
  EXPECT_EQ(bytes[0], 0x46);
  EXPECT_EQ(bytes[1], 0x00);
  EXPECT_EQ(bytes[2], 0x34);
  EXPECT_EQ(bytes[3], 0x12);
  EXPECT_EQ(bytes[4], 0xCD);
  EXPECT_EQ(bytes[5], 0xAB);
  EXPECT_EQ(bytes[17], 0xFF);
  WORD back[9];
  DecodeCameraBlock(bytes, back);
  EXPECT_TRUE(std::equal(words, words + 9, back));
}

TEST_F(CaptureDeviceTest, BusStepsChangeOnlyTheirWords) {
  CaptureDevice* device = Open();
  ASSERT_TRUE(BusStart(device));
  EXPECT_EQ(BusWriteByte(device, 0x21), 1u);  // the sensor acknowledges
  BYTE value = 0;
  ASSERT_TRUE(BusReadByte(device, &value, BUS_ACK_MORE));
  EXPECT_EQ(value, fake->Camera().Sensor().Identification()[0]);  // the sensor's first identification byte
  ASSERT_TRUE(BusStop(device));
  ASSERT_EQ(fake->commands.size(), 4u);
  EXPECT_EQ(fake->commands[0], (BlockWords{0x53, 0, 0x53, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(fake->commands[1], (BlockWords{0x53, 0, 0x57, 0x21, 0, 0, 0, 0, 0}));
  EXPECT_EQ(fake->commands[2], (BlockWords{0x53, 0, 0x52, 0x21, 1, 0, 0, 0, 0}));
  EXPECT_EQ(fake->commands[3], (BlockWords{0x53, 0, 0x50, 0x21, 1, 0, 0, 0, 0}));
  EXPECT_EQ(device->command.w[3], 0x21);

  fake->sensorAck = false;
  BusStart(device);
  EXPECT_EQ(BusWriteByte(device, 0x20), 0u);  // no acknowledge
  fake->refusedCommands = {48};
  EXPECT_EQ(BusWriteByte(device, 0x20), 0u);  // status read failed
  EXPECT_FALSE(BusReadByte(device, &value, BUS_ACK_LAST));
}

TEST_F(CaptureDeviceTest, DetectZarncamTellsKindsApart) {
  Open();
  fake->sensorId = std::array<BYTE, 4>{0xAA, 0xBB, 0x10, 0x13};
  EXPECT_TRUE(DetectZarncam(0x20));
  // Two passes of start, read address, 3 + 1 reads, stop.
  const std::vector<std::string> pass = {"start", "w 21", "r AA/1", "r BB/1", "r 10/1", "r 13/0", "stop"};
  std::vector<std::string> both = pass;
  both.insert(both.end(), pass.begin(), pass.end());
  EXPECT_EQ(fake->bus, both);

  fake->sensorId = std::array<BYTE, 4>{0x00, 0x00, 0x13, 0x00};
  EXPECT_FALSE(DetectZarncam(0x20));
  EXPECT_TRUE(Boxes().empty());

  fake->sensorAck = false;
  EXPECT_FALSE(DetectZarncam(0x20));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);  // shown whatever debugFlags holds
  EXPECT_EQ(boxes[0].text, "DetectZarncam error #2");
  EXPECT_EQ(boxes[0].caption, "camera/zarncam");
  EXPECT_EQ(boxes[0].type, MB_OK);
}

struct WindowCase {
  DWORD mode;
  DWORD maxTransfer;
  WORD width, height;
  BOOL result;
  std::int16_t x0, y0, x1, y1;
  DWORD frameBytes;
  DWORD singleRead;
};

TEST_F(CaptureDeviceTest, FrameSizesGiveTheirWindows) {
  const WindowCase cases[] = {
      {1, 0x8000, 324, 244, FALSE, 7, 8, 331, 252, 79056, 0},  // half a frame does not fit: stored all the same
      {1, 0x8000, 292, 220, TRUE, 15, 20, 307, 240, 64240, 0},
      {1, 0x20000, 324, 244, TRUE, 7, 8, 331, 252, 79056, 1},
      {2, 0x8000, 160, 120, TRUE, 8, 9, 168, 249, 28800, 0},
      {2, 0x8000, 160, 132, TRUE, 8, 9, 168, 273, 31680, 0},  // taller than 122: y0 = 9 branch
      {2, 0x8000, 160, 136, TRUE, 8, 9, 168, 281, 32640, 0},
      {2, 0x8000, 160, 122, TRUE, 8, 7, 168, 251, 29280, 0},
      {2, 0x8000, 80, 60, TRUE, 48, 69, 128, 189, 7200, 0},
  };
  CaptureDevice* device = Open();
  for (const WindowCase& c : cases) {
    device->maxTransfer = c.maxTransfer;
    device->singleRead = 0;
    ASSERT_TRUE(SetCaptureMode(device, c.mode));
    EXPECT_EQ(SetFrameSize(device, c.width, c.height), c.result) << c.width << "x" << c.height;
    std::int16_t x0, y0, x1, y1;
    GetCaptureWindow(device, &x0, &y0, &x1, &y1);
    EXPECT_EQ(x0, c.x0);
    EXPECT_EQ(y0, c.y0);
    EXPECT_EQ(x1, c.x1);
    EXPECT_EQ(y1, c.y1);
    EXPECT_EQ(device->width, static_cast<std::int16_t>(c.width));
    EXPECT_EQ(device->frameBytes, c.frameBytes);
    EXPECT_EQ(device->singleRead, c.singleRead);
  }
}

TEST_F(CaptureDeviceTest, RefusedSizesChangeNothing) {
  CaptureDevice* device = Open();
  ASSERT_TRUE(SetFrameSize(device, 160, 120));
  const CaptureDevice before = *device;
  device->settingsChanged = 0;
  for (auto [w, h] : {std::pair<WORD, WORD>{79, 60}, {80, 59}, {161, 120}, {160, 137}, {0xFFFF, 100}}) {
    EXPECT_FALSE(SetFrameSize(device, w, h)) << w << "x" << h;
  }
  EXPECT_EQ(device->width, before.width);
  EXPECT_EQ(device->height, before.height);
  EXPECT_EQ(device->y1, before.y1);
  EXPECT_EQ(device->settingsChanged, 0u);
  EXPECT_TRUE(SetFrameSize(device, 80, 60));

  // A mode change alone leaves the window and byte count for the next SetFrameSize.
  ASSERT_TRUE(SetCaptureMode(device, 1));
  EXPECT_EQ(device->frameBytes, 7200u);
  // Mode 1 has no upper limit of its own, but the record's fields must hold the size.
  EXPECT_FALSE(SetFrameSize(device, 0x8000, 60));
}

TEST_F(CaptureDeviceTest, OptionsAndThresholds) {
  CaptureDevice* device = Open();
  device->settingsChanged = 0;
  EXPECT_TRUE(SetThresholds(device, 5, 2));
  EXPECT_EQ(device->settingsChanged, 0u);  // thresholds ride on the next set-up
  std::int16_t t1 = 0, t2 = 0;
  EXPECT_TRUE(GetThresholds(device, &t1, &t2));
  EXPECT_EQ(t1, 5);
  EXPECT_EQ(t2, 2);
  EXPECT_TRUE(SetCaptureOptions(device, 0, 9, 1));
  EXPECT_EQ(device->optionSpare, 9u);
  EXPECT_EQ(device->temporalDifference, 1u);
  EXPECT_EQ(device->settingsChanged, 1u);
  EXPECT_TRUE(SetSkipReadyPoll(device, 0));
  EXPECT_EQ(device->skipReadyPoll, 0u);
}

}  // namespace
