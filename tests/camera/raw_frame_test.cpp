#include <cstring>

#include "camera/camera_fixture.h"

namespace {

class RawFrameTest : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    device = Open();
    buffer.assign(kRawBufferSize, 0);
  }
  // Sets mode and size; the window and byte count follow.
  void Format(DWORD mode, WORD width, WORD height, DWORD maxTransfer = kTransferSmall) {
    device->maxTransfer = maxTransfer;
    ASSERT_TRUE(SetCaptureMode(device, mode));
    SetFrameSize(device, width, height);
    ClearLogs();
  }
  BOOL Read(DWORD* length) { return ReadRawFrame(device, buffer.data(), static_cast<DWORD>(buffer.size()), length); }

  CaptureDevice* device = nullptr;
  std::vector<BYTE> buffer;
};

TEST_F(RawFrameTest, WholeRawFrameInOneTransfer) {
  Format(1, 324, 244, kTransferLarge);
  ASSERT_EQ(device->singleRead, 1u);
  ASSERT_TRUE(ApplyCaptureSettings(device));
  ASSERT_EQ(fake->commands.size(), 1u);
  EXPECT_EQ(fake->commands[0], (BlockWords{0x46, 0, 0, 8, 252, 7, 324, 0, 0}));
  DWORD length = 0;
  ASSERT_TRUE(Read(&length));
  EXPECT_EQ(length, 79056u);
  EXPECT_EQ(fake->frames, (std::vector<std::string>{"begin 10/0", "fixed 79056", "end"}));
}

TEST_F(RawFrameTest, LargeRawFrameComesInBandsAndARemainder) {
  Format(1, 292, 220);
  ASSERT_EQ(device->singleRead, 0u);
  ASSERT_TRUE(ApplyCaptureSettings(device));
  EXPECT_TRUE(fake->commands.empty());  // the bands carry their own windows
  fake->darkLevel = 0;
  // Each transfer's bytes count up from 0, so where the remainder lands shows.
  fake->fill = [](BYTE* data, DWORD count) {
    for (DWORD i = 0; i < count; ++i) data[i] = static_cast<BYTE>(i);
  };
  DWORD length = 0;
  ASSERT_TRUE(Read(&length));
  EXPECT_EQ(length, 64240u);
  EXPECT_EQ(fake->frames, (std::vector<std::string>{"begin 10/0", "fixed 32704", "end", "begin 10/0", "fixed 31536",
                                                    "end"}));
  ASSERT_EQ(fake->commands.size(), 2u);
  EXPECT_EQ(fake->commands[0], (BlockWords{0x46, 0, 0, 20, 132, 15, 292, 0, 0}));
  EXPECT_EQ(fake->commands[1], (BlockWords{0x46, 0, 0, 132, 240, 15, 292, 0, 0}));
  // The remainder lands right after the band.
  EXPECT_EQ(buffer[32704], 0);
  EXPECT_EQ(buffer[32705], 1);
}

TEST_F(RawFrameTest, BandsThatWouldOverrunTheBufferAreRefused) {
  Format(1, 292, 220);
  DWORD length = 0;
  EXPECT_FALSE(ReadFrameStrips(device, buffer.data(), &length, 64239));
  EXPECT_TRUE(fake->frames.empty());
}

TEST_F(RawFrameTest, DarkLevelIsTakenOffRawFrames) {
  BYTE bytes[] = {20, 16, 3, 255, 0};
  SubtractDarkLevel(bytes, 5, 16);
  EXPECT_EQ(std::vector<BYTE>(bytes, bytes + 5), (std::vector<BYTE>{4, 0, 0, 239, 0}));

  Format(1, 160, 120);
  fake->darkLevel = 16;
  fake->fill = [](BYTE* data, DWORD count) { std::memset(data, 20, count); };
  ASSERT_TRUE(ApplyCaptureSettings(device));  // the status read brings the dark level
  DWORD length = 0;
  ASSERT_TRUE(Read(&length));
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(buffer[19199], 4);
  EXPECT_EQ(buffer[19200], 0);  // beyond the frame: untouched
}

TEST_F(RawFrameTest, NoFrameReadyIsAnEmptyRead) {
  Format(2, 160, 120);
  SetSkipReadyPoll(device, 0);
  fake->ready = false;
  DWORD length = 99;
  ASSERT_TRUE(Read(&length));
  EXPECT_EQ(length, 0u);
  EXPECT_TRUE(fake->frames.empty());
  EXPECT_EQ(device->fullFrameNext, 1u);
  EXPECT_EQ(fake->polls, 1);

  SetSkipReadyPoll(device, 1);
  ASSERT_TRUE(ApplyCaptureSettings(device));  // the frame is asked for, as every grab does
  ASSERT_TRUE(Read(&length));  // no poll when single frames are read
  EXPECT_EQ(fake->polls, 1);
  EXPECT_EQ(length, 28800u);
}

TEST_F(RawFrameTest, CompressedFramesFollowOneFullFrameAfterEachChange) {
  Format(2, 160, 120);
  SetCaptureOptions(device, 0, 0, 1);
  SetThresholds(device, 5, 2);
  ASSERT_TRUE(ApplyCaptureSettings(device));
  ASSERT_EQ(fake->matrices.size(), 1u);
  EXPECT_EQ(fake->commands.back(), (BlockWords{0x59, 0, 0x00, 5, 2, 9, 249, 8, 168}));
  DWORD length = 0;
  ASSERT_TRUE(Read(&length));
  EXPECT_EQ(length, 28800u);
  ASSERT_TRUE(ApplyCaptureSettings(device));
  EXPECT_EQ(fake->commands.back(), (BlockWords{0x59, 0, 0x40, 5, 2, 9, 249, 8, 168}));
  fake->countedReply = 4000;
  ASSERT_TRUE(Read(&length));
  EXPECT_EQ(length, 4000u);
  EXPECT_EQ(fake->frames, (std::vector<std::string>{"begin 10/0", "fixed 28800", "end", "begin 10/64",
                                                    "counted 28800", "end"}));

  // A camera that reports more than it was asked for is held to the frame.
  fake->countedReply = 100000;
  ASSERT_TRUE(ApplyCaptureSettings(device));
  ASSERT_TRUE(Read(&length));
  EXPECT_EQ(length, 28800u);

  // Option 80 rides along in word 2.
  SetCaptureOptions(device, 1, 0, 1);
  ASSERT_TRUE(ApplyCaptureSettings(device));
  EXPECT_EQ(fake->commands.back()[2], 0x80);
  ASSERT_TRUE(ApplyCaptureSettings(device));
  EXPECT_EQ(fake->commands.back()[2], 0xC0);
}

TEST_F(RawFrameTest, UncompressedSetUpLeavesTheThresholdWords) {
  Format(2, 160, 132);
  device->command.w[3] = 0x1111;
  device->command.w[4] = 0x2222;
  SetThresholds(device, 9, 4);
  ASSERT_TRUE(ApplyCaptureSettings(device));
  EXPECT_EQ(fake->commands.back(), (BlockWords{0x59, 0, 0, 0x1111, 0x2222, 9, 273, 8, 168}));
  DWORD length = 0;
  ASSERT_TRUE(Read(&length));
  ASSERT_TRUE(ApplyCaptureSettings(device));
  ASSERT_TRUE(Read(&length));
  EXPECT_EQ(std::count(fake->frames.begin(), fake->frames.end(), "fixed 31680"), 2);
}

TEST_F(RawFrameTest, WindowCommandLeavesTheLastTwoWordsAsTheSetUpLeftThem) {
  Format(2, 160, 120);
  ASSERT_TRUE(ApplyCaptureSettings(device));
  ASSERT_EQ(fake->commands.back(), (BlockWords{0x59, 0, 0, 0, 0, 9, 249, 8, 168}));
  // The 'F' command sets w1..w6 only: column count in w6, w7 and w8 untouched.
  Format(1, 160, 120, kTransferLarge);
  device->option80 = 1;
  ASSERT_TRUE(ApplyCaptureSettings(device));
  EXPECT_EQ(fake->commands.back(), (BlockWords{0x46, 0, 0x80, 70, 190, 48, 160, 8, 168}));
}

TEST_F(RawFrameTest, RefusalsTouchNothing) {
  Format(1, 324, 244, kTransferLarge);
  DWORD length = 7;
  EXPECT_FALSE(ReadRawFrame(device, buffer.data(), 79055, &length));
  EXPECT_EQ(length, 7u);
  EXPECT_TRUE(fake->frames.empty());

  fake->stateWord = 0x4000;
  EXPECT_FALSE(ApplyCaptureSettings(device));
  EXPECT_TRUE(fake->commands.empty());
  fake->stateWord = 0xC000;
  device->mode = 5;
  EXPECT_FALSE(ApplyCaptureSettings(device));
  device->mode = 0;
  EXPECT_TRUE(ApplyCaptureSettings(device));
  EXPECT_TRUE(Read(&length));
  EXPECT_EQ(length, 7u);  // mode 0 reads nothing
  EXPECT_TRUE(fake->commands.empty());
}

TEST_F(RawFrameTest, ProbeFindsWhetherTransfersWrapAt32K) {
  Format(2, 160, 120);
  ProbeTransferSize(device, buffer.data(), 33791);
  EXPECT_TRUE(fake->frames.empty());
  EXPECT_EQ(device->maxTransfer, kTransferSmall);

  fake->fill = [](BYTE* data, DWORD count) {
    for (DWORD i = 0; i < count; ++i) data[i] = static_cast<BYTE>(i % 32768 * 7);
  };
  ProbeTransferSize(device, buffer.data(), static_cast<DWORD>(buffer.size()));
  EXPECT_EQ(fake->frames[1], "fixed 33792");
  EXPECT_EQ(device->maxTransfer, kTransferSmall);  // 64 equal pairs: wrapped
  EXPECT_EQ(device->frameBytes, 28800u);           // restored
  EXPECT_EQ(device->fullFrameNext, 0u);

  fake->fill = [](BYTE* data, DWORD count) {
    for (DWORD i = 0; i < count; ++i) data[i] = static_cast<BYTE>(i % 32768 * 7 + (i == 32768 + 63));
  };
  ProbeTransferSize(device, buffer.data(), static_cast<DWORD>(buffer.size()));
  EXPECT_EQ(device->maxTransfer, kTransferLarge);  // one pair differs
}

TEST_F(RawFrameTest, ConversionMatrixIsTruncatedQ15) {
  const double values[9] = {0.5, -0.109534, 0.217966, 1.0, -1.0, 0.0, 2.0, -2.0, 0.999999};
  ASSERT_TRUE(SetConversionMatrix(device, values));
  const std::int16_t expected[9] = {16383, -3589, 7142, 32767, -32767, 0, 32767, -32768, 32766};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(device->matrix.m[i], expected[i]) << i;
  Format(2, 160, 120);
  ASSERT_TRUE(ApplyCaptureSettings(device));
  ASSERT_EQ(fake->matrices.size(), 1u);
  EXPECT_EQ(fake->matrices[0][1], static_cast<WORD>(-3589));
}

}  // namespace
