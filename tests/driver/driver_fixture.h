// A clean driver with the layer doubles installed and a settings folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/environment.h"
#include "driver/channel.h"
#include "zarncap/messages.h"
#include "channel_doubles.h"
#include "driver/driver_proc.h"
#include "driver/driver_reset.h"
#include "platform/portable/testing.h"
#include "trace/trace_window.h"

// An INI reader of its own, independent of the driver's: sections and keys
// lower-cased, values trimmed, "section/key" -> value.
inline std::map<std::string, std::string> ReadIniIndependently(const std::string& path) {
  std::map<std::string, std::string> values;
  std::ifstream in(path);
  std::string line, section;
  auto trim = [](std::string s) {
    s.erase(0, s.find_first_not_of(" \t\r"));
    s.erase(s.find_last_not_of(" \t\r") + 1);
    return s;
  };
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = lower(trim(line.substr(1, line.find(']') - 1)));
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = section + "/" + lower(trim(line.substr(0, eq)));
    if (!values.count(key)) values[key] = trim(line.substr(eq + 1));
  }
  return values;
}

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testsupport::MakeTempFolder("zarncap-driver-");
    const char* saved = std::getenv("ZARNCAP_CONFIG_DIR");
    savedConfig_ = saved ? saved : "";
    testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", folder_.c_str());
    ResetDriverForTesting();
    FakeLayers::Install();
    SetTraceEcho(false);
    platform::ClearRecordedMessageBoxes();
    platform::SetMessageBoxEcho(false);
    platform::ResetDefDriverProcLog();
  }
  void TearDown() override {
    ResetDriverForTesting();
    std::remove(IniFile().c_str());  // outside the test's folder when the system keeps it elsewhere
    if (DIR* dir = opendir(folder_.c_str())) {
      while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") unlink((folder_ + "/" + name).c_str());
      }
      closedir(dir);
    }
    rmdir(folder_.c_str());
    if (savedConfig_.empty()) testsupport::UnsetEnvironment("ZARNCAP_CONFIG_DIR");
    else testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", savedConfig_.c_str());
  }

  // Where the platform's profile functions keep a settings file of this name.
  std::string IniFile(const std::string& name = "zarncap.ini") const {
    return testsupport::ProfileFilePath(folder_, name);
  }
  void WriteIni(const std::string& text, const std::string& name = "zarncap.ini") const {
    const std::filesystem::path path(IniFile(name));
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream(path) << text;
  }
  std::string ReadIni(const std::string& name = "zarncap.ini") const {
    std::ifstream in(IniFile(name));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  static VIDEO_OPEN_PARMS Parms(DWORD flags) {
    VIDEO_OPEN_PARMS p{};
    p.dwSize = sizeof p;
    p.fccType = FOURCC_VCAP;
    p.dwFlags = flags;
    p.dwError = 0xDEAD;
    return p;
  }
  // DRV_OPEN as the host sends it; the answer is the driver id.
  static DWORD_PTR Open(VIDEO_OPEN_PARMS* parms, const char* openString = nullptr) {
    return static_cast<DWORD_PTR>(DriverProc(0, nullptr, DRV_OPEN, reinterpret_cast<LPARAM>(openString),
                                             reinterpret_cast<LPARAM>(parms)));
  }
  static LRESULT Close(DWORD_PTR id) { return DriverProc(id, nullptr, DRV_CLOSE, 0, 0); }

  std::string folder_;
  std::string savedConfig_;
};
