#include "tools/zarncap/pipewire/camera_feed.h"

#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/driver_stream.h"

namespace zarncap {
namespace {

// Closes a session, telling what went wrong rather than throwing.
void Finish(std::unique_ptr<Session>& session, const Host& host) {
  if (!session) return;
  try {
    session->Finish();
  } catch (const ToolError& error) {
    Say(host, host.err, "zarncap: warning: %s\n", error.what());
  }
  session.reset();
}

}  // namespace

CameraFeed::CameraFeed(const GlobalOptions& global, const Host& host) : global_(global), host_(host) {}

CameraFeed::~CameraFeed() { Close(); }

void CameraFeed::Open() {
  if (IsOpen()) return;
  auto video = std::make_unique<Session>(global_, host_, VIDEO_IN);
  auto settings = std::make_unique<Session>(ForSecondChannel(global_), host_, VIDEO_EXTERNALIN);
  // The colour gains go back to neutral once a run, at its first open.
  global_.resetColour = false;
  video_ = std::move(video);
  settings_ = std::move(settings);
  stream_ = std::make_unique<DriverStream>(video_->Link());
}

void CameraFeed::Close() {
  stream_.reset();  // ends a running stream
  // The settings channel first: the video channel's close is the driver's
  // last, which saves the settings and releases the port.
  Finish(settings_, host_);
  Finish(video_, host_);
}

Negotiated CameraFeed::SetFormat(const PixelFormat& format, int width, int height) {
  Open();
  Stop();
  return NegotiateFormat(video_->Link(), format, width, height);
}

bool CameraFeed::Start(const std::vector<VIDEOHDR*>& headers) {
  if (!IsOpen()) return false;
  stream_->Stop();
  // An interval below the sensor period: the driver delivers every sensor frame.
  return stream_->Start(headers, 1000);
}

bool CameraFeed::Add(VIDEOHDR* header) { return Running() && stream_->Add(header); }

void CameraFeed::Stop() {
  if (stream_) stream_->Stop();
}

bool CameraFeed::Running() const { return stream_ && stream_->Running(); }

int CameraFeed::WakeFd() const { return stream_ ? stream_->WakeFd() : -1; }

std::vector<VIDEOHDR*> CameraFeed::TakeFinished() {
  return stream_ ? stream_->TakeFinished() : std::vector<VIDEOHDR*>{};
}

std::vector<ControlValue> CameraFeed::ApplyControls(const ControlSets& sets) {
  if (settings_) return RunSettingsDialog(settings_->Link(), sets);
  Session settings(global_, host_, VIDEO_EXTERNALIN);
  global_.resetColour = false;
  std::vector<ControlValue> shown = RunSettingsDialog(settings.Link(), sets);
  settings.Finish();
  return shown;
}

}  // namespace zarncap
