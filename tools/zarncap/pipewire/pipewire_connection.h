// zarncap's connection to the user's PipeWire: the main loop every part of
// the node runs on, and the core the node is published through.
#pragma once

#include <pipewire/pipewire.h>

#include <string>

#include "tools/zarncap/common/run_context.h"

namespace zarncap {

class PipewireConnection {
 public:
  // Connects; throws ToolError in one line when no PipeWire answers.
  PipewireConnection();
  PipewireConnection(const PipewireConnection&) = delete;
  PipewireConnection& operator=(const PipewireConnection&) = delete;
  ~PipewireConnection();

  pw_loop* Loop() { return pw_main_loop_get_loop(loop_); }
  pw_core* Core() { return core_; }

  // Runs the loop until the run is interrupted (SIGINT, SIGTERM) or PipeWire
  // goes away: "" or what went wrong.
  std::string Run(const Host& host);

 private:
  static void OnCoreError(void* self, uint32_t id, int seq, int result, const char* message);

  pw_main_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  spa_hook coreListener_{};
  std::string problem_;
};

// Where this process looks for PipeWire: $PIPEWIRE_REMOTE in
// $PIPEWIRE_RUNTIME_DIR or $XDG_RUNTIME_DIR (pipewire-0 by default).
std::string PipewireSocketPath();

}  // namespace zarncap
