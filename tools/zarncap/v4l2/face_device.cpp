#include "tools/zarncap/v4l2/face_device.h"

#include <linux/version.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

#include "tools/zarncap/host/driver_link.h"
#include "tools/zarncap/v4l2/face_rate.h"

namespace zarncap {
namespace {

constexpr std::uint32_t kDeviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_READWRITE |
                                      V4L2_CAP_EXT_PIX_FORMAT;

template <typename T>
T* As(std::vector<std::uint8_t>& argument) {
  return argument.size() >= sizeof(T) ? reinterpret_cast<T*>(argument.data()) : nullptr;
}

void CopyText(__u8* to, std::size_t room, const std::string& text) {
  std::memset(to, 0, room);
  std::memcpy(to, text.data(), std::min(room - 1, text.size()));
}

}  // namespace

FaceDevice::FaceDevice(DriverLink& video, FaceFormats formats, FaceControlValues controls, FaceSetup setup)
    : video_(video), formats_(std::move(formats)), controls_(std::move(controls)), setup_(std::move(setup)),
      stream_(video) {
  format_ = &formats_.All().front();
  size_ = formats_.Nearest(*format_, 320, 240);
  video_.SetFormat(MakeFormatHeader(*format_->pixel, size_.width, size_.height));
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

// One line per ioctl the device answers: its handler, on the argument bytes.
const FaceDevice::Route* FaceDevice::FindRoute(unsigned long request) {
  using Bytes = std::vector<std::uint8_t>;
  static const Route kRoutes[] = {
      {VIDIOC_QUERYCAP, [](FaceDevice& d, int, Bytes& a) { return d.QueryCap(As<v4l2_capability>(a)); }},
      {VIDIOC_ENUMINPUT, [](FaceDevice& d, int, Bytes& a) { return d.EnumInput(As<v4l2_input>(a)); }},
      {VIDIOC_G_INPUT, [](FaceDevice&, int, Bytes& a) { return *As<int>(a) = 0; }},
      {VIDIOC_S_INPUT, [](FaceDevice& d, int c, Bytes& a) { return d.SetInput(c, As<int>(a)); }},
      {VIDIOC_G_PRIORITY,
       [](FaceDevice& d, int, Bytes& a) { return *As<std::uint32_t>(a) = d.HighestPriority(), 0; }},
      {VIDIOC_S_PRIORITY, [](FaceDevice& d, int c, Bytes& a) { return d.SetPriority(c, As<std::uint32_t>(a)); }},
      {VIDIOC_LOG_STATUS, [](FaceDevice&, int, Bytes&) { return 0; }},
      {VIDIOC_ENUM_FMT, [](FaceDevice& d, int, Bytes& a) { return d.EnumFormat(As<v4l2_fmtdesc>(a)); }},
      {VIDIOC_G_FMT, [](FaceDevice& d, int, Bytes& a) { return d.GetFormat(As<v4l2_format>(a)); }},
      {VIDIOC_TRY_FMT, [](FaceDevice& d, int, Bytes& a) { return d.TryFormat(As<v4l2_format>(a)); }},
      {VIDIOC_S_FMT, [](FaceDevice& d, int c, Bytes& a) { return d.SetFormat(c, As<v4l2_format>(a)); }},
      {VIDIOC_ENUM_FRAMESIZES, [](FaceDevice& d, int, Bytes& a) { return d.EnumFrameSizes(As<v4l2_frmsizeenum>(a)); }},
      {VIDIOC_ENUM_FRAMEINTERVALS,
       [](FaceDevice& d, int, Bytes& a) { return d.EnumFrameIntervals(As<v4l2_frmivalenum>(a)); }},
      {VIDIOC_G_PARM, [](FaceDevice& d, int, Bytes& a) { return d.GetParm(As<v4l2_streamparm>(a)); }},
      {VIDIOC_S_PARM, [](FaceDevice& d, int c, Bytes& a) { return d.SetParm(c, As<v4l2_streamparm>(a)); }},
      {VIDIOC_CROPCAP, [](FaceDevice& d, int, Bytes& a) { return d.CropCap(As<v4l2_cropcap>(a)); }},
      {VIDIOC_G_SELECTION, [](FaceDevice& d, int, Bytes& a) { return d.GetSelection(As<v4l2_selection>(a)); }},
      {VIDIOC_QUERYCTRL, [](FaceDevice& d, int, Bytes& a) { return d.QueryControl(As<v4l2_queryctrl>(a)); }},
      {VIDIOC_QUERY_EXT_CTRL,
       [](FaceDevice& d, int, Bytes& a) { return d.QueryExtControl(As<v4l2_query_ext_ctrl>(a)); }},
      {VIDIOC_QUERYMENU, [](FaceDevice& d, int, Bytes& a) { return d.QueryMenu(As<v4l2_querymenu>(a)); }},
      {VIDIOC_G_CTRL, [](FaceDevice& d, int, Bytes& a) { return d.GetControl(As<v4l2_control>(a)); }},
      {VIDIOC_S_CTRL, [](FaceDevice& d, int c, Bytes& a) { return d.SetControl(c, As<v4l2_control>(a)); }},
      {VIDIOC_G_EXT_CTRLS, [](FaceDevice& d, int c, Bytes& a) { return d.ExtControls(c, VIDIOC_G_EXT_CTRLS, a); }},
      {VIDIOC_S_EXT_CTRLS, [](FaceDevice& d, int c, Bytes& a) { return d.ExtControls(c, VIDIOC_S_EXT_CTRLS, a); }},
      {VIDIOC_TRY_EXT_CTRLS,
       [](FaceDevice& d, int c, Bytes& a) { return d.ExtControls(c, VIDIOC_TRY_EXT_CTRLS, a); }},
      {VIDIOC_SUBSCRIBE_EVENT,
       [](FaceDevice& d, int c, Bytes& a) { return d.Subscribe(c, As<v4l2_event_subscription>(a)); }},
      {VIDIOC_UNSUBSCRIBE_EVENT,
       [](FaceDevice& d, int c, Bytes& a) { return d.Unsubscribe(c, As<v4l2_event_subscription>(a)); }},
      {VIDIOC_DQEVENT, [](FaceDevice& d, int c, Bytes& a) { return d.DequeueEvent(c, As<v4l2_event>(a)); }},
      {VIDIOC_REQBUFS, [](FaceDevice& d, int c, Bytes& a) { return d.RequestBuffers(c, As<v4l2_requestbuffers>(a)); }},
      {VIDIOC_CREATE_BUFS,
       [](FaceDevice& d, int c, Bytes& a) { return d.CreateBuffers(c, As<v4l2_create_buffers>(a)); }},
      {VIDIOC_QUERYBUF, [](FaceDevice& d, int, Bytes& a) { return d.QueryBuffer(As<v4l2_buffer>(a)); }},
      {VIDIOC_QBUF, [](FaceDevice& d, int c, Bytes& a) { return d.QueueBuffer(c, As<v4l2_buffer>(a)); }},
      {VIDIOC_DQBUF, [](FaceDevice& d, int c, Bytes& a) { return d.DequeueBuffer(c, As<v4l2_buffer>(a)); }},
      {VIDIOC_STREAMON, [](FaceDevice& d, int c, Bytes& a) { return d.StreamOn(c, As<int>(a)); }},
      {VIDIOC_STREAMOFF, [](FaceDevice& d, int c, Bytes& a) { return d.StreamOff(c, As<int>(a)); }},
  };
  for (const Route& route : kRoutes) {
    if (route.request == request) return &route;
  }
  return nullptr;
}

int FaceDevice::Ioctl(int connection, unsigned long request, std::vector<std::uint8_t>& argument, bool faulted) {
  // An ioctl the device does not know is ENOTTY whatever its argument.
  const Route* route = FindRoute(request);
  if (route == nullptr) return -ENOTTY;
  if (faulted || argument.size() < _IOC_SIZE(request)) return -EFAULT;
  return route->handle(*this, connection, argument);
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
  if (format == nullptr || out->index >= kLongestInterval) return -EINVAL;
  bool offered = false;
  for (auto [w, h] : format->sizes) offered |= w == static_cast<int>(out->width) && h == static_cast<int>(out->height);
  if (!offered) return -EINVAL;
  const std::uint32_t index = out->index;
  out->type = V4L2_FRMIVAL_TYPE_DISCRETE;
  out->discrete = IntervalOf(index + 1);
  std::memset(out->reserved, 0, sizeof out->reserved);
  return 0;
}

int FaceDevice::GetParm(v4l2_streamparm* out) {
  if (out->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  std::memset(&out->parm, 0, sizeof out->parm);
  out->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
  out->parm.capture.timeperframe = IntervalOf(intervalFrames_);
  out->parm.capture.readbuffers = 2;
  return 0;
}

int FaceDevice::SetParm(int connection, v4l2_streamparm* inOut) {
  if (inOut->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  if (!PriorityAllows(connection)) return -EBUSY;
  // The stream's period is set when it starts: changed only between streams,
  // as a USB camera's is.
  if (streaming_) return -EBUSY;
  // The interval asked, to the nearest whole number of sensor frames the driver streams at.
  intervalFrames_ = FramesFor(inOut->parm.capture.timeperframe);
  return GetParm(inOut);
}

// ---- cropping: the picture is the whole frame. Its bounds and default are
// told, as a USB camera tells them; there is no crop to get or set.

v4l2_rect FaceDevice::WholeFrame() const {
  return {0, 0, static_cast<std::uint32_t>(size_.width), static_cast<std::uint32_t>(size_.height)};
}

int FaceDevice::CropCap(v4l2_cropcap* inOut) {
  if (inOut->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  inOut->bounds = inOut->defrect = WholeFrame();
  inOut->pixelaspect = {1, 1};
  return 0;
}

int FaceDevice::GetSelection(v4l2_selection* inOut) {
  if (inOut->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  if (inOut->target != V4L2_SEL_TGT_CROP_DEFAULT && inOut->target != V4L2_SEL_TGT_CROP_BOUNDS) return -EINVAL;
  inOut->r = WholeFrame();
  std::memset(inOut->reserved, 0, sizeof inOut->reserved);
  return 0;
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
