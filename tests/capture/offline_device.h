// A NUBODevice without a camera behind it: a capture device record with the
// camera defaults, a real colour converter and a scripted sensor table, made
// current. Format rules, thresholds, settings and the stream queue can be
// tested on it; anything that talks to the camera needs the virtual camera.
#pragma once

#include <gtest/gtest.h>

#include "support/clean_driver.h"
#include <unistd.h>

#include <string>

#include "core/driver_context.h"
#include "camera/zarncam.h"
#include "capture/nubo_device.h"
#include "capture/stream.h"
#include "colspace/colspace.h"
#include "colspace/colspace_state.h"
#include "core/driver_state.h"
#include "platform/platform.h"

namespace capture_test {

// The sensor table's gain, as the scripted table keeps it.
inline int& ScriptedGain() {
  static int gain = 0;
  return gain;
}
inline bool& ScriptedGainFails() {
  static bool fails = false;
  return fails;
}

inline SensorOps* ScriptedSensorOps() {
  static SensorOps ops{};
  ops.GetGainLevel = [](SensorOps*) { return ScriptedGain(); };
  ops.SetGainLevel = [](SensorOps*, int level) {
    if (ScriptedGainFails()) return SENSOR_FAILED;
    ScriptedGain() = level;
    return SENSOR_OK;
  };
  return &ops;
}

// A settings file of this test alone: ctest runs tests in parallel processes.
inline std::string TempIni(const char* name) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string path = ::testing::TempDir() + std::to_string(::getpid()) + "-" + test->test_suite_name() + "-" +
                     test->name() + "-" + name;
  std::remove(path.c_str());
  return path;
}

class OfflineDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::BeginCleanDriver();
    ScriptedGain() = 0;
    ScriptedGainFails() = false;
    ini_ = TempIni("offline_device.ini");
    device_ = MakeDevice(kTransferSmall);
  }
  void TearDown() override {
    InStreamShutdown();
    FreeDevice();
    testsupport::EndCleanDriver();
  }

  NUBODevice* MakeDevice(DWORD maxTransfer) {
    auto* device = new NUBODevice;
    device->port = 1;
    device->hRawBuffer.reset(new BYTE[kRawBufferSize]());
    device->rawSize = kRawBufferSize;
    auto* camera = new CaptureDevice{};
    camera->port = 1;
    SetCaptureDefaults(camera);
    camera->maxTransfer = maxTransfer;
    device->captureDevice = camera;
    device->converter = InitColSpace(ini_.c_str());
    device->sensorOps = ScriptedSensorOps();
    device->fastStream = 1;
    EXPECT_NE(device->converter, nullptr);
    EXPECT_TRUE(SelectNUBODevice(device));
    return device;
  }

  void FreeDevice() {
    if (device_ == nullptr) return;
    ForgetNUBODevice();
    FreeColSpace(device_->converter, nullptr);
    FreeCaptureDevice(device_->captureDevice);
    delete device_;
    device_ = nullptr;
  }

  CaptureDevice& Cam() { return *device_->captureDevice; }

  std::string ini_;
  NUBODevice* device_ = nullptr;
};

}  // namespace capture_test
