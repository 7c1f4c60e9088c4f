// A capture application in a test: opens channels on the driver through the
// portable driver manager (as winmm would), against the virtual camera, and
// sends the video messages an application sends. Each test gets its own
// settings file, named in the open string.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/environment.h"
#include "core/driver_state.h"
#include "platform/platform.h"
#include "platform/portable/driver_manager.h"
#include "platform/portable/testing.h"
#include "platform/types.h"
#include "sim/register.h"
#include "zarncap/formats.h"
#include "zarncap/messages.h"

#include "driver/driver_proc.h"

namespace capture_host {


inline BITMAPINFOHEADER Header(LONG w, LONG h, WORD bits = 24, DWORD compression = BI_RGB) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = w;
  header.biHeight = h;
  header.biPlanes = 1;
  header.biBitCount = bits;
  header.biCompression = compression;
  const LONG stride = w % 4 == 0 ? w : w + 4 - w % 4;
  const DWORD base = static_cast<DWORD>(stride * h);
  if (compression == BI_RGB) header.biSizeImage = base * bits / 8;
  if (compression == FOURCC_I420 || compression == FOURCC_IYUV || compression == FOURCC_YV12) {
    header.biSizeImage = base * 3 / 2;
  }
  if (compression == FOURCC_YUY2) header.biSizeImage = base * 2;
  if (compression == FOURCC_YVU9) header.biSizeImage = base * 9 / 8;
  header.biXPelsPerMeter = header.biYPelsPerMeter = 2000;
  return header;
}

// Open parameters for a channel of the given kind.
inline VIDEO_OPEN_PARMS Parms(DWORD kind) {
  VIDEO_OPEN_PARMS parms{};
  parms.dwSize = sizeof parms;
  parms.fccType = FOURCC_VCAP;
  parms.dwFlags = kind;
  return parms;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The keys of one section of a settings file, in file order.
inline std::vector<std::pair<std::string, std::string>> SectionKeys(const std::string& path,
                                                                    const std::string& section) {
  std::vector<std::pair<std::string, std::string>> keys;
  std::istringstream in(ReadFile(path));
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inside = line == "[" + section + "]";
      continue;
    }
    auto eq = line.find('=');
    if (inside && eq != std::string::npos) keys.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return keys;
}

// The virtual camera's own record of the frames it delivered (its dump folder):
// the number of the last one, and the fields of frame n (mode, width, height...).
inline long LastDumpedNumber(const std::string& dir) {
  long last = -1;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      long n = -1;
      if (std::sscanf(e->d_name, "frame-%ld.txt", &n) == 1 && n > last) last = n;
    }
    closedir(d);
  }
  return last;
}
inline std::map<std::string, long> DumpedFrame(const std::string& dir, long n) {
  std::map<std::string, long> fields;
  std::istringstream in(ReadFile(dir + "/frame-" + std::to_string(n) + ".txt"));
  std::string key;
  long value;
  while (in >> key >> value) fields[key] = value;
  return fields;
}
inline std::map<std::string, long> LastDumpedFrame(const std::string& dir) {
  return DumpedFrame(dir, LastDumpedNumber(dir));
}

// The answers a video message may give at all.
inline bool IsDriverAnswer(LRESULT r) {
  return r == static_cast<LRESULT>(DV_ERR_OK) ||
         (r >= static_cast<LRESULT>(DV_ERR_BASE) && r <= static_cast<LRESULT>(DV_ERR_LASTERROR));
}

class CaptureHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::RegisterVirtualCamera();
    platform::SetMessageBoxEcho(false);
    platform::ClearRecordedMessageBoxes();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    ini_ = ::testing::TempDir() + "zarncap-" + info->test_suite_name() + "-" + info->name() + ".ini";
    std::remove(ini_.c_str());
    Camera("sim");
    if (!DriverReachesTheCamera()) GTEST_SKIP() << "the driver's channel operations are not bound to the port layer";
  }

  // Whether a channel open gets as far as the port device at all (the driver
  // layer binds its channel operations to the layers below).
  bool DriverReachesTheCamera() {
    static const bool reaches = [this] {
      DWORD error = 0;
      HDRVR driver = Open(VIDEO_IN, &error);
      if (driver != nullptr) Close(driver);
      std::remove(ini_.c_str());
      return driver != nullptr || error != DV_ERR_NONSPECIFIC;
    }();
    return reaches;
  }
  void TearDown() override {
    for (auto it = open_.rbegin(); it != open_.rend(); ++it) platform::CloseDriver(*it, 0, 0);
    open_.clear();
    platform::SetClockSource(nullptr);
    testsupport::UnsetEnvironment("ZARNCAP_CAMERA");
  }

  void Camera(const std::string& spec) { testsupport::SetEnvironment("ZARNCAP_CAMERA", spec.c_str()); }
  void Setting(const char* section, const char* key, const char* value) {
    platform::WritePrivateProfileString(section, key, value, ini_.c_str());
  }

  // Opens a channel of the given kind; nullptr when the driver refused.
  HDRVR Open(DWORD kind, DWORD* error = nullptr) {
    VIDEO_OPEN_PARMS parms = Parms(kind);
    parms.dwError = 0xFFFF;
    const std::string openString = "vcap " + ini_;
    // The device set-up waits out camera resets and register settle times on
    // the millisecond clock; a virtual clock that moves on with every busy-wait
    // turn makes that instant. Frames and streams then run on real time.
    platform::VirtualClock clock(platform::TimeGetTime());
    platform::SetClockSource(&clock);
    HDRVR driver = platform::OpenDriverProc(&DriverProc, openString.c_str(), reinterpret_cast<LPARAM>(&parms));
    platform::SetClockSource(nullptr);
    if (error != nullptr) *error = parms.dwError;
    if (driver != nullptr) open_.push_back(driver);
    return driver;
  }
  void Close(HDRVR driver) {
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if (*it == driver) {
        open_.erase(it);
        break;
      }
    }
    platform::CloseDriver(driver, 0, 0);
  }

  static LRESULT Send(HDRVR driver, UINT msg, LPARAM l1 = 0, LPARAM l2 = 0) {
    return platform::SendDriverMessage(driver, msg, l1, l2);
  }
  template <typename T>
  static LPARAM P(T* pointer) {
    return reinterpret_cast<LPARAM>(pointer);
  }

  static LRESULT SetFormat(HDRVR driver, const BITMAPINFOHEADER& header) {
    BITMAPINFOHEADER copy = header;
    VIDEOCONFIGPARMS parms{nullptr, &copy, sizeof copy, nullptr, 0};
    return Send(driver, DVM_FORMAT, VIDEO_CONFIGURE_SET, P(&parms));
  }
  static BITMAPINFOHEADER GetFormat(HDRVR driver) {
    BITMAPINFOHEADER header{};
    VIDEOCONFIGPARMS parms{nullptr, &header, sizeof header, nullptr, 0};
    EXPECT_EQ(Send(driver, DVM_FORMAT, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, P(&parms)), 0);
    return header;
  }
  // One frame into buffer (resized to the format's image size).
  static LRESULT Frame(HDRVR driver, std::vector<BYTE>& buffer, VIDEOHDR* out = nullptr) {
    VIDEOHDR header{};
    header.lpData = buffer.data();
    header.dwBufferLength = static_cast<DWORD>(buffer.size());
    header.dwFlags = VHDR_PREPARED;
    LRESULT r = Send(driver, DVM_FRAME, P(&header));
    if (out != nullptr) *out = header;
    return r;
  }

  // A stream's buffers: `count` of `size` bytes, each with its header.
  struct StreamBuffers {
    std::vector<std::vector<BYTE>> data;
    std::vector<VIDEOHDR> headers;
  };
  using StreamNotify = void(CALLBACK*)(HDRVR, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
  // DVM_STREAM_INIT with a function callback, then every buffer marked
  // prepared and queued; the buffers must outlive the stream.
  static void InitAndQueueStream(HDRVR video, DWORD microSecondsPerFrame, StreamNotify callback, void* user,
                                 StreamBuffers& buffers, std::size_t count, DWORD size) {
    VIDEO_STREAM_INIT_PARMS parms{};
    parms.dwMicroSecPerFrame = microSecondsPerFrame;
    parms.dwCallback = reinterpret_cast<DWORD_PTR>(callback);
    parms.dwCallbackInst = reinterpret_cast<DWORD_PTR>(user);
    parms.dwFlags = CALLBACK_FUNCTION;
    ASSERT_EQ(Send(video, DVM_STREAM_INIT, P(&parms), sizeof parms), 0);
    buffers.data.assign(count, std::vector<BYTE>(size));
    buffers.headers.assign(count, VIDEOHDR{});
    for (std::size_t i = 0; i < count; ++i) {
      buffers.headers[i].lpData = buffers.data[i].data();
      buffers.headers[i].dwBufferLength = size;
      buffers.headers[i].dwFlags = VHDR_PREPARED;
      ASSERT_EQ(Send(video, DVM_STREAM_ADDBUFFER, P(&buffers.headers[i]), sizeof(VIDEOHDR)), 0);
    }
  }

  std::string ini_;
  std::vector<HDRVR> open_;
};

}  // namespace capture_host
