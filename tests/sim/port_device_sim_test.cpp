// The virtual kernel port device on its own: request decoding, entry state,
// transfer phases, the caller's buffers, the device ID, the ECP flag, the
// transfer capabilities, fault injection and the request log.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "sim/device_host.h"
#include "sim/stub_camera.h"

namespace {

using sim::PortPhase;
using simtest::DeviceHost;
using simtest::MakeStubDevice;
using simtest::StubOf;

// ---- decoding

TEST(SimDeviceDecoding, MalformedRequestsFailAndChangeNothing) {
  auto device = MakeStubDevice();
  PortEntry entry = {};
  PortRecord record;
  record.entry = PortAddressOf(&entry);
  record.value = 1;
  BYTE in[kPortRecordMaxLength + 1] = {};
  DWORD length = static_cast<DWORD>(EncodePortRecord(PortRecordLayout::EB, kPortAddressWidth, record, in));
  DWORD reply = 0xDEAD;
  DWORD bytes = 77;

  EXPECT_FALSE(device->Control(0x001D20A4, in, length, &reply, 4, &bytes));  // function 0x829: not in the set
  EXPECT_FALSE(device->Control(0x001D2081, in, length, &reply, 4, &bytes));  // access bits wrong
  EXPECT_EQ(bytes, 0u);
  EXPECT_FALSE(device->Control(IOCTL_PORT_ATTACH, in, length - 1, &reply, 4, &bytes));
  EXPECT_FALSE(device->Control(IOCTL_PORT_ATTACH, in, length + 1, &reply, 4, &bytes));
  EXPECT_FALSE(device->Control(IOCTL_PORT_ATTACH, nullptr, length, &reply, 4, &bytes));
  EXPECT_FALSE(device->Control(IOCTL_PORT_ATTACH, in, length, &reply, 0, &bytes));
  EXPECT_FALSE(device->Control(IOCTL_PORT_ATTACH, in, length, &reply, 8, &bytes));
  EXPECT_FALSE(device->Control(IOCTL_PORT_ATTACH, in, length, nullptr, 4, &bytes));
  EXPECT_EQ(reply, 0xDEADu);
  EXPECT_FALSE(device->Entry(&entry).has_value());

  // A null entry address is no entry.
  PortRecord nowhere;
  nowhere.value = 1;
  BYTE none[kPortRecordMaxLength];
  EncodePortRecord(PortRecordLayout::EB, kPortAddressWidth, nowhere, none);
  EXPECT_FALSE(device->Control(IOCTL_PORT_ATTACH, none, length, &reply, 4, &bytes));

  ASSERT_TRUE(device->Control(IOCTL_PORT_ATTACH, in, length, &reply, 4, &bytes));
  EXPECT_EQ(reply, 1u);
  EXPECT_EQ(bytes, 4u);
  ASSERT_TRUE(device->Entry(&entry).has_value());
  EXPECT_EQ(device->Entry(&entry)->lpt, 1);
}

TEST(SimDeviceDecoding, EveryRequestWantsItsExactRecordAndReplyLength) {
  for (const PortRequest& request : kPortRequests) {
    SCOPED_TRACE(request.name);
    auto device = MakeStubDevice();
    PortEntry entry = {};
    PortRecord record;
    record.entry = PortAddressOf(&entry);
    BYTE in[kPortRecordMaxLength + 1] = {};
    DWORD length = static_cast<DWORD>(EncodePortRecord(request.layout, kPortAddressWidth, record, in));
    EXPECT_EQ(length, PortRecordLength(request.layout, sizeof(void*)));
    DWORD reply = 0;
    DWORD bytes = 0;
    DWORD outLength = request.hasReply ? 4 : 0;
    void* out = request.hasReply ? &reply : nullptr;
    EXPECT_FALSE(device->Control(request.code, in, length - 1, out, outLength, &bytes));
    EXPECT_FALSE(device->Control(request.code, in, length + 1, out, outLength, &bytes));
    EXPECT_FALSE(device->Control(request.code, in, length, &reply, request.hasReply ? 2 : 4, &bytes));
    // A reply buffer is exactly 4 bytes; a request without a reply has no buffer at all.
    EXPECT_FALSE(device->Control(request.code, in, length, request.hasReply ? nullptr : &reply,
                                 request.hasReply ? 4 : 0, &bytes));
    // Well formed, the request reaches the device and is logged as decoded.
    device->Control(request.code, in, length, out, outLength, &bytes);
    auto log = device->Log();
    ASSERT_EQ(log.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_FALSE(log[i].decoded) << i;
    EXPECT_TRUE(log[4].decoded);
    EXPECT_EQ(log[4].code, request.code);
  }
}

// ---- entries

TEST(SimDeviceEntries, AttachClaimAndReleaseFollowThePortRules) {
  auto device = MakeStubDevice();
  DeviceHost host(*device);
  PortEntry a = {}, b = {};

  EXPECT_EQ(host.Send(IOCTL_PORT_CLAIM, &a), 0u);  // not attached
  EXPECT_EQ(host.Send(IOCTL_PORT_ATTACH, &a, 0), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_ATTACH, &a, 4), 0u);
  ASSERT_EQ(host.Send(IOCTL_PORT_ATTACH, &a, 1), 1u);

  // Attached but not claimed: nothing else is allowed.
  EXPECT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &a, 5), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_OUT_A, &a, 12), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_RELEASE, &a), 0u);
  EXPECT_TRUE(StubOf(*device).outputsA.empty());

  ASSERT_EQ(host.Send(IOCTL_PORT_CLAIM, &a), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_ATTACH, &a, 2), 0u);  // bound while claimed
  EXPECT_EQ(host.Send(IOCTL_PORT_ATTACH, &a, 1), 1u);  // a second open of the same port
  EXPECT_EQ(host.Send(IOCTL_PORT_CLAIM, &a), 1u);

  // Another entry cannot take a claimed port until it is released.
  ASSERT_EQ(host.Send(IOCTL_PORT_ATTACH, &b, 1), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_CLAIM, &b), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_RELEASE, &a), 1u);
  EXPECT_FALSE(device->Entry(&a)->claimed);
  EXPECT_EQ(host.Send(IOCTL_PORT_CLAIM, &b), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_OUT_A, &b, 12), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_OUT_B, &b, 4), 1u);
  EXPECT_EQ(StubOf(*device).outputsA, std::vector<uint8_t>{12});
  EXPECT_EQ(StubOf(*device).outputsB, std::vector<uint8_t>{4});
}

// ---- phases

TEST(SimDevicePhases, DataRequestsOutsideTheirPhaseFail) {
  auto device = MakeStubDevice();
  DeviceHost host(*device);
  auto& camera = StubOf(*device);
  PortEntry entry = {};
  ASSERT_TRUE(host.Open(&entry, 1));
  BYTE buffer[16] = {};
  DWORD counted = 0;

  // Idle: nothing but a phase opener goes.
  EXPECT_EQ(host.Send(IOCTL_PORT_TERMINATE, &entry), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_FRAME_END, &entry), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_REVERSE, &entry), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_COMPAT_WRITE_CMD, &entry, 8), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_COMPAT_WRITE, &entry, 0, 0, buffer, 4), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_NIBBLE_READ, &entry, 0, 0, buffer, 4), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_BYTE_READ, &entry, 0, 0, buffer, 4), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_ECP_READ_FRAME, &entry, 0, 0, buffer, 4), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_NIBBLE_READ_FRAME_VAR, &entry, 0, 0, buffer, 4, &counted), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 2), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 9), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_FRAME_BEGIN, &entry, 3, 0), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_FRAME_BEGIN, &entry, 10, 1), 0u);
  EXPECT_TRUE(camera.commands.empty());
  EXPECT_TRUE(camera.readModes.empty());
  EXPECT_TRUE(camera.frameBegins.empty());

  // Mode 3: forward until reversed, then reverse only.
  ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 3), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_NIBBLE_READ, &entry, 0, 0, buffer, 4), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_BYTE_READ, &entry, 0, 0, buffer, 4), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_COMPAT_WRITE_CMD, &entry, 8), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_REVERSE, &entry), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_COMPAT_WRITE_CMD, &entry, 24), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_BYTE_READ, &entry, 0, 0, buffer, 4), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_TERMINATE, &entry), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_TERMINATE, &entry), 0u);
  EXPECT_EQ(camera.commands, std::vector<uint8_t>{8});

  // Mode 1: nibble data only; it cannot be reversed.
  ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 1), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_REVERSE, &entry), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_COMPAT_WRITE_CMD, &entry, 8), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_NIBBLE_READ, &entry, 0, 0, buffer, 4), 1u);
  // A new negotiation replaces the open phase.
  ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 3), 1u);
  EXPECT_EQ(device->Entry(&entry)->mode, 3);
  EXPECT_EQ(host.Send(IOCTL_PORT_NIBBLE_READ, &entry, 0, 0, buffer, 4), 0u);

  // A frame phase takes only the read of its own mode and option.
  ASSERT_EQ(host.Send(IOCTL_PORT_FRAME_BEGIN, &entry, 10, 0), 1u);
  EXPECT_EQ(device->Entry(&entry)->phase, PortPhase::Frame);
  EXPECT_EQ(host.Send(IOCTL_PORT_TERMINATE, &entry), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_COMPAT_WRITE_CMD, &entry, 8), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_NIBBLE_READ_FRAME, &entry, 0, 0, buffer, 4), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_ECP_READ_FRAME, &entry, 0, 0, buffer, 4), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_BYTE_READ_FRAME_VAR, &entry, 0, 0, buffer, 4, &counted), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_BYTE_READ_FRAME, &entry, 0, 0, buffer, 4), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_FRAME_END, &entry), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_BYTE_READ_FRAME, &entry, 0, 0, buffer, 4), 0u);
  ASSERT_EQ(camera.frameBegins.size(), 1u);
  EXPECT_EQ(camera.frameBegins[0].mode, 10);
  EXPECT_EQ(camera.frameBegins[0].option, 0);
  EXPECT_EQ(camera.frameEnds, 1);

  // Releasing the port ends an open frame with the camera.
  ASSERT_EQ(host.Send(IOCTL_PORT_FRAME_BEGIN, &entry, 9, 64), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_RELEASE, &entry), 1u);
  EXPECT_EQ(camera.frameEnds, 2);
  EXPECT_EQ(device->Entry(&entry)->phase, PortPhase::Idle);
}

// ---- device ID

TEST(SimDeviceId, LengthFieldCountsItselfAndTheTextFollows) {
  auto device = MakeStubDevice("id=MFG:Test;MDL:One;");
  DeviceHost host(*device);
  PortEntry entry = {};
  ASSERT_TRUE(host.Open(&entry, 1));
  BYTE buffer[64] = {};

  ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 5), 1u);
  ASSERT_EQ(host.Send(IOCTL_PORT_NIBBLE_READ, &entry, 0, 0, buffer, 2), 1u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 17 + 2);
  ASSERT_EQ(host.Send(IOCTL_PORT_NIBBLE_READ, &entry, 0, 0, buffer, 17), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 17), "MFG:Test;MDL:One;");
  // The peripheral has nothing more to say.
  EXPECT_EQ(host.Send(IOCTL_PORT_NIBBLE_READ, &entry, 0, 0, buffer, 1), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_TERMINATE, &entry), 1u);

  // Byte-wide, the ID comes only after the lines are turned round, from the start.
  std::memset(buffer, 0, sizeof buffer);
  ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 7), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_BYTE_READ, &entry, 0, 0, buffer, 2), 0u);
  ASSERT_EQ(host.Send(IOCTL_PORT_REVERSE, &entry), 1u);
  ASSERT_EQ(host.Send(IOCTL_PORT_BYTE_READ, &entry, 0, 0, buffer, 19), 1u);
  EXPECT_EQ(buffer[1], 19);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer + 2), 17), "MFG:Test;MDL:One;");
  EXPECT_TRUE(StubOf(*device).readModes.empty());  // the ID never bothers the camera's data path
}

TEST(SimDeviceId, EmptyAndLongTexts) {
  for (auto [text, high, low] : {std::tuple{std::string(), 0, 2}, std::tuple{std::string(300, 'x'), 1, 46}}) {
    auto device = MakeStubDevice("id=" + text);
    ASSERT_NE(device, nullptr);
    DeviceHost host(*device);
    PortEntry entry = {};
    ASSERT_TRUE(host.Open(&entry, 1));
    BYTE length[2] = {};
    ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 5), 1u);
    ASSERT_EQ(host.Send(IOCTL_PORT_NIBBLE_READ, &entry, 0, 0, length, 2), 1u);
    EXPECT_EQ(length[0], high);
    EXPECT_EQ(length[1], low);
  }
}

TEST(SimDeviceId, DefaultIsTheConfiguredDefault) {
  auto device = MakeStubDevice();
  EXPECT_EQ(device->Camera().DeviceIdText(), sim::kDefaultDeviceId);
}

// ---- the caller's buffers

TEST(SimDeviceBuffers, BlocksMoveExactlyAtTheCarriedAddresses) {
  auto device = MakeStubDevice();
  DeviceHost host(*device);
  auto& camera = StubOf(*device);
  PortEntry entry = {};
  ASSERT_TRUE(host.Open(&entry, 1));

  BYTE out[20];
  for (int i = 0; i < 20; ++i) out[i] = static_cast<BYTE>(0xA0 + i);
  ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 3), 1u);
  ASSERT_EQ(host.Send(IOCTL_PORT_COMPAT_WRITE, &entry, 0, 0, out + 1, 18), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_COMPAT_WRITE, &entry, 0, 0, out, 0), 1u);   // nothing moves
  EXPECT_EQ(host.Send(IOCTL_PORT_COMPAT_WRITE, &entry, 0, 0, nullptr, 4), 0u);  // nowhere to read from
  ASSERT_EQ(camera.writes.size(), 1u);
  EXPECT_EQ(camera.writes[0], std::vector<uint8_t>(out + 1, out + 19));

  BYTE in[20];
  std::memset(in, 0xEE, sizeof in);
  ASSERT_EQ(host.Send(IOCTL_PORT_REVERSE, &entry), 1u);
  ASSERT_EQ(host.Send(IOCTL_PORT_ECP_READ, &entry, 0, 0, in + 1, 18), 1u);
  EXPECT_EQ(in[0], 0xEE);
  EXPECT_EQ(in[19], 0xEE);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(in[1 + i], 0x40 + i);
  EXPECT_EQ(camera.readModes, std::vector<sim::ReverseMode>{sim::ReverseMode::Ecp});
}

TEST(SimDeviceBuffers, CountedFrameReadsWriteTheCountBack) {
  auto device = MakeStubDevice();
  DeviceHost host(*device);
  auto& camera = StubOf(*device);
  PortEntry entry = {};
  ASSERT_TRUE(host.Open(&entry, 1));
  std::vector<BYTE> frame(400, 0xEE);
  DWORD counted = 0xFFFFFFFF;

  ASSERT_EQ(host.Send(IOCTL_PORT_FRAME_BEGIN, &entry, 11, 64), 1u);
  ASSERT_EQ(host.Send(IOCTL_PORT_ECP_READ_FRAME_VAR, &entry, 0, 0, frame.data(), 300, &counted), 1u);
  EXPECT_EQ(counted, 100u);
  EXPECT_EQ(frame[99], static_cast<BYTE>(3 * 99 + 1));
  EXPECT_EQ(frame[100], 0xEE);
  EXPECT_EQ(host.Send(IOCTL_PORT_ECP_READ_FRAME_VAR, &entry, 0, 0, frame.data(), 300, nullptr), 0u);
  // An empty counted transfer is a failed one, and leaves the count alone.
  camera.countedLength = 0;
  counted = 1234;
  EXPECT_EQ(host.Send(IOCTL_PORT_ECP_READ_FRAME_VAR, &entry, 0, 0, frame.data(), 300, &counted), 0u);
  EXPECT_EQ(counted, 1234u);
  ASSERT_EQ(host.Send(IOCTL_PORT_FRAME_END, &entry), 1u);

  // A fixed read is all or nothing.
  camera.frameLimit = 50;
  ASSERT_EQ(host.Send(IOCTL_PORT_FRAME_BEGIN, &entry, 11, 0), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_ECP_READ_FRAME, &entry, 0, 0, frame.data(), 51), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_ECP_READ_FRAME, &entry, 0, 0, frame.data(), 50), 1u);
}

// ---- ECP flag and transfer capabilities

TEST(SimDeviceCapabilities, EcpFlagIsTheDevicesOwnAndNothingElseIsTouched) {
  struct Case {
    const char* options;
    BYTE lpt;
    bool ecp;
  } cases[] = {{"", 1, true}, {"mode=byte", 1, false}, {"mode=nibble", 1, false}, {"port=2", 1, false}, {"port=2", 2, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.options) + " LPT" + std::to_string(c.lpt));
    auto device = MakeStubDevice(c.options);
    DeviceHost host(*device);
    PortEntry entry;
    std::memset(&entry, 0x5A, sizeof entry);
    entry.PortFlags = static_cast<WORD>(0xFFF0 | PORT_FLAG_BIDIR | (c.ecp ? 0 : PORT_FLAG_ECP));
    PortEntry before = entry;
    ASSERT_TRUE(host.Open(&entry, c.lpt));
    EXPECT_EQ(entry.PortFlags & PORT_FLAG_ECP, c.ecp ? PORT_FLAG_ECP : 0);
    EXPECT_EQ(entry.PortFlags & ~PORT_FLAG_ECP, before.PortFlags & ~PORT_FLAG_ECP);
    EXPECT_EQ(std::memcmp(entry.reserved, before.reserved, sizeof entry.reserved), 0);
  }
}

TEST(SimDeviceCapabilities, NibblePortReadsItsOwnLatchByteWide) {
  auto device = MakeStubDevice("mode=nibble");
  DeviceHost host(*device);
  PortEntry entry = {};
  ASSERT_TRUE(host.Open(&entry, 1));
  BYTE buffer[4] = {};
  ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 7), 1u);
  ASSERT_EQ(host.Send(IOCTL_PORT_REVERSE, &entry), 1u);
  ASSERT_EQ(host.Send(IOCTL_PORT_BYTE_READ, &entry, 0, 0, buffer, 2), 1u);
  // The byte the negotiation left on the lines, not the ID's length field.
  EXPECT_EQ(buffer[0], 0x05);
  EXPECT_EQ(buffer[1], 0x05);
  // No ECP on this port.
  EXPECT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 3), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_ECP_WRITE_CMD, &entry, 8), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_FRAME_BEGIN, &entry, 11, 0), 0u);
  EXPECT_TRUE(StubOf(*device).commands.empty());
}

TEST(SimDeviceCapabilities, UnreliableBytePortPassesTheIdButNotData) {
  auto device = MakeStubDevice("mode=byte-unreliable");
  DeviceHost host(*device);
  PortEntry entry = {};
  ASSERT_TRUE(host.Open(&entry, 1));
  BYTE buffer[18] = {};
  ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 7), 1u);
  ASSERT_EQ(host.Send(IOCTL_PORT_REVERSE, &entry), 1u);
  ASSERT_EQ(host.Send(IOCTL_PORT_BYTE_READ, &entry, 0, 0, buffer, 2), 1u);
  EXPECT_EQ(buffer[0] * 256 + buffer[1], static_cast<int>(std::strlen(sim::kDefaultDeviceId) + 2));

  ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 3), 1u);
  ASSERT_EQ(host.Send(IOCTL_PORT_REVERSE, &entry), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_BYTE_READ, &entry, 0, 0, buffer, 18), 0u);
  ASSERT_EQ(host.Send(IOCTL_PORT_FRAME_BEGIN, &entry, 10, 0), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_BYTE_READ_FRAME, &entry, 0, 0, buffer, 18), 0u);
  // Nibbles still work.
  ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 1), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_NIBBLE_READ, &entry, 0, 0, buffer, 18), 1u);
}

// ---- where the camera is, and whether it is there

TEST(SimDevicePresence, OnlyThePortWithTheCameraAnswers) {
  auto device = MakeStubDevice("port=2");
  DeviceHost host(*device);
  auto& camera = StubOf(*device);
  camera.ready = true;
  PortEntry lpt1 = {}, lpt2 = {};
  ASSERT_TRUE(host.Open(&lpt1, 1));
  ASSERT_TRUE(host.Open(&lpt2, 2));
  EXPECT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &lpt1, 5), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_POLL, &lpt1), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_OUT_A, &lpt1, 12), 1u);  // the lines move; nobody listens
  EXPECT_TRUE(camera.outputsA.empty());

  EXPECT_EQ(host.Send(IOCTL_PORT_POLL, &lpt2), 1u);
  camera.ready = false;
  EXPECT_EQ(host.Send(IOCTL_PORT_POLL, &lpt2), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &lpt2, 5), 1u);

  // Unplugged: the port has nobody on it any more.
  camera.present = false;
  camera.ready = true;
  EXPECT_EQ(host.Send(IOCTL_PORT_POLL, &lpt2), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &lpt2, 5), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_FRAME_BEGIN, &lpt2, 11, 0), 0u);
}

TEST(SimDevicePresence, NoPortHasTheCameraWithPortNone) {
  auto device = MakeStubDevice("port=none");
  DeviceHost host(*device);
  for (BYTE lpt = 1; lpt <= 3; ++lpt) {
    PortEntry entry = {};
    ASSERT_TRUE(host.Open(&entry, lpt));
    EXPECT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 5), 0u);
    EXPECT_EQ(entry.PortFlags, 0);
    EXPECT_EQ(host.Send(IOCTL_PORT_RELEASE, &entry), 1u);
  }
}

// ---- fault injection and the log

TEST(SimDeviceFaults, FailRulesHitTheNthRequestOrEveryOne) {
  auto device = MakeStubDevice("fail=poll@3,fail=attach@2,fail=terminate@1");
  DeviceHost host(*device);
  StubOf(*device).ready = true;
  PortEntry entry = {};
  ASSERT_TRUE(host.Open(&entry, 1));
  EXPECT_EQ(host.Send(IOCTL_PORT_ATTACH, &entry, 1), 0u);
  EXPECT_EQ(host.Send(IOCTL_PORT_ATTACH, &entry, 1), 1u);
  std::vector<DWORD> polls;
  for (int i = 0; i < 4; ++i) polls.push_back(host.Send(IOCTL_PORT_POLL, &entry));
  EXPECT_EQ(polls, (std::vector<DWORD>{1, 1, 0, 1}));

  // A refused terminate changes nothing: the phase is still open.
  ASSERT_EQ(host.Send(IOCTL_PORT_NEGOTIATE, &entry, 3), 1u);
  EXPECT_EQ(host.Send(IOCTL_PORT_TERMINATE, &entry), 0u);
  EXPECT_EQ(device->Entry(&entry)->phase, PortPhase::Negotiated);
  EXPECT_EQ(host.Send(IOCTL_PORT_TERMINATE, &entry), 1u);

  auto polled = device->LogOf("poll");
  ASSERT_EQ(polled.size(), 4u);
  EXPECT_TRUE(polled[2].injected);
  EXPECT_FALSE(polled[2].result);
  EXPECT_FALSE(polled[3].injected);

  auto always = MakeStubDevice("fail=release,fail=out-a");
  DeviceHost host2(*always);
  PortEntry other = {};
  ASSERT_TRUE(host2.Open(&other, 1));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(host2.Send(IOCTL_PORT_RELEASE, &other), 0u);
    EXPECT_EQ(host2.Send(IOCTL_PORT_OUT_A, &other, 12), 0u);
  }
  EXPECT_TRUE(always->Entry(&other)->claimed);
  EXPECT_TRUE(StubOf(*always).outputsA.empty());
}

TEST(SimDeviceLog, RecordsNameCodeBytesAndReply) {
  auto device = MakeStubDevice();
  DeviceHost host(*device);
  PortEntry entry = {};
  ASSERT_TRUE(host.Open(&entry, 1));
  host.Send(IOCTL_PORT_NEGOTIATE, &entry, 5);
  host.Send(IOCTL_PORT_RELEASE, &entry);
  auto log = device->Log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_STREQ(log[0].name, "attach");
  EXPECT_EQ(log[0].code, 0x001D2080u);
  EXPECT_EQ(log[0].inLength, sizeof(void*) + 1);
  EXPECT_EQ(log[0].outLength, 4u);
  BYTE expected[kPortRecordMaxLength];
  PortRecord record;
  record.entry = PortAddressOf(&entry);
  record.value = 1;
  EncodePortRecord(PortRecordLayout::EB, kPortAddressWidth, record, expected);
  EXPECT_EQ(std::memcmp(log[0].input.data(), expected, log[0].InputStored()), 0);
  EXPECT_EQ(log[0].fields.value, 1);
  EXPECT_EQ(log[0].reply, 1u);
  EXPECT_STREQ(log[1].name, "claim");
  EXPECT_STREQ(log[2].name, "negotiate");
  EXPECT_EQ(log[2].fields.value, 5);
  EXPECT_STREQ(log[3].name, "release");
  EXPECT_EQ(log[3].outLength, 0u);
  EXPECT_TRUE(log[3].result);

  device->ClearLog();
  EXPECT_TRUE(device->Log().empty());
  host.Send(IOCTL_PORT_POLL, &entry);
  EXPECT_EQ(device->Log().size(), 1u);
  EXPECT_EQ(device->LogDropped(), 0u);
}

}  // namespace
