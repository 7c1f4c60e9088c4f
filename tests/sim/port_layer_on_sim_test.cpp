// The driver's real port layer against the virtual port device, reached the way
// the driver reaches it: ZARNCAP_CAMERA, OpenPortDevice and DeviceIoControl.
#include <gtest/gtest.h>

#include "support/clean_driver.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "support/environment.h"
#include "core/driver_context.h"
#include "core/driver_state.h"
#include "platform/portable/port_device_backend.h"
#include "platform/portable/testing.h"
#include "port/port.h"
#include "port/port_device.h"
#include "sim/register.h"
#include "sim/stub_camera.h"

namespace {

using simtest::StubCamera;

std::unique_ptr<platform::PortDeviceBackend> MakeStubBackend(const std::string& options, std::string* error) {
  return sim::MakeVirtualPortDevice(options, error, &simtest::MakeStubCamera);
}

// One request of the log as "name value -> reply" (value: the byte of a
// one-byte record, or the count of a block record).
std::string Line(const sim::RequestRecord& record) {
  std::string line = record.name;
  const PortRequest* request = FindPortRequest(record.code);
  if (request->layout == PortRecordLayout::EB || request->layout == PortRecordLayout::EBB) {
    line += " " + std::to_string(record.fields.value);
  }
  if (request->layout == PortRecordLayout::EBB) line += "," + std::to_string(record.fields.option);
  if (request->layout == PortRecordLayout::EBC || request->layout == PortRecordLayout::EBCR) {
    line += " " + std::to_string(record.fields.count);
  }
  return line + " -> " + std::to_string(record.reply);
}

class PortLayerOnSim : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::BeginCleanDriver(&clock);
    platform::RegisterPortDeviceBackend("simstub", &MakeStubBackend);
  }
  void TearDown() override {
    ClosePortDevice(Driver().portDevice);
    testsupport::EndCleanDriver();
    testsupport::UnsetEnvironment("ZARNCAP_CAMERA");
  }

  // Opens \\.\VidCap0 on the given ZARNCAP_CAMERA value.
  sim::VirtualPortDevice* Open(const std::string& camera) {
    testsupport::SetEnvironment("ZARNCAP_CAMERA", camera.c_str());
    Driver().portDevice = OpenPortDevice(kPortDeviceIndex);
    if (Driver().portDevice == INVALID_HANDLE_VALUE) return nullptr;
    return dynamic_cast<sim::VirtualPortDevice*>(platform::OpenPortDeviceBackend());
  }

  std::vector<std::string> Lines(const sim::VirtualPortDevice& device) {
    std::vector<std::string> lines;
    for (const auto& record : device.Log()) lines.push_back(Line(record));
    return lines;
  }

  platform::VirtualClock clock{5000};
};

TEST_F(PortLayerOnSim, EachCapabilitySettlesItsPortFlagsAndTransfers) {
  struct Case {
    std::string options;
    WORD flags;
    int portMode;
    BYTE frameMode;
    bool blockReads;
  } cases[] = {
      {"mode=ecp", PORT_FLAG_BIDIR | PORT_FLAG_ECP, PORT_MODE_ECP, 11, true},
      {"mode=byte", PORT_FLAG_BIDIR, PORT_MODE_BIDIR, 10, true},
      {"mode=nibble", 0, PORT_MODE_4BIT, 9, true},
      {"mode=byte-unreliable", PORT_FLAG_BIDIR, PORT_MODE_BIDIR, 10, false},
      // An ID longer than the driver's buffer fails the byte-wide comparison:
      // ECP forward, nibbles back.
      {"id=" + std::string(300, 'z'), PORT_FLAG_ECP, PORT_MODE_ECP, 9, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.substr(0, 40));
    Ports().Reset();
    sim::VirtualPortDevice* device = Open("simstub:" + c.options);
    ASSERT_NE(device, nullptr);
    StubCamera& camera = simtest::StubOf(*device);

    ASSERT_TRUE(SelectPort(1));
    ASSERT_EQ(OpenPort(), 0);
    EXPECT_EQ(GetPortFlags(), c.flags);
    EXPECT_EQ(GetPortMode(), c.portMode);
    EXPECT_EQ(camera.outputsA, (std::vector<uint8_t>{12, 12}));
    EXPECT_EQ(camera.outputsB, (std::vector<uint8_t>{4}));

    BYTE block[18] = {1, 2, 3};
    EXPECT_TRUE(SendPortCommand(16));
    EXPECT_TRUE(WritePortBlock(block, 18));
    EXPECT_EQ(camera.commands, (std::vector<uint8_t>{8}));
    ASSERT_EQ(camera.writes.size(), 1u);
    EXPECT_EQ(camera.writes[0], std::vector<uint8_t>(block, block + 18));
    EXPECT_EQ(ReadPortBlock(block, 18), c.blockReads ? TRUE : FALSE);

    std::vector<BYTE> frame(1000);
    DWORD counted = 0;
    bool frames = c.blockReads;
    EXPECT_EQ(ReadPortFrame(frame.data(), 1000), frames ? TRUE : FALSE);
    EXPECT_EQ(ReadPortFrameCounted(frame.data(), 1000, &counted), frames ? TRUE : FALSE);
    if (frames) {
      EXPECT_EQ(counted, 100u);
      EXPECT_EQ(frame[999], static_cast<BYTE>(3 * 999 + 1));
    }
    ASSERT_EQ(camera.frameBegins.size(), 2u);
    EXPECT_EQ(camera.frameBegins[0].mode, c.frameMode);
    EXPECT_EQ(camera.frameBegins[0].option, 0);
    EXPECT_EQ(camera.frameBegins[1].option, 64);
    EXPECT_EQ(device->Entry(&Ports().entries[0])->phase, sim::PortPhase::Idle);
    ClosePortDevice(Driver().portDevice);
  }
}

TEST_F(PortLayerOnSim, UnreliableBytePortWorksOnceFourBitIsForced) {
  sim::VirtualPortDevice* device = Open("simstub:mode=byte-unreliable");
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(SelectPort(1));
  ASSERT_EQ(OpenPort(), 0);
  BYTE status[18];
  EXPECT_FALSE(ReadPortBlock(status, 18));

  // What device initialisation does on its second try.
  Driver().debugFlags = DEBUG_FORCE_4BIT;
  ASSERT_EQ(OpenPort(), 0);
  EXPECT_EQ(GetPortFlags(), PORT_FLAG_4BIT);
  EXPECT_TRUE(ReadPortBlock(status, 18));
  EXPECT_EQ(simtest::StubOf(*device).readModes.back(), sim::ReverseMode::Nibble);
}

TEST_F(PortLayerOnSim, ForcedByteWideOnANibblePortReadsGarbage) {
  sim::VirtualPortDevice* device = Open("simstub:mode=nibble");
  ASSERT_NE(device, nullptr);
  Driver().debugFlags = DEBUG_FORCE_BIDIR;
  ASSERT_TRUE(SelectPort(1));
  ASSERT_EQ(OpenPort(), 0);
  EXPECT_EQ(GetPortFlags(), PORT_FLAG_BIDIR);
  BYTE status[18] = {};
  EXPECT_TRUE(ReadPortBlock(status, 18));
  for (BYTE b : status) EXPECT_EQ(b, status[0]);
  EXPECT_TRUE(simtest::StubOf(*device).readModes.empty());
}

TEST_F(PortLayerOnSim, ReopeningAClaimedPortSkipsTheByteWideTest) {
  sim::VirtualPortDevice* device = Open("simstub:mode=byte");
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(SelectPort(1));
  ASSERT_EQ(OpenPort(), 0);
  device->ClearLog();
  ASSERT_EQ(OpenPort(), 0);
  EXPECT_EQ(GetPortFlags(), PORT_FLAG_BIDIR);
  for (const auto& line : Lines(*device)) EXPECT_NE(line, "negotiate 7 -> 1");
}

TEST_F(PortLayerOnSim, ScanFindsTheCameraOnLpt3) {
  sim::VirtualPortDevice* device = Open("simstub:port=3,id=MFG:Zarn;");
  ASSERT_NE(device, nullptr);
  std::vector<int> codes;
  for (int lpt = 1; lpt <= 3; ++lpt) {
    ASSERT_TRUE(SelectPort(lpt));
    int code = OpenPort();
    codes.push_back(code);
    if (code == 0) break;
    Driver().openCount = 1;
    ReleasePort();
    EXPECT_EQ(Driver().openCount, 1);
  }
  EXPECT_EQ(codes, (std::vector<int>{PORT_ERR_NEGOTIATE, PORT_ERR_NEGOTIATE, 0}));
  EXPECT_EQ(Ports().entries[0].PortFlags, 0);
  EXPECT_EQ(Ports().entries[1].PortFlags, 0);
  EXPECT_EQ(Ports().entries[2].PortFlags, PORT_FLAG_BIDIR | PORT_FLAG_ECP);
  EXPECT_FALSE(device->Entry(&Ports().entries[0])->claimed);
  EXPECT_TRUE(device->Entry(&Ports().entries[2])->claimed);

  std::vector<std::string> expected;
  for (int lpt = 1; lpt <= 2; ++lpt) {
    std::vector<std::string> failed = {"attach " + std::to_string(lpt) + " -> 1", "claim -> 1", "out_a 12 -> 1",
                                       "out_a 12 -> 1", "out_b 4 -> 1", "negotiate 5 -> 0", "release -> 1"};
    expected.insert(expected.end(), failed.begin(), failed.end());
  }
  std::vector<std::string> found = {
      "attach 3 -> 1",      "claim -> 1",        "out_a 12 -> 1",   "out_a 12 -> 1",     "out_b 4 -> 1",
      "negotiate 5 -> 1",   "nibble_read 2 -> 1", "nibble_read 9 -> 1", "terminate -> 1", "negotiate 7 -> 1",
      "reverse -> 1",       "byte_read 2 -> 1",  "byte_read 9 -> 1", "terminate -> 1"};
  expected.insert(expected.end(), found.begin(), found.end());
  EXPECT_EQ(Lines(*device), expected);
}

TEST_F(PortLayerOnSim, TheSimBackendIsRegisteredAndRefusesBadOptions) {
  sim::RegisterVirtualCamera();
  sim::RegisterVirtualCamera();  // harmless twice
  sim::VirtualPortDevice* device = Open("sim:port=2,mode=byte");
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->Config().port, 2);
  EXPECT_EQ(device->Config().mode, sim::PortCapability::Byte);
  ClosePortDevice(Driver().portDevice);

  EXPECT_EQ(Open("sim:port=2,colour=red"), nullptr);
  EXPECT_EQ(Driver().portDevice, INVALID_HANDLE_VALUE);
  auto boxes = platform::RecordedMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("\"colour\""), std::string::npos);

  // A picture file that cannot be read keeps the device shut, and says which.
  platform::ClearRecordedMessageBoxes();
  EXPECT_EQ(Open("sim:scene=file:/no/such/picture.png"), nullptr);
  boxes = platform::RecordedMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("/no/such/picture.png"), std::string::npos) << boxes[0].text;

  EXPECT_EQ(Open("none"), nullptr);
}

}  // namespace
