// zarncap pipewire [--name NAME]: the camera as a PipeWire camera node for as
// long as this runs, so browsers (through the desktop's camera portal), OBS
// and GStreamer's pipewiresrc list it among the desktop's cameras. The node
// is published once the camera has been asked what it offers; the driver is
// open only while a consumer takes pictures.
#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/host/cpu_time.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/pipewire/camera_feed.h"
#include "tools/zarncap/pipewire/camera_node.h"
#include "tools/zarncap/pipewire/camera_probe.h"
#include "tools/zarncap/pipewire/pipewire_connection.h"
#include "tools/zarncap/host/driver_stream.h"

namespace zarncap {

int RunPipewire(const GlobalOptions& global, const PipewireOptions& options, const Host& host) {
  // PipeWire first: without it there is no point in waking the camera.
  PipewireConnection pipewire;
  CameraFeed feed(global, host);
  const CameraProbe probe = ProbeCamera(feed, global, host);

  NodeSetup setup;
  setup.name = NodeName(probe);
  setup.description = options.name.empty() ? NodeDescription(probe) : options.name;
  setup.formats = probe.formats;
  setup.rate = spa_fraction{kSensorFramesPerSecond, 1};
  setup.controls = probe.controls;
  std::string problem;
  std::uint64_t frames = 0;
  const double cpuBefore = ProcessCpuMs();
  {
    CameraNode node(pipewire.Loop(), pipewire.Core(), setup, feed, host);
    Say(host, host.err, "zarncap: the camera is PipeWire node %s (\"%s\"); Ctrl-C ends it\n", setup.name.c_str(),
        setup.description.c_str());
    std::fflush(host.err);
    problem = pipewire.Run(host);
    frames = node.FramesDelivered();
  }
  if (frames > 0) {
    Detail(host, "pipewire: %llu frames delivered, %.2f ms of CPU per frame in zarncap",
           static_cast<unsigned long long>(frames), (ProcessCpuMs() - cpuBefore) / static_cast<double>(frames));
  }
  if (!problem.empty()) throw ToolError(problem);
  // Ctrl-C or SIGTERM is how the node ends: a stop asked for, not a failure.
  Say(host, host.out, "zarncap: the camera node is removed, the driver closed\n");
  return kExitInterrupted;
}

}  // namespace zarncap
