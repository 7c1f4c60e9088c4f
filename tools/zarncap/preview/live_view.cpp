// The live view's worker: streams while anyone watches, publishes the newest
// frame as JPEG, and changes format between streams.
#include "tools/zarncap/preview/live_view.h"


#include <cmath>

#include "tools/zarncap/host/cpu_time.h"
#include "tools/zarncap/media/frame_convert.h"
#include "tools/zarncap/host/negotiate.h"
#include "tools/zarncap/host/settings_path.h"
#include "tools/zarncap/media/still_writers.h"
#include "tools/zarncap/host/stream_session.h"
#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kJpegQuality = 80;
constexpr double kPreviewFps = 15.0;
constexpr int kPreviewBuffers = 4;

}  // namespace

LiveView::LiveView(const GlobalOptions& global, const Host& host, const PixelFormat& format, int width, int height,
                   bool sizeGiven)
    : host_(host), settingsPath_(ResolveSettingsPath(global.ini)), video_(global, host, VIDEO_IN),
      settings_(ForSecondChannel(global), host, VIDEO_EXTERNALIN) {
  accepted_ = MapAcceptedFormats(video_.Link());
  const Negotiated negotiated = NegotiateFormat(video_.Link(), format, width, height, sizeGiven);
  format_ = &format;
  width_ = negotiated.width;
  height_ = negotiated.height;
  frameBytes_ = negotiated.frameBytes;
  bufferBytes_ = negotiated.bufferBytes;
  worker_ = std::thread([this] { Work(); });
}

LiveView::~LiveView() {
  Close();
  if (worker_.joinable()) worker_.join();
}

void LiveView::Close() {
  closing_.store(true);
  std::lock_guard lock(mutex_);
  changed_.notify_all();
}

bool LiveView::Join() {
  std::lock_guard lock(mutex_);
  if (viewers_ >= kMaxViewers || closing_.load()) return false;
  ++viewers_;
  changed_.notify_all();
  return true;
}

void LiveView::Leave() {
  std::lock_guard lock(mutex_);
  if (viewers_ > 0) --viewers_;
  changed_.notify_all();
}

LivePicture LiveView::Next(uint64_t after, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return closing_.load() || latest_.sequence > after; });
  if (closing_.load() || latest_.sequence <= after) return {};
  return latest_;
}

LivePicture LiveView::Latest() {
  std::lock_guard lock(mutex_);
  return latest_;
}

LiveFigures LiveView::Figures() {
  std::lock_guard lock(mutex_);
  LiveFigures figures = figures_;
  figures.viewers = viewers_;
  figures.format = std::string(format_->name);
  figures.width = width_;
  figures.height = height_;
  return figures;
}

std::vector<ControlValue> LiveView::Controls(const ControlSets& sets) {
  std::lock_guard lock(settingsMutex_);
  return RunSettingsDialog(settings_.Link(), sets);
}

void LiveView::SetFormat(const PixelFormat& format, int width, int height) {
  std::unique_lock lock(mutex_);
  if (formatBusy_) throw PreviewBusy("another format change is under way; try again");
  formatBusy_ = true;
  const uint64_t request = ++formatRequests_;
  pendingFormat_ = FormatRequest{&format, width, height};
  changed_.notify_all();
  // The worker changes it between streams; wait for this request's answer,
  // for a while. The worker frees the slot when it is done, whether or not
  // anyone still waits.
  const bool answered =
      changed_.wait_for(lock, kFormatWait, [&] { return closing_.load() || formatAnswers_ >= request; });
  if (closing_.load()) throw ToolError("the preview is closing");
  if (!answered) throw PreviewBusy("the format change is taking long; try again");
  if (!formatError_.empty()) throw ToolError(formatError_, kExitUsage);
}

std::shared_ptr<std::vector<uint8_t>> LiveView::Publish(std::shared_ptr<std::vector<uint8_t>> rgb, int width,
                                                       int height) {
  auto jpeg = std::make_shared<std::vector<uint8_t>>();
  std::string error;
  if (!EncodeJpeg(width, height, *rgb, kJpegQuality, jpeg.get(), &error)) return rgb;
  uint64_t sum = 0;
  for (uint8_t value : *rgb) sum += value;
  const size_t bytes = rgb->size();
  std::lock_guard lock(mutex_);
  latest_.sequence += 1;
  latest_.jpeg = std::move(jpeg);
  // The picture before goes back to the worker unless a snapshot still holds
  // it (copies are taken under this lock, so the count cannot rise meanwhile).
  std::shared_ptr<const std::vector<uint8_t>> before = std::move(latest_.rgb);
  latest_.rgb = std::move(rgb);
  latest_.width = width;
  latest_.height = height;
  figures_.meanLevel = bytes == 0 ? 0.0 : static_cast<double>(sum) / static_cast<double>(bytes);
  changed_.notify_all();
  if (before && before.use_count() == 1 && before->size() == bytes) {
    return std::const_pointer_cast<std::vector<uint8_t>>(before);
  }
  return std::make_shared<std::vector<uint8_t>>(bytes);
}

void LiveView::RestoreFormat() {
  const PixelFormat* format;
  int width, height;
  {
    std::lock_guard lock(mutex_);
    format = format_;
    width = width_;
    height = height_;
  }
  try {
    NegotiateFormat(video_.Link(), *format, width, height);
  } catch (const ToolError& error) {
    Say(host_, host_.err, "zarncap: warning: the preview's format could not be put back: %s\n", error.what());
  }
}

void LiveView::Work() {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return closing_.load() || viewers_ > 0 || pendingFormat_.has_value(); });
      if (closing_.load()) return;
      if (pendingFormat_) {
        const FormatRequest request = *pendingFormat_;
        pendingFormat_.reset();
        lock.unlock();
        std::string error;
        try {
          const Negotiated n = NegotiateFormat(video_.Link(), *request.format, request.width, request.height);
          lock.lock();
          format_ = request.format;
          width_ = n.width;
          height_ = n.height;
          frameBytes_ = n.frameBytes;
          bufferBytes_ = n.bufferBytes;
        } catch (const ToolError& e) {
          error = e.what();
          // The driver keeps a refused header (its frames fail until a good
          // one comes): the format in force goes back on it.
          RestoreFormat();
          lock.lock();
        }
        formatError_ = error;
        ++formatAnswers_;
        formatBusy_ = false;
        changed_.notify_all();
        continue;
      }
    }
    try {
      StreamWhileWatched();
      lastWarning_.clear();
    } catch (const ToolError& error) {
      // Told once, not at every retry.
      if (lastWarning_ != error.what()) Say(host_, host_.err, "zarncap: warning: the preview stream stopped: %s\n", error.what());
      lastWarning_ = error.what();
      std::unique_lock lock(mutex_);
      // Try again after a pause, unless the view closes meanwhile.
      changed_.wait_for(lock, std::chrono::seconds(1), [&] { return closing_.load(); });
    }
  }
}

void LiveView::StreamWhileWatched() {
  const PixelFormat* format;
  int width, height;
  size_t frameBytes, bufferBytes;
  {
    std::lock_guard lock(mutex_);
    format = format_;
    width = width_;
    height = height_;
    frameBytes = frameBytes_;
    bufferBytes = bufferBytes_;
  }
  const std::vector<RGBQUAD> palette = PaletteFor(*format, video_.Link());
  StreamSession stream(video_.Link(), bufferBytes, kPreviewBuffers);
  stream.Init(static_cast<DWORD>(std::lround(1e6 / kPreviewFps)));
  stream.Start();
  // The frame is converted straight into the buffer that gets published.
  auto rgb = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  Frame frame;
  frame.format = format;
  frame.width = width;
  frame.height = height;
  frame.palette = palette;
  auto windowStart = Clock::now();
  double windowCpu = ProcessCpuMs();
  uint64_t windowFrames = 0;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (closing_.load() || viewers_ == 0 || pendingFormat_.has_value()) break;
    }
    VIDEOHDR* header = stream.WaitFilled(std::chrono::milliseconds(100));
    if (header != nullptr) {
      if ((header->dwFlags & VHDR_DONE) != 0 && header->dwBytesUsed != 0) {
        frame.data = std::span<const uint8_t>(header->lpData, frameBytes);
        if (FrameToRgb24(frame, *rgb)) {
          rgb = Publish(std::move(rgb), width, height);
          ++windowFrames;
        }
      }
      stream.Requeue(header);
    }
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - windowStart).count();
    if (seconds >= 1.0) {
      const DWORD dropped = stream.TakeErrorCount();
      const double cpu = ProcessCpuMs();
      std::lock_guard lock(mutex_);
      figures_.fps = static_cast<double>(windowFrames) / seconds;
      figures_.frames += windowFrames;
      figures_.dropped += dropped;
      figures_.cpuMsPerFrame = windowFrames > 0 ? (cpu - windowCpu) / static_cast<double>(windowFrames) : 0.0;
      windowStart = now;
      windowCpu = cpu;
      windowFrames = 0;
    }
  }
  const DWORD dropped = stream.End();
  std::lock_guard lock(mutex_);
  figures_.frames += windowFrames;
  figures_.dropped += dropped;
  figures_.fps = 0;
}

}  // namespace zarncap
