#include "tools/zarncap/pipewire/camera_node.h"

#include <spa/buffer/meta.h>
#include <spa/param/props.h>
#include <spa/utils/result.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/frame_rows.h"
#include "tools/zarncap/pipewire/node_controls.h"
#include "tools/zarncap/pipewire/node_params.h"

namespace zarncap {
namespace {

// Room for every parameter the node publishes at once.
constexpr std::size_t kPodBytes = 32 * 1024;
// While the driver's stream has no buffer (consumers hold them all), the
// node looks for one given back this often.
constexpr std::chrono::milliseconds kStarveRetry{10};

std::uint64_t MonotonicNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
}

CameraNode& Self(void* data) { return *static_cast<CameraNode*>(data); }

}  // namespace

const pw_stream_events CameraNode::kEvents = [] {
  pw_stream_events events{};
  events.version = PW_VERSION_STREAM_EVENTS;
  events.state_changed = &CameraNode::OnState;
  events.param_changed = &CameraNode::OnParam;
  events.add_buffer = &CameraNode::OnAddBuffer;
  events.remove_buffer = &CameraNode::OnRemoveBuffer;
  events.process = &CameraNode::OnProcess;
  return events;
}();

CameraNode::CameraNode(pw_loop* loop, pw_core* core, NodeSetup setup, CameraFeed& feed, const Host& host)
    : loop_(loop), core_(core), setup_(std::move(setup)), feed_(feed), host_(host) {
  idleTimer_ = pw_loop_add_timer(loop_, [](void* data, uint64_t) { Self(data).CloseDriver(); }, this);
  starveTimer_ = pw_loop_add_timer(loop_, [](void* data, uint64_t) { Self(data).Refill(); }, this);
  reconnectTimer_ = pw_loop_add_timer(loop_, [](void* data, uint64_t) { Self(data).Reconnect(); }, this);
  Connect();
}

CameraNode::~CameraNode() {
  StopDriverStream();
  WatchDriver(false);
  if (stream_ != nullptr) {
    spa_hook_remove(&listener_);
    pw_stream_destroy(stream_);
  }
  for (spa_source* timer : {idleTimer_, starveTimer_, reconnectTimer_}) pw_loop_destroy_source(loop_, timer);
  const bool wasOpen = feed_.IsOpen();
  feed_.Close();
  Detail(host_, "pipewire: the node is removed%s", wasOpen ? "; the driver is closed and the port given back" : "");
}

void CameraNode::Connect() {
  pw_properties* properties = pw_properties_new(
      PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_ROLE, "Camera", PW_KEY_MEDIA_TYPE, "Video",
      PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_NODE_NAME, setup_.name.c_str(), PW_KEY_NODE_DESCRIPTION,
      setup_.description.c_str(), nullptr);
  stream_ = pw_stream_new(core_, setup_.name.c_str(), properties);
  if (stream_ == nullptr) throw ToolError(std::string("PipeWire refused the camera node: ") + std::strerror(errno));
  listener_ = spa_hook{};
  pw_stream_add_listener(stream_, &listener_, &kEvents, this);

  std::vector<std::uint8_t> memory(kPodBytes);
  spa_pod_builder builder;
  spa_pod_builder_init(&builder, memory.data(), static_cast<uint32_t>(memory.size()));
  std::vector<const spa_pod*> params;
  for (const NodeFormat& format : setup_.formats) params.push_back(EnumFormatPod(&builder, format, setup_.rate));
  for (const spa_pod* info : PropInfoPods(&builder, setup_.controls)) params.push_back(info);
  params.push_back(PropsPod(&builder, setup_.controls));
  const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_ALLOC_BUFFERS);
  const int result = pw_stream_connect(stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params.data(),
                                       static_cast<uint32_t>(params.size()));
  if (result < 0) throw ToolError(std::string("PipeWire refused the camera node: ") + spa_strerror(result));
}

void CameraNode::Reconnect() {
  Arm(reconnectTimer_, std::chrono::milliseconds(0));
  StopDriverStream();
  spa_hook_remove(&listener_);
  pw_stream_destroy(stream_);
  stream_ = nullptr;
  format_ = nullptr;
  streaming_ = false;
  Connect();
}

void CameraNode::Fail(const std::string& problem, int error) {
  Say(host_, host_.err, "zarncap: warning: a consumer's stream failed: %s\n", problem.c_str());
  pw_stream_set_error(stream_, -error, "%s", problem.c_str());
  Arm(reconnectTimer_, std::chrono::milliseconds(1));
}

void CameraNode::OnState(void* data, pw_stream_state, pw_stream_state state, const char* error) {
  CameraNode& self = Self(data);
  self.streaming_ = state == PW_STREAM_STATE_STREAMING;
  if (self.streaming_) {
    self.StartDriverStream();
    return;
  }
  if (state == PW_STREAM_STATE_ERROR && error != nullptr) Detail(self.host_, "pipewire: the node failed: %s", error);
  self.StopDriverStream();
  if (self.feed_.IsOpen()) self.Arm(self.idleTimer_, self.setup_.idleClose);
}

void CameraNode::OnParam(void* data, uint32_t id, const spa_pod* param) {
  if (id == SPA_PARAM_Format) Self(data).SetFormat(param);
  if (id == SPA_PARAM_Props) Self(data).SetControls(param);
}

void CameraNode::OnAddBuffer(void* data, pw_buffer* buffer) {
  CameraNode& self = Self(data);
  if (!self.buffers_.Add(buffer, self.bufferBytes_)) {
    const int error = errno;
    self.Fail(std::string("no memory for a frame buffer: ") + std::strerror(error), error);
  }
}

void CameraNode::OnRemoveBuffer(void* data, pw_buffer* buffer) {
  CameraNode& self = Self(data);
  // The driver must not write into memory that is going away.
  if (const NodeBuffer* b = self.buffers_.Of(buffer); b != nullptr && b->withDriver) self.StopDriverStream();
  self.buffers_.Remove(buffer);
}

void CameraNode::OnProcess(void* data) { Self(data).Refill(); }

void CameraNode::SetFormat(const spa_pod* param) {
  StopDriverStream();
  format_ = nullptr;
  if (param == nullptr) return;  // the consumers are gone and the format with them
  spa_video_info_raw info;
  const NodeFormat* format = nullptr;
  if (ParseVideoFormat(param, &info)) {
    format = FindNodeFormat(setup_.formats, info.format, static_cast<int>(info.size.width),
                            static_cast<int>(info.size.height));
  }
  if (format == nullptr) return Fail("the camera does not offer the format asked for", EINVAL);
  const int width = static_cast<int>(info.size.width), height = static_cast<int>(info.size.height);
  Arm(idleTimer_, std::chrono::milliseconds(0));
  Negotiated negotiated;
  try {
    negotiated = feed_.SetFormat(*format->pixel, width, height);
  } catch (const ToolError& error) {
    return Fail(error.what(), EIO);
  }
  WatchDriver(true);
  format_ = format;
  width_ = width;
  height_ = height;
  frameBytes_ = negotiated.frameBytes;
  bufferBytes_ = negotiated.bufferBytes;
  rowBytes_ = RowBytes(*format->pixel, width);
  Detail(host_, "pipewire: a consumer takes %s %dx%d", std::string(format->pixel->name).c_str(), width, height);

  std::vector<std::uint8_t> memory(kPodBytes);
  spa_pod_builder builder;
  spa_pod_builder_init(&builder, memory.data(), static_cast<uint32_t>(memory.size()));
  const spa_pod* params[] = {BuffersPod(&builder, bufferBytes_, rowBytes_), HeaderMetaPod(&builder)};
  pw_stream_update_params(stream_, params, 2);
}

void CameraNode::SetControls(const spa_pod* param) {
  std::vector<std::string> problems;
  const ControlSets sets = SetsFromProps(param, setup_.controls, &problems);
  for (const std::string& problem : problems) Say(host_, host_.err, "zarncap: warning: Props: %s\n", problem.c_str());
  if (sets.empty()) return;
  try {
    setup_.controls = feed_.ApplyControls(sets);
  } catch (const ToolError& error) {
    Say(host_, host_.err, "zarncap: warning: Props: %s\n", error.what());
  }
  for (const auto& [name, value] : sets) Detail(host_, "pipewire: %s=%s", name.c_str(), value.c_str());
  PublishControls();
}

void CameraNode::PublishControls() {
  std::vector<std::uint8_t> memory(kPodBytes);
  spa_pod_builder builder;
  spa_pod_builder_init(&builder, memory.data(), static_cast<uint32_t>(memory.size()));
  std::vector<const spa_pod*> params = PropInfoPods(&builder, setup_.controls);
  params.push_back(PropsPod(&builder, setup_.controls));
  pw_stream_update_params(stream_, params.data(), static_cast<uint32_t>(params.size()));
}

void CameraNode::StartDriverStream() {
  Arm(idleTimer_, std::chrono::milliseconds(0));
  if (format_ == nullptr) return;
  if (!feed_.IsOpen()) {
    // The driver was closed while the node kept its format: open it again.
    try {
      feed_.SetFormat(*format_->pixel, width_, height_);
    } catch (const ToolError& error) {
      return Fail(error.what(), EIO);
    }
    WatchDriver(true);
  }
  std::vector<VIDEOHDR*> headers;
  while (pw_buffer* buffer = pw_stream_dequeue_buffer(stream_)) {
    if (NodeBuffer* b = buffers_.Of(buffer)) b->held = true;
  }
  for (const auto& b : buffers_.All()) {
    if (b->held && !b->withDriver) headers.push_back(&b->header);
  }
  if (!feed_.Start(headers)) return Fail("the driver refused to start its stream", EIO);
  for (const auto& b : buffers_.All()) b->withDriver = b->held;
  Detail(host_, "pipewire: the driver's stream runs with %zu buffers", headers.size());
}

void CameraNode::StopDriverStream() {
  Arm(starveTimer_, std::chrono::milliseconds(0));
  if (!feed_.Running()) return;
  feed_.Stop();
  for (const auto& b : buffers_.All()) b->withDriver = false;
  Detail(host_, "pipewire: the driver's stream has stopped");
}

void CameraNode::Refill() {
  if (!feed_.Running()) return;
  while (pw_buffer* buffer = pw_stream_dequeue_buffer(stream_)) {
    if (NodeBuffer* b = buffers_.Of(buffer)) b->held = true;
  }
  bool any = false;
  for (const auto& b : buffers_.All()) {
    if (b->held && !b->withDriver) b->withDriver = feed_.Add(&b->header);
    any = any || b->withDriver;
  }
  Arm(starveTimer_, any ? std::chrono::milliseconds(0) : kStarveRetry);
}

void CameraNode::OnFrames() {
  for (VIDEOHDR* header : feed_.TakeFinished()) {
    NodeBuffer* b = buffers_.Of(header);
    if (b == nullptr || !b->withDriver) continue;
    b->withDriver = false;
    if (streaming_) Deliver(*b);
  }
  Refill();
}

void CameraNode::Deliver(NodeBuffer& b) {
  if (format_->flipRows) FlipRows(b.data, rowBytes_, static_cast<std::size_t>(height_), flipRow_);
  spa_buffer* buffer = b.buffer->buffer;
  spa_chunk* chunk = buffer->datas[0].chunk;
  chunk->offset = 0;
  chunk->size = static_cast<uint32_t>(frameBytes_);
  chunk->stride = static_cast<int32_t>(rowBytes_);
  chunk->flags = 0;
  auto* header = static_cast<spa_meta_header*>(spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
  if (header != nullptr) {
    header->flags = 0;
    header->pts = static_cast<int64_t>(MonotonicNs());
    header->dts_offset = 0;
    header->seq = frames_;
  }
  b.held = false;
  pw_stream_queue_buffer(stream_, b.buffer);
  ++frames_;
  pw_stream_trigger_process(stream_);
}

void CameraNode::WatchDriver(bool on) {
  if (on && driverWake_ == nullptr && feed_.WakeFd() >= 0) {
    driverWake_ = pw_loop_add_io(
        loop_, feed_.WakeFd(), SPA_IO_IN, false, [](void* data, int, uint32_t) { Self(data).OnFrames(); }, this);
  } else if (!on && driverWake_ != nullptr) {
    pw_loop_destroy_source(loop_, driverWake_);
    driverWake_ = nullptr;
  }
}

void CameraNode::Arm(spa_source* timer, std::chrono::milliseconds after) {
  if (after.count() == 0) {
    pw_loop_update_timer(loop_, timer, nullptr, nullptr, false);
    return;
  }
  timespec value{static_cast<time_t>(after.count() / 1000), static_cast<long>((after.count() % 1000) * 1000000)};
  pw_loop_update_timer(loop_, timer, &value, nullptr, false);
}

void CameraNode::CloseDriver() {
  Arm(idleTimer_, std::chrono::milliseconds(0));
  if (streaming_ || !feed_.IsOpen()) return;
  StopDriverStream();
  WatchDriver(false);
  feed_.Close();
  Detail(host_, "pipewire: the driver is closed and the port given back");
}

}  // namespace zarncap
