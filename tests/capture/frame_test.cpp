// The adaptive threshold of compressed mode-2 transfers, and the frame checks
// that come before any camera traffic.
#include <gtest/gtest.h>

#include "capture/format.h"
#include "capture/frame.h"
#include "colspace/format_header.h"
#include "offline_device.h"

namespace capture_test {
namespace {

class ThresholdTest : public OfflineDeviceTest {
 protected:
  void SetThresholds(std::int16_t k1, std::int16_t k2) {
    Cam().threshold1 = k1;
    Cam().threshold2 = k2;
  }
};

TEST_F(ThresholdTest, SmallTransfersLowerAndLargeOnesRaiseTheThreshold) {
  struct Row {
    std::int16_t before;
    DWORD percent;
    std::int16_t after;
  };
  for (Row row : {Row{5, 3, 2}, Row{9, 20, 10}, Row{10, 20, 10}, Row{7, 4, 3}, Row{7, 5, 7}, Row{7, 15, 7},
                  Row{7, 16, 9}, Row{2, 0, 2}}) {
    SCOPED_TRACE(testing::Message() << row.before << " at " << row.percent << "%");
    SetThresholds(row.before, 1);
    EXPECT_EQ(AdjustThreshold(&Cam(), row.percent * 288, 28800, 5, 15, 2), static_cast<WORD>(row.after));
    EXPECT_EQ(Cam().threshold1, row.after);
    // Both values move together; an unchanged threshold leaves the second alone.
    EXPECT_EQ(Cam().threshold2, row.after != row.before ? row.after : 1);
  }
}

TEST_F(ThresholdTest, AnEmptyExpectedSizeChangesNothing) {
  SetThresholds(6, 3);
  EXPECT_EQ(AdjustThreshold(&Cam(), 1000, 0, 5, 15, 2), 6);
  EXPECT_EQ(Cam().threshold2, 3);
}

TEST_F(ThresholdTest, FrameChecksComeBeforeTheCamera) {
  BITMAPINFOHEADER format = MakeFormatHeader(160, 120, 24, BI_RGB);
  ASSERT_TRUE(AcceptFormat(CurrentNUBODevice(), &format));
  device_->resync = 0;
  VIDEOHDR header{};
  BYTE buffer[16];
  header.lpData = buffer;
  header.dwBufferLength = sizeof buffer;  // far below 160 x 120 x 3
  header.dwFlags = VHDR_PREPARED;
  EXPECT_EQ(CaptureFrame(&header), DV_ERR_NONSPECIFIC);
  EXPECT_EQ(header.dwFlags, VHDR_PREPARED);
  EXPECT_EQ(device_->resync, 0u);  // refused before the camera was asked for anything
  EXPECT_EQ(CaptureFrame(nullptr), DV_ERR_PARAM1);
  device_->formatInvalid = 1;
  EXPECT_EQ(GrabFrame(CurrentNUBODevice(), buffer, 1u << 20), GRAB_FAILED);
  EXPECT_EQ(GrabFrame(CurrentNUBODevice(), nullptr, 1u << 20), GRAB_FAILED);
}

}  // namespace
}  // namespace capture_test
