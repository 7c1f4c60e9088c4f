// Test fixture: a clean driver, port and camera layer on a virtual clock, with
// the virtual camera behind a recording link as the port device.
#pragma once

#include <gtest/gtest.h>

#include "support/clean_driver.h"

#include "core/driver_context.h"
#include "camera/recording_camera.h"
#include "camera/zarncam.h"
#include "core/driver_state.h"
#include "platform/platform.h"
#include "platform/portable/testing.h"
#include "port/port.h"
#include "port/port_device.h"

class CameraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::BeginCleanDriver(&clock);
    RecordingCamera::Install(Options());
    Driver().portDevice = OpenPortDevice(kPortDeviceIndex);
    fake = RecordingCamera::Current();
    ASSERT_NE(fake, nullptr);
  }

  void TearDown() override {
    CloseCaptureDevices();
    ClosePortDevice(Driver().portDevice);
    testsupport::EndCleanDriver();
  }

  // A capture device on LPT1, made current; the bus and command logs start empty.
  CaptureDevice* Open() {
    CaptureDevice* device = InitCaptureDevice(1, 0);
    EXPECT_NE(device, nullptr);
    if (device == nullptr) return nullptr;
    EXPECT_TRUE(SelectCaptureDevice(device));
    ClearLogs();
    return device;
  }

  void ClearLogs() {
    fake->bus.clear();
    fake->commands.clear();
    fake->frames.clear();
    fake->sensorWords.clear();
    fake->sensorWordTimes.clear();
    fake->matrices.clear();
    fake->statusWrites.clear();
  }

  // The virtual camera's keys for this fixture: a byte-wide port, a still
  // picture, a 4096-bit EEPROM with no defect map.
  virtual std::string Options() const { return "mode=byte,noise=0,dark=0,defects=none,eeprom=4096"; }

  std::vector<platform::RecordedMessageBox> Boxes() { return platform::RecordedMessageBoxes(); }

  platform::VirtualClock clock;
  RecordingCamera* fake = nullptr;
};
