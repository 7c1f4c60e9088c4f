// The real driver, in process, on the virtual camera, for zarncap's tests: a
// DriverProc that passes every message to the driver's own and records what
// the command line sent and what came back (the open string, the messages,
// buffers queued, frames delivered with their bytes, the palette handed out,
// the defect map). The camera's behaviour comes from the virtual camera's keys.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/portable/driver_manager.h"
#include "platform/types.h"
#include "tools/tool_test_util.h"

namespace drivertest {

struct DriverRecord {
  std::string openString;
  DWORD openFlags = 0;
  std::vector<UINT> messages;  // every message after DRV_OPEN, in order
  int addBuffers = 0;
  int addBufferRefusals = 0;
  int framesDelivered = 0;  // DVM_FRAME successes and stream deliveries
  std::vector<std::vector<BYTE>> frames;  // the bytes of each delivered frame, in order
  std::vector<RGBQUAD> palette;           // the palette the last DVM_PALETTE GET handed out
  std::vector<BYTE> defectMap;
  bool closed = false;
  bool finiWithQueue = false;  // FINI answered that buffers were still queued
};

// A clean record, and the virtual camera (ZARNCAP_CAMERA) for the next open.
void ResetDriver(const std::string& camera = "sim:period=2,noise=0");
DriverRecord Record();
// The DriverProc for zarncap::Host::proc. Device set-up runs on a virtual
// clock (its camera resets and settle waits then cost nothing); frames and
// streams run on real time.
LRESULT RecordingDriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2);

// A test whose zarncap host talks to the recording driver, its output and
// errors captured; the driver's record starts clean.
class RecordingHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDriver();
    host_.proc = RecordingDriverProc;
    host_.out = out_.File();
    host_.err = err_.File();
  }
  tooltest::CapturedStream out_, err_;
  zarncap::Host host_;
};

}  // namespace drivertest
