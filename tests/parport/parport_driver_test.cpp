// The whole driver through the parallel-port device on a model of the port:
// it opens, identifies, captures and streams as on the virtual port device,
// with the same bytes in every transfer mode, and its faults end in the
// driver's usual answers, with nothing held and the next open working.
#include <cerrno>
#include <chrono>
#include <thread>

#include "integration/capture_host.h"
#include "parport/model_backend.h"
#include "parport/port_transfers.h"

namespace {

using capture_host::CaptureHostTest;
using port_model::PortModel;

class ParportDriverTest : public CaptureHostTest {
 protected:
  void SetUp() override {
    CaptureHostTest::SetUp();
    port_model::RegisterModelParport();
  }
  void TearDown() override {
    CaptureHostTest::TearDown();
    model_.reset();
  }

  PortModel& UseModel(const std::string& simOptions, const std::string& deviceOptions = "") {
    model_.reset();
    model_ = std::make_unique<PortModel>(simOptions, port_model::TypicalPorts());
    Camera(deviceOptions.empty() ? "parportmodel" : "parportmodel:" + deviceOptions);
    return *model_;
  }

  // A fresh settings file, one channel, the format, `count` frames; the bytes
  // of each frame and the answers of DVM_FRAME.
  std::vector<std::vector<BYTE>> Capture(const BITMAPINFOHEADER& format, int count, std::vector<LRESULT>* answers) {
    std::remove(ini_.c_str());
    std::vector<std::vector<BYTE>> frames;
    HDRVR video = Open(VIDEO_IN);
    if (video == nullptr) return frames;
    EXPECT_EQ(SetFormat(video, format), 0);
    for (int i = 0; i < count; ++i) {
      std::vector<BYTE> buffer(format.biSizeImage);
      answers->push_back(Frame(video, buffer));
      frames.push_back(buffer);
    }
    Close(video);
    return frames;
  }

  std::unique_ptr<PortModel> model_;
};

struct SameBytesCase {
  const char* options;
  BITMAPINFOHEADER format;
  int frameMode;  // the frame mode byte the transfers must have used
  std::uint32_t pauseEvery = 0;  // the camera pauses after every n bytes of a frame
};

TEST_F(ParportDriverTest, FramesEqualTheVirtualPortDevicesInEveryTransferMode) {
  const SameBytesCase cases[] = {
      {"mode=ecp,period=10,noise=0", capture_host::Header(320, 240), PORT_FRAME_ECP},
      {"mode=byte,period=10,noise=0", capture_host::Header(320, 240), PORT_FRAME_BYTE},
      {"mode=nibble,period=10,noise=0", capture_host::Header(320, 240), PORT_FRAME_NIBBLE},
      {"mode=ecp,period=10,noise=0", capture_host::Header(176, 144, 12, FOURCC_I420), PORT_FRAME_ECP},
      {"mode=byte,period=10,noise=0", capture_host::Header(176, 144, 12, FOURCC_I420), PORT_FRAME_BYTE},
      {"mode=nibble,period=10,noise=0", capture_host::Header(176, 144, 12, FOURCC_I420), PORT_FRAME_NIBBLE},
      // Reads that end early at the camera's pauses, fixed (mode 1) and
      // counted (mode 2 after its first full frame).
      {"mode=ecp,period=10,noise=0", capture_host::Header(320, 240), PORT_FRAME_ECP, 700},
      {"mode=byte,period=10,noise=0", capture_host::Header(176, 144, 12, FOURCC_I420), PORT_FRAME_BYTE, 1000},
      {"mode=nibble,period=10,noise=0", capture_host::Header(176, 144, 12, FOURCC_I420), PORT_FRAME_NIBBLE, 333},
  };
  for (const SameBytesCase& c : cases) {
    SCOPED_TRACE(std::string(c.options) + " " + std::to_string(c.format.biCompression));
    std::vector<LRESULT> simAnswers, portAnswers;
    Camera(std::string("sim:") + c.options);
    const auto expected = Capture(c.format, 3, &simAnswers);
    PortModel& model = UseModel(c.options);
    model.faults.pauseEvery = c.pauseEvery;
    const auto got = Capture(c.format, 3, &portAnswers);
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(portAnswers, simAnswers);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(model.ProtocolErrors(), 0);
    EXPECT_EQ(model.Hangs(), 0);
    EXPECT_FALSE(model.AnyOpenOrClaimed());
    // ppdev never moved more than its buffer in one call.
    EXPECT_LE(model.LargestRead(), 1024u);
    if (c.pauseEvery != 0) {
      EXPECT_LE(model.LargestRead(), c.pauseEvery);
    }
    // Every frame was asked for through the extensibility link with the mode's byte.
    int frameRequests = 0;
    for (int mode : model.Negotiations()) {
      if ((mode & M1284_FLAG_EXT_LINK) != 0) {
        EXPECT_EQ(mode & 0x3F, c.frameMode);
        ++frameRequests;
      }
    }
    EXPECT_GE(frameRequests, 3);
  }
}

void CALLBACK CountFrames(HDRVR, UINT msg, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  if (msg == MM_DRVM_DATA) ++*reinterpret_cast<std::atomic<int>*>(user);
}

TEST_F(ParportDriverTest, StreamsAndGivesThePortBackAtClose) {
  PortModel& model = UseModel("mode=ecp,period=10");
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  const BITMAPINFOHEADER format = capture_host::Header(176, 144, 12, FOURCC_I420);
  ASSERT_EQ(SetFormat(video, format), 0);
  std::atomic<int> delivered{0};
  StreamBuffers buffers;
  InitAndQueueStream(video, 20000, &CountFrames, &delivered, buffers, 4, format.biSizeImage);
  ASSERT_EQ(Send(video, DVM_STREAM_START), 0);
  for (int i = 0; i < 1000 && delivered < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  Send(video, DVM_STREAM_STOP);
  Send(video, DVM_STREAM_RESET);
  Send(video, DVM_STREAM_FINI);
  EXPECT_GE(delivered.load(), 3);
  EXPECT_EQ(buffers.headers[0].dwBytesUsed, format.biSizeImage);
  Close(video);
  EXPECT_EQ(model.ProtocolErrors(), 0);
  EXPECT_EQ(model.Hangs(), 0);
  EXPECT_FALSE(model.AnyOpenOrClaimed());
}

struct FaultCase {
  const char* name;
  const char* options;
  void (*fault)(PortModel&);
  bool opens;                 // the channel still opens
  const char* message;        // a part of the one line reported, or nullptr
};

TEST_F(ParportDriverTest, FaultsEndInTheDriversAnswersAndTheNextOpenWorks) {
  const FaultCase cases[] = {
      {"negotiation refused", "", [](PortModel& m) { m.faults.rejectNegotiation = true; }, false, nullptr},
      {"claim refused", "", [](PortModel& m) { m.faults.claimFails = true; }, false, "is busy"},
      {"held by the printer driver", "", [](PortModel& m) { m.faults.holder = "lp"; }, false, "lp has it"},
      {"no permission", "", [](PortModel& m) { m.faults.openErrno = EACCES; }, false, "'lp' group"},
      {"short frame read", "", [](PortModel& m) { m.faults.shortFrameRead = 2; }, true, nullptr},
      {"stalled frame read", "", [](PortModel& m) { m.faults.stalledFrameRead = 1; }, true, nullptr},
      {"camera vanishes", "unplug=4", [](PortModel&) {}, true, nullptr},
      {"device ID too long", "id=MFG:Zarn;MDL:ZarnCam PC;DES:" /* padded below */, [](PortModel&) {}, true, nullptr},
  };
  const BITMAPINFOHEADER format = capture_host::Header(320, 240);
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string options = std::string("period=10,") + c.options;
    if (std::string(c.name) == "device ID too long") options += std::string(300, 'x') + ";";
    platform::ClearRecordedMessageBoxes();
    PortModel& model = UseModel(options);
    c.fault(model);
    std::vector<LRESULT> answers;
    const auto frames = Capture(format, 4, &answers);
    EXPECT_EQ(!frames.empty(), c.opens);
    if (c.opens) {
      // Some frames fail with the driver's error; none hangs, and once the
      // fault has passed the frames come again (unless the camera is gone).
      for (LRESULT answer : answers) EXPECT_TRUE(capture_host::IsDriverAnswer(answer)) << answer;
    }
    if (c.message != nullptr) {
      const auto boxes = platform::RecordedMessageBoxes();
      ASSERT_FALSE(boxes.empty());
      EXPECT_NE(boxes.back().text.find(c.message), std::string::npos) << boxes.back().text;
    }
    EXPECT_FALSE(model.AnyOpenOrClaimed());
    EXPECT_EQ(model.ProtocolErrors(), 0);
    EXPECT_EQ(model.Hangs(), 0);
    // The next open, on a camera without the fault.
    UseModel("period=10");
    std::vector<LRESULT> after;
    const auto again = Capture(format, 1, &after);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(after[0], 0);
  }
}

TEST_F(ParportDriverTest, ShortAndStalledFramesFailOnlyTheirOwnCapture) {
  for (auto fault : {&port_model::ModelFaults::shortFrameRead, &port_model::ModelFaults::stalledFrameRead}) {
    PortModel& model = UseModel("period=10");
    std::remove(ini_.c_str());
    HDRVR video = Open(VIDEO_IN);
    ASSERT_NE(video, nullptr);
    const BITMAPINFOHEADER format = capture_host::Header(320, 240);
    ASSERT_EQ(SetFormat(video, format), 0);
    std::vector<BYTE> buffer(format.biSizeImage);
    model.faults.*fault = model.FrameReads() + 1;  // the next frame read
    EXPECT_NE(Frame(video, buffer), 0);
    EXPECT_EQ(Frame(video, buffer), 0);
    Close(video);
    EXPECT_FALSE(model.AnyOpenOrClaimed());
    EXPECT_EQ(model.Hangs(), 0);
  }
}

// A camera that accepts a frame and never sends it, and one that stops half
// way, in every transfer mode, for a fixed frame (mode 1) and a counted one
// (mode 2 after its first full frame): the capture fails once no byte has come
// for the device's deadline (on the model's clock, which runs by the time the
// kernel would have waited), nothing hangs, and the next frame comes.
struct StallCase {
  const char* options;
  bool counted;
  int port_model::ModelFaults::*fault;
};

TEST_F(ParportDriverTest, AStalledFrameFailsAtTheDeadlineAndTheNextOneComes) {
  const auto never = &port_model::ModelFaults::stalledFrameRead;
  const auto midway = &port_model::ModelFaults::stallMidFrame;
  const StallCase cases[] = {
      {"mode=ecp", false, never},   {"mode=ecp", false, midway},   {"mode=ecp", true, never},
      {"mode=ecp", true, midway},   {"mode=byte", false, never},   {"mode=byte", true, midway},
      {"mode=nibble", false, midway}, {"mode=nibble", true, never},
  };
  for (const StallCase& c : cases) {
    SCOPED_TRACE(std::string(c.options) + (c.counted ? " counted" : " fixed") + (c.fault == never ? " never" : " midway"));
    PortModel& model = UseModel(std::string(c.options) + ",period=10");
    std::remove(ini_.c_str());
    HDRVR video = Open(VIDEO_IN);
    ASSERT_NE(video, nullptr);
    const BITMAPINFOHEADER format =
        c.counted ? capture_host::Header(176, 144, 12, FOURCC_I420) : capture_host::Header(320, 240);
    ASSERT_EQ(SetFormat(video, format), 0);
    std::vector<BYTE> buffer(format.biSizeImage);
    if (c.counted) {
      ASSERT_EQ(Frame(video, buffer), 0);  // the full frame; counted ones follow
    }
    model.faults.*c.fault = model.FrameReads() + 1;
    const std::uint64_t start = model.NowMs();
    EXPECT_NE(Frame(video, buffer), 0);
    const std::uint64_t waited = model.NowMs() - start;
    EXPECT_GE(waited, parallel::kNoProgressMs);
    EXPECT_LE(waited, parallel::kNoProgressMs + 200);
    EXPECT_EQ(Frame(video, buffer), 0);
    Close(video);
    EXPECT_FALSE(model.AnyOpenOrClaimed());
    EXPECT_EQ(model.Hangs(), 0);
    EXPECT_EQ(model.ProtocolErrors(), 0);
    std::vector<LRESULT> after;
    UseModel(std::string(c.options) + ",period=10");
    ASSERT_EQ(Capture(format, 1, &after).size(), 1u);
    EXPECT_EQ(after[0], 0);
  }
}

// A counted frame the camera ends with no byte at all is an empty transfer,
// not a failed one: the driver's "no frame" (DV_ERR_SYNC), then frames again.
TEST_F(ParportDriverTest, AnEmptyCountedFrameIsNoFrameNotAFailure) {
  for (const char* options : {"mode=ecp,period=10", "mode=byte,period=10", "mode=nibble,period=10"}) {
    SCOPED_TRACE(options);
    PortModel& model = UseModel(options, "trace");
    std::remove(ini_.c_str());
    HDRVR video = Open(VIDEO_IN);
    ASSERT_NE(video, nullptr);
    const BITMAPINFOHEADER format = capture_host::Header(176, 144, 12, FOURCC_I420);
    ASSERT_EQ(SetFormat(video, format), 0);
    std::vector<BYTE> buffer(format.biSizeImage);
    ASSERT_EQ(Frame(video, buffer), 0);
    model.faults.emptyCountedFrame = model.FrameReads() + 1;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Frame(video, buffer), DV_ERR_SYNC);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("_READ_FRAME_VAR 31680 bytes -> 1 (0 read)"), std::string::npos) << log.substr(0, 3000);
    EXPECT_EQ(Frame(video, buffer), 0);
    Close(video);
    EXPECT_EQ(model.Hangs(), 0);
    EXPECT_EQ(model.ProtocolErrors(), 0);
  }
}

// A camera left in a stale state declines ECP when the port is claimed; the
// device asks again after the reset the driver sends it, so the session runs
// in ECP all the same.
TEST_F(ParportDriverTest, EcpIsAskedAgainAfterTheCamerasReset) {
  PortModel& model = UseModel("mode=ecp,period=10");
  model.faults.rejectEcpUntilReset = true;
  std::vector<LRESULT> answers;
  ASSERT_EQ(Capture(capture_host::Header(320, 240), 1, &answers).size(), 1u);
  EXPECT_EQ(answers[0], 0);
  int frameRequests = 0;
  for (int mode : model.Negotiations()) {
    if ((mode & M1284_FLAG_EXT_LINK) == 0) continue;
    EXPECT_EQ(mode & 0x3F, PORT_FRAME_ECP);
    ++frameRequests;
  }
  EXPECT_GE(frameRequests, 1);
  EXPECT_EQ(model.ProtocolErrors(), 0);
}

TEST_F(ParportDriverTest, TraceLogsEachPortRequestWithItsReplyAndCount) {
  UseModel("period=10", "trace");
  ::testing::internal::CaptureStderr();
  std::vector<LRESULT> answers;
  Capture(capture_host::Header(176, 144, 12, FOURCC_I420), 3, &answers);
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("trace: port ATTACH 1 -> 1"), std::string::npos) << log.substr(0, 2000);
  EXPECT_NE(log.find("trace: port NEGOTIATE 5 -> 1"), std::string::npos);
  EXPECT_NE(log.find("trace: port FRAME_BEGIN 11,"), std::string::npos);
  EXPECT_NE(log.find("trace: port ECP_READ_FRAME 33792 bytes -> 1"), std::string::npos);
  // The counted reads say how much really arrived.
  EXPECT_NE(log.find("trace: port ECP_READ_FRAME_VAR 31680 bytes -> 1 ("), std::string::npos);
  EXPECT_NE(log.find("trace: port RELEASE -> 1"), std::string::npos);
}

}  // namespace
