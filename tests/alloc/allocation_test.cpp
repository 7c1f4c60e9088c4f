// Frames cost no heap allocation: this program replaces operator new and
// counts every allocation of any thread while the driver captures 100 single
// frames and streams 100 frames, each time after the first.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "support/environment.h"
#include "driver/driver_reset.h"
#include "platform/platform.h"
#include "platform/portable/testing.h"
#include "platform/types.h"
#include "sim/register.h"
#include "zarncap/formats.h"

#include "driver/driver_proc.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// The replacements below pair malloc with free; the compiler, seeing them
// inlined into library code that uses new and delete, would call that a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

std::atomic<int> g_delivered{0};
std::atomic<bool> g_requeue{true};

void CALLBACK CountFrames(HDRVR, UINT msg, DWORD_PTR driver, DWORD_PTR header, DWORD_PTR) {
  if (msg != MM_DRVM_DATA || !g_requeue.load()) return;
  g_delivered.fetch_add(1);
  // Queue the buffer again at once, as a capture application does.
  DriverProc(driver, nullptr, DVM_STREAM_ADDBUFFER, static_cast<LPARAM>(header), sizeof(VIDEOHDR));
}

class AllocationTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ResetDriverForTesting();
    sim::RegisterVirtualCamera();
    testsupport::SetEnvironment("ZARNCAP_CAMERA", "sim:period=2");
    platform::SetMessageBoxEcho(false);
    ini_ = ::testing::TempDir() + "zarncap-alloc-" + std::to_string(::getpid()) + ".ini";
    DriverProc(0, nullptr, DRV_LOAD, 0, 0);
    DriverProc(0, nullptr, DRV_ENABLE, 0, 0);
    VIDEO_OPEN_PARMS parms{};
    parms.dwSize = sizeof parms;
    parms.fccType = FOURCC_VCAP;
    parms.dwFlags = VIDEO_IN;
    const std::string openString = "vcap " + ini_;
    platform::VirtualClock clock(platform::TimeGetTime());
    platform::SetClockSource(&clock);
    video_ = static_cast<DWORD_PTR>(
        DriverProc(0, nullptr, DRV_OPEN, reinterpret_cast<LPARAM>(openString.c_str()), reinterpret_cast<LPARAM>(&parms)));
    platform::SetClockSource(nullptr);
    ASSERT_GT(video_, 1u);
  }
  void TearDown() override {
    DriverProc(video_, nullptr, DRV_CLOSE, 0, 0);
    DriverProc(0, nullptr, DRV_DISABLE, 0, 0);
    DriverProc(0, nullptr, DRV_FREE, 0, 0);
    ResetDriverForTesting();
  }

  // The format of the parameter ("160x120 rgb24" and so on) set on the channel.
  DWORD SetFormat(const std::string& name) {
    struct Format {
      const char* name;
      LONG w, h;
      WORD bits;
      DWORD compression;
    };
    const Format formats[] = {{"160x120 rgb24", 160, 120, 24, BI_RGB},
                              {"320x240 rgb24", 320, 240, 24, BI_RGB},
                              {"640x480 rgb24", 640, 480, 24, BI_RGB},
                              {"176x144 i420", 176, 144, 12, FOURCC_I420},
                              {"160x120 rgb16", 160, 120, 16, BI_RGB},
                              {"160x120 pal8", 160, 120, 8, BI_RGB}};
    for (const Format& f : formats) {
      if (name != f.name) continue;
      BITMAPINFOHEADER header{};
      header.biSize = sizeof header;
      header.biWidth = f.w;
      header.biHeight = f.h;
      header.biPlanes = 1;
      header.biBitCount = f.bits;
      header.biCompression = f.compression;
      VIDEOCONFIGPARMS parms{nullptr, &header, sizeof header, nullptr, 0};
      EXPECT_EQ(DriverProc(video_, nullptr, DVM_FORMAT, VIDEO_CONFIGURE_SET, reinterpret_cast<LPARAM>(&parms)), 0);
      return static_cast<DWORD>(f.w * f.h * 3);  // room for any of them
    }
    ADD_FAILURE() << "no format " << name;
    return 0;
  }

  std::string ini_;
  DWORD_PTR video_ = 0;
};

TEST_P(AllocationTest, SingleFramesAllocateNothingAfterTheFirst) {
  std::vector<BYTE> buffer(SetFormat(GetParam()));
  VIDEOHDR header{};
  header.lpData = buffer.data();
  header.dwBufferLength = static_cast<DWORD>(buffer.size());
  header.dwFlags = VHDR_PREPARED;
  ASSERT_EQ(DriverProc(video_, nullptr, DVM_FRAME, reinterpret_cast<LPARAM>(&header), 0), 0);
  const long before = g_allocations.load();
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(DriverProc(video_, nullptr, DVM_FRAME, reinterpret_cast<LPARAM>(&header), 0), 0);
  }
  EXPECT_EQ(g_allocations.load() - before, 0);
}

TEST_P(AllocationTest, StreamedFramesAllocateNothingAfterTheFirst) {
  const DWORD size = SetFormat(GetParam());
  std::vector<std::vector<BYTE>> data(4, std::vector<BYTE>(size));
  std::vector<VIDEOHDR> headers(4);
  VIDEO_STREAM_INIT_PARMS init{};
  init.dwMicroSecPerFrame = 2000;
  init.dwCallback = reinterpret_cast<DWORD_PTR>(&CountFrames);
  init.dwCallbackInst = video_;
  init.dwFlags = CALLBACK_FUNCTION;
  ASSERT_EQ(DriverProc(video_, nullptr, DVM_STREAM_INIT, reinterpret_cast<LPARAM>(&init), sizeof init), 0);
  for (size_t i = 0; i < headers.size(); ++i) {
    headers[i].lpData = data[i].data();
    headers[i].dwBufferLength = size;
    headers[i].dwFlags = VHDR_PREPARED;
    ASSERT_EQ(DriverProc(video_, nullptr, DVM_STREAM_ADDBUFFER, reinterpret_cast<LPARAM>(&headers[i]), sizeof(VIDEOHDR)),
              0);
  }
  g_delivered = 0;
  g_requeue = true;
  ASSERT_EQ(DriverProc(video_, nullptr, DVM_STREAM_START, 0, 0), 0);
  auto waitFor = [](int frames) {
    for (int i = 0; i < 5000 && g_delivered.load() < frames; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return g_delivered.load() >= frames;
  };
  ASSERT_TRUE(waitFor(1));
  const long before = g_allocations.load();
  const int first = g_delivered.load();
  ASSERT_TRUE(waitFor(first + 100));
  const long during = g_allocations.load() - before;
  g_requeue = false;
  ASSERT_EQ(DriverProc(video_, nullptr, DVM_STREAM_RESET, 0, 0), 0);
  ASSERT_EQ(DriverProc(video_, nullptr, DVM_STREAM_FINI, 0, 0), 0);
  EXPECT_EQ(during, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, AllocationTest,
                         ::testing::Values("160x120 rgb24", "320x240 rgb24", "640x480 rgb24", "176x144 i420",
                                           "160x120 rgb16", "160x120 pal8"));

}  // namespace
