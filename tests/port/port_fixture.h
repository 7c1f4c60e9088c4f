// A clean driver with the recording fake as its kernel port device and a
// virtual clock, so the camera reset's half-second settle costs nothing.
#pragma once

#include <gtest/gtest.h>

#include "support/clean_driver.h"

#include <string>
#include <vector>

#include "core/driver_context.h"
#include "core/driver_state.h"
#include "platform/portable/testing.h"
#include "port/fake_port_device.h"
#include "port/port.h"
#include "port/port_device.h"

class PortFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::BeginCleanDriver(&clock);
    FakePortDevice::Install();
    Driver().portDevice = OpenPortDevice(kPortDeviceIndex);
    ASSERT_NE(Driver().portDevice, INVALID_HANDLE_VALUE);
    fake = FakePortDevice::Current();
    ASSERT_NE(fake, nullptr);
  }
  void TearDown() override {
    ClosePortDevice(Driver().portDevice);
    testsupport::EndCleanDriver();
  }

  platform::VirtualClock clock{1000};
  FakePortDevice* fake = nullptr;
};

using Lines = std::vector<std::string>;
