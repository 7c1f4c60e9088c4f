#include "driver_fixture.h"

namespace {

using DriverProcTest = DriverTest;

TEST_F(DriverProcTest, StandardMessageAnswers) {
  EXPECT_EQ(DriverProc(0, nullptr, DRV_LOAD, 0, 0), 1);
  EXPECT_EQ(DriverProc(0, nullptr, DRV_ENABLE, 0, 0), 0);
  EXPECT_EQ(DriverProc(0, nullptr, DRV_DISABLE, 0, 0), 0);
  EXPECT_EQ(DriverProc(0, nullptr, DRV_FREE, 0, 0), 1);
  EXPECT_EQ(DriverProc(0, nullptr, DRV_INSTALL, 0, 0), 1);
  EXPECT_EQ(DriverProc(0, nullptr, DRV_REMOVE, 0, 0), 1);
  EXPECT_EQ(DriverProc(0, nullptr, DRV_QUERYCONFIGURE, 0, 0), 1);
  EXPECT_EQ(DriverProc(0, nullptr, DRV_CONFIGURE, 0, 0), 1);  // the dialog's answer does not matter
  EXPECT_EQ(DriverProc(1, nullptr, DRV_CLOSE, 0, 0), 1);
  EXPECT_EQ(platform::DefDriverProcCallCount(), 0);
}

TEST_F(DriverProcTest, NoInstanceMessagesReachDefDriverProcUnchanged) {
  HDRVR host = reinterpret_cast<HDRVR>(0x5150);
  for (DWORD_PTR id : {DWORD_PTR{0}, DWORD_PTR{1}}) {
    for (UINT msg : {0u, 11u, 16384u, kPrivateVersionText}) {
      EXPECT_EQ(DriverProc(id, host, msg, 0x11, 0x22), 0);
      auto call = platform::LastDefDriverProcCall();
      EXPECT_EQ(call.driverId, id);
      EXPECT_EQ(call.driver, host);
      EXPECT_EQ(call.msg, msg);
      EXPECT_EQ(call.lParam1, 0x11);
      EXPECT_EQ(call.lParam2, 0x22);
    }
  }
  EXPECT_EQ(platform::DefDriverProcCallCount(), 8);
}

TEST_F(DriverProcTest, InstanceMessagesReachVideoMessage) {
  auto parms = Parms(VIDEO_IN);
  DWORD_PTR id = Open(&parms);
  ASSERT_GT(id, 1u);
  EXPECT_EQ(DriverProc(id, nullptr, 16384, 0, 0), static_cast<LRESULT>(DV_ERR_NOTSUPPORTED));
  EXPECT_EQ(platform::DefDriverProcCallCount(), 0);
  EXPECT_EQ(Close(id), 1);
  // A closed id is no instance any more: it is neither closed twice nor dispatched.
  EXPECT_EQ(Close(id), 1);
  EXPECT_EQ(FakeLayers::CallsOf("CloseNUBODevice").size(), 1u);
  // A video message to it is refused as an invalid handle, not passed on.
  EXPECT_EQ(DriverProc(id, nullptr, 16384, 0, 0), static_cast<LRESULT>(DV_ERR_INVALHANDLE));
  EXPECT_EQ(platform::DefDriverProcCallCount(), 0);
}

TEST_F(DriverProcTest, OpenWithoutParametersOpensThePortDeviceOnce) {
  EXPECT_EQ(Open(nullptr), 1u);
  EXPECT_EQ(Driver().openCount, 1);
  EXPECT_EQ(FakeLayers::portDevicesOpen, 1);
  EXPECT_EQ(Open(nullptr), 1u);
  EXPECT_EQ(Driver().openCount, 2);
  EXPECT_EQ(FakeLayers::CallsOf("OpenPortDevice"), std::vector<std::string>{"OpenPortDevice 0"});
  EXPECT_EQ(Driver().channelCount, 0);
}

TEST_F(DriverProcTest, MissingPortDeviceFailsTheOpen) {
  FakeLayers::portDeviceAvailable = false;
  auto parms = Parms(VIDEO_IN);
  EXPECT_EQ(Open(&parms), 0u);
  EXPECT_EQ(parms.dwError, DV_ERR_NONSPECIFIC);
  EXPECT_TRUE(platform::RecordedMessageBoxes().empty());  // debugFlags bit 0 clear
  EXPECT_EQ(Driver().openCount, 1);
  // The counter stays up, so the next open does not retry the device.
  Driver().debugFlags = DEBUG_NOCAMERA_BOXES;
  EXPECT_EQ(Open(nullptr), 1u);
  EXPECT_EQ(FakeLayers::CallsOf("OpenPortDevice").size(), 1u);

  ResetDriverForTesting();
  FakeLayers::Install();
  FakeLayers::portDeviceAvailable = false;
  Driver().debugFlags = DEBUG_NOCAMERA_BOXES;
  EXPECT_EQ(Open(nullptr), 0u);
  auto boxes = platform::RecordedMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Unable to open device driver");
  EXPECT_EQ(boxes[0].caption, "DBG_NOCAMERA");
  EXPECT_EQ(boxes[0].type, 0x30u);
}

TEST_F(DriverProcTest, WrongTypeCodeAnswersZeroAndLeavesDwError) {
  auto parms = Parms(VIDEO_IN);
  parms.fccType = mmioFOURCC('v', 'i', 'd', 'c');
  EXPECT_EQ(Open(&parms), 0u);
  EXPECT_EQ(parms.dwError, 0xDEADu);
  EXPECT_EQ(Driver().channelCount, 0);
}

TEST_F(DriverProcTest, EnableForgetsAndDisableCloses) {
  auto parms = Parms(VIDEO_IN);
  DWORD_PTR id = Open(&parms);
  ASSERT_GT(id, 1u);
  FakeLayers::calls.clear();
  EXPECT_EQ(DriverProc(0, nullptr, DRV_ENABLE, 0, 0), 0);
  // The device set up before is torn down (without writing the settings
  // file: only the last channel close saves), not leaked, then forgotten.
  EXPECT_EQ(FakeLayers::calls, (std::vector<std::string>{"CloseNUBODevice (none)", "ReleasePort",
                                                         "ForgetNUBODevice", "ResetCaptureDevices", "ForgetColSpace"}));
  EXPECT_EQ(Driver().deviceReady, 0u);
  EXPECT_EQ(Driver().channelCount, 0);
  EXPECT_EQ(Driver().videoInCount, 0);
  EXPECT_EQ(ChannelDevice(), nullptr);
  // The camera layer's reset is the one step that reports; a failure makes the answer 1.
  FakeLayers::resetCaptureDevicesWorks = FALSE;
  EXPECT_EQ(DriverProc(0, nullptr, DRV_ENABLE, 0, 0), 1);
  FakeLayers::resetCaptureDevicesWorks = TRUE;
  // An instance from before the re-enable closes without wrapping the counters.
  EXPECT_EQ(Close(id), 1);
  EXPECT_EQ(Driver().channelCount, 0);
  EXPECT_EQ(Driver().videoInCount, 0);
  FakeLayers::calls.clear();
  Driver().deviceReady = 1;
  EXPECT_EQ(DriverProc(0, nullptr, DRV_DISABLE, 0, 0), 0);
  EXPECT_EQ(FakeLayers::calls, std::vector<std::string>{"DisableDevice"});
  EXPECT_EQ(Driver().deviceReady, 0u);
}

TEST_F(DriverProcTest, EmptyOperationsTableFindsNoCamera) {
  ChannelOpsTable() = ChannelOps{};
  auto parms = Parms(VIDEO_IN);
  EXPECT_EQ(Open(&parms), 0u);
  EXPECT_EQ(parms.dwError, DV_ERR_NONSPECIFIC);  // no port device
  ChannelOpsTable().openPortDevice = &FakeLayers::OpenPortDevice;
  Driver().openCount = 0;
  EXPECT_EQ(Open(&parms), 0u);
  EXPECT_EQ(parms.dwError, DV_ERR_NOTDETECTED);  // no port answers
  EXPECT_EQ(Driver().openCount, 0);              // the port release still counts
}

}  // namespace
