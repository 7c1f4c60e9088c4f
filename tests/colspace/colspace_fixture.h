// A clean colour layer per test: one record made current from a fresh settings
// file in a private temporary folder, released again afterwards.
#pragma once

#include <gtest/gtest.h>

#include "support/clean_driver.h"
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/driver_context.h"
#include "colspace/colspace.h"
#include "colspace/colspace_state.h"
#include "colspace/convert.h"
#include "colspace/format_header.h"

class ColSpaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::BeginCleanDriver();
    dir_ = std::filesystem::temp_directory_path() /
           ("zarncap-colspace-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    ini_ = (dir_ / "zarncap.ini").string();
  }
  void TearDown() override {
    for (HCOLSPACE h : records_) FreeColSpace(h, nullptr);
    records_.clear();
    testsupport::EndCleanDriver();
    std::filesystem::remove_all(dir_);
  }
  // A new record, current.
  ColSpace* Make() {
    HCOLSPACE h = InitColSpace(ini_.c_str());
    EXPECT_NE(h, nullptr);
    if (h != nullptr) records_.push_back(h);
    EXPECT_TRUE(SelectColSpace(h));
    return h;
  }
  // Forget a record released by the test itself.
  void Released(HCOLSPACE h) { std::erase(records_, h); }

  static BITMAPINFOHEADER Header(LONG w, LONG h, int bits, DWORD compression) {
    return MakeFormatHeader(w, h, static_cast<int16_t>(bits), compression);
  }

  std::filesystem::path dir_;
  std::string ini_;
  std::vector<HCOLSPACE> records_;
};
