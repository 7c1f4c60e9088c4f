// Opening and closing the kernel port device, and what each request wrapper
// puts on the wire.
#include <climits>
#include <cstdlib>
#include <functional>

#include "support/environment.h"
#include "core/driver_context.h"
#include "port/port_fixture.h"

namespace {

using Bytes = std::vector<BYTE>;

// Little-endian bytes of a value, written out independently of the encoder.
Bytes Le(std::uint64_t value, std::size_t width) {
  Bytes bytes;
  for (std::size_t i = 0; i < width; ++i) bytes.push_back(static_cast<BYTE>(value >> (8 * i)));
  return bytes;
}
Bytes Addr(const void* p) { return Le(reinterpret_cast<std::uintptr_t>(p), sizeof(void*)); }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::u16string NameOf(int index) {
  WCHAR name[kPortDeviceNameSize];
  FormatPortDeviceName(index, name);
  return std::u16string(reinterpret_cast<const char16_t*>(name));
}

TEST(PortDeviceName, TwoStepNameFitsItsBuffers) {
  EXPECT_EQ(NameOf(0), u"\\\\.\\VidCap0");
  EXPECT_EQ(NameOf(12), u"\\\\.\\VidCap12");
  // The longest index there is still fits the 22-character buffers, terminated.
  EXPECT_EQ(NameOf(INT_MIN), u"\\\\.\\VidCap-2147483648");

  WCHAR guarded[kPortDeviceNameSize + 4];
  std::fill(std::begin(guarded), std::end(guarded), WCHAR{0xAAAA});
  FormatPortDeviceName(INT_MIN, guarded);
  for (std::size_t i = kPortDeviceNameSize; i < std::size(guarded); ++i) EXPECT_EQ(guarded[i], WCHAR{0xAAAA});
}

TEST(PortDeviceOpen, AbsentDeviceGivesTheInvalidHandle) {
  testsupport::SetEnvironment("ZARNCAP_CAMERA", "none");
  EXPECT_EQ(OpenPortDevice(kPortDeviceIndex), INVALID_HANDLE_VALUE);
  ClosePortDevice(INVALID_HANDLE_VALUE);  // does nothing
  // A wrapper on the invalid handle fails like a refused request.
  PortEntry entry{};
  ResetDriverContext();
  EXPECT_EQ(PortClaim(&entry), 0u);
  EXPECT_EQ(PortRelease(&entry), 0u);
}

using PortDeviceTest = PortFixture;

// The close gives the handle back to the platform; the caller forgets it (the
// port layer never writes the driver's record).
TEST_F(PortDeviceTest, CloseGivesTheHandleBack) {
  HANDLE device = Driver().portDevice;
  ClosePortDevice(device);
  EXPECT_EQ(Driver().portDevice, device);
  EXPECT_EQ(platform::OpenPortDeviceBackend(), nullptr);
  Driver().portDevice = INVALID_HANDLE_VALUE;
  // A second close (a later DRV_CLOSE) has nothing left to close.
  ClosePortDevice(Driver().portDevice);
  // And the device can be opened again.
  Driver().portDevice = OpenPortDevice(kPortDeviceIndex);
  EXPECT_NE(Driver().portDevice, INVALID_HANDLE_VALUE);
}

struct WrapperCase {
  const char* name;
  std::function<DWORD(PortEntry*, BYTE*, DWORD*)> call;
  DWORD code;
  std::function<Bytes(PortEntry*, BYTE*, DWORD*)> record;
  bool hasReply;
};

TEST_F(PortDeviceTest, EveryWrapperSendsItsCodeAndRecord) {
  PortEntry entry{};
  BYTE buffer[32] = {};  // room for the largest count below
  DWORD countRead = 0;
  auto e = [](PortEntry* p, BYTE*, DWORD*) { return Addr(p); };
  auto eb = [](BYTE v) { return [v](PortEntry* p, BYTE*, DWORD*) { return Cat({Addr(p), {v}}); }; };
  auto ebc = [](DWORD n) { return [n](PortEntry* p, BYTE* b, DWORD*) { return Cat({Addr(p), Addr(b), Le(n, 4)}); }; };
  auto ebcr = [](DWORD n) {
    return [n](PortEntry* p, BYTE* b, DWORD* r) { return Cat({Addr(p), Addr(b), Le(n, 4), Addr(r)}); };
  };
  const WrapperCase cases[] = {
      {"attach", [](PortEntry* p, BYTE*, DWORD*) { return PortAttach(p, 3); }, 0x001D2080, eb(3), true},
      {"claim", [](PortEntry* p, BYTE*, DWORD*) { return PortClaim(p); }, 0x001D2084, e, true},
      {"release", [](PortEntry* p, BYTE*, DWORD*) { return PortRelease(p); }, 0x001D2088, e, false},
      {"poll", [](PortEntry* p, BYTE*, DWORD*) { return PortPoll(p); }, 0x001D208C, e, true},
      {"negotiate", [](PortEntry* p, BYTE*, DWORD*) { return PortNegotiate(p, 7); }, 0x001D2090, eb(7), true},
      {"terminate", [](PortEntry* p, BYTE*, DWORD*) { return PortTerminate(p); }, 0x001D2094, e, true},
      {"frame begin", [](PortEntry* p, BYTE*, DWORD*) { return PortFrameBegin(p, 11, 64); }, 0x001D2098,
       [](PortEntry* p, BYTE*, DWORD*) { return Cat({Addr(p), {11, 64}}); }, true},
      {"frame end", [](PortEntry* p, BYTE*, DWORD*) { return PortFrameEnd(p); }, 0x001D209C, e, true},
      {"reverse", [](PortEntry* p, BYTE*, DWORD*) { return PortReverse(p); }, 0x001D20A0, e, true},
      {"ecp cmd", [](PortEntry* p, BYTE*, DWORD*) { return PortEcpWriteCommand(p, 0x93); }, 0x001D20A8, eb(0x93),
       true},
      {"ecp write", [](PortEntry* p, BYTE* b, DWORD*) { return PortEcpWrite(p, b, 18); }, 0x001D20AC, ebc(18), true},
      {"ecp read", [](PortEntry* p, BYTE* b, DWORD*) { return PortEcpRead(p, b, 5); }, 0x001D20B0, ebc(5), true},
      {"compat cmd", [](PortEntry* p, BYTE*, DWORD*) { return PortCompatWriteCommand(p, 8); }, 0x001D20B4, eb(8),
       true},
      {"compat write", [](PortEntry* p, BYTE* b, DWORD*) { return PortCompatWrite(p, b, 6); }, 0x001D20B8, ebc(6),
       true},
      {"byte read", [](PortEntry* p, BYTE* b, DWORD*) { return PortByteRead(p, b, 2); }, 0x001D20BC, ebc(2), true},
      {"nibble read", [](PortEntry* p, BYTE* b, DWORD*) { return PortNibbleRead(p, b, 4); }, 0x001D20C0, ebc(4),
       true},
      {"ecp frame", [](PortEntry* p, BYTE* b, DWORD*) { return PortEcpReadFrame(p, b, 8); }, 0x001D20C4, ebc(8),
       true},
      {"ecp frame var", [](PortEntry* p, BYTE* b, DWORD* r) { return PortEcpReadFrameVar(p, b, 7, r); }, 0x001D20C8,
       ebcr(7), true},
      {"byte frame", [](PortEntry* p, BYTE* b, DWORD*) { return PortByteReadFrame(p, b, 3); }, 0x001D20CC, ebc(3),
       true},
      {"byte frame var", [](PortEntry* p, BYTE* b, DWORD* r) { return PortByteReadFrameVar(p, b, 6, r); },
       0x001D20D0, ebcr(6), true},
      {"nibble frame", [](PortEntry* p, BYTE* b, DWORD*) { return PortNibbleReadFrame(p, b, 1); }, 0x001D20D4,
       ebc(1), true},
      {"nibble frame var", [](PortEntry* p, BYTE* b, DWORD* r) { return PortNibbleReadFrameVar(p, b, 8, r); },
       0x001D20D8, ebcr(8), true},
      {"out b", [](PortEntry* p, BYTE*, DWORD*) { return PortOutB(p, 4); }, 0x001D20DC, eb(4), false},
      {"out a", [](PortEntry* p, BYTE*, DWORD*) { return PortOutA(p, 12); }, 0x001D20E0, eb(12), false},
  };
  ASSERT_EQ(std::size(cases), 24u);
  for (const WrapperCase& c : cases) {
    SCOPED_TRACE(c.name);
    fake->ClearLog();
    fake->Script(c.code, {0x1234});
    DWORD reply = c.call(&entry, buffer, &countRead);
    ASSERT_EQ(fake->log.size(), 1u);
    const RecordedRequest& sent = fake->log[0];
    EXPECT_EQ(sent.code, c.code);
    EXPECT_EQ(sent.in, c.record(&entry, buffer, &countRead));
    EXPECT_EQ(sent.outLength, c.hasReply ? 4u : 0u);
    EXPECT_EQ(sent.outNull, !c.hasReply);
    // The reply comes back as it is; without a reply, the call's own success flag.
    EXPECT_EQ(reply, c.hasReply ? 0x1234u : DWORD{TRUE});

    // A call that fails reads as a zero reply, whatever the reply slot holds.
    fake->Script(c.code, {FakePortDevice::kCallFails});
    EXPECT_EQ(c.call(&entry, buffer, &countRead), 0u);
    fake->Script(c.code, {0});
    EXPECT_EQ(c.call(&entry, buffer, &countRead), 0u);
  }
  EXPECT_EQ(entry.PortFlags, 0);  // the wrappers never touch the entry themselves
}

TEST_F(PortDeviceTest, RequestsOnAClosedDeviceSendNothing) {
  PortEntry entry{};
  HANDLE open = Driver().portDevice;
  Driver().portDevice = INVALID_HANDLE_VALUE;
  EXPECT_EQ(PortAttach(&entry, 1), 0u);
  EXPECT_EQ(PortOutA(&entry, 12), 0u);
  EXPECT_TRUE(fake->log.empty());
  Driver().portDevice = open;
}

}  // namespace
