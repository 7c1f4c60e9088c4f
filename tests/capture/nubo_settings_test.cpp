// Section "NUBO": the five keys, their defaults and order, limits applied and
// written back, and the transfer settings and quality they drive.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "capture/nubo_settings.h"
#include "offline_device.h"

namespace capture_test {
namespace {

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class SettingsTest : public OfflineDeviceTest {};

TEST_F(SettingsTest, MissingSectionGivesTheDefaultsAndWritesThemInOrder) {
  ScriptedGain() = 3;
  ASSERT_TRUE(ReadNUBOInit(device_, ini_.c_str()));
  EXPECT_EQ(device_->temporalDifference, 1u);
  EXPECT_EQ(device_->autoThreshold, 0u);
  EXPECT_EQ(device_->imageQuality, 75);
  EXPECT_EQ(ScriptedGain(), 0);
  EXPECT_EQ(device_->fastStream, 1u);
  EXPECT_EQ(device_->transferControl, 1u);
  EXPECT_EQ(Cam().temporalDifference, 1u);
  EXPECT_EQ(Cam().threshold1, 5);
  EXPECT_EQ(Cam().threshold2, 2);

  ASSERT_TRUE(WriteNUBOInit(device_, ini_.c_str()));
  const std::string text = FileText(ini_);
  const std::string expected =
      "[NUBO]\nTemporalDifference=1\nAutoThreshold=0\nImageQuality=75\nCameraGain=0\nFastStream=1\n";
  EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST_F(SettingsTest, QualityOutsideTheRangeIsLimitedAndWrittenBackLimited) {
  platform::WritePrivateProfileString("NUBO", "ImageQuality", "250", ini_.c_str());
  platform::WritePrivateProfileString("NUBO", "CameraGain", "-1", ini_.c_str());
  platform::WritePrivateProfileString("NUBO", "AutoThreshold", "1", ini_.c_str());
  ASSERT_TRUE(ReadNUBOInit(device_, ini_.c_str()));
  EXPECT_EQ(device_->imageQuality, 100);
  EXPECT_EQ(device_->autoThreshold, 1u);
  EXPECT_EQ(ScriptedGain(), -1);
  ASSERT_TRUE(WriteNUBOInit(device_, ini_.c_str()));
  EXPECT_EQ(platform::GetPrivateProfileInt("NUBO", "ImageQuality", 0, ini_.c_str()), 100u);
  char gain[16] = {};
  platform::GetPrivateProfileString("NUBO", "CameraGain", "", gain, sizeof gain, ini_.c_str());
  EXPECT_STREQ(gain, "-1");
}

TEST_F(SettingsTest, AFailedGainFailsTheReadButEverythingIsApplied) {
  platform::WritePrivateProfileString("NUBO", "ImageQuality", "0", ini_.c_str());
  platform::WritePrivateProfileString("NUBO", "FastStream", "0", ini_.c_str());
  ScriptedGainFails() = true;
  EXPECT_FALSE(ReadNUBOInit(device_, ini_.c_str()));
  EXPECT_EQ(device_->imageQuality, 0);
  EXPECT_EQ(device_->fastStream, 0u);
}

TEST_F(SettingsTest, WithoutAPathNothingIsReadOrWritten) {
  EXPECT_FALSE(ReadNUBOInit(device_, nullptr));
  EXPECT_TRUE(WriteNUBOInit(device_, nullptr));
  EXPECT_FALSE(ReadNUBOInit(nullptr, ini_.c_str()));
  EXPECT_FALSE(WriteNUBOInit(nullptr, ini_.c_str()));
  EXPECT_EQ(FileText(ini_).find("NUBO"), std::string::npos);
}

TEST_F(SettingsTest, QualityGivesBothThresholds) {
  struct Row {
    int quality;
    std::int16_t stored, k1, k2;
  };
  for (Row row : {Row{75, 75, 5, 2}, Row{100, 100, 2, 1}, Row{0, 0, 16, 8}, Row{150, 100, 2, 1}, Row{-5, 0, 16, 8},
                  Row{50, 50, 9, 4}, Row{0x10032, 50, 9, 4}}) {
    SCOPED_TRACE(row.quality);
    EXPECT_TRUE(SetImageQuality(row.quality));
    EXPECT_EQ(device_->imageQuality, row.stored);
    EXPECT_EQ(Cam().threshold1, row.k1);
    EXPECT_EQ(Cam().threshold2, row.k2);
  }
}

TEST_F(SettingsTest, TransferControlAndStreamModeReachTheCamera) {
  device_->resync = 0;
  Cam().settingsChanged = 0;
  EXPECT_TRUE(SetTransferControl(1, 0, 1));
  EXPECT_EQ(device_->resync, 1u);
  EXPECT_EQ(device_->temporalDifference, 0u);
  EXPECT_EQ(device_->autoThreshold, 1u);
  EXPECT_EQ(Cam().temporalDifference, 0u);
  EXPECT_EQ(Cam().settingsChanged, 1u);
  EXPECT_TRUE(SetStreamMode(1));
  EXPECT_EQ(device_->streamMode, 1u);
  EXPECT_EQ(Cam().skipReadyPoll, 0u);
  EXPECT_TRUE(SetStreamMode(0));
  EXPECT_EQ(Cam().skipReadyPoll, 1u);
}

}  // namespace
}  // namespace capture_test
