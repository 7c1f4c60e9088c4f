// The V4L2 face's device through the real driver on the virtual camera, ioctl
// by ioctl, as the launcher serves it: capabilities, formats and sizes,
// priorities, controls and their events, buffers and streaming with the
// driver's own bytes, read() I/O, and the owner's rights.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <set>

#include "tools/recording_driver.h"
#include "tools/tool_test_util.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/host/source_controls.h"
#include "tools/zarncap/v4l2/face_device.h"
#include "zarncap/formats.h"

namespace zarncap {
namespace {

constexpr int kFirst = 100, kSecond = 101;

class V4l2FaceTest : public drivertest::RecordingHostTest {
 protected:
  void SetUp() override {
    RecordingHostTest::SetUp();
    global_.ini = folder_ / "face.ini";
    video_ = std::make_unique<Session>(global_, host_, VIDEO_IN);
    settings_ = std::make_unique<Session>(ForSecondChannel(global_), host_, VIDEO_EXTERNALIN);
    DriverLink& link = settings_->Link();
    std::vector<std::pair<std::string, std::string>> shown;
    for (const ControlValue& value : RunSettingsDialog(link, {})) shown.emplace_back(value.name, value.value);
    FaceSetup setup{"Parallel port colour camera", "parport:LPT1"};
    device_ = std::make_unique<FaceDevice>(
        video_->Link(), FaceFormats(FaceFormatTable(Sizes())),
        FaceControlValues(shown, [&link](const ControlSets& sets) {
          RunSettingsDialog(link, sets);
          return true;
        }),
        setup);
    device_->Opened(kFirst);
    device_->Opened(kSecond);
  }
  void TearDown() override {
    device_.reset();
    settings_->Finish();
    video_->Finish();
  }

  // The sizes offered without asking the driver for its whole map (that is
  // the launcher's start-up, tested through the applications).
  static std::vector<FaceFormat> FaceFormatTable(std::vector<std::pair<int, int>> sizes) {
    std::vector<FaceFormat> table = zarncap::FaceFormatTable();
    for (FaceFormat& format : table) {
      format.sizes = sizes;
      if (format.pixel->yuv) std::erase_if(format.sizes, [](auto size) { return size.first > 176; });
    }
    return table;
  }
  static std::vector<std::pair<int, int>> Sizes() { return {{128, 96}, {160, 120}, {176, 144}, {320, 240}}; }

  template <typename T>
  int Call(int connection, unsigned long request, T* record) {
    std::vector<std::uint8_t> bytes(sizeof *record);
    std::memcpy(bytes.data(), record, sizeof *record);
    const int result = device_->Ioctl(connection, request, bytes, false);
    std::memcpy(record, bytes.data(), sizeof *record);
    return result;
  }
  v4l2_format Format(std::uint32_t fourcc, std::uint32_t width, std::uint32_t height) {
    v4l2_format format = {};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix = {width, height, fourcc};
    return format;
  }
  // Waits for the driver to finish buffers, as the launcher's loop does.
  void Pump() {
    pollfd wake = {device_->WakeFd(), POLLIN, 0};
    if (poll(&wake, 1, 2000) > 0) device_->OnWake();
  }
  int Dequeue(int connection, v4l2_buffer* buffer) {
    for (int tries = 0; tries < 200; ++tries) {
      *buffer = {};
      buffer->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer->memory = V4L2_MEMORY_MMAP;
      const int result = Call(connection, VIDIOC_DQBUF, buffer);
      if (result != -EAGAIN) return result;
      Pump();
    }
    return -EAGAIN;
  }
  int StartStreaming(int connection, std::uint32_t count) {
    v4l2_requestbuffers request = {count, V4L2_BUF_TYPE_VIDEO_CAPTURE, V4L2_MEMORY_MMAP};
    if (int r = Call(connection, VIDIOC_REQBUFS, &request); r != 0) return r;
    for (std::uint32_t i = 0; i < request.count; ++i) {
      v4l2_buffer buffer = {};
      buffer.index = i;
      buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer.memory = V4L2_MEMORY_MMAP;
      if (int r = Call(connection, VIDIOC_QBUF, &buffer); r != 0) return r;
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    return Call(connection, VIDIOC_STREAMON, &type);
  }

  tooltest::ScratchFolder folder_;
  GlobalOptions global_;
  std::unique_ptr<Session> video_, settings_;
  std::unique_ptr<FaceDevice> device_;
};

TEST_F(V4l2FaceTest, CapabilitiesInputAndUnknownRequests) {
  v4l2_capability caps = {};
  ASSERT_EQ(Call(kFirst, VIDIOC_QUERYCAP, &caps), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(caps.driver), "zarncap");
  EXPECT_STREQ(reinterpret_cast<char*>(caps.bus_info), "parport:LPT1");
  EXPECT_EQ(caps.device_caps, V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_READWRITE |
                                  V4L2_CAP_EXT_PIX_FORMAT);
  EXPECT_NE(caps.capabilities & V4L2_CAP_DEVICE_CAPS, 0u);
  v4l2_input input = {};
  EXPECT_EQ(Call(kFirst, VIDIOC_ENUMINPUT, &input), 0);
  EXPECT_EQ(input.type, static_cast<std::uint32_t>(V4L2_INPUT_TYPE_CAMERA));
  input.index = 1;
  EXPECT_EQ(Call(kFirst, VIDIOC_ENUMINPUT, &input), -EINVAL);
  std::vector<std::uint8_t> none;
  // An unknown request is ENOTTY even with memory that cannot be read; a known one is EFAULT.
  EXPECT_EQ(device_->Ioctl(kFirst, VIDIOC_EXPBUF, none, true), -ENOTTY);
  EXPECT_EQ(device_->Ioctl(kFirst, VIDIOC_QUERYCAP, none, true), -EFAULT);
}

TEST_F(V4l2FaceTest, FormatsAreTheDriversTwinsAndSizesSnapToOfferedOnes) {
  std::vector<std::uint32_t> fourccs;
  for (std::uint32_t i = 0;; ++i) {
    v4l2_fmtdesc description = {};
    description.index = i;
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Call(kFirst, VIDIOC_ENUM_FMT, &description) != 0) break;
    fourccs.push_back(description.pixelformat);
  }
  EXPECT_EQ(fourccs, (std::vector<std::uint32_t>{V4L2_PIX_FMT_BGR24, V4L2_PIX_FMT_RGB555, V4L2_PIX_FMT_YUV420,
                                                 V4L2_PIX_FMT_YVU420, V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_YVU410}));
  const struct {
    std::uint32_t fourcc, width, height;
    std::uint32_t gotFourcc, gotWidth, gotHeight, bytesPerLine, sizeImage;
  } cases[] = {
      {V4L2_PIX_FMT_BGR24, 300, 230, V4L2_PIX_FMT_BGR24, 320, 240, 960, 230400},
      {V4L2_PIX_FMT_YUV420, 320, 240, V4L2_PIX_FMT_YUV420, 176, 144, 176, 38016},
      {V4L2_PIX_FMT_YUYV, 1, 1, V4L2_PIX_FMT_YUYV, 128, 96, 256, 24576},
      {V4L2_PIX_FMT_YVU410, 160, 120, V4L2_PIX_FMT_YVU410, 160, 120, 160, 21600},
      {V4L2_PIX_FMT_MJPEG, 160, 120, V4L2_PIX_FMT_BGR24, 160, 120, 480, 57600},  // unknown: the current format
  };
  for (const auto& c : cases) {
    v4l2_format format = Format(c.fourcc, c.width, c.height);
    ASSERT_EQ(Call(kFirst, VIDIOC_TRY_FMT, &format), 0);
    EXPECT_EQ(format.fmt.pix.pixelformat, c.gotFourcc);
    EXPECT_EQ(format.fmt.pix.width, c.gotWidth);
    EXPECT_EQ(format.fmt.pix.height, c.gotHeight);
    EXPECT_EQ(format.fmt.pix.bytesperline, c.bytesPerLine);
    EXPECT_EQ(format.fmt.pix.sizeimage, c.sizeImage);
    EXPECT_EQ(format.fmt.pix.field, static_cast<std::uint32_t>(V4L2_FIELD_NONE));
    // Every size S_FMT can return is enumerated.
    bool listed = false;
    for (std::uint32_t i = 0;; ++i) {
      v4l2_frmsizeenum size = {};
      size.index = i;
      size.pixel_format = format.fmt.pix.pixelformat;
      if (Call(kFirst, VIDIOC_ENUM_FRAMESIZES, &size) != 0) break;
      listed |= size.discrete.width == format.fmt.pix.width && size.discrete.height == format.fmt.pix.height;
    }
    EXPECT_TRUE(listed) << c.gotWidth << "x" << c.gotHeight;
  }
  v4l2_format chosen = Format(V4L2_PIX_FMT_YUYV, 160, 120);
  ASSERT_EQ(Call(kFirst, VIDIOC_S_FMT, &chosen), 0);
  v4l2_format now = Format(0, 0, 0);
  ASSERT_EQ(Call(kSecond, VIDIOC_G_FMT, &now), 0);
  EXPECT_EQ(now.fmt.pix.pixelformat, static_cast<std::uint32_t>(V4L2_PIX_FMT_YUYV));
  BITMAPINFOHEADER driver = {};
  ASSERT_TRUE(video_->Link().GetFormat(&driver));
  EXPECT_EQ(driver.biCompression, static_cast<DWORD>(FOURCC_YUY2));
  EXPECT_EQ(driver.biWidth, 160);
}

TEST_F(V4l2FaceTest, PriorityAndBuffersGuardTheFormat) {
  std::uint32_t record = V4L2_PRIORITY_RECORD;
  ASSERT_EQ(Call(kSecond, VIDIOC_S_PRIORITY, &record), 0);
  std::uint32_t seen = 0;
  EXPECT_EQ(Call(kFirst, VIDIOC_G_PRIORITY, &seen), 0);
  EXPECT_EQ(seen, static_cast<std::uint32_t>(V4L2_PRIORITY_RECORD));
  v4l2_format format = Format(V4L2_PIX_FMT_BGR24, 160, 120);
  EXPECT_EQ(Call(kFirst, VIDIOC_S_FMT, &format), -EBUSY);
  record = V4L2_PRIORITY_DEFAULT;
  ASSERT_EQ(Call(kSecond, VIDIOC_S_PRIORITY, &record), 0);
  // Buffers taken: the format holds, and the other handle may not stream.
  v4l2_requestbuffers request = {2, V4L2_BUF_TYPE_VIDEO_CAPTURE, V4L2_MEMORY_MMAP};
  ASSERT_EQ(Call(kFirst, VIDIOC_REQBUFS, &request), 0);
  EXPECT_EQ(Call(kFirst, VIDIOC_S_FMT, &format), -EBUSY);
  EXPECT_EQ(Call(kSecond, VIDIOC_REQBUFS, &request), -EBUSY);
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  EXPECT_EQ(Call(kSecond, VIDIOC_STREAMON, &type), -EBUSY);
  // The owner going away frees them for the others.
  device_->Closed(kFirst);
  EXPECT_EQ(Call(kSecond, VIDIOC_REQBUFS, &request), 0);
  request.count = 0;
  EXPECT_EQ(Call(kSecond, VIDIOC_REQBUFS, &request), 0);
  EXPECT_EQ(Call(kSecond, VIDIOC_S_FMT, &format), 0);
}

TEST_F(V4l2FaceTest, ControlsGoThroughTheSettingsDialogAndRaiseEvents) {
  v4l2_event_subscription subscription = {V4L2_EVENT_CTRL, V4L2_CID_BRIGHTNESS};
  ASSERT_EQ(Call(kSecond, VIDIOC_SUBSCRIBE_EVENT, &subscription), 0);
  const struct {
    std::uint32_t id;
    std::int32_t value;
    int result;
    std::int32_t kept;
  } cases[] = {
      {V4L2_CID_BRIGHTNESS, 80, 0, 80},
      {V4L2_CID_CONTRAST, 140, 0, 100},  // integers are brought into range
      {kCidLighting, 1, 0, 1},
      {kCidCompression, 3, -ERANGE, 2},  // a menu has no fourth item
      {V4L2_CID_USER_CLASS, 0, -EACCES, 0},
      {V4L2_CID_HUE, 0, -EINVAL, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    v4l2_control control = {c.id, c.value};
    EXPECT_EQ(Call(kFirst, VIDIOC_S_CTRL, &control), c.result);
    if (c.result != 0 && c.result != -ERANGE) continue;
    control = {c.id, -1};
    ASSERT_EQ(Call(kFirst, VIDIOC_G_CTRL, &control), 0);
    EXPECT_EQ(control.value, c.kept);
  }
  // The dialog shows what was set, and the driver keeps it in its settings file.
  const auto shown = RunSettingsDialog(settings_->Link(), {});
  const auto brightness = std::find_if(shown.begin(), shown.end(), [](auto& c) { return c.name == "brightness"; });
  ASSERT_NE(brightness, shown.end());
  EXPECT_EQ(brightness->value, "80");
  // The other handle was told of its subscription's change; the first handle of none.
  v4l2_event event = {};
  ASSERT_EQ(Call(kSecond, VIDIOC_DQEVENT, &event), 0);
  EXPECT_EQ(event.id, static_cast<std::uint32_t>(V4L2_CID_BRIGHTNESS));
  EXPECT_EQ(event.u.ctrl.value, 80);
  EXPECT_EQ(Call(kSecond, VIDIOC_DQEVENT, &event), -ENOENT);
  EXPECT_EQ(Call(kFirst, VIDIOC_DQEVENT, &event), -ENOENT);
  // Quality waits while compression is not manual, and goes in with manual.
  v4l2_control off = {kCidCompression, 0}, quality = {kCidQuality, 40}, manual = {kCidCompression, 2};
  ASSERT_EQ(Call(kFirst, VIDIOC_S_CTRL, &off), 0);
  ASSERT_EQ(Call(kFirst, VIDIOC_S_CTRL, &quality), 0);
  ASSERT_EQ(Call(kFirst, VIDIOC_S_CTRL, &manual), 0);
  const auto after = RunSettingsDialog(settings_->Link(), {});
  const auto kept = std::find_if(after.begin(), after.end(), [](auto& c) { return c.name == "quality"; });
  ASSERT_NE(kept, after.end());
  EXPECT_EQ(kept->value, "40");
}

TEST_F(V4l2FaceTest, StreamedFramesAreTheDriversBytesTopDownInOrder) {
  for (const std::uint32_t fourcc : {V4L2_PIX_FMT_BGR24, V4L2_PIX_FMT_YUV420}) {
    SCOPED_TRACE(fourcc);
    v4l2_format format = Format(fourcc, 160, 120);
    ASSERT_EQ(Call(kFirst, VIDIOC_S_FMT, &format), 0);
    const std::size_t before = drivertest::Record().frames.size();
    ASSERT_EQ(StartStreaming(kFirst, 3), 0);
    std::uint32_t lastSequence = 0;
    timeval lastTime = {};
    for (int n = 0; n < 6; ++n) {
      v4l2_buffer buffer;
      ASSERT_EQ(Dequeue(kFirst, &buffer), 0);
      EXPECT_EQ(buffer.bytesused, format.fmt.pix.sizeimage);
      EXPECT_EQ(buffer.field, static_cast<std::uint32_t>(V4L2_FIELD_NONE));
      EXPECT_EQ(buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK, static_cast<std::uint32_t>(V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC));
      if (n > 0) {
        EXPECT_GT(buffer.sequence, lastSequence);
      }
      EXPECT_TRUE(n == 0 || timercmp(&buffer.timestamp, &lastTime, >=));
      lastSequence = buffer.sequence;
      lastTime = buffer.timestamp;
      // The bytes are the driver's own frame: as it wrote them (YUV), or with
      // its bottom-up rows turned top-down (RGB).
      int memory = -1;
      std::uint64_t length = 0;
      ASSERT_EQ(device_->MapFd(kFirst, buffer.m.offset, &memory, &length), 0);
      std::vector<BYTE> bytes(buffer.bytesused);
      ASSERT_EQ(pread(memory, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
      const auto delivered = drivertest::Record().frames;
      ASSERT_GT(delivered.size(), before);
      std::vector<BYTE> expected;
      for (std::size_t i = before; i < delivered.size() && expected.empty(); ++i) {
        std::vector<BYTE> candidate = delivered[i];
        candidate.resize(bytes.size());
        if (fourcc == V4L2_PIX_FMT_BGR24) {
          const std::size_t row = format.fmt.pix.bytesperline;
          std::vector<BYTE> flipped(candidate.size());
          for (std::size_t y = 0; y < format.fmt.pix.height; ++y) {
            std::memcpy(&flipped[y * row], &candidate[(format.fmt.pix.height - 1 - y) * row], row);
          }
          candidate = flipped;
        }
        if (candidate == bytes) expected = candidate;
      }
      EXPECT_FALSE(expected.empty()) << "frame " << n << " is none of the driver's";
      ASSERT_EQ(Call(kFirst, VIDIOC_QBUF, &buffer), 0);
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ASSERT_EQ(Call(kFirst, VIDIOC_STREAMOFF, &type), 0);
    v4l2_buffer after;
    EXPECT_EQ(Dequeue(kFirst, &after), -EINVAL);  // a waiter after STREAMOFF is told at once
    v4l2_requestbuffers none = {0, V4L2_BUF_TYPE_VIDEO_CAPTURE, V4L2_MEMORY_MMAP};
    ASSERT_EQ(Call(kFirst, VIDIOC_REQBUFS, &none), 0);
  }
}

TEST_F(V4l2FaceTest, ReadGivesWholeFramesAndKeepsStreamingIoOut) {
  int memory = -1;
  std::uint64_t length = 0;
  int result = -EAGAIN;
  for (int tries = 0; tries < 200 && result == -EAGAIN; ++tries) {
    result = device_->Read(kFirst, &memory, &length);
    if (result == -EAGAIN) Pump();
  }
  ASSERT_EQ(result, 0);
  EXPECT_EQ(length, 230400u);
  v4l2_requestbuffers request = {2, V4L2_BUF_TYPE_VIDEO_CAPTURE, V4L2_MEMORY_MMAP};
  EXPECT_EQ(Call(kFirst, VIDIOC_REQBUFS, &request), -EBUSY);
  EXPECT_EQ(Call(kSecond, VIDIOC_REQBUFS, &request), -EBUSY);
  EXPECT_EQ(device_->Read(kSecond, &memory, &length), -EBUSY);
  device_->Closed(kFirst);
  EXPECT_EQ(Call(kSecond, VIDIOC_REQBUFS, &request), 0);
}

TEST_F(V4l2FaceTest, IntervalsAreSimpleFractionsOfTheSensorRate) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> offered;
  for (std::uint32_t i = 0;; ++i) {
    v4l2_frmivalenum interval = {};
    interval.index = i;
    interval.pixel_format = V4L2_PIX_FMT_BGR24;
    interval.width = 320;
    interval.height = 240;
    if (Call(kFirst, VIDIOC_ENUM_FRAMEINTERVALS, &interval) != 0) break;
    offered.emplace_back(interval.discrete.numerator, interval.discrete.denominator);
  }
  EXPECT_EQ(offered, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1, 15}, {2, 15}, {1, 5}, {4, 15}}));
  // S_PARM keeps what it can do and takes the nearest otherwise.
  const struct {
    v4l2_fract asked, kept;
  } cases[] = {
      {{1, 15}, {1, 15}}, {{2, 15}, {2, 15}}, {{1, 5}, {1, 5}},  {{1, 30}, {1, 15}},
      {{1, 7}, {2, 15}},  {{1, 1}, {4, 15}},  {{0, 0}, {1, 15}}, {{1000, 15000}, {1, 15}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.asked.numerator) + "/" + std::to_string(c.asked.denominator));
    v4l2_streamparm parm = {};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe = c.asked;
    ASSERT_EQ(Call(kFirst, VIDIOC_S_PARM, &parm), 0);
    EXPECT_EQ(parm.parm.capture.timeperframe.numerator, c.kept.numerator);
    EXPECT_EQ(parm.parm.capture.timeperframe.denominator, c.kept.denominator);
    parm = {};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ASSERT_EQ(Call(kSecond, VIDIOC_G_PARM, &parm), 0);
    EXPECT_EQ(parm.parm.capture.timeperframe.denominator, c.kept.denominator);
  }
}

TEST_F(V4l2FaceTest, CropIsTheWholeFrame) {
  v4l2_format format = Format(V4L2_PIX_FMT_BGR24, 160, 120);
  ASSERT_EQ(Call(kFirst, VIDIOC_S_FMT, &format), 0);
  v4l2_cropcap cap = {};
  cap.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  ASSERT_EQ(Call(kFirst, VIDIOC_CROPCAP, &cap), 0);
  EXPECT_EQ(cap.bounds.width, 160u);
  EXPECT_EQ(cap.defrect.height, 120u);
  EXPECT_EQ(cap.pixelaspect.numerator, cap.pixelaspect.denominator);
  for (const std::uint32_t target : {V4L2_SEL_TGT_CROP_DEFAULT, V4L2_SEL_TGT_CROP_BOUNDS}) {
    v4l2_selection selection = {};
    selection.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    selection.target = target;
    ASSERT_EQ(Call(kFirst, VIDIOC_G_SELECTION, &selection), 0);
    EXPECT_EQ(selection.r.left, 0);
    EXPECT_EQ(selection.r.width, 160u);
  }
  // No crop can be got or set: only its bounds and default are told.
  for (const std::uint32_t target : {V4L2_SEL_TGT_CROP, V4L2_SEL_TGT_COMPOSE}) {
    v4l2_selection other = {};
    other.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    other.target = target;
    EXPECT_EQ(Call(kFirst, VIDIOC_G_SELECTION, &other), -EINVAL);
  }
}

// Buffers added while the stream runs join it, and the ones already with the
// driver keep coming back (the driver holds pointers into each buffer's record).
TEST_F(V4l2FaceTest, BuffersCreatedWhileStreamingAllKeepCycling) {
  ASSERT_EQ(StartStreaming(kFirst, 2), 0);
  v4l2_create_buffers create = {};
  create.count = 2;
  create.memory = V4L2_MEMORY_MMAP;
  create.format = Format(V4L2_PIX_FMT_BGR24, 320, 240);
  ASSERT_EQ(Call(kFirst, VIDIOC_G_FMT, &create.format), 0);
  ASSERT_EQ(Call(kFirst, VIDIOC_CREATE_BUFS, &create), 0);
  EXPECT_EQ(create.index, 2u);
  for (std::uint32_t index = create.index; index < create.index + create.count; ++index) {
    v4l2_buffer buffer = {};
    buffer.index = index;
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    ASSERT_EQ(Call(kFirst, VIDIOC_QBUF, &buffer), 0);
  }
  std::set<std::uint32_t> seen;
  for (int n = 0; n < 12; ++n) {
    v4l2_buffer buffer;
    ASSERT_EQ(Dequeue(kFirst, &buffer), 0);
    seen.insert(buffer.index);
    ASSERT_EQ(Call(kFirst, VIDIOC_QBUF, &buffer), 0);
  }
  EXPECT_EQ(seen, (std::set<std::uint32_t>{0, 1, 2, 3}));
  // A buffer far beyond any frame is refused before its memory is made.
  create.format.fmt.pix.sizeimage = 0xFFFFFFFFu;
  EXPECT_EQ(Call(kFirst, VIDIOC_CREATE_BUFS, &create), -ENOMEM);
}

// QUERYBUF's length is the image size, as kernel drivers give it (an
// application copies that many bytes); the mapping may be page-rounded, and
// its size cannot be changed by whoever holds its descriptor.
TEST_F(V4l2FaceTest, BufferLengthIsTheImageSizeAndItsMemoryIsSealed) {
  v4l2_requestbuffers request = {1, V4L2_BUF_TYPE_VIDEO_CAPTURE, V4L2_MEMORY_MMAP};
  ASSERT_EQ(Call(kFirst, VIDIOC_REQBUFS, &request), 0);
  v4l2_buffer buffer = {};
  buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  ASSERT_EQ(Call(kFirst, VIDIOC_QUERYBUF, &buffer), 0);
  EXPECT_EQ(buffer.length, 230400u);
  int memory = -1;
  std::uint64_t mapLength = 0;
  ASSERT_EQ(device_->MapFd(kFirst, buffer.m.offset, &memory, &mapLength), 0);
  EXPECT_GE(mapLength, buffer.length);
  EXPECT_EQ(mapLength % 4096, 0u);
  EXPECT_NE(ftruncate(memory, 0), 0);
  EXPECT_NE(ftruncate(memory, static_cast<off_t>(mapLength) * 2), 0);
}

}  // namespace
}  // namespace zarncap
