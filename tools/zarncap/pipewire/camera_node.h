// The camera as a PipeWire node: a Video/Source output stream (role Camera)
// that drives its own graph at the driver's rate. The driver runs only while
// a consumer is linked: the format a consumer picks is set on the driver
// (opened then if it was closed), its stream starts when PipeWire starts the
// node and stops when the last consumer goes, and the driver is closed (the
// port given back) shortly after. Frames go from the driver straight into the
// node's memfd buffers. Controls are the node's Props, set through the
// driver's settings dialog. Everything runs on the PipeWire main loop's thread;
// the driver's timer thread only wakes it.
#pragma once

#include <pipewire/pipewire.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/zarncap/common/run_context.h"
#include "tools/zarncap/host/source_controls.h"
#include "tools/zarncap/pipewire/camera_feed.h"
#include "tools/zarncap/pipewire/node_buffers.h"
#include "tools/zarncap/pipewire/node_formats.h"

namespace zarncap {

struct NodeSetup {
  std::string name;         // node.name: what target-object takes
  std::string description;  // node.description: what desktop applications list
  std::vector<NodeFormat> formats;
  spa_fraction rate{0, 1};  // the camera's nominal rate: the driver delivers whole sensor frames
  std::vector<ControlValue> controls;  // the settings dialog's, at start
  // How long the driver stays open after the last consumer has gone (a
  // consumer that only changes format comes straight back).
  std::chrono::milliseconds idleClose{300};
};

class CameraNode {
 public:
  // Publishes the node on the core; throws ToolError when PipeWire refuses.
  CameraNode(pw_loop* loop, pw_core* core, NodeSetup setup, CameraFeed& feed, const Host& host);
  CameraNode(const CameraNode&) = delete;
  CameraNode& operator=(const CameraNode&) = delete;
  // Removes the node and closes the driver.
  ~CameraNode();

  std::uint64_t FramesDelivered() const { return frames_; }

 private:
  static const pw_stream_events kEvents;
  static void OnState(void* self, pw_stream_state old, pw_stream_state state, const char* error);
  static void OnParam(void* self, uint32_t id, const spa_pod* param);
  static void OnAddBuffer(void* self, pw_buffer* buffer);
  static void OnRemoveBuffer(void* self, pw_buffer* buffer);
  static void OnProcess(void* self);

  void Connect();
  void Reconnect();
  void SetFormat(const spa_pod* param);
  void SetControls(const spa_pod* param);
  void PublishControls();
  void StartDriverStream();
  void StopDriverStream();
  // Buffers PipeWire has given back go to the driver's stream.
  void Refill();
  void OnFrames();
  void Deliver(NodeBuffer& buffer);
  // A consumer's stream cannot be served: told once, the stream fails and the
  // node is made afresh for the next consumer.
  void Fail(const std::string& problem, int error);
  void WatchDriver(bool on);
  void Arm(spa_source* timer, std::chrono::milliseconds after);
  void CloseDriver();

  pw_loop* loop_;
  pw_core* core_;
  NodeSetup setup_;
  CameraFeed& feed_;
  Host host_;
  pw_stream* stream_ = nullptr;
  spa_hook listener_{};
  NodeBuffers buffers_;

  const NodeFormat* format_ = nullptr;  // the consumers' format, once chosen
  int width_ = 0, height_ = 0;
  std::size_t frameBytes_ = 0, bufferBytes_ = 0, rowBytes_ = 0;
  std::vector<std::uint8_t> flipRow_;
  std::uint64_t frames_ = 0;
  bool streaming_ = false;  // PipeWire has started the node

  spa_source* driverWake_ = nullptr;  // the driver stream's wake-up descriptor
  spa_source* idleTimer_ = nullptr;   // closes the driver after the last consumer
  spa_source* starveTimer_ = nullptr; // retries Refill while the driver has no buffer
  spa_source* reconnectTimer_ = nullptr;
};

}  // namespace zarncap
