// Device set-up and teardown through DriverProc with the virtual camera: the
// two channels an application opens, the default format, the settings the
// last close saves, the 4-bit retry, and the set-up failures.
#include "capture_host.h"

namespace capture_host {
namespace {

class CaptureOpenTest : public CaptureHostTest {};

TEST_F(CaptureOpenTest, VideoInAndExternalInOpenOnOneDevice) {
  DWORD error = 0xFFFF;
  HDRVR video = Open(VIDEO_IN, &error);
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(error, 0u);
  HDRVR source = Open(VIDEO_EXTERNALIN, &error);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(error, 0u);

  // The first format query answers the defaults: 160 x 120 RGB24.
  BITMAPINFOHEADER format = GetFormat(video);
  EXPECT_EQ(format.biSize, 40u);
  EXPECT_EQ(format.biWidth, 160);
  EXPECT_EQ(format.biHeight, 120);
  EXPECT_EQ(format.biBitCount, 24);
  EXPECT_EQ(format.biCompression, BI_RGB);
  EXPECT_EQ(format.biSizeImage, 160u * 120 * 3);

  // Frames, formats and palettes belong to the video-in channel only.
  std::vector<BYTE> buffer(format.biSizeImage);
  EXPECT_EQ(Frame(source, buffer), DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(Frame(video, buffer), DV_ERR_OK);
  BITMAPINFOHEADER out{};
  VIDEOCONFIGPARMS parms{nullptr, &out, sizeof out, nullptr, 0};
  EXPECT_EQ(Send(source, DVM_FORMAT, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, P(&parms)), DV_ERR_NOTSUPPORTED);
  DWORD size = 0;
  VIDEOCONFIGPARMS query{&size, nullptr, 0, nullptr, 0};
  EXPECT_EQ(Send(source, DVM_PALETTE, VIDEO_CONFIGURE_QUERYSIZE, P(&query)), DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(Send(video, DVM_PALETTE, VIDEO_CONFIGURE_QUERYSIZE, P(&query)), DV_ERR_OK);
  EXPECT_EQ(size, 4u + 4 * 256);

  // Closing the video channel keeps the device for the other one.
  Close(video);
  EXPECT_TRUE(SectionKeys(ini_, "NUBO").empty());
  Close(source);
  EXPECT_FALSE(SectionKeys(ini_, "NUBO").empty());
}

TEST_F(CaptureOpenTest, LastCloseSavesTheCaptureAndColourSections) {
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  Close(video);
  using Keys = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(SectionKeys(ini_, "NUBO"), (Keys{{"TemporalDifference", "1"},
                                             {"AutoThreshold", "0"},
                                             {"ImageQuality", "75"},
                                             {"CameraGain", "0"},
                                             {"FastStream", "1"}}));
  auto colour = SectionKeys(ini_, "COLSPACE");
  ASSERT_EQ(colour.size(), 6u);
  const char* names[] = {"Brightness", "Contrast", "Colour", "RedGain", "GreenGain", "BlueGain"};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(colour[i].first, names[i]);
  EXPECT_EQ(SectionKeys(ini_, "ZARNCAP"), (Keys{{"LPT_Port", "1"}}));
}

TEST_F(CaptureOpenTest, SavedQualityIsLimitedAndWrittenBackLimited) {
  Setting("NUBO", "ImageQuality", "250");
  Setting("NUBO", "CameraGain", "2");
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  Close(video);
  EXPECT_EQ(platform::GetPrivateProfileInt("NUBO", "ImageQuality", 0, ini_.c_str()), 100u);
  EXPECT_EQ(platform::GetPrivateProfileInt("NUBO", "CameraGain", 0, ini_.c_str()), 2u);
}

TEST_F(CaptureOpenTest, APortThatOnlyWorksInFourBitModeIsRetriedAndRemembered) {
  Camera("sim:mode=byte-unreliable");
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(platform::GetPrivateProfileInt("ZARNCAP", "Force4Bit", 0, ini_.c_str()), 1u);
  std::vector<BYTE> buffer(160 * 120 * 3);
  EXPECT_EQ(Frame(video, buffer), DV_ERR_OK);
}

TEST_F(CaptureOpenTest, SetUpFailuresShowTheirStepOnlyWhenAskedTo) {
  Camera("sim:notready");
  DWORD error = 0;
  EXPECT_EQ(Open(VIDEO_IN, &error), nullptr);
  EXPECT_EQ(error, DV_ERR_NOTDETECTED);
  EXPECT_TRUE(platform::RecordedMessageBoxes().empty());

  Setting("ZARNCAP", "DebugLevel", "4");
  EXPECT_EQ(Open(VIDEO_IN, &error), nullptr);
  EXPECT_EQ(error, DV_ERR_NOTDETECTED);
  auto boxes = platform::RecordedMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "DBG_INITNUBO");
  // The camera answers, but its state word never says ready: no sensor frame
  // can be timed.
  EXPECT_EQ(boxes[0].text, "TimeSensorPeriod failed");
  EXPECT_EQ(boxes[0].type, MB_ICONWARNING);
  EXPECT_EQ(platform::GetPrivateProfileInt("ZARNCAP", "Force4Bit", 0, ini_.c_str()), 0u);
}

TEST_F(CaptureOpenTest, APortThatCannotBeAttachedFailsTheOpenAsNotDetected) {
  Camera("sim:fail=attach");
  Setting("ZARNCAP", "DebugLevel", "5");
  DWORD error = 0;
  EXPECT_EQ(Open(VIDEO_IN, &error), nullptr);
  EXPECT_EQ(error, DV_ERR_NOTDETECTED);
}

TEST_F(CaptureOpenTest, ASensorThatNeverAnswersFailsTheCameraModeStep) {
  Camera("sim:nack=sensor");
  Setting("ZARNCAP", "DebugLevel", "4");
  DWORD error = 0;
  EXPECT_EQ(Open(VIDEO_IN, &error), nullptr);
  EXPECT_EQ(error, DV_ERR_NOTDETECTED);
  bool shown = false;
  for (const auto& box : platform::RecordedMessageBoxes()) shown = shown || box.text == "Failed to set camera mode";
  EXPECT_TRUE(shown);
}

TEST_F(CaptureOpenTest, SensorKindIsReportedByThePrivateMessage) {
  for (const char* kind : {"0", "1"}) {
    Camera(std::string("sim:sensor=") + kind);
    HDRVR video = Open(VIDEO_IN);
    ASSERT_NE(video, nullptr);
    struct {
      DWORD_PTR value;
      DWORD result;
    } record{77, 99};
    EXPECT_EQ(Send(video, kPrivateSensorKind, P(&record)), 0);
    EXPECT_EQ(record.value, kind[0] == '1' ? 1u : 0u);
    EXPECT_EQ(record.result, 0u);
    Close(video);
  }
}

}  // namespace
}  // namespace capture_host
