#include "tools/zarncap/v4l2/face_device.h"

#include <linux/version.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <numeric>

#include "tools/zarncap/host/driver_link.h"

namespace zarncap {
namespace {

constexpr std::uint32_t kDeviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_READWRITE |
                                      V4L2_CAP_EXT_PIX_FORMAT;
// The intervals offered are whole numbers of sensor frames, as the driver streams.
constexpr std::uint32_t kIntervalSteps = 4;

template <typename T>
T* As(std::vector<std::uint8_t>& argument) {
  return argument.size() >= sizeof(T) ? reinterpret_cast<T*>(argument.data()) : nullptr;
}

void CopyText(__u8* to, std::size_t room, const std::string& text) {
  std::memset(to, 0, room);
  std::memcpy(to, text.data(), std::min(room - 1, text.size()));
}

v4l2_fract Fraction(std::uint32_t microseconds) {
  const std::uint32_t divisor = std::gcd(microseconds, 1000000u);
  return {microseconds / divisor, 1000000u / divisor};
}

}  // namespace

FaceDevice::FaceDevice(DriverLink& video, FaceFormats formats, FaceControlValues controls, FaceSetup setup)
    : video_(video), formats_(std::move(formats)), controls_(std::move(controls)), setup_(std::move(setup)),
      stream_(video) {
  format_ = &formats_.All().front();
  size_ = formats_.Nearest(*format_, 320, 240);
  video_.SetFormat(MakeFormatHeader(*format_->pixel, size_.width, size_.height));
  intervalUs_ = setup_.framePeriodUs;
}

FaceDevice::~FaceDevice() { EndStreaming(); }

void FaceDevice::Opened(int connection) { connections_[connection] = Connection{}; }

void FaceDevice::Closed(int connection) {
  if (owner_ == connection) {
    EndStreaming();
    ReleaseBuffers();
  }
  connections_.erase(connection);
}

bool FaceDevice::Handles(unsigned long request) {
  static const unsigned long kHandled[] = {
      VIDIOC_QUERYCAP,        VIDIOC_ENUMINPUT,        VIDIOC_G_INPUT,          VIDIOC_S_INPUT,
      VIDIOC_G_PRIORITY,      VIDIOC_S_PRIORITY,       VIDIOC_LOG_STATUS,       VIDIOC_ENUM_FMT,
      VIDIOC_G_FMT,           VIDIOC_TRY_FMT,          VIDIOC_S_FMT,            VIDIOC_ENUM_FRAMESIZES,
      VIDIOC_ENUM_FRAMEINTERVALS, VIDIOC_G_PARM,       VIDIOC_S_PARM,           VIDIOC_QUERYCTRL,
      VIDIOC_QUERY_EXT_CTRL,  VIDIOC_QUERYMENU,        VIDIOC_G_CTRL,           VIDIOC_S_CTRL,
      VIDIOC_G_EXT_CTRLS,     VIDIOC_S_EXT_CTRLS,      VIDIOC_TRY_EXT_CTRLS,    VIDIOC_SUBSCRIBE_EVENT,
      VIDIOC_UNSUBSCRIBE_EVENT, VIDIOC_DQEVENT,        VIDIOC_REQBUFS,          VIDIOC_CREATE_BUFS,
      VIDIOC_QUERYBUF,        VIDIOC_QBUF,             VIDIOC_DQBUF,            VIDIOC_STREAMON,
      VIDIOC_STREAMOFF,
  };
  for (unsigned long handled : kHandled) {
    if (handled == request) return true;
  }
  return false;
}

int FaceDevice::Ioctl(int connection, unsigned long request, std::vector<std::uint8_t>& argument, bool faulted) {
  // An ioctl the device does not know is ENOTTY whatever its argument.
  if (!Handles(request)) return -ENOTTY;
  if (faulted || argument.size() < _IOC_SIZE(request)) return -EFAULT;
  switch (request) {
    case VIDIOC_QUERYCAP:
      return QueryCap(As<v4l2_capability>(argument));
    case VIDIOC_ENUMINPUT:
      return EnumInput(As<v4l2_input>(argument));
    case VIDIOC_G_INPUT:
      *As<int>(argument) = 0;
      return 0;
    case VIDIOC_S_INPUT:
      return SetInput(connection, As<int>(argument));
    case VIDIOC_G_PRIORITY:
      *As<std::uint32_t>(argument) = HighestPriority();
      return 0;
    case VIDIOC_S_PRIORITY:
      return SetPriority(connection, As<std::uint32_t>(argument));
    case VIDIOC_LOG_STATUS:
      return 0;
    case VIDIOC_ENUM_FMT:
      return EnumFormat(As<v4l2_fmtdesc>(argument));
    case VIDIOC_G_FMT:
      return GetFormat(As<v4l2_format>(argument));
    case VIDIOC_TRY_FMT:
      return TryFormat(As<v4l2_format>(argument));
    case VIDIOC_S_FMT:
      return SetFormat(connection, As<v4l2_format>(argument));
    case VIDIOC_ENUM_FRAMESIZES:
      return EnumFrameSizes(As<v4l2_frmsizeenum>(argument));
    case VIDIOC_ENUM_FRAMEINTERVALS:
      return EnumFrameIntervals(As<v4l2_frmivalenum>(argument));
    case VIDIOC_G_PARM:
      return GetParm(As<v4l2_streamparm>(argument));
    case VIDIOC_S_PARM:
      return SetParm(connection, As<v4l2_streamparm>(argument));
    case VIDIOC_QUERYCTRL:
      return QueryControl(As<v4l2_queryctrl>(argument));
    case VIDIOC_QUERY_EXT_CTRL:
      return QueryExtControl(As<v4l2_query_ext_ctrl>(argument));
    case VIDIOC_QUERYMENU:
      return QueryMenu(As<v4l2_querymenu>(argument));
    case VIDIOC_G_CTRL:
      return GetControl(As<v4l2_control>(argument));
    case VIDIOC_S_CTRL:
      return SetControl(connection, As<v4l2_control>(argument));
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_TRY_EXT_CTRLS:
      return ExtControls(connection, request, argument);
    case VIDIOC_SUBSCRIBE_EVENT:
      return Subscribe(connection, As<v4l2_event_subscription>(argument));
    case VIDIOC_UNSUBSCRIBE_EVENT:
      return Unsubscribe(connection, As<v4l2_event_subscription>(argument));
    case VIDIOC_DQEVENT:
      return DequeueEvent(connection, As<v4l2_event>(argument));
    case VIDIOC_REQBUFS:
      return RequestBuffers(connection, As<v4l2_requestbuffers>(argument));
    case VIDIOC_CREATE_BUFS:
      return CreateBuffers(connection, As<v4l2_create_buffers>(argument));
    case VIDIOC_QUERYBUF:
      return QueryBuffer(As<v4l2_buffer>(argument));
    case VIDIOC_QBUF:
      return QueueBuffer(connection, As<v4l2_buffer>(argument));
    case VIDIOC_DQBUF:
      return DequeueBuffer(connection, As<v4l2_buffer>(argument));
    case VIDIOC_STREAMON:
      return StreamOn(connection, As<int>(argument));
    case VIDIOC_STREAMOFF:
      return StreamOff(connection, As<int>(argument));
    default:
      return -ENOTTY;
  }
}

// ---- capabilities, input, priority

int FaceDevice::QueryCap(v4l2_capability* out) {
  std::memset(out, 0, sizeof *out);
  CopyText(out->driver, sizeof out->driver, "zarncap");
  CopyText(out->card, sizeof out->card, setup_.card);
  CopyText(out->bus_info, sizeof out->bus_info, setup_.busInfo);
  out->version = LINUX_VERSION_CODE;
  out->device_caps = kDeviceCaps;
  out->capabilities = kDeviceCaps | V4L2_CAP_DEVICE_CAPS;
  return 0;
}

int FaceDevice::EnumInput(v4l2_input* out) {
  if (out->index != 0) return -EINVAL;
  const std::uint32_t index = out->index;
  std::memset(out, 0, sizeof *out);
  out->index = index;
  CopyText(out->name, sizeof out->name, "Camera");
  out->type = V4L2_INPUT_TYPE_CAMERA;
  return 0;
}

int FaceDevice::SetInput(int connection, const int* input) {
  if (*input != 0) return -EINVAL;
  return PriorityAllows(connection) ? 0 : -EBUSY;
}

std::uint32_t FaceDevice::HighestPriority() const {
  std::uint32_t highest = V4L2_PRIORITY_UNSET;
  for (const auto& [id, other] : connections_) highest = std::max<std::uint32_t>(highest, other.priority);
  return highest;
}

bool FaceDevice::PriorityAllows(int connection) const {
  const auto found = connections_.find(connection);
  return found != connections_.end() && found->second.priority >= HighestPriority();
}

int FaceDevice::SetPriority(int connection, const std::uint32_t* priority) {
  if (*priority == V4L2_PRIORITY_UNSET) return -EINVAL;
  if (*priority < V4L2_PRIORITY_BACKGROUND || *priority > V4L2_PRIORITY_RECORD) return -EINVAL;
  // Only the holder of the highest priority may take the device from the others.
  for (const auto& [id, other] : connections_) {
    if (id != connection && other.priority == V4L2_PRIORITY_RECORD) return -EBUSY;
  }
  connections_[connection].priority = static_cast<v4l2_priority>(*priority);
  return 0;
}

// ---- formats and rate

int FaceDevice::EnumFormat(v4l2_fmtdesc* out) {
  if (out->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || out->index >= formats_.All().size()) return -EINVAL;
  const FaceFormat& format = formats_.All()[out->index];
  const std::uint32_t index = out->index;
  std::memset(out, 0, sizeof *out);
  out->index = index;
  out->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  out->pixelformat = format.fourcc;
  CopyText(out->description, sizeof out->description, format.description);
  return 0;
}

int FaceDevice::GetFormat(v4l2_format* out) {
  if (out->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  std::memset(&out->fmt, 0, sizeof out->fmt);
  out->fmt.pix = formats_.Describe(*format_, size_);
  return 0;
}

int FaceDevice::TryFormat(v4l2_format* inOut) {
  if (inOut->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  const FaceFormat* format = formats_.Find(inOut->fmt.pix.pixelformat);
  if (format == nullptr) format = format_;  // an unknown format becomes the current one
  const FaceSize size = formats_.Nearest(*format, static_cast<int>(inOut->fmt.pix.width),
                                         static_cast<int>(inOut->fmt.pix.height));
  std::memset(&inOut->fmt, 0, sizeof inOut->fmt);
  inOut->fmt.pix = formats_.Describe(*format, size);
  return 0;
}

int FaceDevice::SetFormat(int connection, v4l2_format* inOut) {
  const int tried = TryFormat(inOut);
  if (tried != 0) return tried;
  if (!PriorityAllows(connection)) return -EBUSY;
  if (pool_.Count() > 0) return -EBUSY;
  const FaceFormat* format = formats_.Find(inOut->fmt.pix.pixelformat);
  const FaceSize size{static_cast<int>(inOut->fmt.pix.width), static_cast<int>(inOut->fmt.pix.height)};
  if (video_.SetFormat(MakeFormatHeader(*format->pixel, size.width, size.height)) != 0) return -EIO;
  format_ = format;
  size_ = size;
  return 0;
}

int FaceDevice::EnumFrameSizes(v4l2_frmsizeenum* out) {
  const FaceFormat* format = formats_.Find(out->pixel_format);
  if (format == nullptr || out->index >= format->sizes.size()) return -EINVAL;
  const auto [width, height] = format->sizes[out->index];
  const std::uint32_t index = out->index, fourcc = out->pixel_format;
  std::memset(out, 0, sizeof *out);
  out->index = index;
  out->pixel_format = fourcc;
  out->type = V4L2_FRMSIZE_TYPE_DISCRETE;
  out->discrete = {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
  return 0;
}

int FaceDevice::EnumFrameIntervals(v4l2_frmivalenum* out) {
  const FaceFormat* format = formats_.Find(out->pixel_format);
  if (format == nullptr || out->index >= kIntervalSteps) return -EINVAL;
  bool offered = false;
  for (auto [w, h] : format->sizes) offered |= w == static_cast<int>(out->width) && h == static_cast<int>(out->height);
  if (!offered) return -EINVAL;
  const std::uint32_t index = out->index;
  out->type = V4L2_FRMIVAL_TYPE_DISCRETE;
  out->discrete = Fraction(setup_.framePeriodUs * (index + 1));
  std::memset(out->reserved, 0, sizeof out->reserved);
  return 0;
}

int FaceDevice::GetParm(v4l2_streamparm* out) {
  if (out->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  std::memset(&out->parm, 0, sizeof out->parm);
  out->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
  out->parm.capture.timeperframe = Fraction(intervalUs_);
  out->parm.capture.readbuffers = 2;
  return 0;
}

int FaceDevice::SetParm(int connection, v4l2_streamparm* inOut) {
  if (inOut->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  if (!PriorityAllows(connection)) return -EBUSY;
  const v4l2_fract asked = inOut->parm.capture.timeperframe;
  std::uint32_t steps = 1;
  if (asked.numerator != 0 && asked.denominator != 0) {
    const double us = 1e6 * asked.numerator / asked.denominator;
    steps = static_cast<std::uint32_t>(us / setup_.framePeriodUs + 0.5);
    steps = std::clamp<std::uint32_t>(steps, 1, kIntervalSteps);
  }
  intervalUs_ = setup_.framePeriodUs * steps;
  return GetParm(inOut);
}

std::uint32_t FaceDevice::FrameSize() const { return formats_.Describe(*format_, size_).sizeimage; }

int FaceDevice::TakeTokenTarget() {
  const int target = tokenTarget_;
  tokenTarget_ = -1;
  return target;
}

std::vector<int> FaceDevice::TakeEventTargets() {
  std::vector<int> targets;
  targets.swap(eventTargets_);
  return targets;
}

bool FaceDevice::TakeEventDrain() {
  const bool drain = eventDrain_;
  eventDrain_ = false;
  return drain;
}

void FaceDevice::Retoken(int connection) {
  if (connection == owner_ && pool_.AnyDone()) tokenTarget_ = owner_;
}

bool FaceDevice::TakeDrain() {
  const bool drain = drain_;
  drain_ = false;
  return drain;
}

}  // namespace zarncap
