// The driver messages in the orders a host may send them, straight through
// DriverProc on the virtual camera: disable and enable with channels still
// open, configuration handles, dead ids, short records, and opens and closes
// from several threads. The sanitizer builds turn any double free, dangling
// pointer or leak on these roads into a failure.
#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include "capture_host.h"

namespace capture_host {
namespace {

class DriverLifecycleTest : public CaptureHostTest {
 protected:
  void TearDown() override {
    for (DWORD_PTR id : ids_) Msg(id, DRV_CLOSE);
    ids_.clear();
    Msg(0, DRV_FREE);
    CaptureHostTest::TearDown();
  }

  static LRESULT Msg(DWORD_PTR id, UINT msg, LPARAM l1 = 0, LPARAM l2 = 0) {
    return DriverProc(id, nullptr, msg, l1, l2);
  }

  // DRV_OPEN of a channel kind, on the virtual clock; the id, or 0.
  DWORD_PTR RawOpen(DWORD kind, VIDEO_OPEN_PARMS* parmsOut = nullptr) {
    VIDEO_OPEN_PARMS parms = Parms(kind);
    const std::string openString = "vcap " + ini_;
    platform::VirtualClock clock(platform::TimeGetTime());
    platform::SetClockSource(&clock);
    auto id = static_cast<DWORD_PTR>(Msg(0, DRV_OPEN, P(openString.c_str()), P(&parms)));
    platform::SetClockSource(nullptr);
    if (parmsOut != nullptr) *parmsOut = parms;
    if (id > 1) ids_.push_back(id);
    return id;
  }
  LRESULT RawClose(DWORD_PTR id) {
    std::erase(ids_, id);
    return Msg(id, DRV_CLOSE);
  }

  static LRESULT FrameOn(DWORD_PTR id) {
    std::vector<BYTE> buffer(160 * 120 * 3);
    VIDEOHDR header{};
    header.lpData = buffer.data();
    header.dwBufferLength = static_cast<DWORD>(buffer.size());
    header.dwFlags = VHDR_PREPARED;
    return Msg(id, DVM_FRAME, P(&header));
  }
  static LRESULT FormatGetOn(DWORD_PTR id) {
    BITMAPINFOHEADER header{};
    VIDEOCONFIGPARMS parms{nullptr, &header, sizeof header, nullptr, 0};
    return Msg(id, DVM_FORMAT, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, P(&parms));
  }

  void LoadAndEnable() {
    ASSERT_EQ(Msg(0, DRV_LOAD), 1);
    ASSERT_EQ(Msg(0, DRV_ENABLE), 0);
  }

  std::vector<DWORD_PTR> ids_;
};

TEST_F(DriverLifecycleTest, DisableWithAChannelOpenThenCloseThenEnableCapturesAgain) {
  LoadAndEnable();
  DWORD_PTR video = RawOpen(VIDEO_IN);
  ASSERT_GT(video, 1u);
  ASSERT_EQ(FrameOn(video), DV_ERR_OK);
  EXPECT_EQ(Msg(0, DRV_DISABLE), 0);
  // The capture device is gone: the channel's frames fail, its close answers as usual.
  EXPECT_NE(FrameOn(video), DV_ERR_OK);
  EXPECT_EQ(RawClose(video), 1);
  EXPECT_EQ(Msg(0, DRV_ENABLE), 0);
  DWORD_PTR again = RawOpen(VIDEO_IN);
  ASSERT_GT(again, 1u);
  EXPECT_EQ(FrameOn(again), DV_ERR_OK);
}

// Only the close of the last channel writes the settings file: a DRV_ENABLE
// that takes the device down, the open that replaces a device DRV_DISABLE left
// behind, and a DRV_FREE of a device no channel holds write nothing.
TEST_F(DriverLifecycleTest, OnlyTheLastCloseWritesTheSettingsFile) {
  auto text = [this] {
    std::ifstream in(ini_);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  LoadAndEnable();
  ASSERT_GT(RawOpen(VIDEO_IN), 1u);
  std::remove(ini_.c_str());
  EXPECT_EQ(Msg(0, DRV_ENABLE), 0);
  EXPECT_EQ(text(), "") << "DRV_ENABLE";

  DWORD_PTR video = RawOpen(VIDEO_IN);
  ASSERT_GT(video, 1u);
  EXPECT_EQ(Msg(0, DRV_DISABLE), 0);
  std::remove(ini_.c_str());
  DWORD_PTR again = RawOpen(VIDEO_IN);  // sets a new device up in place of the disabled one
  ASSERT_GT(again, 1u);
  EXPECT_EQ(text(), "") << "the open after DRV_DISABLE";

  EXPECT_EQ(RawClose(again), 1);
  EXPECT_EQ(RawClose(video), 1);  // the last close saves
  EXPECT_NE(text().find("LPT_Port"), std::string::npos);

  // A video-out open fails after the device is set up, which stays up with no channel.
  EXPECT_EQ(RawOpen(VIDEO_OUT), 0u);
  std::remove(ini_.c_str());
  EXPECT_EQ(Msg(0, DRV_FREE), 1);
  EXPECT_EQ(text(), "") << "DRV_FREE";
}

TEST_F(DriverLifecycleTest, ClosingAConfigurationHandleKeepsThePortDeviceForTheChannel) {
  Camera("sim:port=2");
  LoadAndEnable();
  ASSERT_EQ(Msg(0, DRV_OPEN, 0, 0), 1);  // the configuration open
  DWORD_PTR video = RawOpen(VIDEO_IN);   // probes LPT1 (no camera), finds LPT2
  ASSERT_GT(video, 1u);
  EXPECT_EQ(Msg(1, DRV_CLOSE), 1);
  EXPECT_EQ(FrameOn(video), DV_ERR_OK);
}

TEST_F(DriverLifecycleTest, EnableWhileADeviceIsSetUpNeverBreaksALaterChannel) {
  LoadAndEnable();
  DWORD_PTR before = RawOpen(VIDEO_IN);
  ASSERT_GT(before, 1u);
  EXPECT_EQ(Msg(0, DRV_ENABLE), 0);
  DWORD_PTR after = RawOpen(VIDEO_IN);
  ASSERT_GT(after, 1u);
  EXPECT_EQ(RawClose(before), 1);
  EXPECT_EQ(FormatGetOn(after), DV_ERR_OK);
  EXPECT_EQ(FrameOn(after), DV_ERR_OK);
}

TEST_F(DriverLifecycleTest, VideoMessagesToDeadOrUnknownIdsAnswerInvalidHandle) {
  LoadAndEnable();
  DWORD_PTR video = RawOpen(VIDEO_IN);
  ASSERT_GT(video, 1u);
  ASSERT_EQ(RawClose(video), 1);
  for (DWORD_PTR id : {video, DWORD_PTR{0x5A5A5A50}}) {
    for (UINT msg : {DVM_FRAME, DVM_FORMAT, DVM_STREAM_START, DVM_GETVIDEOAPIVER, UINT{kPrivateSensorKind}}) {
      EXPECT_EQ(Msg(id, msg), static_cast<LRESULT>(DV_ERR_INVALHANDLE)) << std::hex << msg;
    }
  }
  // Ids 0 and 1, and driver messages below the video range, still reach DefDriverProc.
  platform::ResetDefDriverProcLog();
  EXPECT_EQ(Msg(1, DVM_FRAME), 0);
  EXPECT_EQ(Msg(0x5A5A5A50, 0x0800), 0);
  EXPECT_EQ(platform::DefDriverProcCallCount(), 2);
}

TEST_F(DriverLifecycleTest, PaletteSetIsJudgedAgainstItsSize) {
  LoadAndEnable();
  DWORD_PTR video = RawOpen(VIDEO_IN);
  ASSERT_GT(video, 1u);
  struct Case {
    DWORD size;
    WORD entries;
    DWORD expected;
  };
  const Case cases[] = {
      {8, 256, DV_ERR_SIZEFIELD},    // the header claims more than the buffer holds
      {2, 1, DV_ERR_SIZEFIELD},      // not even the header
      {4 + 4 * 257, 257, DV_ERR_PARAM1},  // more entries than a palette has
      {4 + 4 * 256, 256, DV_ERR_OK},
      {4 + 4 * 16, 16, DV_ERR_OK},
  };
  for (const Case& c : cases) {
    // The buffer is exactly dwSize1 bytes: ASan reports any read past it.
    std::vector<BYTE> bytes(c.size, 0x40);
    if (c.size >= 4) {
      const WORD header[2] = {0x300, c.entries};
      std::memcpy(bytes.data(), header, sizeof header);
    }
    VIDEOCONFIGPARMS parms{nullptr, bytes.data(), c.size, nullptr, 0};
    EXPECT_EQ(Msg(video, DVM_PALETTE, VIDEO_CONFIGURE_SET, P(&parms)), static_cast<LRESULT>(c.expected))
        << c.size << " bytes, " << c.entries << " entries";
  }
  // A channel of an earlier session has no colour state to take a palette.
  EXPECT_EQ(Msg(0, DRV_ENABLE), 0);
  std::vector<BYTE> palette(4 + 4 * 16, 0);
  palette[1] = 3;
  palette[2] = 16;
  VIDEOCONFIGPARMS parms{nullptr, palette.data(), static_cast<DWORD>(palette.size()), nullptr, 0};
  EXPECT_EQ(Msg(video, DVM_PALETTE, VIDEO_CONFIGURE_SET, P(&parms)), static_cast<LRESULT>(DV_ERR_NONSPECIFIC));
}

TEST_F(DriverLifecycleTest, OpenParametersTooShortAreRefusedUntouched) {
  LoadAndEnable();
  for (DWORD size : {DWORD{0}, DWORD{8}, DWORD{20}}) {
    // Only dwSize bytes are the caller's: the rest of this record stands in
    // for memory the driver must not touch.
    VIDEO_OPEN_PARMS parms = Parms(VIDEO_IN);
    parms.dwSize = size;
    parms.dwError = 0xBEEF;
    EXPECT_EQ(Msg(0, DRV_OPEN, 0, P(&parms)), 0) << size;
    EXPECT_EQ(parms.dwError, 0xBEEFu) << size;
  }
  VIDEO_OPEN_PARMS parms = Parms(VIDEO_IN);
  parms.dwSize = offsetof(VIDEO_OPEN_PARMS, dwError) + sizeof(DWORD);
  parms.dwError = 0xBEEF;
  const std::string openString = "vcap " + ini_;
  platform::VirtualClock clock(platform::TimeGetTime());
  platform::SetClockSource(&clock);
  auto id = static_cast<DWORD_PTR>(Msg(0, DRV_OPEN, P(openString.c_str()), P(&parms)));
  platform::SetClockSource(nullptr);
  ASSERT_GT(id, 1u);
  ids_.push_back(id);
  EXPECT_EQ(parms.dwError, 0u);
}

TEST_F(DriverLifecycleTest, ARefusedFirstOpenLeavesADeviceThatFreeReleases) {
  LoadAndEnable();
  VIDEO_OPEN_PARMS parms{};
  EXPECT_EQ(RawOpen(VIDEO_OUT, &parms), 0u);
  EXPECT_EQ(parms.dwError, DV_ERR_NOTDETECTED);
  EXPECT_EQ(Msg(0, DRV_FREE), 1);  // LeakSanitizer would report the device otherwise
  // The port is free again: a new load finds the camera.
  LoadAndEnable();
  DWORD_PTR video = RawOpen(VIDEO_IN);
  ASSERT_GT(video, 1u);
  EXPECT_EQ(FrameOn(video), DV_ERR_OK);
}

TEST_F(DriverLifecycleTest, TwoFirstOpensOnTwoThreadsShareOneDevice) {
  LoadAndEnable();
  DWORD_PTR ids[2] = {};
  platform::VirtualClock clock(platform::TimeGetTime());
  platform::SetClockSource(&clock);
  {
    auto open = [this](DWORD_PTR* out) {
      VIDEO_OPEN_PARMS parms = Parms(VIDEO_IN);
      const std::string openString = "vcap " + ini_;
      *out = static_cast<DWORD_PTR>(Msg(0, DRV_OPEN, P(openString.c_str()), P(&parms)));
    };
    std::thread a(open, &ids[0]);
    std::thread b(open, &ids[1]);
    a.join();
    b.join();
  }
  platform::SetClockSource(nullptr);
  for (DWORD_PTR id : ids) {
    ASSERT_GT(id, 1u);
    ids_.push_back(id);
  }
  EXPECT_EQ(Driver().channelCount, 2);
  EXPECT_EQ(FrameOn(ids[0]), DV_ERR_OK);
  EXPECT_EQ(RawClose(ids[0]), 1);
  EXPECT_EQ(FrameOn(ids[1]), DV_ERR_OK);
}

TEST_F(DriverLifecycleTest, ChannelChurnOnTwoThreadsLeavesTheVideoChannelWorking) {
  LoadAndEnable();
  DWORD_PTR video = RawOpen(VIDEO_IN);
  ASSERT_GT(video, 1u);
  std::atomic<int> opened{0};
  auto churn = [this, &opened] {
    for (int i = 0; i < 200; ++i) {
      VIDEO_OPEN_PARMS parms = Parms(VIDEO_EXTERNALIN);
      auto id = static_cast<DWORD_PTR>(Msg(0, DRV_OPEN, 0, P(&parms)));
      if (id > 1) {
        ++opened;
        EXPECT_EQ(Msg(id, DVM_GETVIDEOAPIVER, 0), static_cast<LRESULT>(DV_ERR_PARAM1));
        Msg(id, DRV_CLOSE);
      }
    }
  };
  std::thread a(churn);
  std::thread b(churn);
  a.join();
  b.join();
  EXPECT_EQ(opened.load(), 400);
  EXPECT_EQ(Driver().channelCount, 1);
  EXPECT_EQ(FormatGetOn(video), DV_ERR_OK);
  EXPECT_EQ(FrameOn(video), DV_ERR_OK);
}

}  // namespace
}  // namespace capture_host
