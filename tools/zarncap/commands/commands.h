// The commands of zarncap and the options they take. Each command throws
// ToolError with a message for the user when it cannot be carried out.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/types.h"
#include "tools/zarncap/common/run_context.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/image_request.h"

namespace zarncap {

struct CaptureOptions {
  std::string output;
  std::string size = "320x240";
  bool sizeGiven = false;  // --size on the command line (else the default, or the largest the format takes)
  std::string format = "rgb24";
  bool formatGiven = false;   // --format on the command line
  int frames = 30;  // the frame kept: white balance settles over the ones before
  std::string type;  // png, jpg, bmp or yuv; "" = by the name's ending
  int quality = 90;  // JPEG quality
  bool qualityGiven = false;
  int count = 1;     // shots, each into its own file
  double interval = 0.0;  // seconds from one shot's start to the next
  bool noClobber = false;  // an existing file is kept and the run fails
  bool json = false;       // the end-of-run summary as JSON
};

struct StreamOptions {
  std::string output;
  std::string codec;  // raw, mjpeg, h264; "" = the file's default
  int crf = 23;       // H.264
  int quality = 90;   // Motion JPEG
  bool json = false;  // the end-of-run summary as JSON
  std::string size = "320x240";
  bool sizeGiven = false;
  std::string format = "rgb24";
  double fps = 15.0;
  int frames = 0;        // 0: not given
  double seconds = 0.0;  // 0: not given
};

struct DefectsOptions {
  std::string store;
};

// The default stream length when neither --frames nor --seconds is given.
constexpr double kDefaultStreamSeconds = 10.0;
// Stream buffers queued with the driver.
constexpr int kStreamBuffers = 6;

void RunCapture(const GlobalOptions& global, const CaptureOptions& options, const Host& host);
void RunStream(const GlobalOptions& global, const StreamOptions& options, const Host& host);
struct FormatsOptions {
  bool json = false;  // the map as JSON
};
void RunFormats(const GlobalOptions& global, const FormatsOptions& options, const Host& host);
void RunDefects(const GlobalOptions& global, const DefectsOptions& options, const Host& host);
struct ControlsOptions {
  std::vector<std::string> sets;  // "name=value", applied in order, then OK
  std::string get;                // --get NAME: that control's value alone
  bool json = false;
};
void RunControls(const GlobalOptions& global, const ControlsOptions& options, const Host& host);
struct InfoOptions {
  bool json = false;
};
void RunInfo(const GlobalOptions& global, const InfoOptions& options, const Host& host);
struct PortsOptions {
  bool json = false;
};
// Surveys the parallel ports without loading the driver; exit 0 even when there is none.
void RunPorts(const PortsOptions& options, const Host& host);
struct CheckOptions {
  bool json = false;   // the steps as JSON
  std::string report;  // --report DIR: the archive for a bug report goes there
};
// The bring-up run: its exit status (0 every step OK or skipped, 1 a step failed).
int RunCheck(const GlobalOptions& global, const CheckOptions& options, const Host& host);
struct V4l2Options {
  std::string device;                // --device PATH ("" = the first free /dev/videoN)
  std::vector<std::string> command;  // the application and its arguments
};
// Runs the application with the camera as a V4L2 device; its exit status.
int RunV4l2(const GlobalOptions& global, const V4l2Options& options, const Host& host);
struct PipewireOptions {
  std::string name;  // --name: node.description ("" = the camera's model and port)
};
// Publishes the camera as a PipeWire node until interrupted (Ctrl-C or
// SIGTERM, which end it as asked: the status says which signal) or until
// PipeWire goes.
int RunPipewire(const GlobalOptions& global, const PipewireOptions& options, const Host& host);

}  // namespace zarncap
