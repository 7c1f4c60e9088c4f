// The transfer primitives: command bytes, blocks, frames, the ready poll, the
// camera reset and the port release.
#include "core/driver_context.h"
#include "port/port_fixture.h"

namespace {

class TransferTest : public PortFixture {
 protected:
  void SetUp() override {
    PortFixture::SetUp();
    ASSERT_TRUE(SelectPort(1));
  }
  void SetFlags(WORD flags) { Ports().entries[0].PortFlags = flags; }
};

TEST_F(TransferTest, CommandBytesGoOutHalved) {
  EXPECT_FALSE(SendPortCommand(17));
  EXPECT_TRUE(fake->log.empty());  // an odd byte is refused before any traffic

  EXPECT_TRUE(SendPortCommand(16));
  EXPECT_TRUE(SendPortCommand(38));
  EXPECT_TRUE(SendPortCommand(48));
  EXPECT_TRUE(SendPortCommand(0x82));  // bit 7 stays where it is
  EXPECT_EQ(fake->written, (std::vector<BYTE>{8, 19, 24, 0xC1}));
  Lines trace = fake->Trace();
  ASSERT_EQ(trace.size(), 12u);
  EXPECT_EQ(Lines(trace.begin(), trace.begin() + 3), (Lines{"NEGOTIATE 3", "COMPAT_WRITE_CMD 8", "TERMINATE"}));

  // ECP decides the request, whatever the byte-wide bit says.
  fake->ClearLog();
  SetFlags(PORT_FLAG_ECP);
  EXPECT_TRUE(SendPortCommand(16));
  EXPECT_EQ(fake->Trace(), (Lines{"NEGOTIATE 3", "ECP_WRITE_CMD 8", "TERMINATE"}));
}

TEST_F(TransferTest, CommandFailuresAndTheirClosingRequests) {
  fake->Script(IOCTL_PORT_NEGOTIATE, {0});
  EXPECT_FALSE(SendPortCommand(16));
  EXPECT_EQ(fake->Trace(), (Lines{"NEGOTIATE 3"}));

  fake->ClearLog();
  fake->Script(IOCTL_PORT_COMPAT_WRITE_CMD, {0});
  EXPECT_FALSE(SendPortCommand(16));
  EXPECT_EQ(fake->Trace(), (Lines{"NEGOTIATE 3", "COMPAT_WRITE_CMD 8"}));  // no terminate

  fake->ClearLog();
  fake->Script(IOCTL_PORT_TERMINATE, {0});
  EXPECT_FALSE(SendPortCommand(16));
  EXPECT_EQ(fake->Trace().size(), 3u);
}

TEST_F(TransferTest, WriteBlockUsesTheLowEightBitsOfTheCount) {
  BYTE block[300];
  for (int i = 0; i < 300; ++i) block[i] = static_cast<BYTE>(i);
  EXPECT_TRUE(WritePortBlock(block, 18));
  EXPECT_TRUE(WritePortBlock(block, 256));
  EXPECT_TRUE(WritePortBlock(block, 0x102));
  EXPECT_EQ(fake->Trace(), (Lines{"NEGOTIATE 3", "COMPAT_WRITE 18", "TERMINATE", "NEGOTIATE 3", "COMPAT_WRITE 0",
                                  "TERMINATE", "NEGOTIATE 3", "COMPAT_WRITE 2", "TERMINATE"}));
  EXPECT_EQ(fake->written.size(), 20u);
  EXPECT_EQ(fake->written[17], 17);

  fake->ClearLog();
  SetFlags(PORT_FLAG_ECP);
  fake->Script(IOCTL_PORT_ECP_WRITE, {0});
  EXPECT_FALSE(WritePortBlock(block, 18));
  EXPECT_EQ(fake->Trace(), (Lines{"NEGOTIATE 3", "ECP_WRITE 18"}));  // a refused write is not closed
}

struct BlockReadCase {
  WORD flags;
  Lines requests;
};

TEST_F(TransferTest, ReadBlockPerMode) {
  const BlockReadCase cases[] = {
      {0, {"NEGOTIATE 1", "NIBBLE_READ 18", "TERMINATE"}},
      // ECP without byte-wide reverse transfers still reads nibbles.
      {PORT_FLAG_ECP, {"NEGOTIATE 1", "NIBBLE_READ 18", "TERMINATE"}},
      {PORT_FLAG_BIDIR, {"NEGOTIATE 3", "REVERSE", "BYTE_READ 18", "TERMINATE"}},
      {PORT_FLAG_BIDIR | PORT_FLAG_ECP, {"NEGOTIATE 3", "REVERSE", "ECP_READ 18", "TERMINATE"}},
  };
  std::vector<BYTE> status(18);
  for (int i = 0; i < 18; ++i) status[i] = static_cast<BYTE>(0x40 + i);
  for (const BlockReadCase& c : cases) {
    SCOPED_TRACE(c.flags);
    SetFlags(c.flags);
    fake->ClearLog();
    fake->streams[PORT_NEGOTIATE_NIBBLE_DATA] = status;
    fake->streams[PORT_NEGOTIATE_FORWARD] = status;
    BYTE block[18] = {};
    EXPECT_TRUE(ReadPortBlock(block, 18 + 256));
    EXPECT_EQ(fake->Trace(), c.requests);
    EXPECT_EQ(std::vector<BYTE>(block, block + 18), status);
  }
}

TEST_F(TransferTest, ReadBlockFailuresCloseThePhase) {
  BYTE block[18];
  SetFlags(PORT_FLAG_BIDIR);
  fake->Script(IOCTL_PORT_REVERSE, {0});
  EXPECT_FALSE(ReadPortBlock(block, 18));
  EXPECT_EQ(fake->Trace(), (Lines{"NEGOTIATE 3", "REVERSE", "TERMINATE"}));

  fake->ClearLog();
  fake->Script(IOCTL_PORT_BYTE_READ, {0});
  EXPECT_FALSE(ReadPortBlock(block, 18));
  EXPECT_EQ(fake->Trace(), (Lines{"NEGOTIATE 3", "REVERSE", "BYTE_READ 18", "TERMINATE"}));

  fake->ClearLog();
  SetFlags(0);
  fake->Script(IOCTL_PORT_NEGOTIATE, {0});
  EXPECT_FALSE(ReadPortBlock(block, 18));
  EXPECT_EQ(fake->Trace(), (Lines{"NEGOTIATE 1"}));

  // A count of 256 moves nothing.
  fake->ClearLog();
  EXPECT_TRUE(ReadPortBlock(block, 256));
  EXPECT_EQ(fake->Trace()[1], "NIBBLE_READ 0");
}

struct FrameCase {
  WORD flags;
  const char* fixedRead;
  const char* countedRead;
  const char* mode;
};

TEST_F(TransferTest, FrameReadsPerMode) {
  const FrameCase cases[] = {
      {0, "NIBBLE_READ_FRAME", "NIBBLE_READ_FRAME_VAR", "9"},
      {PORT_FLAG_ECP, "NIBBLE_READ_FRAME", "NIBBLE_READ_FRAME_VAR", "9"},
      {PORT_FLAG_BIDIR, "BYTE_READ_FRAME", "BYTE_READ_FRAME_VAR", "10"},
      {PORT_FLAG_BIDIR | PORT_FLAG_ECP, "ECP_READ_FRAME", "ECP_READ_FRAME_VAR", "11"},
  };
  std::vector<BYTE> frame(79056, 0);
  std::vector<BYTE> sent(1000);
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<BYTE>(i * 7);
  for (const FrameCase& c : cases) {
    SCOPED_TRACE(c.mode);
    SetFlags(c.flags);
    fake->ClearLog();
    fake->streams[9] = fake->streams[10] = fake->streams[11] = sent;
    // The whole 32-bit count goes out in one request.
    EXPECT_TRUE(ReadPortFrame(frame.data(), 79056));
    DWORD countRead = 0xFFFFFFFF;
    EXPECT_TRUE(ReadPortFrameCounted(frame.data(), 79056, &countRead));
    EXPECT_EQ(countRead, 1000u);
    EXPECT_EQ(frame[999], sent[999]);
    std::string mode = c.mode;
    EXPECT_EQ(fake->Trace(), (Lines{"FRAME_BEGIN " + mode + "/0", std::string(c.fixedRead) + " 79056", "FRAME_END",
                                    "FRAME_BEGIN " + mode + "/64", std::string(c.countedRead) + " 79056",
                                    "FRAME_END"}));
    EXPECT_EQ(fake->log[4].record.countAddress, PortAddressOf(&countRead));
  }
}

TEST_F(TransferTest, FrameFailuresAndTheirClosingRequests) {
  BYTE frame[64];
  DWORD countRead = 0;
  fake->Script(IOCTL_PORT_FRAME_BEGIN, {0, 0});
  EXPECT_FALSE(ReadPortFrame(frame, 64));
  EXPECT_FALSE(ReadPortFrameCounted(frame, 64, &countRead));
  EXPECT_EQ(fake->Trace(), (Lines{"FRAME_BEGIN 9/0", "FRAME_BEGIN 9/64"}));

  fake->ClearLog();
  fake->Script(IOCTL_PORT_NIBBLE_READ_FRAME, {0});
  fake->Script(IOCTL_PORT_NIBBLE_READ_FRAME_VAR, {FakePortDevice::kCallFails});
  EXPECT_FALSE(ReadPortFrame(frame, 64));
  EXPECT_FALSE(ReadPortFrameCounted(frame, 64, &countRead));
  EXPECT_EQ(fake->Trace(), (Lines{"FRAME_BEGIN 9/0", "NIBBLE_READ_FRAME 64", "FRAME_END", "FRAME_BEGIN 9/64",
                                  "NIBBLE_READ_FRAME_VAR 64", "FRAME_END"}));

  fake->ClearLog();
  fake->Script(IOCTL_PORT_FRAME_END, {0});
  EXPECT_FALSE(ReadPortFrame(frame, 64));

  // No place for the count: refused before any traffic.
  fake->ClearLog();
  EXPECT_FALSE(ReadPortFrameCounted(frame, 64, nullptr));
  EXPECT_TRUE(fake->log.empty());
}

TEST_F(TransferTest, PollAnswers) {
  EXPECT_EQ(PollPortReady(), PORT_READY);
  fake->Script(IOCTL_PORT_POLL, {0, FakePortDevice::kCallFails});
  EXPECT_EQ(PollPortReady(), PORT_NOT_READY);
  EXPECT_EQ(PollPortReady(), PORT_NOT_READY);
  EXPECT_EQ(fake->Trace(), (Lines{"POLL", "POLL", "POLL"}));

  HANDLE open = Driver().portDevice;
  Driver().portDevice = INVALID_HANDLE_VALUE;
  EXPECT_EQ(PollPortReady(), PORT_NOT_READY);
  Driver().portDevice = open;
}

TEST_F(TransferTest, ResetSettlesHalfASecondAcrossAClockWrap) {
  platform::VirtualClock nearWrap(0xFFFFFF00u);
  platform::SetClockSource(&nearWrap);
  fake->Script(IOCTL_PORT_OUT_A, {0, FakePortDevice::kCallFails});  // results are ignored
  ResetCamera();
  EXPECT_EQ(fake->Trace(), (Lines{"OUT_A 12", "OUT_A 12", "OUT_B 4"}));
  DWORD elapsed = nearWrap.Now() - 0xFFFFFF00u;
  EXPECT_GE(elapsed, 500u);
  EXPECT_LT(elapsed, 1000u);
  platform::SetClockSource(&clock);
}

// The release reports; the driver above decides what happens to its counter.
TEST_F(TransferTest, ReleaseSendsNoReplyBufferAndLeavesTheOpenCount) {
  Driver().openCount = 3;
  EXPECT_NE(ReleasePort(), 0u);
  EXPECT_EQ(Driver().openCount, 3);
  ASSERT_EQ(fake->log.size(), 1u);
  EXPECT_EQ(fake->log[0].code, IOCTL_PORT_RELEASE);
  EXPECT_TRUE(fake->log[0].outNull);

  Driver().openCount = 2;
  fake->Script(IOCTL_PORT_RELEASE, {0});
  EXPECT_EQ(ReleasePort(), 0u);
  EXPECT_EQ(Driver().openCount, 2);
}

TEST_F(TransferTest, NothingMovesWithoutACurrentPortOrABuffer) {
  EXPECT_FALSE(WritePortBlock(nullptr, 18));
  EXPECT_FALSE(ReadPortBlock(nullptr, 18));
  EXPECT_FALSE(ReadPortFrame(nullptr, 64));
  Ports().Reset();
  BYTE block[18];
  EXPECT_FALSE(SendPortCommand(16));
  EXPECT_FALSE(ReadPortBlock(block, 18));
  EXPECT_EQ(PollPortReady(), PORT_NOT_READY);
  Driver().openCount = 4;
  EXPECT_EQ(ReleasePort(), 0u);
  EXPECT_EQ(Driver().openCount, 4);
  EXPECT_TRUE(fake->log.empty());
}

}  // namespace
