// The preview's live picture: one driver stream shared by every viewer,
// started when the first viewer comes and stopped when the last one goes.
// A worker thread takes each frame the driver delivers, turns it into a JPEG
// and keeps only the newest, so a slow viewer skips frames rather than
// holding memory. The source settings go through the driver's own dialog on
// an external-in channel of the same driver, as `zarncap controls` does.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/format_map.h"
#include "tools/zarncap/host/format_table.h"
#include "tools/zarncap/host/image_request.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/host/source_controls.h"

namespace zarncap {

// A format change while another is under way: the server answers 503.
class PreviewBusy : public ToolError {
 public:
  using ToolError::ToolError;
};

struct LivePicture {
  uint64_t sequence = 0;  // 0: none yet
  std::shared_ptr<const std::vector<uint8_t>> jpeg;
  std::shared_ptr<const std::vector<uint8_t>> rgb;  // top-down R, G, B
  int width = 0, height = 0;
};

struct LiveFigures {
  double fps = 0;             // frames delivered in the last second or so
  uint64_t frames = 0;        // since the preview started
  uint64_t dropped = 0;       // ticks the driver could not fill
  double cpuMsPerFrame = 0;   // this process's processor time per frame, lately
  double meanLevel = 0;       // the newest picture's mean of R, G and B (0..255)
  int viewers = 0;
  std::string format;
  int width = 0, height = 0;
};

class LiveView {
 public:
  static constexpr int kMaxViewers = 32;

  // Opens the driver (a video-in channel for the stream, an external-in one
  // for the settings dialog) and sets the format; throws ToolError.
  LiveView(const GlobalOptions& global, const Host& host, const PixelFormat& format, int width, int height,
           bool sizeGiven);
  ~LiveView();
  LiveView(const LiveView&) = delete;
  LiveView& operator=(const LiveView&) = delete;

  // A viewer comes (false: there are kMaxViewers already) or goes.
  bool Join();
  void Leave();
  // The newest picture after sequence `after`, waiting up to `timeout`; a
  // picture with sequence 0 when none came (or the view is closing).
  LivePicture Next(uint64_t after, std::chrono::milliseconds timeout);
  LivePicture Latest();
  LiveFigures Figures();
  bool Closing() const { return closing_.load(); }
  // Ends the stream and wakes every waiting viewer.
  void Close();

  // The source settings after applying sets; throws ToolError (usage) for a
  // value the dialog refuses (nothing changes then).
  std::vector<ControlValue> Controls(const ControlSets& sets);
  std::string SettingsPath() const { return settingsPath_; }
  // What the driver accepts, asked once at the start.
  const std::vector<FormatSizes>& Accepted() const { return accepted_; }
  // A new format and size: the stream restarts in it. Throws ToolError
  // (usage) when the driver refuses: the format in force before is put back
  // on the driver, and the picture goes on in it. One change at a time: while
  // one is under way (or it outlasts kFormatWait), throws PreviewBusy.
  void SetFormat(const PixelFormat& format, int width, int height);
  static constexpr std::chrono::seconds kFormatWait{10};

 private:
  void Work();
  void StreamWhileWatched();
  // After a refused change: the format in force back on the driver.
  void RestoreFormat();
  // Makes rgb the newest picture; returns a buffer for the next frame.
  std::shared_ptr<std::vector<uint8_t>> Publish(std::shared_ptr<std::vector<uint8_t>> rgb, int width, int height);

  Host host_;
  std::string settingsPath_;
  Session video_;
  Session settings_;
  std::mutex settingsMutex_;  // one dialog at a time
  std::vector<FormatSizes> accepted_;

  std::mutex mutex_;
  std::condition_variable changed_;
  int viewers_ = 0;
  std::atomic<bool> closing_{false};
  struct FormatRequest {
    const PixelFormat* format;
    int width, height;
  };
  std::optional<FormatRequest> pendingFormat_;  // handed to the worker
  bool formatBusy_ = false;  // a request is pending or being carried out
  uint64_t formatRequests_ = 0, formatAnswers_ = 0;
  std::string formatError_;  // the answer to request number formatAnswers_
  const PixelFormat* format_ = nullptr;
  int width_ = 0, height_ = 0;
  size_t frameBytes_ = 0, bufferBytes_ = 0;
  LivePicture latest_;
  LiveFigures figures_;
  std::string lastWarning_;  // the worker's own
  std::thread worker_;
};

}  // namespace zarncap
