// One run's connection to the driver, opened as the global options say: the
// camera chosen through ZARNCAP_CAMERA before the library loads, the port and
// settings file in the open string, and --trace's settings copy.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/zarncap/common/run_context.h"
#include "tools/zarncap/host/driver_link.h"
#include "tools/zarncap/host/trace_settings.h"

namespace zarncap {

// The options for a second session beside a run's first (a settings channel
// beside the video channel): one trace copy and one colour reset per run are
// the first session's.
GlobalOptions ForSecondChannel(GlobalOptions global);

class Session {
 public:
  // Opens a channel (video-in unless told); throws ToolError.
  Session(const GlobalOptions& global, const Host& host, DWORD channel = VIDEO_IN);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  // Closes the driver if Finish did not (a failed run still keeps the
  // driver's own settings changes, as it would without --trace).
  ~Session();

  DriverLink& Link() { return *link_; }
  // The white-balance gains the settings file held when the driver opened
  // (after --reset-colour): what a run's own moves are measured from.
  const std::vector<std::pair<std::string, double>>& GainsAtOpen() const { return gainsAtOpen_; }
  // Closes the driver and carries --trace's settings back; throws ToolError.
  void Finish();

 private:
  std::optional<TraceSettings> trace_;
  std::unique_ptr<DriverLink> link_;
  std::vector<std::pair<std::string, double>> gainsAtOpen_;
  Host host_;
};

}  // namespace zarncap
