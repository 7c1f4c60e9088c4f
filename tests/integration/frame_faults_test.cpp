// Single frames that a client can trust: the byte count is what the driver
// wrote, a failed transfer costs exactly one frame, and a refused format stays
// refused.
#include "capture_host.h"

namespace capture_host {
namespace {

class FrameFaultsTest : public CaptureHostTest {};

TEST_F(FrameFaultsTest, BytesUsedIsWhatTheDriverWroteWhateverTheHeaderClaims) {
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  const BITMAPINFOHEADER formats[] = {
      Header(160, 120),      Header(320, 240),      Header(640, 480),
      Header(176, 144),      Header(160, 120, 16),  Header(160, 120, 8),
      Header(160, 120, 12, FOURCC_I420), Header(160, 120, 16, FOURCC_YUY2), Header(160, 120, 9, FOURCC_YVU9),
  };
  for (const BITMAPINFOHEADER& format : formats) {
    for (DWORD claimed : {DWORD{10000000}, DWORD{0}}) {
      BITMAPINFOHEADER sent = format;
      sent.biSizeImage = claimed;
      SCOPED_TRACE(testing::Message() << format.biWidth << "x" << format.biHeight << " bits "
                                      << format.biBitCount << " claims " << claimed);
      ASSERT_EQ(SetFormat(video, sent), DV_ERR_OK);
      // A buffer a little larger than the image: the count must not be its length either.
      std::vector<BYTE> buffer(format.biSizeImage + 64);
      VIDEOHDR header{};
      ASSERT_EQ(Frame(video, buffer, &header), DV_ERR_OK);
      EXPECT_EQ(header.dwBytesUsed, format.biSizeImage);
    }
  }
  // After a close and a reopen the device runs its 160 x 120 defaults.
  ASSERT_EQ(SetFormat(video, Header(320, 240)), DV_ERR_OK);
  Close(video);
  video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  std::vector<BYTE> buffer(320 * 240 * 3);
  VIDEOHDR header{};
  ASSERT_EQ(Frame(video, buffer, &header), DV_ERR_OK);
  EXPECT_EQ(header.dwBytesUsed, 160u * 120 * 3);
}

TEST_F(FrameFaultsTest, AFailedTransferCostsExactlyOneFrame) {
  for (const char* spec : {"sim:fail=frame_end@3", "sim:fail=frame_begin@3", "sim:fail=nibble_read_frame_var@2",
                           "sim:mode=nibble,fail=nibble_read_frame_var@3"}) {
    SCOPED_TRACE(spec);
    Camera(spec);
    HDRVR video = Open(VIDEO_IN);
    ASSERT_NE(video, nullptr);
    std::vector<BYTE> buffer(160 * 120 * 3);
    int failed = 0;
    for (int i = 0; i < 8; ++i) failed += Frame(video, buffer) != DV_ERR_OK ? 1 : 0;
    EXPECT_LE(failed, 1);
    EXPECT_EQ(Frame(video, buffer), DV_ERR_OK);
    Close(video);
  }
}

TEST_F(FrameFaultsTest, ARefusedFormatStaysRefusedAndCannotBeStreamed) {
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  ASSERT_EQ(SetFormat(video, Header(320, 240)), DV_ERR_OK);
  const BITMAPINFOHEADER refused = Header(300, 200);
  EXPECT_EQ(SetFormat(video, refused), DV_ERR_NOTSUPPORTED);
  // GET still reports it; sending back what GET gave is refused again.
  const BITMAPINFOHEADER got = GetFormat(video);
  EXPECT_EQ(got.biWidth, 300);
  EXPECT_EQ(SetFormat(video, got), DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(SetFormat(video, refused), DV_ERR_NOTSUPPORTED);
  std::vector<BYTE> buffer(320 * 240 * 3);
  EXPECT_NE(Frame(video, buffer), DV_ERR_OK);
  VIDEO_STREAM_INIT_PARMS parms{};
  parms.dwMicroSecPerFrame = 66000;
  EXPECT_NE(Send(video, DVM_STREAM_INIT, P(&parms), sizeof parms), DV_ERR_OK);
  EXPECT_EQ(Send(video, DVM_STREAM_START), DV_ERR_NONSPECIFIC);  // nothing was initialised
  // A good format in force again streams as usual.
  ASSERT_EQ(SetFormat(video, Header(160, 120)), DV_ERR_OK);
  EXPECT_EQ(Send(video, DVM_STREAM_INIT, P(&parms), sizeof parms), DV_ERR_OK);
  EXPECT_EQ(Send(video, DVM_STREAM_FINI), DV_ERR_OK);
  EXPECT_EQ(Frame(video, buffer), DV_ERR_OK);
}

}  // namespace
}  // namespace capture_host
