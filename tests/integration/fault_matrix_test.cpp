// Every one of the kernel port device's 24 requests failing at its 1st, 4th
// and 40th use, across what an application does: open, format, frames, a short
// stream, close. Whatever fails, the driver answers with one of its error
// codes, never hangs or crashes (the sanitizer builds catch leaks and bad
// memory), and the next open on a healthy camera works.
#include <chrono>
#include <thread>

#include "capture_host.h"

namespace capture_host {
namespace {

const char* const kRequests[] = {
    "attach",          "claim",          "release",           "poll",           "negotiate",
    "terminate",       "frame_begin",    "frame_end",         "reverse",        "ecp_write_cmd",
    "ecp_write",       "ecp_read",       "compat_write_cmd",  "compat_write",   "byte_read",
    "nibble_read",     "ecp_read_frame", "ecp_read_frame_var", "byte_read_frame", "byte_read_frame_var",
    "nibble_read_frame", "nibble_read_frame_var", "out_b",    "out_a",
};
const int kUses[] = {1, 4, 40};


void CALLBACK Ignore(HDRVR, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

class FaultMatrixTest : public CaptureHostTest {
 protected:
  // What an application does with a channel; every answer must be one of the driver's.
  void Exercise(HDRVR video) {
    EXPECT_TRUE(IsDriverAnswer(SetFormat(video, Header(320, 240))));
    BITMAPINFOHEADER got{};
    VIDEOCONFIGPARMS parms{nullptr, &got, sizeof got, nullptr, 0};
    EXPECT_TRUE(IsDriverAnswer(Send(video, DVM_FORMAT, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, P(&parms))));
    std::vector<BYTE> buffer(320 * 240 * 3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(IsDriverAnswer(Frame(video, buffer)));
    EXPECT_TRUE(IsDriverAnswer(SetFormat(video, Header(160, 120))));

    VIDEO_STREAM_INIT_PARMS init{};
    init.dwMicroSecPerFrame = 2000;
    init.dwCallback = reinterpret_cast<DWORD_PTR>(&Ignore);
    init.dwFlags = CALLBACK_FUNCTION;
    const LRESULT r = Send(video, DVM_STREAM_INIT, P(&init), sizeof init);
    EXPECT_TRUE(IsDriverAnswer(r));
    if (r != DV_ERR_OK) return;
    std::vector<std::vector<BYTE>> data(3, std::vector<BYTE>(160 * 120 * 3));
    std::vector<VIDEOHDR> headers(3);
    for (size_t i = 0; i < headers.size(); ++i) {
      headers[i].lpData = data[i].data();
      headers[i].dwBufferLength = static_cast<DWORD>(data[i].size());
      headers[i].dwFlags = VHDR_PREPARED;
      EXPECT_EQ(Send(video, DVM_STREAM_ADDBUFFER, P(&headers[i]), sizeof(VIDEOHDR)), DV_ERR_OK);
    }
    EXPECT_TRUE(IsDriverAnswer(Send(video, DVM_STREAM_START)));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(Send(video, DVM_STREAM_RESET), DV_ERR_OK);
    EXPECT_EQ(Send(video, DVM_STREAM_FINI), DV_ERR_OK);
    for (const VIDEOHDR& h : headers) EXPECT_EQ(h.dwFlags & VHDR_INQUEUE, 0u);
  }
};

TEST_F(FaultMatrixTest, EveryRequestFailingAtItsFirstFourthAndFortiethUse) {
  for (const char* request : kRequests) {
    for (int use : kUses) {
      SCOPED_TRACE(testing::Message() << request << "@" << use);
      Camera(std::string("sim:period=2,fail=") + request + "@" + std::to_string(use));
      DWORD error = 0;
      HDRVR video = Open(VIDEO_IN, &error);
      if (video == nullptr) {
        // A failed open names why: no port device (1) or no camera (7).
        EXPECT_TRUE(error == DV_ERR_NONSPECIFIC || error == DV_ERR_NOTDETECTED) << error;
      } else {
        Exercise(video);
        Close(video);
      }
      // The next open, on a camera that works, captures.
      Camera("sim:period=2");
      HDRVR again = Open(VIDEO_IN);
      ASSERT_NE(again, nullptr);
      std::vector<BYTE> buffer(160 * 120 * 3);
      EXPECT_EQ(Frame(again, buffer), DV_ERR_OK);
      Close(again);
    }
  }
}

}  // namespace
}  // namespace capture_host
