#include "tools/zarncap/pipewire/pipewire_connection.h"

#include <spa/utils/result.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

// How often the loop looks whether the run was interrupted: the signal
// handler only sets a flag, which no descriptor of the loop's reports.
constexpr long kInterruptPollNs = 100 * 1000 * 1000;

const char* Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

std::string PipewireSocketPath() {
  const char* remote = Environment("PIPEWIRE_REMOTE");
  const std::string name = remote != nullptr ? remote : "pipewire-0";
  if (name.front() == '/') return name;
  const char* folder = Environment("PIPEWIRE_RUNTIME_DIR");
  if (folder == nullptr) folder = Environment("XDG_RUNTIME_DIR");
  return folder != nullptr ? std::string(folder) + "/" + name : name + " (XDG_RUNTIME_DIR is not set)";
}

PipewireConnection::PipewireConnection() {
  pw_init(nullptr, nullptr);
  loop_ = pw_main_loop_new(nullptr);
  if (loop_ != nullptr) context_ = pw_context_new(Loop(), nullptr, 0);
  if (context_ == nullptr) {
    const int error = errno;
    if (loop_ != nullptr) pw_main_loop_destroy(loop_);
    pw_deinit();
    throw ToolError(std::string("cannot set up PipeWire's client library: ") + std::strerror(error));
  }
  core_ = pw_context_connect(context_, nullptr, 0);
  if (core_ == nullptr) {
    pw_context_destroy(context_);
    pw_main_loop_destroy(loop_);
    pw_deinit();
    throw ToolError("no PipeWire running: nothing answers at " + PipewireSocketPath() +
                    "; start it with: systemctl --user start pipewire wireplumber");
  }
  static const pw_core_events kEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = &PipewireConnection::OnCoreError;
    return events;
  }();
  pw_core_add_listener(core_, &coreListener_, &kEvents, this);
}

PipewireConnection::~PipewireConnection() {
  spa_hook_remove(&coreListener_);
  pw_core_disconnect(core_);
  pw_context_destroy(context_);
  pw_main_loop_destroy(loop_);
  pw_deinit();
}

void PipewireConnection::OnCoreError(void* data, uint32_t id, int, int result, const char* message) {
  auto& self = *static_cast<PipewireConnection*>(data);
  // Errors of the node's own are its consumers' business; the core's own
  // error with a broken pipe means the daemon has gone.
  if (id != PW_ID_CORE || result != -EPIPE) return;
  self.problem_ = std::string("PipeWire went away: ") + (message != nullptr ? message : spa_strerror(result));
  pw_main_loop_quit(self.loop_);
}

std::string PipewireConnection::Run(const Host& host) {
  struct Watch {
    PipewireConnection* self;
    const Host* host;
  } watch{this, &host};
  spa_source* poll = pw_loop_add_timer(
      Loop(),
      [](void* data, uint64_t) {
        auto* w = static_cast<Watch*>(data);
        if (w->host->interrupted != nullptr && w->host->interrupted->load()) pw_main_loop_quit(w->self->loop_);
      },
      &watch);
  timespec every{0, kInterruptPollNs};
  pw_loop_update_timer(Loop(), poll, &every, &every, false);
  pw_main_loop_run(loop_);
  pw_loop_destroy_source(Loop(), poll);
  return problem_;
}

}  // namespace zarncap
