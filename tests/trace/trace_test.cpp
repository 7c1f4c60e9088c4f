#include <gtest/gtest.h>

#include "support/clean_driver.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/driver_context.h"
#include "core/driver_state.h"
#include "trace/trace.h"
#include "trace/trace_window.h"
#include "platform/platform.h"
#include "ui/dialog_resources.h"

namespace {

class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::BeginCleanDriver();
    RegisterDriverDialogs();
    SetTraceEcho(false);
    Driver().debugFlags = DEBUG_TRACE_WINDOW;
  }
  void TearDown() override { testsupport::EndCleanDriver(); }
};

std::string Format(const char* format, ...) {
  char out[kTraceLineBlockSize];
  va_list args;
  va_start(args, format);
  FormatTraceLineV(out, sizeof out, format, args);
  va_end(args);
  return out;
}

TEST(TraceFormat, Conversions) {
  EXPECT_EQ(Format("DVM_FORMAT - %s", "ok"), "DVM_FORMAT - ok");
  EXPECT_EQ(Format("%d %i %u", -12, 34, 4000000000u), "-12 34 4000000000");
  EXPECT_EQ(Format("%lu %ld %lx %lX", DWORD{70000}, LONG{-5}, DWORD{0xBEEF}, DWORD{0xBEEF}), "70000 -5 beef BEEF");
  EXPECT_EQ(Format("%x %X", 255u, 255u), "ff FF");
  EXPECT_EQ(Format("%c%c", 'o', 'k'), "ok");
  EXPECT_EQ(Format("100%%"), "100%");
  EXPECT_EQ(Format("%d", INT32_MIN), "-2147483648");
  EXPECT_EQ(Format("%s", static_cast<const char*>(nullptr)), "(null)");
  EXPECT_EQ(Format("%I64u", 0x123456789ull), "4886718345");
  EXPECT_EQ(Format("%ls", u"w\u00e7\u4e00"), "w\xE7?");
}

TEST(TraceFormat, WidthPaddingAndPrecision) {
  EXPECT_EQ(Format("[%5d]", 42), "[   42]");
  EXPECT_EQ(Format("[%-5d]", 42), "[42   ]");
  EXPECT_EQ(Format("[%05d]", 42), "[00042]");
  EXPECT_EQ(Format("[%05d]", -42), "[-0042]");
  EXPECT_EQ(Format("[%-05d]", 42), "[42   ]");
  EXPECT_EQ(Format("[%08lx]", DWORD{0xABC}), "[00000abc]");
  EXPECT_EQ(Format("[%#x] [%#06X] [%#x]", 0x1Fu, 0x1Fu, 0u), "[0x1f] [0X001F] [0]");
  EXPECT_EQ(Format("[%.3d]", 7), "[007]");
  EXPECT_EQ(Format("[%6s][%-6s][%.2s]", "abc", "abc", "abc"), "[   abc][abc   ][ab]");
  EXPECT_EQ(Format("[%3c]", 'x'), "[  x]");
  EXPECT_EQ(Format("%f|%", 1), "f|");  // no floating point; a lone '%' at the end writes nothing
}

TEST(TraceFormat, CutsToTheBlockNeverPastIt) {
  std::string longText(2000, 'a');
  char block[kTraceLineBlockSize + 16];
  std::fill(std::begin(block), std::end(block), '#');
  int written = FormatTraceLine(block, kTraceLineBlockSize, "x%sy%1000d", longText.c_str(), 5);
  EXPECT_EQ(written, 511);
  EXPECT_EQ(std::string(block).size(), 511u);
  EXPECT_EQ(block[0], 'x');
  for (size_t i = kTraceLineBlockSize; i < sizeof block; ++i) EXPECT_EQ(block[i], '#') << i;
  EXPECT_EQ(FormatTraceLine(block, 1, "abc"), 0);
  EXPECT_EQ(block[0], '\0');
  // An absurd width neither overflows nor hangs.
  EXPECT_EQ(FormatTraceLine(block, 8, "%99999999999999999999d", 1), 7);
}

TEST_F(TraceTest, NothingWithoutTheTraceBit) {
  Driver().debugFlags = 0xFFFF & ~DEBUG_TRACE_WINDOW;
  EXPECT_EQ(DriverTrace(TRACE_OPEN, nullptr), 1);
  EXPECT_FALSE(TraceWindowExists());
  EXPECT_EQ(DriverTrace(TRACE_LINE, "line"), 1);
  EXPECT_EQ(DriverTrace(TRACE_CLOSE, nullptr), 1);
  EXPECT_EQ(DriverTrace(99, nullptr), 1);
  EXPECT_TRUE(TraceWindowLines().empty());

  // A window opened earlier goes at a close sent after the bit went away: it
  // must not outlive the channels it traced.
  Driver().debugFlags = DEBUG_TRACE_WINDOW;
  DriverTrace(TRACE_OPEN, nullptr);
  Driver().debugFlags = 0;
  DriverTrace(TRACE_CLOSE, nullptr);
  EXPECT_FALSE(TraceWindowExists());
}

TEST_F(TraceTest, OpenLineClose) {
  DriverTrace(TRACE_LINE, "before the window");
  DriverTrace(TRACE_OPEN, nullptr);
  DriverTrace(TRACE_OPEN, nullptr);
  EXPECT_EQ(TraceWindowsCreated(), 1);
  EXPECT_TRUE(TraceWindowCloseGreyed());
  DriverTrace(TRACE_LINE, "InStreamInit : timer period = %u", 66u);
  EXPECT_EQ(TraceWindowLines(), std::vector<std::string>{"InStreamInit : timer period = 66"});
  EXPECT_EQ(TraceWindowSelection(), 0);
  DriverTrace(TRACE_CLOSE, nullptr);
  EXPECT_FALSE(TraceWindowExists());
  DriverTrace(TRACE_LINE, "after the window");
  EXPECT_TRUE(TraceWindowLines().empty());
  DriverTrace(TRACE_OPEN, nullptr);
  EXPECT_EQ(TraceWindowsCreated(), 2);
  EXPECT_TRUE(TraceWindowLines().empty());
}

TEST_F(TraceTest, KeepsTheNewest200AndSelectsTheLast) {
  DriverTrace(TRACE_OPEN, nullptr);
  for (int i = 1; i <= 250; ++i) DriverTrace(TRACE_LINE, "line %d", i);
  auto lines = TraceWindowLines();
  ASSERT_EQ(lines.size(), 200u);
  EXPECT_EQ(lines.front(), "line 51");
  EXPECT_EQ(lines.back(), "line 250");
  EXPECT_EQ(TraceWindowSelection(), 199);
}

TEST_F(TraceTest, LongLineIsCutTo511) {
  DriverTrace(TRACE_OPEN, nullptr);
  std::string longText(5000, 'z');
  DriverTrace(TRACE_LINE, "%s", longText.c_str());
  ASSERT_EQ(TraceWindowLines().size(), 1u);
  EXPECT_EQ(TraceWindowLines()[0], std::string(511, 'z'));
}

TEST_F(TraceTest, PauseDropsLinesAndSurvivesReopen) {
  DriverTrace(TRACE_OPEN, nullptr);
  DriverTrace(TRACE_LINE, "one");
  TraceWindowTogglePause();
  EXPECT_TRUE(TraceWindowPauseChecked());
  DriverTrace(TRACE_LINE, "dropped");
  DriverTrace(TRACE_CLOSE, nullptr);
  DriverTrace(TRACE_OPEN, nullptr);
  EXPECT_FALSE(TraceWindowRunning());
  DriverTrace(TRACE_LINE, "dropped too");
  TraceWindowTogglePause();
  DriverTrace(TRACE_LINE, "two");
  EXPECT_EQ(TraceWindowLines(), std::vector<std::string>{"two"});
}

// Lines from several threads reach the window, whose own thread (this one)
// shows them: the list keeps the last kTraceMaxLines, each thread's in the
// order it sent them.
TEST_F(TraceTest, ManyThreadsMayTrace) {
  DriverTrace(TRACE_OPEN, nullptr);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 100; ++i) DriverTrace(TRACE_LINE, "thread %d line %d", t, i);
    });
  }
  for (auto& thread : threads) thread.join();
  const std::vector<std::string> lines = TraceWindowLines();
  EXPECT_EQ(lines.size(), kTraceMaxLines);
  int last[4] = {-1, -1, -1, -1};
  for (const std::string& line : lines) {
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &t, &i), 2) << line;
    ASSERT_TRUE(t >= 0 && t < 4) << line;
    EXPECT_GT(i, last[t]) << line;
    last[t] = i;
  }
  EXPECT_TRUE(TraceWindowExists());
}

// A window opened on a thread that then ends goes with the thread, with the
// lines still queued for it; the next open makes a new one.
TEST_F(TraceTest, AWindowGoesWithItsThread) {
  std::thread opener([] {
    DriverTrace(TRACE_OPEN, nullptr);
    for (int i = 0; i < 100; ++i) DriverTrace(TRACE_LINE, "line %d", i);  // never pumped
    EXPECT_TRUE(TraceWindowExists());
  });
  opener.join();
  EXPECT_FALSE(TraceWindowExists());
  EXPECT_EQ(TraceWindowHandle(), nullptr);
  DriverTrace(TRACE_OPEN, nullptr);
  EXPECT_TRUE(TraceWindowExists());
  EXPECT_EQ(TraceWindowsCreated(), 2);
}

// Where no message loop runs, a window's queue holds 10,000 lines at most, as
// on Windows: later posts fail and their blocks are freed at once, so memory
// stays bounded. The lines that were queued still arrive when the loop runs.
TEST_F(TraceTest, AQueueNobodyReadsIsCapped) {
  DriverTrace(TRACE_OPEN, nullptr);
  for (int i = 0; i < 20000; ++i) DriverTrace(TRACE_LINE, "line %d", i);
  const std::vector<std::string> lines = TraceWindowLines();
  ASSERT_EQ(lines.size(), kTraceMaxLines);
  EXPECT_EQ(lines.back(), "line 9999");
}

// At DRV_FREE and unload the window must be gone before the module is: a
// window owned by another thread is destroyed by that thread while the caller
// waits, not merely asked to go.
TEST_F(TraceTest, AtTheModulesEndTheWindowIsGoneBeforeTheCallReturns) {
  std::atomic<bool> made{false}, stop{false};
  std::thread owner([&] {
    DriverTrace(TRACE_OPEN, nullptr);
    made = true;
    while (!stop) {
      platform::PumpMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  while (!made) std::this_thread::yield();
  HWND window = TraceWindowHandle();
  ASSERT_NE(window, nullptr);
  DriverTrace(TRACE_LINE, "queued");
  TraceWindowDestroyNow();
  EXPECT_EQ(platform::IsWindow(window), FALSE);
  EXPECT_FALSE(TraceWindowExists());
  stop = true;
  owner.join();
}

}  // namespace

namespace {

TEST_F(TraceTest, WindowMenuAndSize) {
  DriverTrace(TRACE_OPEN, nullptr);
  HWND window = TraceWindowHandle();
  ASSERT_NE(window, nullptr);
  HMENU menu = platform::GetSystemMenu(window, FALSE);
  EXPECT_EQ(platform::GetMenuState(menu, IDM_PAUSE, MF_BYCOMMAND) & (MF_CHECKED | MF_GRAYED), 0u);
  EXPECT_TRUE(TraceWindowCloseGreyed());
  // Picking any other system command is left to the default handling; the
  // window's own item is handled.
  EXPECT_EQ(platform::SendMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0), FALSE);
  EXPECT_EQ(platform::SendMessage(window, WM_SYSCOMMAND, IDM_PAUSE, 0), TRUE);
  EXPECT_FALSE(TraceWindowRunning());
  // The list always fills the window.
  ASSERT_TRUE(platform::MoveWindow(window, 10, 10, 300, 200, TRUE));
  RECT client{}, list{};
  platform::GetClientRect(window, &client);
  platform::GetClientRect(platform::GetDlgItem(window, kTraceListBoxId), &list);
  EXPECT_EQ(list.right, client.right);
  EXPECT_EQ(list.bottom, client.bottom);
}

TEST_F(TraceTest, BlocksThatAreNotOursAreLeftAlone) {
  DriverTrace(TRACE_OPEN, nullptr);
  HWND window = TraceWindowHandle();
  char foreign[kTraceLineBlockSize] = "not a line of ours";
  ASSERT_TRUE(platform::PostMessage(window, WM_TRACE_LINE, 0, reinterpret_cast<LPARAM>(foreign)));
  ASSERT_TRUE(platform::PostMessage(window, WM_TRACE_LINE, 0, 0));
  DriverTrace(TRACE_LINE, "ours");
  EXPECT_EQ(TraceWindowLines(), std::vector<std::string>{"ours"});
}

TEST_F(TraceTest, LinesQueuedAtCloseAreFreedNotShown) {
  DriverTrace(TRACE_OPEN, nullptr);
  for (int i = 0; i < 5; ++i) DriverTrace(TRACE_LINE, "queued %d", i);  // not yet delivered
  DriverTrace(TRACE_CLOSE, nullptr);  // the sanitizer build reports any block left behind
  EXPECT_FALSE(TraceWindowExists());
  DriverTrace(TRACE_OPEN, nullptr);
  EXPECT_TRUE(TraceWindowLines().empty());
}

TEST_F(TraceTest, AWindowIsDestroyedOnItsOwnThread) {
  DriverTrace(TRACE_OPEN, nullptr);
  HWND window = TraceWindowHandle();
  DriverTrace(TRACE_LINE, "before the close");
  std::thread([] { DriverTrace(TRACE_CLOSE, nullptr); }).join();
  EXPECT_EQ(TraceWindowHandle(), nullptr);
  EXPECT_TRUE(platform::IsWindow(window));  // until its own thread runs its message loop
  platform::PumpMessages();
  EXPECT_FALSE(platform::IsWindow(window));
}

}  // namespace
