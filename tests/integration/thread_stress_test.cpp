// Four threads at once on one driver, as a busy host might drive it: a stream
// started, stopped, reset and ended over and over, format changes and single
// frames beside it, private messages on the source channel, and channels
// opened and closed (a streaming one among them). Every answer is one of the
// driver's; the ThreadSanitizer build reports any race on the way.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "capture_host.h"
#include "driver/video_message_handlers.h"

namespace capture_host {
namespace {


// An open on a device already set up: no settle waits, so no virtual clock
// (which would be shared with the other threads).
HDRVR OpenMore(DWORD kind, const std::string& openString) {
  VIDEO_OPEN_PARMS parms = Parms(kind);
  return platform::OpenDriverProc(&DriverProc, openString.c_str(), reinterpret_cast<LPARAM>(&parms));
}

// Whether the client's callback still queues buffers again. The flag is
// turned off under the lock the callback holds from its test to its
// ADDBUFFER, so once Off() returns no requeue of this client can follow (a
// callback descheduled between the two would otherwise queue a buffer after
// the client's own RESET).
struct RequeueGate {
  std::mutex mutex;
  bool on = true;
  void Off() {
    std::lock_guard lock(mutex);
    on = false;
  }
};

// A client that queues each buffer again from its callback, until it starts
// to end the stream.
void CALLBACK Requeue(HDRVR driver, UINT msg, DWORD_PTR user, DWORD_PTR header, DWORD_PTR) {
  auto* gate = reinterpret_cast<RequeueGate*>(user);
  if (msg != MM_DRVM_DATA) return;
  std::lock_guard lock(gate->mutex);
  if (gate->on) {
    platform::SendDriverMessage(driver, DVM_STREAM_ADDBUFFER, static_cast<LPARAM>(header), sizeof(VIDEOHDR));
  }
}

class ThreadStressTest : public CaptureHostTest {
 protected:
  // One stream's life on a channel: init, buffers, start, a few frames, then
  // stop and reset, or reset alone, or straight to fini, then fini.
  static void StreamOnce(HDRVR video, int round, std::atomic<int>* bad) {
    auto check = [bad](LRESULT r) {
      if (!IsDriverAnswer(r)) ++*bad;
      return r;
    };
    RequeueGate requeue;
    VIDEO_STREAM_INIT_PARMS init{};
    init.dwMicroSecPerFrame = 2000;
    init.dwCallback = reinterpret_cast<DWORD_PTR>(&Requeue);
    init.dwCallbackInst = reinterpret_cast<DWORD_PTR>(&requeue);
    init.hVideo = reinterpret_cast<DWORD_PTR>(video);
    init.dwFlags = CALLBACK_FUNCTION;
    if (check(Send(video, DVM_STREAM_INIT, P(&init), sizeof init)) != DV_ERR_OK) return;
    std::vector<std::vector<BYTE>> data(3, std::vector<BYTE>(640 * 480 * 3));
    std::vector<VIDEOHDR> headers(3);
    for (size_t i = 0; i < headers.size(); ++i) {
      headers[i].lpData = data[i].data();
      headers[i].dwBufferLength = static_cast<DWORD>(data[i].size());
      headers[i].dwFlags = VHDR_PREPARED;
      check(Send(video, DVM_STREAM_ADDBUFFER, P(&headers[i]), sizeof(VIDEOHDR)));
    }
    check(Send(video, DVM_STREAM_START));
    std::this_thread::sleep_for(std::chrono::milliseconds(1 + round % 7));
    requeue.Off();
    if (round % 3 == 0) check(Send(video, DVM_STREAM_STOP));
    if (round % 3 != 2) check(Send(video, DVM_STREAM_RESET));
    DWORD error = 0, count = 0;
    check(Send(video, DVM_STREAM_GETERROR, P(&error), P(&count)));
    if (check(Send(video, DVM_STREAM_FINI)) == DV_ERR_STILLPLAYING) {
      check(Send(video, DVM_STREAM_RESET));
      if (check(Send(video, DVM_STREAM_FINI)) != DV_ERR_OK) ++*bad;
    }
    // The buffers go with this function: none may still be queued.
    for (const VIDEOHDR& h : headers) {
      if ((h.dwFlags & VHDR_INQUEUE) != 0) ++*bad;
    }
  }
};

TEST_F(ThreadStressTest, FourThreadsOnOneDriver) {
  Camera("sim:period=2");
  HDRVR video = Open(VIDEO_IN);
  HDRVR source = Open(VIDEO_EXTERNALIN);
  ASSERT_NE(video, nullptr);
  ASSERT_NE(source, nullptr);
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);

  std::thread streamer([&] {
    for (int round = 0; !stop; ++round) StreamOnce(video, round, &bad);
  });
  std::thread formats([&] {
    const BITMAPINFOHEADER sizes[] = {Header(160, 120), Header(320, 240), Header(176, 144), Header(640, 480),
                                      Header(160, 120, 12, FOURCC_I420), Header(300, 200)};
    std::vector<BYTE> buffer(640 * 480 * 3);
    for (int i = 0; !stop; ++i) {
      if (!IsDriverAnswer(SetFormat(video, sizes[i % 6]))) ++bad;
      if (!IsDriverAnswer(Frame(video, buffer))) ++bad;
    }
  });
  std::thread privates([&] {
    for (int i = 0; !stop; ++i) {
      PrivateValueRecord gain{static_cast<DWORD_PTR>(i % 4), 0};
      if (!IsDriverAnswer(Send(source, kPrivateGain, P(&gain)))) ++bad;
      PrivateValueRecord kind{0, 0};
      if (!IsDriverAnswer(Send(source, kPrivateSensorKind, P(&kind)))) ++bad;
      DWORD version = 0;
      if (!IsDriverAnswer(Send(video, DVM_GETVIDEOAPIVER, P(&version)))) ++bad;
    }
  });
  std::thread churn([&] {
    for (int round = 0; !stop; ++round) {
      HDRVR extra = OpenMore(round % 2 == 0 ? VIDEO_EXTERNALIN : VIDEO_IN, "vcap " + ini_);
      if (extra == nullptr) continue;
      // A second video channel sometimes streams and is closed mid-stream.
      if (round % 4 == 1) {
        VIDEO_STREAM_INIT_PARMS init{};
        init.dwMicroSecPerFrame = 2000;
        Send(extra, DVM_STREAM_INIT, P(&init), sizeof init);
        Send(extra, DVM_STREAM_START);
      }
      platform::CloseDriver(extra, 0, 0);
    }
  });
  while (std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  stop = true;
  streamer.join();
  formats.join();
  privates.join();
  churn.join();
  EXPECT_EQ(bad.load(), 0);
  // The channels still work.
  ASSERT_EQ(SetFormat(video, Header(160, 120)), DV_ERR_OK);
  std::vector<BYTE> buffer(160 * 120 * 3);
  EXPECT_EQ(Frame(video, buffer), DV_ERR_OK);
}

}  // namespace
}  // namespace capture_host
