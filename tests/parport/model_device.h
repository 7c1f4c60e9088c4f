// A test of the parallel-port device on a fresh port model, sending the
// driver's requests for one port entry as the driver's wrappers send them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "parport/model_backend.h"
#include "sim/device_host.h"

namespace port_model {

class ModelDeviceTest : public ::testing::Test {
 protected:
  void Make(const std::string& simOptions, const std::string& deviceOptions = "") {
    device_.reset();
    model_ = std::make_unique<PortModel>(simOptions, port_model::TypicalPorts());
    std::string error;
    device_ = port_model::MakeModelParport(deviceOptions, &error);
    ASSERT_NE(device_, nullptr) << error;
    host_ = std::make_unique<simtest::DeviceHost>(*device_);
  }
  DWORD Send(DWORD code, BYTE value = 0, BYTE option = 0, const void* buffer = nullptr, DWORD count = 0,
             DWORD* countRead = nullptr) {
    return host_->Send(code, &entry_, value, option, buffer, count, countRead);
  }

  std::unique_ptr<PortModel> model_;
  std::unique_ptr<platform::PortDeviceBackend> device_;
  std::unique_ptr<simtest::DeviceHost> host_;
  PortEntry entry_ = {};
};

}  // namespace port_model
