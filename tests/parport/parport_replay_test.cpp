// Recording and replay below the driver, in process: a capture and a stream
// from the virtual camera and from the parallel-port device on its model of
// the port, recorded and answered back, give the driver the same frames byte
// for byte; a driver that asks something else meets the first difference.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <gmock/gmock.h>

#include "core/driver_context.h"
#include "integration/capture_host.h"
#include "parport/model_backend.h"
#include "portrec/recorder.h"
#include "portrec/register.h"
#include "portrec/replay_device.h"

namespace {

using capture_host::CaptureHostTest;
using Frames = std::vector<std::vector<BYTE>>;

class PortReplayTest : public CaptureHostTest {
 protected:
  void SetUp() override {
    CaptureHostTest::SetUp();
    port_model::RegisterModelParport();
    portrec::RegisterPortRecording();
    recording_ = ini_ + ".pcapng";
  }
  void TearDown() override {
    testsupport::UnsetEnvironment("ZARNCAP_RECORD");
    CaptureHostTest::TearDown();
    model_.reset();
    portrec::ForgetRecording(recording_);
    portrec::ForgetReplay(recording_);
    std::remove(recording_.c_str());
  }

  // The camera for the next open: "sim:..." or "model:..." (the port model).
  void Use(const std::string& camera) {
    model_.reset();
    if (camera.rfind("model:", 0) == 0) {
      model_ = std::make_unique<port_model::PortModel>(camera.substr(6), port_model::TypicalPorts());
      Camera("parportmodel");
    } else {
      Camera(camera);
    }
  }
  void Record() {
    portrec::ForgetRecording(recording_);
    testsupport::SetEnvironment("ZARNCAP_RECORD", recording_.c_str());
  }
  void Replay() {
    testsupport::UnsetEnvironment("ZARNCAP_RECORD");
    portrec::ForgetReplay(recording_);
    Camera("replay:" + recording_);
  }

  // A freshly loaded driver (the port flags one open leaves steer the next
  // one's requests) and settings file, then `count` stills or a stream of
  // `count` frames.
  Frames Take(const BITMAPINFOHEADER& format, int count, bool stream) {
    ResetDriverContext();
    std::remove(ini_.c_str());
    Frames frames;
    HDRVR video = Open(VIDEO_IN);
    if (video == nullptr) return frames;
    EXPECT_EQ(SetFormat(video, format), 0);
    if (stream) {
      frames = Stream(video, format, count);
    } else {
      for (int i = 0; i < count; ++i) {
        std::vector<BYTE> buffer(format.biSizeImage);
        EXPECT_EQ(Frame(video, buffer), 0);
        frames.push_back(buffer);
      }
    }
    Close(video);
    return frames;
  }

  struct Delivered {
    std::mutex mutex;
    std::vector<VIDEOHDR*> filled;
  };
  static void CALLBACK Collect(HDRVR, UINT msg, DWORD_PTR user, DWORD_PTR header, DWORD_PTR) {
    if (msg != MM_DRVM_DATA) return;
    auto* delivered = reinterpret_cast<Delivered*>(user);
    std::lock_guard lock(delivered->mutex);
    delivered->filled.push_back(reinterpret_cast<VIDEOHDR*>(header));
  }

  // The first `count` frames of a stream, in the order they came.
  Frames Stream(HDRVR video, const BITMAPINFOHEADER& format, int count) {
    Delivered delivered;
    StreamBuffers buffers;
    InitAndQueueStream(video, 20000, &Collect, &delivered, buffers, 4, format.biSizeImage);
    EXPECT_EQ(Send(video, DVM_STREAM_START), 0);
    Frames frames;
    for (int wait = 0; wait < 2000 && static_cast<int>(frames.size()) < count; ++wait) {
      std::vector<VIDEOHDR*> filled;
      {
        std::lock_guard lock(delivered.mutex);
        filled.swap(delivered.filled);
      }
      for (VIDEOHDR* header : filled) {
        frames.emplace_back(header->lpData, header->lpData + header->dwBytesUsed);
        if (static_cast<int>(frames.size()) < count) {
          header->dwFlags = VHDR_PREPARED;
          EXPECT_EQ(Send(video, DVM_STREAM_ADDBUFFER, P(header), sizeof(VIDEOHDR)), 0);
        }
      }
      if (filled.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Send(video, DVM_STREAM_STOP);
    Send(video, DVM_STREAM_RESET);
    Send(video, DVM_STREAM_FINI);
    if (frames.size() > static_cast<size_t>(count)) frames.resize(static_cast<size_t>(count));
    return frames;
  }

  std::string recording_;
  std::unique_ptr<port_model::PortModel> model_;
};

TEST_F(PortReplayTest, ReplayedCapturesAndStreamsAreTheRecordedFrames) {
  struct Case {
    const char* camera;
    BITMAPINFOHEADER format;
    int count;
    bool stream;
  };
  const Case cases[] = {
      {"sim:period=10", capture_host::Header(320, 240), 3, false},
      {"sim:period=10", capture_host::Header(176, 144, 12, FOURCC_I420), 30, true},
      {"model:mode=ecp,period=10", capture_host::Header(320, 240), 3, false},
      {"model:mode=nibble,period=10", capture_host::Header(160, 120), 3, false},
      {"model:mode=byte,period=10", capture_host::Header(176, 144, 12, FOURCC_I420), 30, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.camera) + (c.stream ? " stream" : " stills"));
    Use(c.camera);
    Record();
    const Frames recorded = Take(c.format, c.count, c.stream);
    ASSERT_EQ(recorded.size(), static_cast<size_t>(c.count));
    platform::ClearRecordedMessageBoxes();
    Replay();
    const Frames replayed = Take(c.format, c.count, c.stream);
    ASSERT_EQ(replayed.size(), recorded.size());
    for (size_t i = 0; i < recorded.size(); ++i) EXPECT_TRUE(replayed[i] == recorded[i]) << "frame " << i;
    EXPECT_TRUE(platform::RecordedMessageBoxes().empty()) << platform::RecordedMessageBoxes()[0].text;
  }
}

TEST_F(PortReplayTest, AChangedRequestStopsTheReplayWithBothRequestsAndTheDriverFails) {
  Use("model:mode=ecp,period=10");
  Record();
  ASSERT_EQ(Take(capture_host::Header(320, 240), 1, false).size(), 1u);
  Replay();
  // A size the recording never set up: the camera's window command differs.
  ResetDriverContext();
  std::remove(ini_.c_str());
  HDRVR video = Open(VIDEO_IN);
  ASSERT_NE(video, nullptr);
  platform::ClearRecordedMessageBoxes();
  const BITMAPINFOHEADER other = capture_host::Header(160, 120);
  SetFormat(video, other);
  std::vector<BYTE> buffer(other.biSizeImage);
  EXPECT_NE(Frame(video, buffer), 0) << "the driver's usual failure, not a hang";
  Close(video);
  const auto boxes = platform::RecordedMessageBoxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes[0].caption, "replay");
  EXPECT_THAT(boxes[0].text, ::testing::ContainsRegex("^request [0-9]+ differs: recorded [A-Z_]+[ 0-9,]*; asked "
                                                      "[A-Z_]+[ 0-9,]*"));
}

}  // namespace
