// The driver as a host meets it: libzarncap.so loaded by path, DriverProc
// found by name, driven with the platform's messages through the driver manager.
// The library keeps its platform to itself (it exports DriverProc alone), so
// what it does inside is checked through the answers it gives.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/environment.h"
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
    testsupport::SetEnvironment("ZARNCAP_CAMERA", "none");
    platform::SetMessageBoxEcho(false);
    platform::ClearRecordedMessageBoxes();
    platform::ResetDefDriverProcLog();
  }
  void TearDown() override { testsupport::UnsetEnvironment("ZARNCAP_CAMERA"); }
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
  // Ids 0 and 1 go to DefDriverProc (which answers 0); an id never given out
  // is refused as an invalid handle.
  for (DWORD_PTR id : {DWORD_PTR{0}, DWORD_PTR{1}}) EXPECT_EQ(proc(id, host, 16384, 5, 6), 0);
  EXPECT_EQ(proc(0x12345678, host, 16384, 5, 6), static_cast<LRESULT>(DV_ERR_INVALHANDLE));
  // Nothing but DriverProc is reachable by name.
  EXPECT_EQ(dlsym(library, "_ZN8platform10OpenDriverEPKcS1_lPNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"),
            nullptr);
  EXPECT_EQ(proc(0, nullptr, DRV_DISABLE, 0, 0), 0);
  EXPECT_EQ(proc(0, nullptr, DRV_FREE, 0, 0), 1);
  dlclose(library);
}

TEST_F(DlopenTest, OpenWithoutACameraFailsWithError1) {
  VIDEO_OPEN_PARMS parms{};
  parms.dwSize = sizeof parms;
  parms.fccType = FOURCC_VCAP;
  parms.dwFlags = VIDEO_IN;
  // In two steps, as the platform's driver manager opens: the session open
  // already needs the port device, so it is refused and the open proper with
  // its error field never comes.
  std::string error;
  parms.dwError = 0xEEEE;
  HDRVR driver = platform::OpenDriver(LibraryPath().c_str(), "vcap", reinterpret_cast<LPARAM>(&parms), &error);
  EXPECT_EQ(driver, nullptr);
  EXPECT_EQ(error, "DRV_OPEN refused");
  EXPECT_EQ(parms.dwError, 0xEEEEu);

  // In one step, as older hosts open (text and parameters together): the
  // refusal says why in dwError, on every try.
  void* library = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto proc = reinterpret_cast<platform::DRIVERPROC>(dlsym(library, "DriverProc"));
  ASSERT_NE(proc, nullptr);
  for (const char* text : {"vcap", static_cast<const char*>(nullptr)}) {
    ASSERT_EQ(proc(0, nullptr, DRV_LOAD, 0, 0), 1);
    proc(0, nullptr, DRV_ENABLE, 0, 0);
    parms.dwError = 0;
    EXPECT_EQ(proc(0, nullptr, DRV_OPEN, reinterpret_cast<LPARAM>(text), reinterpret_cast<LPARAM>(&parms)), 0);
    EXPECT_EQ(parms.dwError, DV_ERR_NONSPECIFIC);
    // A refused only open is followed by the module's release, as a host does.
    proc(0, nullptr, DRV_DISABLE, 0, 0);
    proc(0, nullptr, DRV_FREE, 0, 0);
  }
  dlclose(library);
}

}  // namespace
