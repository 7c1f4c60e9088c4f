// The virtual camera's firmware: command bytes, block exchanges, the state
// word, the reset lines and the faults that concern them.
#include <gtest/gtest.h>

#include "tests/sim/camera_host.h"

namespace camtest {
namespace {

using sim::SimConfig;

TEST(CameraWire, PortCommandsArriveAsTheirWireBytes) {
  EXPECT_EQ(Wire(16), sim::kWireCommandBlock);
  EXPECT_EQ(Wire(48), sim::kWireStatusBlock);
  EXPECT_EQ(Wire(38), sim::kWireMatrixBlock);
}

TEST_F(CameraTest, StateWordStartsWithResetFlagThenArms) {
  Make(SimConfig{});
  ASSERT_TRUE(host->ReadStatus());
  EXPECT_EQ(host->status[8], 0x0080);
  EXPECT_EQ(host->status[6], 16);  // default dark level
  // The flag is gone once seen; arming makes the camera ready.
  ASSERT_TRUE(host->ReadStatus());
  EXPECT_EQ(host->status[8], 0x0000);
  host->status[8] = 0xC000;
  ASSERT_TRUE(host->WriteStatus());
  ASSERT_TRUE(host->ReadStatus());
  EXPECT_EQ(host->status[8], 0xC000);
  // Any other state word written disarms it.
  host->status[8] = 0x4000;
  ASSERT_TRUE(host->WriteStatus());
  ASSERT_TRUE(host->ReadStatus());
  EXPECT_EQ(host->status[8], 0x0000);
}

TEST_F(CameraTest, HandshakeOfTheCameraLayerSucceeds) {
  Make(SimConfig{});
  ASSERT_TRUE(host->Arm());
  EXPECT_EQ(camera->State(), sim::kStateReady);
  EXPECT_EQ(camera->LastCommand(), BlockWords{});
}

TEST_F(CameraTest, NotReadyCameraNeverArmsAndTakesNoFrameRequest) {
  SimConfig config;
  config.notready = true;
  Make(config);
  ASSERT_TRUE(host->Arm());  // 0 is an acceptable state at creation...
  ASSERT_TRUE(host->ReadStatus());
  EXPECT_EQ(host->status[8], 0x0000);  // ...but it never reads ready
  ASSERT_TRUE(host->RequestYuv(9, 249, 8, 168));
  EXPECT_FALSE(camera->FrameReady());
  EXPECT_FALSE(camera->BeginFrame(10, 0));
}

TEST_F(CameraTest, DarkLevelIsReportedInS6) {
  SimConfig config;
  config.dark = 40;
  Make(config);
  ASSERT_TRUE(host->ReadStatus());
  EXPECT_EQ(host->status[6], 40);
}

TEST_F(CameraTest, BlocksNeedTheirCommandByteAndExactlyEighteenBytes) {
  Make(SimConfig{});
  uint8_t block[20] = {};
  // No command byte before the block.
  EXPECT_FALSE(camera->Write(block, 18));
  EXPECT_FALSE(camera->Read(block, 18, sim::ReverseMode::Nibble));
  // Unknown and odd-numbered wire bytes are refused.
  EXPECT_FALSE(camera->Command(7));
  EXPECT_FALSE(camera->Command(0x55));
  // A short or long block is not taken, and the command is used up.
  ASSERT_TRUE(camera->Command(Wire(16)));
  EXPECT_FALSE(camera->Write(block, 17));
  EXPECT_FALSE(camera->Write(block, 18));
  ASSERT_TRUE(camera->Command(Wire(48)));
  EXPECT_FALSE(camera->Read(block, 19, sim::ReverseMode::Byte));
  // An empty transfer moves nothing and leaves the command waiting.
  ASSERT_TRUE(camera->Command(Wire(16)));
  EXPECT_TRUE(camera->Write(block, 0));
  EXPECT_TRUE(camera->Write(block, 18));
  // The status block cannot follow a command-block byte, nor a matrix be read.
  ASSERT_TRUE(camera->Command(Wire(16)));
  EXPECT_FALSE(camera->Read(block, 18, sim::ReverseMode::Byte));
  ASSERT_TRUE(camera->Command(Wire(38)));
  EXPECT_FALSE(camera->Read(block, 18, sim::ReverseMode::Byte));
}

TEST_F(CameraTest, BlocksAreLittleEndianWords) {
  Make(SimConfig{});
  ASSERT_TRUE(host->Arm());
  uint8_t bytes[18] = {};
  ASSERT_TRUE(camera->Command(Wire(48)));
  ASSERT_TRUE(camera->Read(bytes, 18, sim::ReverseMode::Nibble));
  EXPECT_EQ(bytes[16], 0x00);  // s8 = 0xC000: low byte first
  EXPECT_EQ(bytes[17], 0xC0);
  EXPECT_EQ(bytes[12], 16);  // s6 = 16
  EXPECT_EQ(bytes[13], 0);
  // A command block's words come in the same order.
  uint8_t window[18] = {0x46, 0, 0, 0, 0, 0, 8, 0, 252, 0, 7, 0, 0x44, 0x01, 0, 0, 0, 0};
  ASSERT_TRUE(camera->Command(Wire(16)));
  ASSERT_TRUE(camera->Write(window, 18));
  EXPECT_EQ(camera->LastCommand()[0], 0x46);
  EXPECT_EQ(camera->LastCommand()[3], 8);
  EXPECT_EQ(camera->LastCommand()[4], 252);
  EXPECT_EQ(camera->LastCommand()[5], 7);
  EXPECT_EQ(camera->LastCommand()[6], 324);
}

TEST_F(CameraTest, MatrixBlockIsStoredAsSignedWords) {
  Make(SimConfig{});
  EXPECT_EQ(camera->Matrix(), sim::VirtualCamera::kDefaultMatrix);
  std::array<int16_t, 9> matrix = {1, -2, 3, -32768, 32767, 0, -1, 100, -100};
  ASSERT_TRUE(host->SendMatrix(matrix));
  EXPECT_EQ(camera->Matrix(), matrix);
}

TEST_F(CameraTest, StatusCarriesLastCommandAndFirmwareRevision) {
  Make(SimConfig{});
  ASSERT_TRUE(host->Arm());
  ASSERT_TRUE(host->BusStart());
  ASSERT_TRUE(host->ReadStatus());
  EXPECT_EQ(host->status[3], 0x53);
  EXPECT_EQ(host->status[7], sim::kFirmwareRevision);
}

TEST_F(CameraTest, ResetLinesRestoreThePowerOnState) {
  Make(SimConfig{});
  ASSERT_TRUE(host->Arm());
  ASSERT_TRUE(host->SendMatrix({1, 2, 3, 4, 5, 6, 7, 8, 9}));
  ASSERT_TRUE(host->WriteRegister(0x5080));
  // Output B alone, or after another A value, does nothing.
  camera->OutputB(4);
  camera->OutputA(3);
  camera->OutputB(4);
  EXPECT_EQ(camera->State(), sim::kStateReady);
  // The driver's pulse: A 12, A 12, B 4.
  camera->OutputA(12);
  camera->OutputA(12);
  camera->OutputB(4);
  EXPECT_EQ(camera->State(), sim::kStatePowerOn);
  EXPECT_EQ(camera->Matrix(), sim::VirtualCamera::kDefaultMatrix);
  EXPECT_EQ(camera->Sensor().Register(5), 0);
  EXPECT_EQ(camera->Sensor().WriteLog().size(), 1u);  // the log survives for inspection
}

TEST_F(CameraTest, UnknownCommandCodesAreHarmless) {
  Make(SimConfig{});
  ASSERT_TRUE(host->Arm());
  host->command = {0x7777, 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_TRUE(host->SendCommand());
  EXPECT_FALSE(camera->FrameReady());
  ASSERT_TRUE(host->ReadStatus());
  EXPECT_EQ(host->status[8], 0xC000);
}

TEST_F(CameraTest, UnplugZeroMeansNoCameraAtAll) {
  SimConfig config;
  config.unplugAfterFrames = 0;
  Make(config);
  EXPECT_FALSE(camera->Present());
  EXPECT_FALSE(camera->Command(Wire(48)));
}

}  // namespace
}  // namespace camtest
