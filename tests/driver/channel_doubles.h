// Doubles for the layers below the driver, installed in the channel
// operations table: a port device, ports with or without a camera, and a
// device set-up that succeeds or fails on demand. Every call is logged.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "capture/nubo_device.h"
#include "core/driver_state.h"
#include "driver/channel_ops.h"

struct FakeLayers {
  static inline std::vector<std::string> calls;
  static inline std::set<int> camerasOn;     // ports whose OpenPort succeeds
  static inline bool portDeviceAvailable = true;
  static inline bool deviceSetUpWorks = true;
  static inline int portDevicesOpen = 0;
  static inline int portDeviceCloses = 0;
  static inline int currentPort = 0;
  static inline std::string lastIniPath;
  // A real record, so that what reads the device (the details dialog's
  // sensor model) reads a device of the first sensor kind.
  static NUBODevice* Device() {
    static NUBODevice device;
    return &device;
  }
  static inline int portDeviceToken = 0;

  static HANDLE OpenPortDevice(int index) {
    calls.push_back("OpenPortDevice " + std::to_string(index));
    if (!portDeviceAvailable) return INVALID_HANDLE_VALUE;
    ++portDevicesOpen;
    return &portDeviceToken;
  }
  static void ClosePortDevice(HANDLE device) {
    calls.push_back("ClosePortDevice");
    if (device == &portDeviceToken) {
      --portDevicesOpen;
      ++portDeviceCloses;
    }
  }
  static BOOL SelectPort(int n) {
    calls.push_back("SelectPort " + std::to_string(n));
    currentPort = n;
    return n >= 1 && n <= 3;
  }
  static int OpenPort() {
    calls.push_back("OpenPort");
    return camerasOn.count(currentPort) ? 0 : 1;
  }
  static DWORD ReleasePort() {
    calls.push_back("ReleasePort");
    return 1;
  }
  static NUBODevice* OpenNUBODevice(DWORD port, DWORD argument, const char* iniPath, WORD* sensorPeriod,
                                    WORD* /*debugFlags*/) {
    calls.push_back("OpenNUBODevice " + std::to_string(port) + " " + std::to_string(argument));
    lastIniPath = iniPath;
    if (!deviceSetUpWorks) {
      ReleasePort();
      return nullptr;
    }
    *sensorPeriod = 66;
    return Device();
  }
  static BOOL SelectNUBODevice(NUBODevice* d) {
    calls.push_back("SelectNUBODevice");
    return d == Device();
  }
  static BOOL SetStreamMode(DWORD mode) {
    calls.push_back("SetStreamMode " + std::to_string(mode));
    return TRUE;
  }
  static void CloseNUBODevice(NUBODevice*, const char* iniPath) {
    calls.push_back(std::string("CloseNUBODevice ") + (iniPath ? iniPath : "(none)"));
    ReleasePort();
  }
  static void ForgetNUBODevice() { calls.push_back("ForgetNUBODevice"); }
  static inline BOOL resetCaptureDevicesWorks = TRUE;
  static BOOL ResetCaptureDevices() {
    calls.push_back("ResetCaptureDevices");
    return resetCaptureDevicesWorks;
  }
  static void DisableDevice() { calls.push_back("DisableDevice"); }
  static void ForgetColSpace() { calls.push_back("ForgetColSpace"); }
  static void ResetDialogControls() { calls.push_back("ResetDialogControls"); }

  static void Install() {
    calls.clear();
    camerasOn = {1};
    portDeviceAvailable = true;
    deviceSetUpWorks = true;
    resetCaptureDevicesWorks = TRUE;
    portDevicesOpen = 0;
    portDeviceCloses = 0;
    currentPort = 0;
    lastIniPath.clear();
    ChannelOps& ops = ChannelOpsTable();
    ops.openPortDevice = &OpenPortDevice;
    ops.closePortDevice = &ClosePortDevice;
    ops.selectPort = &SelectPort;
    ops.openPort = &OpenPort;
    ops.releasePort = &ReleasePort;
    ops.openNUBODevice = &OpenNUBODevice;
    ops.selectNUBODevice = &SelectNUBODevice;
    ops.setStreamMode = &SetStreamMode;
    ops.closeNUBODevice = &CloseNUBODevice;
    ops.forgetNUBODevice = &ForgetNUBODevice;
    ops.resetCaptureDevices = &ResetCaptureDevices;
    ops.disableDevice = &DisableDevice;
    ops.restartFrameTime = nullptr;
    ops.closeStreamOf = nullptr;
    ops.forgetColSpace = &ForgetColSpace;
    ops.resetDialogControls = &ResetDialogControls;
  }

  // The calls whose text starts with prefix, in order.
  static std::vector<std::string> CallsOf(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& c : calls) {
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    }
    return out;
  }
};
