// zarncap capture: single frames with DVM_FRAME; the last of them is saved.
// A series (--count) keeps one driver open and takes a shot per --interval.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/common/json_text.h"
#include "tools/zarncap/media/file_kinds.h"
#include "tools/zarncap/media/frame_convert.h"
#include "tools/zarncap/host/format_table.h"
#include "tools/zarncap/host/negotiate.h"
#include "tools/zarncap/media/output_file.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/host/settings_path.h"
#include "tools/zarncap/host/source_controls.h"
#include "tools/zarncap/commands/shot_names.h"
#include "tools/zarncap/commands/still_frame.h"
#include "tools/zarncap/media/still_writers.h"
#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

bool Interrupted(const Host& host) { return host.interrupted != nullptr && host.interrupted->load(); }

// The picture as top-down RGB, for the compressed still formats.
std::vector<uint8_t> RgbOf(const Frame& frame) {
  std::vector<uint8_t> rgb(static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height) * 3);
  if (!FrameToRgb24(frame, rgb)) throw ToolError("the frame from the driver is incomplete");
  return rgb;
}

void WriteStill(StillKind kind, std::FILE* file, const std::string& name, const Negotiated& format, const Frame& frame,
                int quality) {
  std::vector<uint8_t> bytes;
  std::string error;
  switch (kind) {
    case StillKind::kPng:
      if (!WritePng(file, frame.width, frame.height, RgbOf(frame), &error)) {
        throw ToolError("cannot write " + name + ": " + error);
      }
      return;
    case StillKind::kJpeg:
      if (!WriteJpeg(file, frame.width, frame.height, RgbOf(frame), quality, &error)) {
        throw ToolError("cannot write " + name + ": " + error);
      }
      return;
    case StillKind::kBmp: {
      BITMAPINFOHEADER header = format.header;
      header.biWidth = frame.width;
      header.biHeight = frame.height;
      header.biBitCount = frame.format->bitCount;
      bytes = BuildBmp(header, frame.palette, frame.data);
      break;
    }
    case StillKind::kYuv:
      bytes.resize(format.frameBytes);
      if (!FrameToTopDown(frame, bytes)) throw ToolError("the frame from the driver is incomplete");
      break;
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) CheckWritten(file, name);
}

// Waits until `when`, or less when interrupted.
void WaitUntil(std::chrono::steady_clock::time_point when, const Host& host) {
  while (std::chrono::steady_clock::now() < when && !Interrupted(host)) {
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        when - std::chrono::steady_clock::now(), std::chrono::milliseconds(50)));
  }
  if (Interrupted(host)) throw ToolError("interrupted", kExitInterrupted);
}

// A shot taken well after its time is reported (a shot can take longer than
// the interval): the series keeps its schedule rather than bunch silently.
void ReportLateShot(int shot, std::chrono::steady_clock::duration late, std::chrono::steady_clock::duration interval,
                    const Host& host) {
  const auto tolerance = std::max<std::chrono::steady_clock::duration>(std::chrono::milliseconds(100), interval / 10);
  if (late <= tolerance) return;
  Say(host, host.err, "zarncap: warning: shot %d is %lld ms late (--interval is shorter than a shot takes)\n", shot,
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(late).count()));
}

void CheckFree(const std::string& name, const CaptureOptions& options) {
  struct stat info;
  if (options.noClobber && ::lstat(name.c_str(), &info) == 0) {
    throw ToolError(name + " exists; --no-clobber keeps it");
  }
}

void ShowSettling(const Host& host, int frame, int frames) {
  if (!host.progress || host.quiet || frames < 2) return;
  if (frame < frames) std::fprintf(host.err, "\rzarncap: settling frame %d of %d ", frame, frames);
  else std::fprintf(host.err, "\r%*s\r", 40, "");
  std::fflush(host.err);
}

// The options that need no driver, checked before it opens; the kind of
// still the name (or --type) asks for.
StillKind CheckCaptureOptions(const CaptureOptions& options, const PixelFormat& format, const Host& host) {
  if (options.frames < 1) throw ToolError("--frames must be at least 1", kExitUsage);
  if (options.count < 1) throw ToolError("--count must be at least 1", kExitUsage);
  if (options.quality < 1 || options.quality > 100) throw ToolError("--quality must be 1 to 100", kExitUsage);
  if (options.count > 1 && (options.output == "-" || !NamesEachShot(options.output))) {
    throw ToolError("with --count, the file name needs a number or time field for each shot, e.g. shot-%04n.png",
                    kExitUsage);
  }
  const StillKind kind = StillKindOf(options.output, options.type, format);
  if (options.qualityGiven && kind != StillKind::kJpeg) {
    Say(host, host.err, "zarncap: warning: --quality is for JPEG pictures; this one ignores it\n");
  }
  return kind;
}

// Where a series' shots go: standard output, or a file of its own each (the
// first one's folder checked before the camera starts), no name twice.
class SeriesOutput {
 public:
  SeriesOutput(const CaptureOptions& options, const Host& host, StillKind kind)
      : options_(options), host_(host), kind_(kind), toStdout_(options.output == "-"),
        firstName_(ShotName(options.output, 1, std::time(nullptr))) {
    if (toStdout_) return;
    CheckFree(firstName_, options);
    out_ = std::make_unique<OutputFile>(firstName_);
  }

  // Writes one shot's picture; the name it went to.
  std::string Write(int shot, const Negotiated& negotiated, const Frame& frame) {
    if (toStdout_) {
      WriteStill(kind_, host_.out, "standard output", negotiated, frame, options_.quality);
      CheckWritten(host_.out, "standard output");
      return "standard output";
    }
    const std::string name = shot == 1 ? firstName_ : ShotName(options_.output, shot, std::time(nullptr));
    // A name the series has written already would overwrite one of its shots.
    if (!written_.insert(name).second) {
      throw ToolError("shot " + std::to_string(shot) + " would be " + name +
                      " again, overwriting an earlier shot of this series; give the name a shot number (%n) or finer "
                      "time fields (e.g. %H%M%S)");
    }
    if (shot > 1) {
      CheckFree(name, options_);
      out_ = std::make_unique<OutputFile>(name);
    }
    WriteStill(kind_, out_->Stream(), name, negotiated, frame, options_.quality);
    out_->Commit(options_.noClobber);
    return name;
  }

  // Messages go to standard error when the picture goes to standard output.
  std::FILE* Messages() const { return toStdout_ ? host_.err : host_.out; }

 private:
  const CaptureOptions& options_;
  const Host& host_;
  StillKind kind_;
  bool toStdout_;
  std::string firstName_;
  std::unique_ptr<OutputFile> out_;
  std::set<std::string> written_;
};

// The frames of one shot: white balance settles over the first shot's; the
// camera stays open, so each later shot needs one frame.
int TakeShot(DriverLink& link, VIDEOHDR* header, int shot, const CaptureOptions& options, const Host& host) {
  const int frames = shot == 1 ? options.frames : 1;
  for (int i = 1; i <= frames; ++i) {
    CaptureStillFrame(link, header, i, host);
    ShowSettling(host, i, frames);
  }
  return frames;
}

}  // namespace

void RunCapture(const GlobalOptions& global, const CaptureOptions& options, const Host& host) {
  // Raw YUV asked for by the name alone: I420 at the largest size it takes.
  const bool yuvByName = !options.formatGiven && NamesRawYuv(options.output, options.type);
  const ImageRequest image =
      ParseImageRequest(options.size, yuvByName ? "i420" : options.format, options.sizeGiven);
  const PixelFormat* format = image.format;
  SeriesOutput output(options, host, CheckCaptureOptions(options, *format, host));
  std::FILE* messages = output.Messages();

  Session session(global, host);  // one driver open for every shot
  const Negotiated negotiated = NegotiateFormat(session.Link(), *format, image.width, image.height, image.sizeGiven);
  const int width = negotiated.width, height = negotiated.height;
  Detail(host, "format %dx%d %s, %zu bytes a frame", width, height, std::string(format->name).c_str(),
         negotiated.frameBytes);
  std::vector<uint8_t> buffer(negotiated.bufferBytes);
  VIDEOHDR header{};
  header.lpData = buffer.data();
  header.dwBufferLength = static_cast<DWORD>(buffer.size());
  const std::vector<RGBQUAD> palette = PaletteFor(*format, session.Link());
  const Frame frame{format, width, height, std::span<const uint8_t>(buffer.data(), negotiated.frameBytes), palette};

  // Shot k is due at the first shot's time + (k - 1) intervals: the first
  // shot's settling frames do not eat into the schedule.
  std::chrono::steady_clock::time_point first;
  const auto interval = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(options.interval));
  JsonWriter shots;
  shots.BeginArray();
  for (int shot = 1; shot <= options.count; ++shot) {
    if (shot > 1) {
      const auto due = first + (shot - 1) * interval;
      WaitUntil(due, host);
      ReportLateShot(shot, std::chrono::steady_clock::now() - due, interval, host);
    }
    const int frames = TakeShot(session.Link(), &header, shot, options, host);
    if (shot == 1) first = std::chrono::steady_clock::now();
    const std::string name = output.Write(shot, negotiated, frame);
    if (!options.json) {
      Say(host, messages, "zarncap: wrote %s (%dx%d %s, frame %d, captured at %u ms)\n", name.c_str(), width, height,
          std::string(format->name).c_str(), frames, header.dwTimeCaptured);
    }
    shots.BeginObject().Key("file").String(name);
    shots.Key("frame").Number(static_cast<long long>(frames)).Key("captured_ms").Number(static_cast<long long>(header.dwTimeCaptured));
    shots.EndObject();
  }
  session.Finish();
  const std::string settingsPath = ResolveSettingsPath(global.ini);
  if (options.json) {
    // The summary a script reads, as `stream --json` gives one.
    JsonWriter json;
    json.BeginObject().Key("width").Number(width).Key("height").Number(height);
    json.Key("format").String(std::string(format->name)).Key("shots").Raw(shots.EndArray().Text());
    AddGainsJson(json, settingsPath);
    std::fprintf(messages, "%s\n", json.EndObject().Text().c_str());
    return;
  }
  ReportGains(host, messages, settingsPath, session.GainsAtOpen());
}

}  // namespace zarncap
