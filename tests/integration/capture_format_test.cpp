// Formats and single frames through DriverProc with the virtual camera: each
// row of the set-up rules with the camera mode and window the camera then
// delivers, refused sizes, and one frame in every output format and size class.
#include <filesystem>
#include <sys/stat.h>

#include "capture_host.h"

namespace capture_host {
namespace {

class CaptureFormatTest : public CaptureHostTest {
 protected:
  void UseDump(const std::string& extra = "") {
    dump_ = ini_ + ".frames";
    std::filesystem::remove_all(dump_);
    ASSERT_TRUE(std::filesystem::create_directory(dump_));
    Camera("sim:dump=" + dump_ + extra);
  }
  std::string dump_;
};

struct SetUpRow {
  LONG w, h;
  const char* transfer;
  long windowW, windowH;  // 0: refused
  bool yuv;
};

TEST_F(CaptureFormatTest, EachSizeGetsItsCameraModeAndWindow) {
  for (const char* transfer : {"128k", "32k"}) {
    SCOPED_TRACE(transfer);
    UseDump(std::string(",transfer=") + transfer);
    HDRVR video = Open(VIDEO_IN);
    ASSERT_NE(video, nullptr);
    const bool large = std::string(transfer) == "128k";
    const SetUpRow rows[] = {
        {176, 144, transfer, 160, 132, true},
        {160, 120, transfer, 160, 120, true},
        {128, 96, transfer, 128, 96, true},
        {80, 60, transfer, 80, 60, true},
        {320, 240, transfer, large ? 324 : 292, large ? 244 : 220, false},
        {352, 288, transfer, 180, 148, false},
        {640, 480, transfer, large ? 324 : 292, large ? 244 : 220, false},
        {168, 120, transfer, 172, 124, false},
        {640, 240, transfer, 0, 0, false},
        {320, 480, transfer, 0, 0, false},
        {648, 480, transfer, 0, 0, false},
        {96, 75, transfer, 0, 0, false},
        {164, 120, transfer, 0, 0, false},
        {64, 48, transfer, 0, 0, false},
    };
    for (const SetUpRow& row : rows) {
      SCOPED_TRACE(testing::Message() << row.w << " x " << row.h);
      const BITMAPINFOHEADER format = Header(row.w, row.h);
      std::vector<BYTE> buffer(format.biSizeImage);
      if (row.windowW == 0) {
        EXPECT_EQ(SetFormat(video, format), DV_ERR_NOTSUPPORTED);
        BITMAPINFOHEADER reported = GetFormat(video);
        EXPECT_EQ(std::memcmp(&reported, &format, sizeof format), 0);  // GET reports the refused header
        EXPECT_EQ(Frame(video, buffer), DV_ERR_NONSPECIFIC);
        continue;
      }
      ASSERT_EQ(SetFormat(video, format), DV_ERR_OK);
      VIDEOHDR done{};
      ASSERT_EQ(Frame(video, buffer, &done), DV_ERR_OK);
      EXPECT_EQ(done.dwBytesUsed, format.biSizeImage);
      EXPECT_EQ(done.dwFlags, VHDR_PREPARED | VHDR_DONE | VHDR_KEYFRAME);
      auto frame = LastDumpedFrame(dump_);
      EXPECT_EQ(frame["width"], row.windowW);
      EXPECT_EQ(frame["height"], row.windowH);
      EXPECT_EQ(frame["mode"] == 2, row.yuv) << "camera mode " << frame["mode"];
    }
    Close(video);
  }
}

struct TypeRow {
  WORD bits;
  DWORD compression;
};

TEST_F(CaptureFormatTest, OneFrameInEveryOutputFormatAndSizeClass) {
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  const TypeRow types[] = {{24, BI_RGB},       {16, BI_RGB},       {8, BI_RGB},        {12, FOURCC_I420},
                           {12, FOURCC_IYUV},  {12, FOURCC_YV12},  {16, FOURCC_YUY2},  {9, FOURCC_YVU9}};
  struct Size {
    LONG w, h;
    int sizeClass;  // 0: up to 160 x 120 and 176 x 144; 1: up to 320 x 240; 2: above
  };
  for (Size size : {Size{160, 120, 0}, Size{176, 144, 0}, Size{80, 60, 0}, Size{320, 240, 1}, Size{240, 180, 1},
                    Size{640, 480, 2}, Size{352, 288, 2}}) {
    for (TypeRow type : types) {
      SCOPED_TRACE(testing::Message() << size.w << " x " << size.h << " bits " << type.bits << " comp " << std::hex
                                      << type.compression);
      const bool rgb = type.compression == BI_RGB;
      const bool accepted = size.sizeClass == 0 || (size.sizeClass == 1 && rgb && type.bits >= 16) ||
                            (size.sizeClass == 2 && rgb && type.bits == 24);
      const BITMAPINFOHEADER format = Header(size.w, size.h, type.bits, type.compression);
      ASSERT_EQ(SetFormat(video, format), accepted ? DV_ERR_OK : DV_ERR_NOTSUPPORTED);
      if (!accepted) continue;
      BITMAPINFOHEADER current = GetFormat(video);
      EXPECT_EQ(current.biCompression, type.compression == FOURCC_IYUV ? FOURCC_I420 : type.compression);
      std::vector<BYTE> buffer(current.biSizeImage, 0xA5);
      VIDEOHDR done{};
      ASSERT_EQ(Frame(video, buffer, &done), DV_ERR_OK);
      EXPECT_EQ(done.dwBytesUsed, current.biSizeImage);
    }
  }
}

TEST_F(CaptureFormatTest, AShortBufferIsRefusedAndLeftAlone) {
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  const BITMAPINFOHEADER format = Header(160, 120);
  ASSERT_EQ(SetFormat(video, format), DV_ERR_OK);
  std::vector<BYTE> buffer(format.biSizeImage - 1, 0x5A);
  VIDEOHDR done{};
  EXPECT_EQ(Frame(video, buffer, &done), DV_ERR_NONSPECIFIC);
  EXPECT_EQ(done.dwFlags, VHDR_PREPARED);
  EXPECT_EQ(done.dwBytesUsed, 0u);
  for (BYTE b : buffer) ASSERT_EQ(b, 0x5A);
  EXPECT_EQ(Send(video, DVM_FRAME, 0), DV_ERR_PARAM1);
}

TEST_F(CaptureFormatTest, TheLastFormatAskedForIsDeliveredAfterTheDeviceIsMadeAgain) {
  UseDump();
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  const BITMAPINFOHEADER big = Header(320, 240);
  ASSERT_EQ(SetFormat(video, big), DV_ERR_OK);
  Close(video);
  video = Open(VIDEO_IN);  // a new device, at the 160 x 120 defaults
  ASSERT_NE(video, nullptr);
  ASSERT_EQ(SetFormat(video, big), DV_ERR_OK);
  std::vector<BYTE> buffer(big.biSizeImage);
  ASSERT_EQ(Frame(video, buffer), DV_ERR_OK);
  EXPECT_EQ(LastDumpedFrame(dump_)["width"], 324);
}

}  // namespace
}  // namespace capture_host
