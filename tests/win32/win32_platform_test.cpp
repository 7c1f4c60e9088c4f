// The Win32 twin of the platform seam, as the DLL uses it, under Wine: the
// promises the driver relies on that the system's own calls do not make by
// themselves (a timer kill that waits for a running callback, one palette
// object per table giving the same answers) and the profile functions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace {

std::atomic<bool> g_entered{false};
std::atomic<bool> g_release{false};
std::atomic<bool> g_finished{false};

void CALLBACK SlowTick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  g_entered = true;
  while (!g_release) std::this_thread::yield();
  g_finished = true;
}

TEST(Win32Timer, KillWaitsForARunningCallback) {
  g_entered = g_release = g_finished = false;
  UINT id = platform::TimeSetEvent(1, 1, &SlowTick, 0, TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  while (!g_entered) std::this_thread::yield();
  std::thread releaser([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    g_release = true;
  });
  EXPECT_EQ(platform::TimeKillEvent(id), TIMERR_NOERROR);
  EXPECT_TRUE(g_finished);
  releaser.join();
  EXPECT_NE(platform::TimeKillEvent(id), TIMERR_NOERROR);  // gone: a second kill names nothing
}

std::atomic<UINT> g_self{0};
std::atomic<int> g_rounds{0};

// The stream engine's pattern: each tick kills its own timer and sets the next.
void CALLBACK ChainTick(UINT id, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  EXPECT_EQ(platform::TimeKillEvent(id), TIMERR_NOERROR);
  if (++g_rounds < 5) g_self = platform::TimeSetEvent(2, 1, &ChainTick, 0, TIME_ONESHOT);
}

TEST(Win32Timer, CallbackMayKillItselfAndSetTheNext) {
  g_rounds = 0;
  g_self = platform::TimeSetEvent(2, 1, &ChainTick, 0, TIME_ONESHOT);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (g_rounds < 5 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_EQ(g_rounds, 5);
}

// The least squared distance, lowest index on a tie: what the portable twin answers.
UINT Nearest(const std::vector<PALETTEENTRY>& entries, BYTE r, BYTE g, BYTE b) {
  UINT best = 0;
  long bestDistance = -1;
  for (UINT i = 0; i < entries.size(); ++i) {
    long dr = entries[i].peRed - r, dg = entries[i].peGreen - g, db = entries[i].peBlue - b;
    long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) best = i, bestDistance = distance;
  }
  return best;
}

TEST(Win32Palette, NearestIndexMatchesTheLeastDistanceOverSeveralTables) {
  std::vector<PALETTEENTRY> grey(16), colours(27);
  for (BYTE i = 0; i < 16; ++i) grey[i] = {BYTE(i * 17), BYTE(i * 17), BYTE(i * 17), 0};
  for (BYTE i = 0; i < 27; ++i) colours[i] = {BYTE(i % 3 * 127), BYTE(i / 3 % 3 * 127), BYTE(i / 9 * 127), 0};
  // Alternating tables: the cached palette object follows the table it is asked about.
  for (int round = 0; round < 2; ++round) {
    for (const auto* table : {&grey, &colours}) {
      for (int c = 0; c < 256; c += 5) {
        const BYTE r = BYTE(c), g = BYTE(255 - c), b = BYTE(c * 7);
        ASSERT_EQ(platform::GetNearestPaletteIndex(table->data(), UINT(table->size()), r, g, b),
                  Nearest(*table, r, g, b));
      }
    }
  }
  EXPECT_EQ(platform::GetNearestPaletteIndex(nullptr, 0, 1, 2, 3), CLR_INVALID);
}

TEST(Win32Profile, WriteThenReadThroughTheSystemsFunctions) {
  const std::string file = (std::filesystem::temp_directory_path() / "zarncap-win32-profile.ini").string();
  std::filesystem::remove(file);
  EXPECT_TRUE(platform::WritePrivateProfileString("ZARNCAP", "LPT_Port", "3", file.c_str()));
  EXPECT_EQ(platform::GetPrivateProfileInt("zarncap", "lpt_port", 69, file.c_str()), 3u);
  EXPECT_EQ(platform::GetPrivateProfileInt("ZARNCAP", "Missing", 69, file.c_str()), 69u);
  char text[8];
  EXPECT_EQ(platform::GetPrivateProfileString("ZARNCAP", "Missing", "U.S. English", text, sizeof text, file.c_str()),
            7u);
  EXPECT_STREQ(text, "U.S. En");  // cut to fit, terminated
  std::filesystem::remove(file);
}

TEST(Win32Host, LanguageIsThreeLowerCaseLetters) {
  const std::string code = platform::SystemLanguageCode();
  ASSERT_EQ(code.size(), 3u);
  for (char c : code) EXPECT_TRUE(c >= 'a' && c <= 'z') << code;
}

}  // namespace
