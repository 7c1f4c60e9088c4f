// OpenPort and ReadDeviceId: the request sequences of the three modes, the
// error codes, which closing request follows which failure, and forced modes.
#include <cstring>

#include "core/driver_context.h"
#include "port/port_fixture.h"

namespace {

const char kId[] = "MFG:Zarn;MDL:Cam;";  // 17 characters
const Lines kOpenHead = {"ATTACH 2", "CLAIM", "OUT_A 12", "OUT_A 12", "OUT_B 4",
                         "NEGOTIATE 5", "NIBBLE_READ 2", "NIBBLE_READ 17", "TERMINATE"};

Lines Join(const Lines& head, const Lines& tail) {
  Lines all = head;
  all.insert(all.end(), tail.begin(), tail.end());
  return all;
}

class OpenPortTest : public PortFixture {
 protected:
  void SetUp() override {
    PortFixture::SetUp();
    fake->streams[PORT_NEGOTIATE_ID_NIBBLE] = DeviceIdBytes(kId);
    ASSERT_TRUE(SelectPort(2));
  }
};

TEST_F(OpenPortTest, SelectPortKeepsThePreviousPortOnBadNumbers) {
  EXPECT_FALSE(SelectPort(0));
  EXPECT_FALSE(SelectPort(4));
  EXPECT_FALSE(SelectPort(-1));
  EXPECT_EQ(Ports().currentLpt, 2);
  EXPECT_EQ(CurrentPortEntry(), &Ports().entries[1]);
}

TEST_F(OpenPortTest, NibblePortWhenTheByteWideLengthDisagrees) {
  fake->streams[PORT_NEGOTIATE_ID_BYTE] = {0xFF, 0xFF};
  EXPECT_EQ(OpenPort(), 0);
  EXPECT_EQ(fake->Trace(), Join(kOpenHead, {"NEGOTIATE 7", "REVERSE", "BYTE_READ 2", "TERMINATE"}));
  EXPECT_EQ(GetPortMode(), PORT_MODE_4BIT);
  // Every request names LPT2's entry.
  for (const RecordedRequest& request : fake->log) EXPECT_EQ(request.record.entry, PortAddressOf(&Ports().entries[1]));
  // The device's own bytes in the entry are left as it wrote them.
  for (BYTE b : Ports().entries[1].reserved) ASSERT_EQ(b, fake->reservedPattern);
}

TEST_F(OpenPortTest, BytePortWhenTheIdReadsBackTheSame) {
  EXPECT_EQ(OpenPort(), 0);
  EXPECT_EQ(fake->Trace(), Join(kOpenHead, {"NEGOTIATE 7", "REVERSE", "BYTE_READ 2", "BYTE_READ 17", "TERMINATE"}));
  EXPECT_EQ(GetPortFlags(), PORT_FLAG_BIDIR);
  EXPECT_EQ(GetPortMode(), PORT_MODE_BIDIR);

  // The won mode stays with the entry: the next open skips the byte-wide test.
  fake->ClearLog();
  EXPECT_EQ(OpenPort(), 0);
  EXPECT_EQ(fake->Trace(), kOpenHead);
  EXPECT_EQ(GetPortMode(), PORT_MODE_BIDIR);
}

TEST_F(OpenPortTest, EcpPortWhenTheDeviceSetsEcp) {
  fake->flagsOnAttach = PORT_FLAG_ECP;
  EXPECT_EQ(OpenPort(), 0);
  EXPECT_EQ(fake->Trace(), Join(kOpenHead, {"NEGOTIATE 7", "REVERSE", "BYTE_READ 2", "BYTE_READ 17", "TERMINATE"}));
  EXPECT_EQ(GetPortFlags(), PORT_FLAG_BIDIR | PORT_FLAG_ECP);
  EXPECT_EQ(GetPortMode(), PORT_MODE_ECP);
}

TEST_F(OpenPortTest, SameLengthDifferentTextFallsBackToNibbles) {
  std::vector<BYTE> other = DeviceIdBytes(kId);
  other.back() ^= 0x20;
  fake->streams[PORT_NEGOTIATE_ID_BYTE] = other;
  EXPECT_EQ(OpenPort(), 0);
  EXPECT_EQ(GetPortMode(), PORT_MODE_4BIT);
}

struct FailureCase {
  const char* what;
  DWORD code;
  std::vector<long long> replies;
  int result;
  Lines tail;  // the last requests sent
  bool bidirAfter;
};

TEST_F(OpenPortTest, ErrorCodesAndTheClosingRequestThatFollows) {
  const long long fails = FakePortDevice::kCallFails;
  const FailureCase cases[] = {
      {"attach refused", IOCTL_PORT_ATTACH, {0}, 1, {"ATTACH 2"}, false},
      {"claim refused", IOCTL_PORT_CLAIM, {fails}, 2, {"ATTACH 2", "CLAIM"}, false},
      {"id negotiate refused", IOCTL_PORT_NEGOTIATE, {0}, 3, {"OUT_B 4", "NEGOTIATE 5"}, false},
      {"id length read fails", IOCTL_PORT_NIBBLE_READ, {0}, 9, {"NIBBLE_READ 2", "TERMINATE"}, false},
      {"id text read fails", IOCTL_PORT_NIBBLE_READ, {1, 0}, 9, {"NIBBLE_READ 17", "TERMINATE"}, false},
      {"id terminate refused", IOCTL_PORT_TERMINATE, {0}, 5, {"NIBBLE_READ 17", "TERMINATE"}, false},
      {"byte-wide negotiate refused", IOCTL_PORT_NEGOTIATE, {1, 0}, 3, {"TERMINATE", "NEGOTIATE 7"}, false},
      {"reverse refused", IOCTL_PORT_REVERSE, {0}, 7, {"NEGOTIATE 7", "REVERSE"}, false},
      {"length byte read fails", IOCTL_PORT_BYTE_READ, {0}, 8, {"BYTE_READ 2", "TERMINATE"}, false},
      {"text byte read fails", IOCTL_PORT_BYTE_READ, {1, 0}, 8, {"BYTE_READ 17", "TERMINATE"}, false},
      {"byte-wide terminate refused", IOCTL_PORT_TERMINATE, {1, 0}, 5, {"BYTE_READ 17", "TERMINATE"}, true},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    Ports().Reset();
    ASSERT_TRUE(SelectPort(2));
    fake->ClearLog();
    fake->Script(c.code, c.replies);
    Driver().openCount = 5;
    EXPECT_EQ(OpenPort(), c.result);
    Lines trace = fake->Trace();
    ASSERT_GE(trace.size(), c.tail.size());
    EXPECT_EQ(Lines(trace.end() - static_cast<long>(c.tail.size()), trace.end()), c.tail);
    EXPECT_EQ((GetPortFlags() & PORT_FLAG_BIDIR) != 0, c.bidirAfter);
    // OpenPort leaves releasing to its caller.
    EXPECT_EQ(Driver().openCount, 5);
  }
}

TEST_F(OpenPortTest, LengthMismatchWithRefusedTerminate) {
  fake->streams[PORT_NEGOTIATE_ID_BYTE] = {0x00, 0x05};
  fake->Script(IOCTL_PORT_TERMINATE, {1, 0});
  EXPECT_EQ(OpenPort(), 5);
  EXPECT_EQ(fake->Trace().back(), "TERMINATE");
  EXPECT_EQ(GetPortFlags() & PORT_FLAG_BIDIR, 0);
}

TEST_F(OpenPortTest, ShortDeviceIdLengthIsCode4) {
  fake->streams[PORT_NEGOTIATE_ID_NIBBLE] = {0x00, 0x02};
  EXPECT_EQ(OpenPort(), 4);
  EXPECT_EQ(fake->Trace().back(), "TERMINATE");
}

TEST_F(OpenPortTest, ForcedModes) {
  // 0x08 wins over 0x10 and forces byte-wide, dropping ECP and the 4-bit mark.
  fake->flagsOnAttach = PORT_FLAG_ECP;
  fake->streams[PORT_NEGOTIATE_ID_BYTE] = {0xFF, 0xFF};
  Driver().debugFlags = DEBUG_FORCE_BIDIR | DEBUG_FORCE_4BIT;
  Ports().entries[1].PortFlags = PORT_FLAG_4BIT;
  EXPECT_EQ(OpenPort(), 0);
  EXPECT_EQ(GetPortFlags(), PORT_FLAG_BIDIR);

  // 0x10 alone forces 4-bit, for good: ECP and byte-wide are dropped.
  fake->ClearLog();
  Driver().debugFlags = DEBUG_FORCE_4BIT;
  EXPECT_EQ(OpenPort(), 0);
  EXPECT_EQ(fake->Trace(), kOpenHead);  // byte-wide already set: no test this time
  EXPECT_EQ(GetPortFlags(), PORT_FLAG_4BIT);
  EXPECT_EQ(GetPortMode(), PORT_MODE_4BIT);

  // Unforced again, the byte-wide test runs again.
  fake->ClearLog();
  fake->flagsOnAttach = 0;
  fake->streams.erase(PORT_NEGOTIATE_ID_BYTE);
  Driver().debugFlags = 0;
  EXPECT_EQ(OpenPort(), 0);
  EXPECT_EQ(fake->Trace()[9], "NEGOTIATE 7");
  EXPECT_EQ(GetPortFlags(), PORT_FLAG_4BIT | PORT_FLAG_BIDIR);
}

TEST_F(OpenPortTest, NoCurrentPortMeansNoTraffic) {
  Ports().Reset();
  EXPECT_EQ(OpenPort(), 1);
  BYTE id[kDeviceIdSize];
  id[0] = 'x';
  EXPECT_EQ(ReadDeviceId(id), 3);
  EXPECT_EQ(id[0], 0);
  EXPECT_EQ(GetPortFlags(), 0);
  EXPECT_EQ(GetPortMode(), PORT_MODE_4BIT);
  EXPECT_TRUE(fake->log.empty());
}

using ReadDeviceIdTest = OpenPortTest;

TEST_F(ReadDeviceIdTest, LongIdIsCutTo255Characters) {
  for (int length : {257, 258, 300, 0xFFFF}) {
    SCOPED_TRACE(length);
    std::vector<BYTE> bytes{static_cast<BYTE>(length >> 8), static_cast<BYTE>(length & 0xFF)};
    for (int i = 0; i < 400; ++i) bytes.push_back(static_cast<BYTE>('A' + i % 26));
    fake->streams[PORT_NEGOTIATE_ID_NIBBLE] = bytes;
    fake->ClearLog();
    BYTE id[kDeviceIdSize + 1];
    id[kDeviceIdSize] = 0xEE;
    EXPECT_EQ(ReadDeviceId(id), 0);
    EXPECT_EQ(fake->Trace(), (Lines{"NEGOTIATE 5", "NIBBLE_READ 2", "NIBBLE_READ 255", "TERMINATE"}));
    EXPECT_EQ(std::strlen(reinterpret_cast<char*>(id)), 255u);
    EXPECT_EQ(id[kDeviceIdSize], 0xEE);
  }
}

TEST_F(ReadDeviceIdTest, ShortestIdAndTheFailedTextRead) {
  fake->streams[PORT_NEGOTIATE_ID_NIBBLE] = DeviceIdBytes("Z");
  BYTE id[kDeviceIdSize];
  EXPECT_EQ(ReadDeviceId(id), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(id), "Z");

  // A text read that fails leaves the buffer empty even if bytes arrived.
  fake->streams[PORT_NEGOTIATE_ID_NIBBLE] = DeviceIdBytes(kId);
  fake->Script(IOCTL_PORT_NIBBLE_READ, {1, 0});
  fake->serveRefused = true;
  std::memset(id, 'q', sizeof(id));
  EXPECT_EQ(ReadDeviceId(id), 9);
  EXPECT_EQ(id[0], 0);
}

}  // namespace
