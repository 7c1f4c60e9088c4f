// The driver as a host meets it: libzarncap.so loaded by path, DriverProc
// found by name, driven with the platform's messages through the driver manager.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/portable/driver_manager.h"
#include "platform/portable/testing.h"

namespace {

// libzarncap.so sits in the build folder, next to the test program or one level up.
std::string LibraryPath() {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "libzarncap.so";
  exe[n] = '\0';
  std::string folder(exe);
  folder = folder.substr(0, folder.find_last_of('/'));
  for (int up = 0; up < 2; ++up) {
    std::string candidate = folder + "/libzarncap.so";
    if (access(candidate.c_str(), R_OK) == 0) return candidate;
    folder = folder.substr(0, folder.find_last_of('/'));
  }
  return "libzarncap.so";
}

class DlopenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZARNCAP_CAMERA", "none", 1);
    platform::SetMessageBoxEcho(false);
    platform::ClearRecordedMessageBoxes();
    platform::ResetDefDriverProcLog();
  }
  void TearDown() override { unsetenv("ZARNCAP_CAMERA"); }
};

TEST_F(DlopenTest, ExportsDriverProcWithCLinkage) {
  void* library = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto proc = reinterpret_cast<platform::DRIVERPROC>(dlsym(library, "DriverProc"));
  ASSERT_NE(proc, nullptr);
  EXPECT_EQ(proc(0, nullptr, DRV_LOAD, 0, 0), 1);
  EXPECT_EQ(proc(0, nullptr, DRV_ENABLE, 0, 0), 0);
  EXPECT_EQ(proc(0, nullptr, DRV_QUERYCONFIGURE, 0, 0), 1);
  EXPECT_EQ(proc(0, nullptr, DRV_INSTALL, 0, 0), 1);
  HDRVR host = reinterpret_cast<HDRVR>(0x77);
  for (DWORD_PTR id : {DWORD_PTR{0}, DWORD_PTR{1}}) {
    EXPECT_EQ(proc(id, host, 16384, 5, 6), 0);
    auto call = platform::LastDefDriverProcCall();
    EXPECT_EQ(call.driverId, id);
    EXPECT_EQ(call.driver, host);
    EXPECT_EQ(call.msg, 16384u);
    EXPECT_EQ(call.lParam1, 5);
    EXPECT_EQ(call.lParam2, 6);
  }
  EXPECT_EQ(platform::DefDriverProcCallCount(), 2);
  EXPECT_EQ(proc(0, nullptr, DRV_DISABLE, 0, 0), 0);
  EXPECT_EQ(proc(0, nullptr, DRV_FREE, 0, 0), 1);
  dlclose(library);
}

TEST_F(DlopenTest, OpenWithoutACameraFailsWithError1) {
  VIDEO_OPEN_PARMS parms{};
  parms.dwSize = sizeof parms;
  parms.fccType = FOURCC_VCAP;
  parms.dwFlags = VIDEO_IN;
  std::string error;
  HDRVR driver = platform::OpenDriver(LibraryPath().c_str(), "vcap", reinterpret_cast<LPARAM>(&parms), &error);
  EXPECT_EQ(driver, nullptr);
  EXPECT_EQ(error, "DRV_OPEN refused");
  EXPECT_EQ(parms.dwError, DV_ERR_NONSPECIFIC);
  EXPECT_TRUE(platform::RecordedMessageBoxes().empty());  // no settings: DebugLevel 0

  // The manager unloaded the module after the failed open; a second try fails the same way.
  parms.dwError = 0;
  EXPECT_EQ(platform::OpenDriver(LibraryPath().c_str(), nullptr, reinterpret_cast<LPARAM>(&parms)), nullptr);
  EXPECT_EQ(parms.dwError, DV_ERR_NONSPECIFIC);
}

}  // namespace
