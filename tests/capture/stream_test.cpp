// The streaming engine on a device without a camera: the queue, the stream
// messages' answers and notifications, the timer period and delay arithmetic,
// and stop / reset / fini racing the timer. Each tick's capture is scripted.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "core/driver_context.h"
#include "capture/stream.h"
#include "capture/stream_timing.h"
#include "offline_device.h"
#include "platform/portable/testing.h"

namespace capture_test {
namespace {

TEST(StreamTiming, PeriodIsAWholeMultipleOfTheSensorPeriod) {
  EXPECT_EQ(StreamTimerPeriod(66, 100000, 1000000), 66);
  EXPECT_EQ(StreamTimerPeriod(66, 200000, 1000000), 198);
  EXPECT_EQ(StreamTimerPeriod(66, 50000, 1000000), 66);
  EXPECT_EQ(StreamTimerPeriod(66, 131999, 1000000), 66);
  EXPECT_EQ(StreamTimerPeriod(66, 132000, 1000000), 132);
  EXPECT_EQ(StreamTimerPeriod(66, 10000000, 1000), 1000);  // the system's longest period
  // Periods beyond 16 bits of milliseconds are held at the longest, never wrapped.
  EXPECT_EQ(StreamTimerPeriod(66, 65538000, 1000000), 0xFFFF);
  EXPECT_EQ(StreamTimerPeriod(66, 0xFFFFFFFF, 1000000), 0xFFFF);
  EXPECT_EQ(StreamTimerPeriod(1, 0xFFFFFFFF, 1000000), 0xFFFF);
}

TEST(StreamTiming, ZeroSensorPeriodCountsAsOneMillisecond) {
  EXPECT_EQ(StreamTimerPeriod(0, 0, 1000000), 1);
  EXPECT_EQ(StreamTimerPeriod(0, 40000, 1000000), 40);
}

TEST(StreamTiming, NextDelayIsTheRestOfThePeriod) {
  EXPECT_EQ(NextTimerDelay(1000, 1050, 66), 18);  // 66 - 50 + 2
  EXPECT_EQ(NextTimerDelay(1000, 1070, 66), 4);   // overran: shortest delay
  EXPECT_EQ(NextTimerDelay(1000, 1062, 66), 6);
  EXPECT_EQ(NextTimerDelay(1000, 1063, 66), 4);
  EXPECT_EQ(NextTimerDelay(0xFFFFFFF0u, 5, 66), 66);  // clock wrapped
  EXPECT_EQ(NextTimerDelay(1000, 1000, 0xFFFF), 0x10001u);  // the longest period is not wrapped either
  EXPECT_EQ(NextTimerDelay(0, 0x90000000u, 66), 4);   // absurd elapsed time stays an overrun
  EXPECT_EQ(NextTimerDelay(7, 7, 2), 4);              // never below 4 ms
}

// ---- messages seen by the client's callback
struct Notification {
  UINT msg;
  DWORD_PTR param;
};

struct Client {
  std::mutex mutex;
  std::vector<Notification> seen;
  std::atomic<bool> closed{false};
  std::atomic<int> afterClose{0};
};

void CALLBACK ClientCallback(HDRVR, UINT msg, DWORD_PTR user, DWORD_PTR dw1, DWORD_PTR) {
  auto* client = reinterpret_cast<Client*>(user);
  if (client->closed) client->afterClose++;
  std::lock_guard lock(client->mutex);
  client->seen.push_back({msg, dw1});
}

VIDEO_STREAM_INIT_PARMS InitParms(Client* client, DWORD microSecPerFrame) {
  VIDEO_STREAM_INIT_PARMS parms{};
  parms.dwMicroSecPerFrame = microSecPerFrame;
  parms.dwCallback = reinterpret_cast<DWORD_PTR>(&ClientCallback);
  parms.dwCallbackInst = reinterpret_cast<DWORD_PTR>(client);
  parms.dwFlags = CALLBACK_FUNCTION;
  return parms;
}

// Scripted captures: each fills the header with a sequence number.
std::atomic<int> g_captures{0};
std::atomic<DWORD> g_captureResult{DV_ERR_OK};
DWORD ScriptedCapture(VIDEOHDR* header) {
  DWORD r = g_captureResult;
  if (r != DV_ERR_OK) return r;
  header->dwUser = static_cast<DWORD_PTR>(++g_captures);
  header->dwFlags |= VHDR_DONE | VHDR_KEYFRAME;
  return DV_ERR_OK;
}

class StreamTest : public OfflineDeviceTest {
 protected:
  void SetUp() override {
    OfflineDeviceTest::SetUp();
    g_captures = 0;
    g_captureResult = DV_ERR_OK;
    SetStreamCaptureProc(&ScriptedCapture);
    for (auto& h : headers_) {
      h = VIDEOHDR{};
      h.dwFlags = VHDR_PREPARED;
    }
  }
  void TearDown() override {
    InStreamShutdown();
    OfflineDeviceTest::TearDown();
  }

  std::vector<Notification> Seen(UINT msg) {
    std::lock_guard lock(client_.mutex);
    std::vector<Notification> out;
    for (const auto& n : client_.seen) {
      if (n.msg == msg) out.push_back(n);
    }
    return out;
  }
  size_t Count(UINT msg) { return Seen(msg).size(); }

  // Waits (bounded) until the client has seen n of msg.
  bool WaitFor(UINT msg, size_t n) {
    for (int i = 0; i < 2000; ++i) {
      if (Count(msg) >= n) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  Client client_;
  VIDEOHDR headers_[8];
};

TEST_F(StreamTest, QueueKeepsOrderAndMarksHeaders) {
  for (auto& h : headers_) h.dwFlags = VHDR_DONE;
  QueHeader(&headers_[0]);
  QueHeader(&headers_[1]);
  QueHeader(&headers_[2]);
  EXPECT_EQ(headers_[0].dwFlags, VHDR_INQUEUE);
  EXPECT_EQ(DeQueHeader(), &headers_[0]);
  EXPECT_EQ(headers_[0].dwFlags & VHDR_INQUEUE, 0u);
  QueHeader(&headers_[3]);
  EXPECT_EQ(DeQueHeader(), &headers_[1]);
  EXPECT_EQ(DeQueHeader(), &headers_[2]);
  EXPECT_EQ(DeQueHeader(), &headers_[3]);
  EXPECT_EQ(DeQueHeader(), nullptr);
}

TEST_F(StreamTest, MessagesBeforeInitAnswerNonSpecific) {
  EXPECT_EQ(InStreamAddBuffer(&headers_[0]), DV_ERR_NONSPECIFIC);
  EXPECT_EQ(InStreamStart(), DV_ERR_NONSPECIFIC);
  EXPECT_EQ(InStreamStop(), DV_ERR_NONSPECIFIC);
  EXPECT_EQ(InStreamReset(), DV_ERR_NONSPECIFIC);
  EXPECT_EQ(InStreamFini(), DV_ERR_NONSPECIFIC);
  EXPECT_EQ(InStreamInit(nullptr, 66), DV_ERR_PARAM1);
}

TEST_F(StreamTest, InitTwiceAnswersOneAndOpensOnce) {
  VIDEO_STREAM_INIT_PARMS parms = InitParms(&client_, 200000);
  EXPECT_EQ(InStreamInit(&parms, 66), DV_ERR_OK);
  EXPECT_EQ(InStreamInit(&parms, 66), DV_ERR_NONSPECIFIC);
  EXPECT_EQ(Count(MM_DRVM_OPEN), 1u);
  StreamStatus status = InStreamStatus();
  EXPECT_TRUE(status.initialised);
  EXPECT_EQ(status.timerPeriod, 198);
  EXPECT_EQ(status.timerResolution, 2);
}

TEST_F(StreamTest, AddBufferChecksPreparedAndQueued) {
  VIDEO_STREAM_INIT_PARMS parms = InitParms(&client_, 100000);
  ASSERT_EQ(InStreamInit(&parms, 66), DV_ERR_OK);
  VIDEOHDR unprepared{};
  EXPECT_EQ(InStreamAddBuffer(&unprepared), DV_ERR_UNPREPARED);
  EXPECT_EQ(InStreamAddBuffer(nullptr), DV_ERR_NONSPECIFIC);
  headers_[0].dwFlags |= VHDR_DONE;
  headers_[0].dwBytesUsed = 99;
  EXPECT_EQ(InStreamAddBuffer(&headers_[0]), DV_ERR_OK);
  EXPECT_EQ(headers_[0].dwFlags, VHDR_PREPARED | VHDR_INQUEUE);
  EXPECT_EQ(headers_[0].dwBytesUsed, 0u);
  EXPECT_EQ(InStreamAddBuffer(&headers_[0]), DV_ERR_NONSPECIFIC);
  EXPECT_EQ(InStreamStatus().queued, 1u);
}

TEST_F(StreamTest, ResetReturnsEveryBufferInQueueOrderThenFiniCloses) {
  VIDEO_STREAM_INIT_PARMS parms = InitParms(&client_, 100000);
  ASSERT_EQ(InStreamInit(&parms, 66), DV_ERR_OK);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(InStreamAddBuffer(&headers_[i]), DV_ERR_OK);
  EXPECT_EQ(InStreamFini(), DV_ERR_STILLPLAYING);
  EXPECT_TRUE(InStreamStatus().initialised);
  EXPECT_EQ(InStreamReset(), DV_ERR_OK);
  auto data = Seen(MM_DRVM_DATA);
  ASSERT_EQ(data.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(data[i].param, reinterpret_cast<DWORD_PTR>(&headers_[i]));
    EXPECT_EQ(headers_[i].dwFlags, VHDR_PREPARED | VHDR_DONE);
  }
  EXPECT_EQ(InStreamStatus().queued, 0u);
  EXPECT_EQ(InStreamFini(), DV_ERR_OK);
  EXPECT_EQ(Count(MM_DRVM_CLOSE), 1u);
  EXPECT_FALSE(InStreamStatus().initialised);
}

TEST_F(StreamTest, FiniWithBuffersQueuedLeavesARunningStreamRunning) {
  VIDEO_STREAM_INIT_PARMS parms = InitParms(&client_, 1000);
  ASSERT_EQ(InStreamInit(&parms, 1), DV_ERR_OK);
  g_captureResult = DV_ERR_SYNC;  // the camera has no frame yet: buffers stay queued
  for (int i = 0; i < 3; ++i) ASSERT_EQ(InStreamAddBuffer(&headers_[i]), DV_ERR_OK);
  ASSERT_EQ(InStreamStart(), DV_ERR_OK);
  EXPECT_EQ(InStreamFini(), DV_ERR_STILLPLAYING);
  EXPECT_TRUE(InStreamStatus().initialised);
  EXPECT_TRUE(InStreamStatus().running);
  // The ticks go on and fill the buffers once frames come.
  g_captureResult = DV_ERR_OK;
  ASSERT_TRUE(WaitFor(MM_DRVM_DATA, 3));
  EXPECT_EQ(InStreamFini(), DV_ERR_OK);
  EXPECT_FALSE(InStreamStatus().running);
  EXPECT_EQ(Count(MM_DRVM_CLOSE), 1u);
}

TEST_F(StreamTest, PositionReportNeedsTheTwelveByteRecord) {
  VIDEO_STREAM_INIT_PARMS parms = InitParms(&client_, 100000);
  ASSERT_EQ(InStreamInit(&parms, 66), DV_ERR_OK);
  MMTIME time{};
  time.u.ms = 1234;
  EXPECT_EQ(InStreamGetPosition(&time, 8), DV_ERR_NOTSUPPORTED);
  EXPECT_EQ(time.u.ms, 1234u);
  EXPECT_EQ(InStreamGetPosition(&time, 12), DV_ERR_OK);
  EXPECT_EQ(time.wType, TIME_MS);
  EXPECT_EQ(time.u.ms, 0u);
  EXPECT_EQ(InStreamGetPosition(nullptr, 12), DV_ERR_PARAM1);
}

TEST_F(StreamTest, StarvedTicksCountErrorsUntilQueried) {
  VIDEO_STREAM_INIT_PARMS parms = InitParms(&client_, 1000);
  ASSERT_EQ(InStreamInit(&parms, 5), DV_ERR_OK);
  ASSERT_EQ(InStreamStart(), DV_ERR_OK);
  EXPECT_EQ(InStreamStart(), DV_ERR_NONSPECIFIC);  // already running
  ASSERT_TRUE(WaitFor(MM_DRVM_ERROR, 3));
  ASSERT_EQ(InStreamStop(), DV_ERR_OK);
  auto errors = Seen(MM_DRVM_ERROR);
  for (size_t i = 0; i < errors.size(); ++i) EXPECT_EQ(errors[i].param, i + 1);
  DWORD error = 77;
  DWORD count = 0;
  EXPECT_EQ(InStreamGetError(&error, &count), DV_ERR_OK);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(count, errors.size());
  EXPECT_EQ(InStreamGetError(nullptr, &count), DV_ERR_OK);
  EXPECT_EQ(count, 0u);
  // After the query the next starved tick reports 1 again.
  client_.seen.clear();
  ASSERT_EQ(InStreamStart(), DV_ERR_OK);
  ASSERT_TRUE(WaitFor(MM_DRVM_ERROR, 1));
  InStreamStop();
  EXPECT_EQ(Seen(MM_DRVM_ERROR)[0].param, 1u);
}

TEST_F(StreamTest, SixtyFramesComeBackInOrder) {
  VIDEO_STREAM_INIT_PARMS parms = InitParms(&client_, 1000);
  ASSERT_EQ(InStreamInit(&parms, 1), DV_ERR_OK);
  std::vector<VIDEOHDR> buffers(60);
  for (auto& h : buffers) {
    h.dwFlags = VHDR_PREPARED;
    ASSERT_EQ(InStreamAddBuffer(&h), DV_ERR_OK);
  }
  ASSERT_EQ(InStreamStart(), DV_ERR_OK);
  ASSERT_TRUE(WaitFor(MM_DRVM_DATA, 60));
  EXPECT_EQ(InStreamStop(), DV_ERR_OK);
  auto data = Seen(MM_DRVM_DATA);
  ASSERT_EQ(data.size(), 60u);
  for (size_t i = 0; i < 60; ++i) {
    EXPECT_EQ(data[i].param, reinterpret_cast<DWORD_PTR>(&buffers[i]));
    EXPECT_EQ(buffers[i].dwUser, i + 1);
    EXPECT_EQ(buffers[i].dwFlags & (VHDR_INQUEUE | VHDR_DONE), VHDR_DONE);
  }
  EXPECT_EQ(InStreamFini(), DV_ERR_OK);
}

TEST_F(StreamTest, FramesNotCapturedStayAtTheHead) {
  VIDEO_STREAM_INIT_PARMS parms = InitParms(&client_, 1000);
  ASSERT_EQ(InStreamInit(&parms, 1), DV_ERR_OK);
  ASSERT_EQ(InStreamAddBuffer(&headers_[0]), DV_ERR_OK);
  ASSERT_EQ(InStreamAddBuffer(&headers_[1]), DV_ERR_OK);
  g_captureResult = DV_ERR_SYNC;
  ASSERT_EQ(InStreamStart(), DV_ERR_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(Count(MM_DRVM_DATA), 0u);
  EXPECT_EQ(Count(MM_DRVM_ERROR), 0u);
  g_captureResult = DV_ERR_OK;
  ASSERT_TRUE(WaitFor(MM_DRVM_DATA, 2));
  InStreamStop();
  auto data = Seen(MM_DRVM_DATA);
  EXPECT_EQ(data[0].param, reinterpret_cast<DWORD_PTR>(&headers_[0]));
  EXPECT_EQ(data[1].param, reinterpret_cast<DWORD_PTR>(&headers_[1]));
}

// A client that queues each buffer again from its callback, as capture
// applications do; a reset from the callback and a re-add during reset keep the
// queue consistent.
Client g_requeueClient;
void CALLBACK RequeueCallback(HDRVR, UINT msg, DWORD_PTR, DWORD_PTR dw1, DWORD_PTR) {
  if (msg != MM_DRVM_DATA) return;
  auto* header = reinterpret_cast<VIDEOHDR*>(dw1);
  if (g_requeueClient.closed) g_requeueClient.afterClose++;
  InStreamAddBuffer(header);
}

TEST_F(StreamTest, BuffersQueuedAgainFromTheCallbackKeepFlowing) {
  VIDEO_STREAM_INIT_PARMS parms = InitParms(&client_, 1000);
  parms.dwCallback = reinterpret_cast<DWORD_PTR>(&RequeueCallback);
  ASSERT_EQ(InStreamInit(&parms, 1), DV_ERR_OK);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(InStreamAddBuffer(&headers_[i]), DV_ERR_OK);
  ASSERT_EQ(InStreamStart(), DV_ERR_OK);
  for (int i = 0; i < 2000 && g_captures < 30; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_GE(g_captures.load(), 30);
  EXPECT_EQ(InStreamStop(), DV_ERR_OK);
  // Every buffer is either queued or was handed back and re-queued: all three queued.
  EXPECT_EQ(InStreamStatus().queued, 3u);
  for (int i = 0; i < 3; ++i) EXPECT_NE(headers_[i].dwFlags & VHDR_INQUEUE, 0u);
  // Reset hands them back; the callback queues each again, and they stay queued.
  EXPECT_EQ(InStreamReset(), DV_ERR_OK);
  EXPECT_EQ(InStreamStatus().queued, 3u);
}

// Stop, reset and fini arriving while ticks run: each waits for a tick in
// flight, no timer is left armed, and nothing reaches the client after FINI.
TEST_F(StreamTest, StopResetFiniRacingTheTimer) {
  for (int round = 0; round < 40; ++round) {
    Client client;
    VIDEO_STREAM_INIT_PARMS parms = InitParms(&client, 1000);
    ASSERT_EQ(InStreamInit(&parms, 1), DV_ERR_OK);
    for (int i = 0; i < 8; ++i) {
      headers_[i].dwFlags = VHDR_PREPARED;
      ASSERT_EQ(InStreamAddBuffer(&headers_[i]), DV_ERR_OK);
    }
    ASSERT_EQ(InStreamStart(), DV_ERR_OK);
    std::this_thread::sleep_for(std::chrono::microseconds(500 * (round % 7)));
    switch (round % 3) {
      case 0:
        EXPECT_EQ(InStreamStop(), DV_ERR_OK);
        EXPECT_EQ(InStreamReset(), DV_ERR_OK);
        break;
      case 1:
        EXPECT_EQ(InStreamReset(), DV_ERR_OK);  // reset stops a running stream too
        break;
      default:
        break;  // FINI with the timer left running
    }
    if (round % 3 == 2) {
      DWORD r = InStreamFini();
      if (r == DV_ERR_STILLPLAYING) {
        EXPECT_TRUE(InStreamStatus().running);  // a refused FINI leaves the stream running
        EXPECT_EQ(InStreamReset(), DV_ERR_OK);
        r = InStreamFini();
      }
      EXPECT_EQ(r, DV_ERR_OK);
    } else {
      EXPECT_EQ(InStreamFini(), DV_ERR_OK);
    }
    client.closed = true;
    EXPECT_EQ(platform::PendingTimerCount(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    EXPECT_EQ(client.afterClose.load(), 0);
    // Every buffer came back exactly once.
    size_t data = 0;
    {
      std::lock_guard lock(client.mutex);
      for (const auto& n : client.seen) data += n.msg == MM_DRVM_DATA ? 1 : 0;
    }
    EXPECT_EQ(data, 8u);
  }
}

TEST_F(StreamTest, StopFromTheClientsCallbackDoesNotWaitForItself) {
  static std::atomic<bool> stopped{false};
  stopped = false;
  struct Local {
    static void CALLBACK Callback(HDRVR, UINT msg, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
      if (msg == MM_DRVM_ERROR && !stopped) {
        EXPECT_EQ(InStreamStop(), DV_ERR_OK);
        stopped = true;
      }
    }
  };
  VIDEO_STREAM_INIT_PARMS parms = InitParms(&client_, 1000);
  parms.dwCallback = reinterpret_cast<DWORD_PTR>(&Local::Callback);
  ASSERT_EQ(InStreamInit(&parms, 1), DV_ERR_OK);
  ASSERT_EQ(InStreamStart(), DV_ERR_OK);
  for (int i = 0; i < 2000 && !stopped; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(stopped);
  for (int i = 0; i < 2000 && InStreamStatus().running; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(InStreamStatus().running);
  EXPECT_EQ(InStreamFini(), DV_ERR_OK);
  EXPECT_EQ(platform::PendingTimerCount(), 0);
}

TEST_F(StreamTest, ShutdownEndsARunningStreamWithoutCallingTheClient) {
  VIDEO_STREAM_INIT_PARMS parms = InitParms(&client_, 1000);
  ASSERT_EQ(InStreamInit(&parms, 1), DV_ERR_OK);
  ASSERT_EQ(InStreamStart(), DV_ERR_OK);
  ASSERT_TRUE(WaitFor(MM_DRVM_ERROR, 1));
  InStreamShutdown();
  client_.closed = true;
  EXPECT_FALSE(InStreamStatus().initialised);
  EXPECT_EQ(platform::PendingTimerCount(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(client_.afterClose.load(), 0);
  EXPECT_EQ(Count(MM_DRVM_CLOSE), 0u);
}

}  // namespace
}  // namespace capture_test
