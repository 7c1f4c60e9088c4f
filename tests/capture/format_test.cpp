// Format negotiation on a device without a camera: the size rules with the
// camera mode, window and camera format they give, the bit counts and
// compressions the conversion takes per size class, DVM_FORMAT's flag table,
// and the half-size streaming set-up.
#include <gtest/gtest.h>

#include <cstring>

#include "capture/format.h"
#include "colspace/format_header.h"
#include "offline_device.h"

namespace capture_test {
namespace {

BITMAPINFOHEADER Header(LONG w, LONG h, WORD bits = 24, DWORD compression = BI_RGB) {
  return MakeFormatHeader(w, h, static_cast<int16_t>(bits), compression);
}

struct SizeRow {
  LONG w, h;
  DWORD maxTransfer;
  bool accepted;
  DWORD mode;
  int windowW, windowH;
  LONG cameraW, cameraH;
  DWORD tag;
};

const SizeRow kSizeRows[] = {
    {176, 144, kTransferSmall, true, 2, 160, 132, 176, 144, FOURCC_PYUV},
    {160, 120, kTransferSmall, true, 2, 160, 120, 160, 120, FOURCC_PYUV},
    {128, 96, kTransferSmall, true, 2, 128, 96, 128, 96, FOURCC_PYUV},
    {80, 60, kTransferSmall, true, 2, 80, 60, 80, 60, FOURCC_PYUV},
    {320, 240, kTransferLarge, true, 1, 324, 244, 324, 244, FOURCC_PSHU},
    {320, 240, kTransferSmall, true, 1, 292, 220, 292, 220, FOURCC_PSHU},
    {352, 288, kTransferSmall, true, 1, 180, 148, 180, 148, FOURCC_PSHU},
    {640, 480, kTransferLarge, true, 1, 324, 244, 324, 244, FOURCC_PSHU},
    {640, 480, kTransferSmall, true, 1, 292, 220, 292, 220, FOURCC_PSHU},
    {168, 120, kTransferSmall, true, 1, 172, 124, 172, 124, FOURCC_PSHU},
    {640, 240, kTransferLarge, false, 0, 0, 0, 0, 0, 0},
    {320, 480, kTransferLarge, false, 0, 0, 0, 0, 0, 0},
    {648, 480, kTransferLarge, false, 0, 0, 0, 0, 0, 0},
    {100, 76, kTransferSmall, false, 0, 0, 0, 0, 0, 0},  // 100 not a multiple of 8
    {96, 75, kTransferSmall, false, 0, 0, 0, 0, 0, 0},   // 75 not a multiple of 4
    {164, 120, kTransferSmall, false, 0, 0, 0, 0, 0, 0},
    {64, 48, kTransferSmall, false, 0, 0, 0, 0, 0, 0},  // window below 80 x 60
    {0, 120, kTransferSmall, false, 0, 0, 0, 0, 0, 0},
    {160, -120, kTransferSmall, false, 0, 0, 0, 0, 0, 0},
};

class FormatTest : public OfflineDeviceTest {
 protected:
  void UseTransfer(DWORD maxTransfer) { Cam().maxTransfer = maxTransfer; }
};

TEST_F(FormatTest, SizeRulesPickModeWindowAndCameraFormat) {
  for (const SizeRow& row : kSizeRows) {
    SCOPED_TRACE(testing::Message() << row.w << " x " << row.h << " maxTransfer " << row.maxTransfer);
    UseTransfer(row.maxTransfer);
    BITMAPINFOHEADER client = Header(row.w, row.h);
    EXPECT_EQ(AcceptFormat(CurrentNUBODevice(), &client), row.accepted ? TRUE : FALSE);
    EXPECT_EQ(device_->formatInvalid, row.accepted ? 0u : 1u);
    EXPECT_EQ(std::memcmp(&device_->clientFormat, &client, sizeof client), 0);
    if (!row.accepted) continue;
    EXPECT_EQ(device_->cameraMode, row.mode);
    EXPECT_EQ(Cam().mode, row.mode);
    EXPECT_EQ(Cam().width, row.windowW);
    EXPECT_EQ(Cam().height, row.windowH);
    EXPECT_EQ(device_->cameraFormat.biWidth, row.cameraW);
    EXPECT_EQ(device_->cameraFormat.biHeight, row.cameraH);
    EXPECT_EQ(device_->cameraFormat.biCompression, row.tag);
    EXPECT_EQ(device_->cameraFormat.biBitCount, row.tag == FOURCC_PYUV ? 16 : 8);
    EXPECT_EQ(device_->quarterFrame, row.w == 176 ? 1u : 0u);
    EXPECT_EQ(device_->resync, 1u);
  }
}

struct TypeRow {
  LONG w, h;
  WORD bits;
  DWORD compression;
  bool accepted;
};

const TypeRow kTypeRows[] = {
    {160, 120, 8, BI_RGB, true},         {160, 120, 16, BI_RGB, true},        {160, 120, 24, BI_RGB, true},
    {176, 144, 24, BI_RGB, true},        {160, 120, 12, FOURCC_I420, true},   {160, 120, 12, FOURCC_YV12, true},
    {160, 120, 16, FOURCC_YUY2, true},   {160, 120, 9, FOURCC_YVU9, true},    {176, 144, 12, FOURCC_I420, true},
    {160, 120, 32, BI_RGB, false},       {320, 240, 16, BI_RGB, true},        {320, 240, 24, BI_RGB, true},
    {320, 240, 8, BI_RGB, false},        {320, 240, 12, FOURCC_I420, false},  {640, 480, 24, BI_RGB, true},
    {640, 480, 16, BI_RGB, false},       {352, 288, 16, BI_RGB, false},       {640, 480, 16, FOURCC_YUY2, false},
};

TEST_F(FormatTest, BitCountsAndCompressionsPerSizeClass) {
  UseTransfer(kTransferLarge);
  for (const TypeRow& row : kTypeRows) {
    SCOPED_TRACE(testing::Message() << row.w << " x " << row.h << " bits " << row.bits << " comp " << std::hex
                                    << row.compression);
    BITMAPINFOHEADER client = Header(row.w, row.h, row.bits, row.compression);
    EXPECT_EQ(AcceptFormat(CurrentNUBODevice(), &client), row.accepted ? TRUE : FALSE);
  }
}

TEST_F(FormatTest, IyuvIsKeptAsI420) {
  BITMAPINFOHEADER client = Header(160, 120, 12, FOURCC_IYUV);
  ASSERT_TRUE(AcceptFormat(CurrentNUBODevice(), &client));
  BITMAPINFOHEADER filled{};
  ASSERT_TRUE(FillFormat(&filled));
  EXPECT_EQ(filled.biCompression, FOURCC_I420);
}

DWORD Configure(DWORD flags, void* data, DWORD size, DWORD* ret = nullptr) {
  VIDEOCONFIGPARMS parms{ret, data, size, nullptr, 0};
  return ConfigureFormat(flags, &parms);
}

TEST_F(FormatTest, FlagWordIsComparedAsAWholeValue) {
  DWORD ret = 0;
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_QUERYSIZE, nullptr, 0, &ret), DV_ERR_OK);
  EXPECT_EQ(ret, 40u);
  BITMAPINFOHEADER header = Header(160, 120);
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_QUERY | VIDEO_CONFIGURE_SET, &header, 40), DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_QUERY | VIDEO_CONFIGURE_GET, nullptr, 0), DV_ERR_OK);
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_GET, &header, 40), DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_SET | VIDEO_CONFIGURE_CURRENT, &header, 40), DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(ConfigureFormat(VIDEO_CONFIGURE_SET, nullptr), DV_ERR_PARAM1);
}

TEST_F(FormatTest, GetCurrentReportsTheDeviceFormat) {
  BITMAPINFOHEADER out{};
  std::memset(&out, 0xFF, sizeof out);
  BITMAPINFOHEADER untouched = out;
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, &out, 39), DV_ERR_SIZEFIELD);
  EXPECT_EQ(std::memcmp(&out, &untouched, sizeof out), 0);

  BITMAPINFOHEADER client = Header(128, 96, 16);
  ASSERT_TRUE(AcceptFormat(CurrentNUBODevice(), &client));
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, &out, 40), DV_ERR_OK);
  EXPECT_EQ(out.biWidth, 128);
  EXPECT_EQ(out.biHeight, 96);
  EXPECT_EQ(out.biBitCount, 16);
  EXPECT_EQ(out.biSizeImage, 128u * 96 * 2);
  EXPECT_EQ(std::memcmp(&Capture().currentFormat, &out, sizeof out), 0);
}

TEST_F(FormatTest, RefusedSetIsReportedByGetAndBlocksFrames) {
  BITMAPINFOHEADER refused = Header(164, 120);
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_SET, &refused, 40), DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(device_->formatInvalid, 1u);
  BITMAPINFOHEADER out{};
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, &out, 40), DV_ERR_OK);
  EXPECT_EQ(std::memcmp(&out, &refused, sizeof out), 0);
  BITMAPINFOHEADER none{};
  EXPECT_FALSE(FillFormat(&none));
  // The same refused header again is refused again: "no change" holds only
  // for a format in force.
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_SET, &refused, 40), DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(device_->formatInvalid, 1u);
  // An accepted one clears the refusal.
  BITMAPINFOHEADER good = Header(160, 120, 16);
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_SET, &good, 40), DV_ERR_OK);
  EXPECT_EQ(device_->formatInvalid, 0u);
}

TEST_F(FormatTest, SetOfTheCurrentFormatIsAppliedOnANewDevice) {
  BITMAPINFOHEADER big = Header(320, 240);
  ASSERT_EQ(Configure(VIDEO_CONFIGURE_SET, &big, 40), DV_ERR_OK);
  device_->resync = 0;
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_SET, &big, 40), DV_ERR_OK);
  EXPECT_EQ(device_->resync, 0u);  // same device: no change
  // The device is made afresh (all channels closed, one opened again): it runs
  // the 160 x 120 defaults while currentFormat still holds 320 x 240.
  FreeDevice();
  Capture().currentFormatOnDevice = false;
  device_ = MakeDevice(kTransferSmall);
  BITMAPINFOHEADER defaults = Header(160, 120);
  ASSERT_TRUE(AcceptFormat(CurrentNUBODevice(), &defaults));
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_SET, &big, 40), DV_ERR_OK);
  EXPECT_EQ(device_->cameraMode, 1u);
  EXPECT_EQ(device_->clientFormat.biWidth, 320);
}

TEST_F(FormatTest, SetWithAShortBufferIsRefused) {
  BITMAPINFOHEADER header = Header(160, 120);
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_SET, &header, 20), DV_ERR_SIZEFIELD);
  EXPECT_EQ(Configure(VIDEO_CONFIGURE_SET, nullptr, 40), DV_ERR_PARAM1);
}

TEST_F(FormatTest, StreamingSmallRgbUsesTheHalfSizeCameraSetUp) {
  UseTransfer(kTransferSmall);
  BITMAPINFOHEADER client = Header(320, 240);
  ASSERT_TRUE(AcceptFormat(CurrentNUBODevice(), &client));
  ASSERT_EQ(Cam().width, 292);
  ASSERT_TRUE(SetStreamFormat(1));
  EXPECT_EQ(device_->fastStreamActive, 1u);
  EXPECT_EQ(Cam().mode, 2u);
  EXPECT_EQ(Cam().width, 160);
  EXPECT_EQ(Cam().height, 120);
  EXPECT_EQ(device_->cameraFormat.biCompression, FOURCC_PYUV);
  EXPECT_EQ(device_->clientFormat.biWidth, 320);  // the client still gets its full format
  ASSERT_TRUE(SetStreamFormat(0));
  EXPECT_EQ(device_->fastStreamActive, 0u);
  EXPECT_EQ(Cam().mode, 1u);
  EXPECT_EQ(Cam().width, 292);
  EXPECT_EQ(Cam().height, 220);
  EXPECT_EQ(device_->cameraFormat.biCompression, FOURCC_PSHU);
}

TEST_F(FormatTest, HalfSizeStreamingOnlyForUncompressedRawFormats) {
  BITMAPINFOHEADER small = Header(160, 120);
  ASSERT_TRUE(AcceptFormat(CurrentNUBODevice(), &small));
  ASSERT_TRUE(SetStreamFormat(1));
  EXPECT_EQ(device_->fastStreamActive, 0u);
  EXPECT_EQ(Cam().width, 160);

  UseTransfer(kTransferLarge);
  BITMAPINFOHEADER big = Header(640, 480);
  ASSERT_TRUE(AcceptFormat(CurrentNUBODevice(), &big));
  ASSERT_TRUE(SetStreamFormat(1));
  EXPECT_EQ(device_->fastStreamActive, 0u);
  EXPECT_EQ(Cam().mode, 1u);

  device_->fastStream = 0;
  BITMAPINFOHEADER raw = Header(320, 240);
  ASSERT_TRUE(AcceptFormat(CurrentNUBODevice(), &raw));
  ASSERT_TRUE(SetStreamFormat(1));
  EXPECT_EQ(device_->fastStreamActive, 0u);
  EXPECT_EQ(Cam().mode, 1u);
}

}  // namespace
}  // namespace capture_test
