#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/portable/driver_manager.h"

namespace {

// An in-process driver that logs what the manager sends it.
struct FakeDriver {
  static inline std::vector<std::string> log;
  static inline LRESULT loadAnswer = 1;
  static inline DWORD_PTR nextId = 100;
  static inline std::string lastOpenString;

  static LRESULT WINAPI Proc(DWORD_PTR id, HDRVR, UINT msg, LPARAM p1, LPARAM p2) {
    switch (msg) {
      case DRV_LOAD: log.push_back("load"); return loadAnswer;
      case DRV_ENABLE: log.push_back("enable"); return 0;
      case DRV_OPEN:
        // The manager passes the open text in UTF-16, as the platform's does.
        if (p1 != 0) {
          lastOpenString.clear();
          for (auto* c = reinterpret_cast<const char16_t*>(p1); *c != 0; ++c) lastOpenString.push_back(char(*c));
        }
        log.push_back("open " + std::to_string(p2));
        return p2 == 666 ? 0 : static_cast<LRESULT>(nextId++);
      case DRV_CLOSE: log.push_back("close " + std::to_string(id)); return 1;
      case DRV_DISABLE: log.push_back("disable"); return 0;
      case DRV_FREE: log.push_back("free"); return 1;
      default: log.push_back("msg " + std::to_string(msg) + " id " + std::to_string(id)); return 77;
    }
  }
  static void Reset() {
    log.clear();
    loadAnswer = 1;
    nextId = 100;
    lastOpenString = "(none)";
  }
};

using Log = std::vector<std::string>;

TEST(DriverManager, MessageOrderOverTwoHandles) {
  FakeDriver::Reset();
  HDRVR a = platform::OpenDriverProc(&FakeDriver::Proc, "vcap LPT2", 5);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(FakeDriver::lastOpenString, "vcap LPT2");
  HDRVR b = platform::OpenDriverProc(&FakeDriver::Proc, nullptr, 0);
  ASSERT_NE(b, nullptr);
  // With open parameters the open comes in two steps, as the platform's driver
  // manager sends it: a session open with the text, then the open proper; the
  // handle's messages go to the second, and its close closes both.
  EXPECT_EQ(platform::DriverId(a), 101u);
  EXPECT_EQ(platform::SendDriverMessage(b, 0x4000, 0, 0), 77);
  EXPECT_EQ(platform::CloseDriver(a, 0, 0), 1);
  EXPECT_EQ(platform::CloseDriver(b, 0, 0), 1);
  EXPECT_EQ(FakeDriver::log, (Log{"load", "enable", "open 0", "open 5", "open 0", "msg 16384 id 102", "close 101",
                                  "close 100", "close 102", "disable", "free"}));
  // A closed handle is gone: nothing more reaches the driver.
  EXPECT_EQ(platform::SendDriverMessage(a, 0x4000, 0, 0), 0);
  EXPECT_EQ(platform::CloseDriver(a, 0, 0), 0);
  EXPECT_EQ(FakeDriver::log.size(), 11u);
}

TEST(DriverManager, FailedOpenOfTheOnlyHandleUnloadsTheModule) {
  FakeDriver::Reset();
  std::string error;
  EXPECT_EQ(platform::OpenDriverProc(&FakeDriver::Proc, nullptr, 666, &error), nullptr);
  EXPECT_EQ(error, "DRV_OPEN refused");
  EXPECT_EQ(FakeDriver::log, (Log{"load", "enable", "open 0", "open 666", "close 100", "disable", "free"}));
}

TEST(DriverManager, LoadMustAnswerOne) {
  FakeDriver::Reset();
  FakeDriver::loadAnswer = 0;
  std::string error;
  EXPECT_EQ(platform::OpenDriverProc(&FakeDriver::Proc, nullptr, 0, &error), nullptr);
  EXPECT_EQ(error, "DRV_LOAD refused");
  EXPECT_EQ(FakeDriver::log, (Log{"load"}));
}

TEST(DriverManager, MissingLibrary) {
  std::string error;
  EXPECT_EQ(platform::OpenDriver("/nonexistent/libnothing.so", nullptr, 0, &error), nullptr);
  EXPECT_NE(error.find("cannot load"), std::string::npos);
  EXPECT_EQ(platform::OpenDriver(nullptr, nullptr, 0, &error), nullptr);
}

}  // namespace
