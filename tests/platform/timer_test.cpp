#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/portable/testing.h"

namespace {

using platform::TimeKillEvent;
using platform::TimeSetEvent;

// Collects callbacks and lets a test wait for a number of them (no timing asserts).
struct Recorder {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<DWORD_PTR> users;
  std::vector<std::thread::id> threads;

  static void CALLBACK Callback(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    Recorder* r = Current();
    std::lock_guard lock(r->mutex);
    r->users.push_back(user);
    r->threads.push_back(std::this_thread::get_id());
    r->changed.notify_all();
  }
  void WaitFor(size_t count) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return users.size() >= count; });
  }
  static Recorder*& Current() {
    static Recorder* current = nullptr;
    return current;
  }
};

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override { Recorder::Current() = &recorder_; }
  void TearDown() override {
    platform::KillAllTimers();
    Recorder::Current() = nullptr;
  }
  Recorder recorder_;
};

TEST(TimerCaps, RangeAndPeriods) {
  TIMECAPS caps{};
  EXPECT_EQ(platform::TimeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
  EXPECT_EQ(caps.wPeriodMin, 1u);
  EXPECT_EQ(caps.wPeriodMax, 1000000u);
  EXPECT_EQ(platform::TimeGetDevCaps(&caps, 4), TIMERR_NOCANDO);
  EXPECT_EQ(platform::TimeGetDevCaps(nullptr, sizeof caps), TIMERR_NOCANDO);
  EXPECT_EQ(platform::TimeBeginPeriod(1), TIMERR_NOERROR);
  EXPECT_EQ(platform::TimeEndPeriod(1), TIMERR_NOERROR);
  EXPECT_EQ(platform::TimeBeginPeriod(0), TIMERR_NOCANDO);
  EXPECT_EQ(platform::TimeEndPeriod(1000001), TIMERR_NOCANDO);
}

TEST_F(TimerTest, RefusesBadRequests) {
  EXPECT_EQ(TimeSetEvent(0, 1, &Recorder::Callback, 0, TIME_ONESHOT), 0u);
  EXPECT_EQ(TimeSetEvent(1000001, 1, &Recorder::Callback, 0, TIME_ONESHOT), 0u);
  EXPECT_EQ(TimeSetEvent(5, 1, nullptr, 0, TIME_ONESHOT), 0u);
  EXPECT_NE(TimeKillEvent(12345678), TIMERR_NOERROR);
}

TEST_F(TimerTest, OneShotsRunOnOneThreadInDueOrder) {
  UINT late = TimeSetEvent(60, 1, &Recorder::Callback, 3, TIME_ONESHOT);
  UINT early = TimeSetEvent(1, 1, &Recorder::Callback, 1, TIME_ONESHOT);
  UINT middle = TimeSetEvent(30, 1, &Recorder::Callback, 2, TIME_ONESHOT);
  EXPECT_NE(late, 0u);
  EXPECT_NE(early, 0u);
  EXPECT_NE(middle, early);
  recorder_.WaitFor(3);
  std::lock_guard lock(recorder_.mutex);
  EXPECT_EQ(recorder_.users, (std::vector<DWORD_PTR>{1, 2, 3}));
  EXPECT_EQ(recorder_.threads[0], recorder_.threads[2]);
  EXPECT_NE(recorder_.threads[0], std::this_thread::get_id());
  EXPECT_EQ(platform::PendingTimerCount(), 0);
}

TEST_F(TimerTest, PeriodicRepeatsUntilKilled) {
  UINT id = TimeSetEvent(1, 1, &Recorder::Callback, 7, TIME_PERIODIC);
  recorder_.WaitFor(3);
  EXPECT_EQ(TimeKillEvent(id), TIMERR_NOERROR);
  size_t count;
  {
    std::lock_guard lock(recorder_.mutex);
    count = recorder_.users.size();
  }
  // After the kill has returned no callback of it runs any more.
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::lock_guard lock(recorder_.mutex);
  EXPECT_EQ(recorder_.users.size(), count);
  EXPECT_NE(TimeKillEvent(id), TIMERR_NOERROR);
}

TEST_F(TimerTest, KillWaitsForARunningCallback) {
  static std::atomic<bool> entered{false};
  static std::atomic<bool> release{false};
  static std::atomic<bool> finished{false};
  entered = release = finished = false;
  struct Slow {
    static void CALLBACK Tick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
      entered = true;
      while (!release) std::this_thread::yield();
      finished = true;
    }
  };
  UINT id = TimeSetEvent(1, 1, &Slow::Tick, 0, TIME_PERIODIC);
  while (!entered) std::this_thread::yield();
  std::thread releaser([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    release = true;
  });
  EXPECT_EQ(TimeKillEvent(id), TIMERR_NOERROR);
  EXPECT_TRUE(finished);
  releaser.join();
}

TEST_F(TimerTest, CallbackMayKillItselfAndSetTheNext) {
  static std::atomic<UINT> self{0};
  static std::atomic<int> rounds{0};
  rounds = 0;
  struct Chain {
    static void CALLBACK Tick(UINT id, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
      TimeKillEvent(id);  // must not wait for itself
      if (++rounds < 5) self = TimeSetEvent(1, 1, &Chain::Tick, 0, TIME_ONESHOT);
      Recorder::Callback(id, 0, 0, 0, 0);
    }
  };
  self = TimeSetEvent(1, 1, &Chain::Tick, 0, TIME_ONESHOT);
  recorder_.WaitFor(5);
  EXPECT_EQ(rounds.load(), 5);
}

}  // namespace
