// The driver behind the node, opened only while someone takes pictures: a
// video-in channel for the stream and an external-in one for the settings
// dialog, as `zarncap preview` opens them. Closing it saves the settings and
// gives the parallel port back, so a printer on the port can print between
// consumers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tools/zarncap/common/run_context.h"
#include "tools/zarncap/host/negotiate.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/host/source_controls.h"

namespace zarncap {

class DriverStream;

class CameraFeed {
 public:
  // The stream asks the driver for every sensor frame.
  CameraFeed(const GlobalOptions& global, const Host& host);
  CameraFeed(const CameraFeed&) = delete;
  CameraFeed& operator=(const CameraFeed&) = delete;
  ~CameraFeed();

  bool IsOpen() const { return video_ != nullptr; }
  // Opens the driver; throws ToolError (no camera, a busy port).
  void Open();
  // Ends the stream and closes the driver. Warnings (settings that could not
  // be written) go to the error stream.
  void Close();
  DriverLink& Video() { return video_->Link(); }

  // DVM_FORMAT, opening the driver first when it is closed; throws ToolError.
  Negotiated SetFormat(const PixelFormat& format, int width, int height);

  // The driver's stream at its own rate into these buffers: false (and no
  // stream) when the driver refuses a step.
  bool Start(const std::vector<VIDEOHDR*>& headers);
  // One more buffer for the running stream.
  bool Add(VIDEOHDR* header);
  // STOP, RESET, FINI: every buffer is the caller's again.
  void Stop();
  bool Running() const;
  // Readable when the driver has filled buffers (-1 while closed).
  int WakeFd() const;
  // The buffers filled since the last call, in order.
  std::vector<VIDEOHDR*> TakeFinished();

  // Sets controls through the settings dialog, as `zarncap controls` does
  // (with the driver closed, it is opened for the dialog and closed again,
  // which writes the settings file); the controls as the dialog shows them
  // then. Throws ToolError for a value the dialog refuses (nothing changes).
  std::vector<ControlValue> ApplyControls(const ControlSets& sets);

 private:
  GlobalOptions global_;
  Host host_;
  std::unique_ptr<Session> video_;
  std::unique_ptr<Session> settings_;
  std::unique_ptr<DriverStream> stream_;
};

}  // namespace zarncap
