#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/environment.h"
#include "platform/platform.h"
#include "platform/portable/testing.h"

namespace {

TEST(NearestPaletteIndex, LeastSquaredDistanceLowestIndexOnTie) {
  const PALETTEENTRY palette[] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {250, 5, 0, 0}, {255, 0, 0, 0}};
  EXPECT_EQ(platform::GetNearestPaletteIndex(palette, 5, 255, 0, 0), 1u);
  EXPECT_EQ(platform::GetNearestPaletteIndex(palette, 5, 251, 4, 0), 3u);
  EXPECT_EQ(platform::GetNearestPaletteIndex(palette, 5, 10, 10, 10), 0u);
  EXPECT_EQ(platform::GetNearestPaletteIndex(palette, 5, 0, 200, 255), 2u);
  // (128,128,0) is as far from black as from pure green plus red: the lower index wins.
  const PALETTEENTRY tie[] = {{100, 0, 0, 0}, {0, 100, 0, 0}};
  EXPECT_EQ(platform::GetNearestPaletteIndex(tie, 2, 50, 50, 0), 0u);
  EXPECT_EQ(platform::GetNearestPaletteIndex(palette, 0, 1, 2, 3), platform::kPaletteIndexInvalid);
}

TEST(SystemLanguage, FromTheLocale) {
  const char* saved[3];
  std::string values[3];
  const char* names[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (int i = 0; i < 3; ++i) {
    saved[i] = std::getenv(names[i]);
    if (saved[i]) values[i] = saved[i];
    testsupport::UnsetEnvironment(names[i]);
  }
  EXPECT_EQ(platform::SystemLanguageCode(), "enu");
  testsupport::SetEnvironment("LANG", "en_GB.UTF-8");
  EXPECT_EQ(platform::SystemLanguageCode(), "eng");
  testsupport::SetEnvironment("LC_MESSAGES", "de_DE.UTF-8");
  EXPECT_EQ(platform::SystemLanguageCode(), "deu");
  testsupport::SetEnvironment("LC_ALL", "en_US");
  EXPECT_EQ(platform::SystemLanguageCode(), "enu");
  for (auto [locale, code] : {std::pair{"fr_FR@euro", "fra"}, {"es_ES.UTF-8", "esp"}, {"it", "ita"},
                              {"C", "enu"}, {"POSIX", "enu"}, {"pt_BR", "enu"}}) {
    testsupport::SetEnvironment("LC_ALL", locale);
    EXPECT_EQ(platform::SystemLanguageCode(), code) << locale;
  }
  for (int i = 0; i < 3; ++i) {
    if (saved[i]) testsupport::SetEnvironment(names[i], values[i].c_str());
    else testsupport::UnsetEnvironment(names[i]);
  }
}

struct CallbackLog {
  static inline HDRVR device;
  static inline UINT msg;
  static inline DWORD_PTR user, p1, p2;
  static void CALLBACK Record(HDRVR d, UINT m, DWORD_PTR u, DWORD_PTR a, DWORD_PTR b) {
    device = d, msg = m, user = u, p1 = a, p2 = b;
  }
};

TEST(DriverCallback, OnlyFunctionsAreCalled) {
  auto fn = reinterpret_cast<DWORD_PTR>(&CallbackLog::Record);
  HDRVR device = reinterpret_cast<HDRVR>(0x1234);
  EXPECT_TRUE(platform::DriverCallback(fn, DCB_FUNCTION, device, MM_DRVM_DATA, 5, 6, 7));
  EXPECT_EQ(CallbackLog::device, device);
  EXPECT_EQ(CallbackLog::msg, MM_DRVM_DATA);
  EXPECT_EQ(CallbackLog::user + CallbackLog::p1 + CallbackLog::p2, 18u);
  CallbackLog::msg = 0;
  EXPECT_FALSE(platform::DriverCallback(fn, DCB_WINDOW, device, MM_DRVM_OPEN, 0, 0, 0));
  EXPECT_FALSE(platform::DriverCallback(fn, DCB_NULL, device, MM_DRVM_OPEN, 0, 0, 0));
  EXPECT_FALSE(platform::DriverCallback(0, DCB_FUNCTION, device, MM_DRVM_OPEN, 0, 0, 0));
  EXPECT_EQ(CallbackLog::msg, 0u);
}

TEST(DefDriverProc, AnswersZeroAndRecords) {
  platform::ResetDefDriverProcLog();
  EXPECT_EQ(platform::DefDriverProc(1, nullptr, 16384, 2, 3), 0);
  auto call = platform::LastDefDriverProcCall();
  EXPECT_EQ(call.driverId, 1u);
  EXPECT_EQ(call.msg, 16384u);
  EXPECT_EQ(call.lParam1, 2);
  EXPECT_EQ(call.lParam2, 3);
  EXPECT_EQ(platform::DefDriverProcCallCount(), 1);
}

TEST(ModuleVersion, IsTheProjectVersion) { EXPECT_EQ(platform::ModuleVersionText(), "1.0.0"); }

}  // namespace
