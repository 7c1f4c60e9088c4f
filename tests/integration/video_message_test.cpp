// The video message table through DriverProc: which channel may use which
// message, each answer, and the trace line each writes (read from the trace
// window's copy of each line on stderr).
#include <fcntl.h>

#include <algorithm>

#include "capture_host.h"

namespace capture_host {
namespace {

// Everything written to stderr while it lives.
class StderrCapture {
 public:
  StderrCapture() : path_(::testing::TempDir() + "zarncap-stderr-" + std::to_string(::getpid()) + ".txt") {
    std::fflush(stderr);
    saved_ = dup(2);
    int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
  }
  ~StderrCapture() { Stop(); }
  std::string Stop() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      dup2(saved_, 2);
      close(saved_);
      saved_ = -1;
      text_ = ReadFile(path_);
      // stderr is a text stream: on Windows each line ends in "\r\n".
      text_.erase(std::remove(text_.begin(), text_.end(), '\r'), text_.end());
    }
    return text_;
  }

 private:
  std::string path_;
  int saved_ = -1;
  std::string text_;
};

class VideoMessageTest : public CaptureHostTest {
 protected:
  void SetUp() override {
    CaptureHostTest::SetUp();
    if (IsSkipped()) return;
    Setting("ZARNCAP", "DebugLevel", "32");  // the trace window
    video_ = Open(VIDEO_IN);
    source_ = Open(VIDEO_EXTERNALIN);
    ASSERT_NE(video_, nullptr);
    ASSERT_NE(source_, nullptr);
  }
  // The trace lines a message writes, and its answer.
  std::string Traced(HDRVR driver, UINT msg, LPARAM l1, LPARAM l2, LRESULT* result) {
    StderrCapture capture;
    *result = Send(driver, msg, l1, l2);
    return capture.Stop();
  }
  HDRVR video_ = nullptr;
  HDRVR source_ = nullptr;
};

TEST_F(VideoMessageTest, GatedMessagesAnswerNotSupportedOnTheExternalInChannel) {
  LRESULT r;
  VIDEOHDR header{};
  EXPECT_EQ(Traced(source_, DVM_FRAME, P(&header), 0, &r), "trace: DVM_FRAME - error\n");
  EXPECT_EQ(r, DV_ERR_NOTSUPPORTED);
  BITMAPINFOHEADER format{};
  VIDEOCONFIGPARMS parms{nullptr, &format, sizeof format, nullptr, 0};
  EXPECT_EQ(Traced(source_, DVM_FORMAT, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, P(&parms), &r),
            "trace: DVM_FORMAT - error\n");
  EXPECT_EQ(r, DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(Traced(source_, DVM_PALETTE, VIDEO_CONFIGURE_QUERY | VIDEO_CONFIGURE_GET, P(&parms), &r),
            "trace: DVM_PALLETE - error\n");
  EXPECT_EQ(r, DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(Traced(video_, DVM_PALETTE, VIDEO_CONFIGURE_QUERY | VIDEO_CONFIGURE_GET, P(&parms), &r),
            "trace: DVM_PALLETE - ok\n");
  EXPECT_EQ(r, DV_ERR_OK);
}

TEST_F(VideoMessageTest, DialogQueryIsAnsweredOnBothChannels) {
  LRESULT r;
  EXPECT_EQ(Traced(video_, DVM_DIALOG, 0, VIDEO_DLG_QUERY, &r), "trace: DVM_DIALOG - ok\n");
  EXPECT_EQ(r, DV_ERR_OK);
  EXPECT_EQ(Send(source_, DVM_DIALOG, 0, VIDEO_DLG_QUERY), DV_ERR_OK);
}

TEST_F(VideoMessageTest, ApiVersionErrorTextAndFixedAnswers) {
  LRESULT r;
  DWORD version = 0;
  EXPECT_EQ(Traced(source_, DVM_GETVIDEOAPIVER, P(&version), 0, &r), "trace: DVM_GETVIDEOAPIVER - ok\n");
  EXPECT_EQ(r, DV_ERR_OK);
  EXPECT_EQ(version, 0x50u);
  EXPECT_EQ(Traced(video_, DVM_GETVIDEOAPIVER, 0, 0, &r), "trace: DVM_GETVIDEOAPIVER - error\n");
  EXPECT_EQ(r, DV_ERR_PARAM1);

  WCHAR text[8] = {'x', 'y', 0};
  VIDEO_GETERRORTEXT_PARMS error{42, text, 8};
  EXPECT_EQ(Traced(video_, DVM_GETERRORTEXT, P(&error), 0, &r), "trace: DVM_GETERRORTEXT\n");
  EXPECT_EQ(r, DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(text[0], 0);
  EXPECT_EQ(error.dwError, 0u);

  const std::pair<UINT, const char*> fixed[] = {
      {DVM_PALETTERGB555, "DVM_PALETTERGB555 - not supported"},
      {DVM_SRC_RECT, "DVM_SRC_RECT - not supported"},
      {DVM_DST_RECT, "DVM_DST_RECT - not supported"},
      {DVM_CONFIGURESTORAGE, "DVM_CONFIGURESTORAGE - not supported"},
      {DVM_GET_CHANNEL_CAPS, "DVM_GET_CHANNEL_CAPS - not supported"},
      {DVM_UPDATE, "DVM_UPDATE - not supported"},
      {kPrivateUnknownFirst, "Unknown streaming message 16894"},
      {0x5000, "Unknown streaming message 20480"},
      {0x4140, "stream msg, not supported (16704)"},
  };
  for (const auto& [msg, line] : fixed) {
    EXPECT_EQ(Traced(video_, msg, 0, 0, &r), std::string("trace: ") + line + "\n");
    EXPECT_EQ(r, DV_ERR_NOTSUPPORTED);
  }
  EXPECT_EQ(Traced(video_, kPrivateRefusedFirst, 0, 0, &r), "");
  EXPECT_EQ(r, DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(Traced(video_, kPrivateFirst, 0, 0, &r), "");
  EXPECT_EQ(r, DV_ERR_OK);
}

// On the external-in channel the stream gate answers by itself: nothing is
// done there, so nothing is traced, not even for an unknown stream number.
TEST_F(VideoMessageTest, StreamGateOnTheExternalInChannelWritesNoTrace) {
  LRESULT r;
  const std::pair<UINT, LRESULT> answers[] = {
      {DVM_STREAM_INIT, DV_ERR_OK},          {DVM_STREAM_FINI, DV_ERR_OK},
      {DVM_STREAM_START, DV_ERR_NOTSUPPORTED}, {DVM_STREAM_GETERROR, DV_ERR_NOTSUPPORTED},
      {0x4140, DV_ERR_NOTSUPPORTED},         {DVM_STREAM_MSG_END, DV_ERR_NOTSUPPORTED}};
  for (auto [msg, answer] : answers) {
    EXPECT_EQ(Traced(source_, msg, 0, 0, &r), "") << msg;
    EXPECT_EQ(r, answer) << msg;
  }
  EXPECT_EQ(Traced(video_, DVM_STREAM_MSG_END, 0, 0, &r), "trace: stream msg, not supported (16783)\n");
  EXPECT_EQ(r, DV_ERR_NOTSUPPORTED);
}

TEST_F(VideoMessageTest, FormatSetWritesItsTraceLines) {
  LRESULT r;
  BITMAPINFOHEADER refused = Header(164, 120);
  VIDEOCONFIGPARMS parms{nullptr, &refused, sizeof refused, nullptr, 0};
  EXPECT_EQ(Traced(video_, DVM_FORMAT, VIDEO_CONFIGURE_SET, P(&parms), &r),
            "trace: DVM_FORMAT : VIDEO_CONFIGURE_SET\n"
            "trace: DVM_FORMAT - unsupported image type\n"
            "trace: bitcnt = 24 comp = 0 X size = 164 Y size = 120\n"
            "trace: DVM_FORMAT - error\n");
  EXPECT_EQ(r, DV_ERR_NOTSUPPORTED);
  BITMAPINFOHEADER good = Header(160, 120, 12, FOURCC_I420);
  parms.lpData1 = &good;
  EXPECT_EQ(Traced(video_, DVM_FORMAT, VIDEO_CONFIGURE_SET, P(&parms), &r),
            "trace: DVM_FORMAT : VIDEO_CONFIGURE_SET\n"
            "trace: DVM_FORMAT - new image type\n"
            "trace: bitcnt = 12 comp = 30323449 X size = 160 Y size = 120\n"
            "trace: DVM_FORMAT - ok\n");
  EXPECT_EQ(r, DV_ERR_OK);
}

TEST_F(VideoMessageTest, PaletteExchange) {
  DWORD size = 0;
  VIDEOCONFIGPARMS query{&size, nullptr, 0, nullptr, 0};
  ASSERT_EQ(Send(video_, DVM_PALETTE, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_QUERYSIZE, P(&query)), DV_ERR_OK);
  ASSERT_EQ(size, 1028u);
  std::vector<BYTE> palette(size, 0xEE);
  VIDEOCONFIGPARMS get{nullptr, palette.data(), size - 1, nullptr, 0};
  EXPECT_EQ(Send(video_, DVM_PALETTE, VIDEO_CONFIGURE_GET, P(&get)), DV_ERR_NOTSUPPORTED);
  for (BYTE b : palette) ASSERT_EQ(b, 0xEE);
  get.dwSize1 = size;
  EXPECT_EQ(Send(video_, DVM_PALETTE, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, P(&get)), DV_ERR_OK);
  EXPECT_EQ(palette[0] | (palette[1] << 8), 0x300);
  EXPECT_EQ(palette[2] | (palette[3] << 8), 256);

  // A 2-entry palette set, then read back: 12 bytes.
  BYTE small[12] = {0x00, 0x03, 2, 0, 255, 0, 0, 0, 0, 0, 255, 0};
  VIDEOCONFIGPARMS set{nullptr, small, sizeof small, nullptr, 0};
  EXPECT_EQ(Send(video_, DVM_PALETTE, VIDEO_CONFIGURE_SET, P(&set)), DV_ERR_OK);
  set.lpData1 = nullptr;
  EXPECT_EQ(Send(video_, DVM_PALETTE, VIDEO_CONFIGURE_SET | VIDEO_CONFIGURE_CURRENT, P(&set)), DV_ERR_PARAM1);
  EXPECT_EQ(Send(video_, DVM_PALETTE, VIDEO_CONFIGURE_QUERYSIZE, P(&query)), DV_ERR_OK);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(Send(video_, DVM_PALETTE, VIDEO_CONFIGURE_QUERY | VIDEO_CONFIGURE_SET, 0), DV_ERR_OK);
  EXPECT_EQ(Send(video_, DVM_PALETTE, VIDEO_CONFIGURE_SET | VIDEO_CONFIGURE_MIN, P(&set)), DV_ERR_NOTSUPPORTED);
}

struct ValueRecord {
  DWORD_PTR value;
  DWORD result;
};

TEST_F(VideoMessageTest, PrivateMessagesReachTheSensorAndTheDefectMap) {
  ValueRecord record{1, 77};
  EXPECT_EQ(Send(source_, kPrivateControlBit2, P(&record)), 0);
  EXPECT_EQ(record.result, 0u);
  record = {0, 77};
  EXPECT_EQ(Send(source_, kPrivateControlBit4, P(&record)), 0);
  EXPECT_EQ(record.result, 0u);
  record = {3, 77};
  EXPECT_EQ(Send(video_, kPrivateGain, P(&record)), 0);
  EXPECT_EQ(record.result, 0u);

  // The defect map goes into the camera memory and is checked there.
  std::vector<BYTE> map(480, 0);
  map[0] = 1;  // one defect of kind 1 at position 388 * 20 + 101
  const DWORD position = 388 * 20 + 101;
  map[1] = static_cast<BYTE>(position & 0xFF);
  map[2] = static_cast<BYTE>(position >> 8);
  record = {reinterpret_cast<DWORD_PTR>(map.data()), 77};
  EXPECT_EQ(Send(video_, kPrivateStoreDefectMap, P(&record)), 0);
  EXPECT_EQ(record.result, 0u);
  record = {0, 77};
  EXPECT_EQ(Send(video_, kPrivateStoreDefectMap, P(&record)), 1003);
  EXPECT_EQ(record.result, 1003u);
  EXPECT_EQ(Send(video_, kPrivateGain, 0), DV_ERR_PARAM1);

  char text[64] = "untouched";
  struct {
    LPSTR text;
    DWORD size;
    DWORD result;
  } version{text, sizeof text, 77};
  EXPECT_EQ(Send(video_, kPrivateVersionText, P(&version)), 0);
  EXPECT_EQ(version.result, 0u);
  EXPECT_EQ(std::string(text), platform::ModuleVersionText());
  version.size = 2;
  EXPECT_EQ(Send(video_, kPrivateVersionText, P(&version)), 0);
  EXPECT_EQ(std::strlen(text), std::min<size_t>(1, platform::ModuleVersionText().size()));
}

// The camera gain is the low word of the value, taken as it stands: 0xFFFF is
// level 65535, not -1, and the bits above the word are dropped.
TEST_F(VideoMessageTest, GainMessageTakesTheLowWordOfTheValue) {
  for (auto [value, level] : {std::pair<DWORD_PTR, const char*>{0xFFFF, "65535"}, {0x10002, "2"}}) {
    ValueRecord record{value, 77};
    EXPECT_EQ(Send(video_, kPrivateGain, P(&record)), 0);
    EXPECT_EQ(record.result, 0u);
    for (HDRVR d : open_) platform::CloseDriver(d, 0, 0);
    open_.clear();
    // The last close writes the sensor's gain level back.
    auto keys = SectionKeys(ini_, "NUBO");
    auto gain = std::find_if(keys.begin(), keys.end(), [](const auto& k) { return k.first == "CameraGain"; });
    ASSERT_NE(gain, keys.end());
    EXPECT_EQ(gain->second, level) << value;
    Setting("NUBO", "CameraGain", "0");
    video_ = Open(VIDEO_IN);
    ASSERT_NE(video_, nullptr);
  }
}

TEST_F(VideoMessageTest, PrivateMessagesFailWhenTheSensorDoesNotAnswer) {
  for (HDRVR d : open_) platform::CloseDriver(d, 0, 0);
  open_.clear();
  // A camera whose EEPROM never answers cannot store the defect map.
  Camera("sim:eeprom=0");
  video_ = Open(VIDEO_IN);
  ASSERT_NE(video_, nullptr);
  std::vector<BYTE> map(480, 0);
  ValueRecord record{reinterpret_cast<DWORD_PTR>(map.data()), 77};
  EXPECT_EQ(Send(video_, kPrivateStoreDefectMap, P(&record)), 1003);
  EXPECT_EQ(record.result, 1003u);
}

}  // namespace
}  // namespace capture_host
