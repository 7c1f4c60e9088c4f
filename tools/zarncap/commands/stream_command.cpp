// zarncap stream: frames through the driver's stream messages into a movie.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/host/cpu_time.h"
#include "tools/zarncap/media/disk_space.h"
#include "tools/zarncap/media/file_kinds.h"
#include "tools/zarncap/common/json_text.h"
#include "tools/zarncap/host/negotiate.h"
#include "tools/zarncap/media/output_file.h"
#include "tools/zarncap/commands/rate_probe.h"
#include "tools/zarncap/host/session.h"
#include "tools/zarncap/host/settings_path.h"
#include "tools/zarncap/host/source_controls.h"
#include "tools/zarncap/host/stream_session.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/media/video_writers.h"

namespace zarncap {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(250);

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

const char* CodecName(VideoCodec codec) {
  switch (codec) {
    case VideoCodec::kRaw: return "raw";
    case VideoCodec::kMjpeg: return "mjpeg";
    case VideoCodec::kH264: return "h264";
  }
  return "";
}

Container ContainerOf(MovieKind kind) {
  return kind == MovieKind::kAvi ? Container::kAvi : kind == MovieKind::kMp4 ? Container::kMp4 : Container::kMatroska;
}

struct Tally {
  long written = 0;
  DWORD dropped = 0;  // ticks the driver could not fill: no buffer was queued
};

// The live line on a terminal, as ffmpeg keeps one: frames, rate, dropped
// ticks and what the file holds so far.
void Progress(const Host& host, const Tally& tally, Clock::duration elapsed, const std::optional<OutputFile>& out) {
  const double seconds = Seconds(elapsed);
  const double kib = out ? static_cast<double>(FileBytes(out->TempPath())) / 1024.0 : 0.0;
  std::fprintf(host.err, "\rframes %ld  fps %.1f  dropped %u  size %.0f KiB   ", tally.written,
               seconds > 0 ? static_cast<double>(tally.written) / seconds : 0.0, tally.dropped, kib);
  std::fflush(host.err);
}

// What the run will write, settled before the driver opens.
struct MoviePlan {
  MovieKind kind;
  VideoCodec codec;
  std::string name;    // the file, or "standard output"
  std::FILE* report;   // where the summary goes
  long targetFrames;
  double targetSeconds;
  FrameRate rate;
};

MoviePlan PlanMovie(const StreamOptions& options, const PixelFormat& format, const Host& host) {
  if (!(options.fps > 0.0 && options.fps <= 1000.0)) throw ToolError("--fps must be above 0 and at most 1000", kExitUsage);
  if (options.frames < 0 || options.seconds < 0) throw ToolError("--frames and --seconds must be positive", kExitUsage);
  const MovieKind kind = MovieKindOf(options.output);
  const VideoCodec codec = MovieCodecOf(kind, options.codec, format);
  if (kind == MovieKind::kY4mStdout && host.out == stdout && ::isatty(STDOUT_FILENO)) {
    throw ToolError("standard output is a terminal: pipe the Y4M stream into a program (e.g. | ffmpeg -i - ...)",
                    kExitUsage);
  }
  const bool toStdout = kind == MovieKind::kY4mStdout;
  // With the movie on standard output the messages go to the error stream.
  return MoviePlan{kind,
                   codec,
                   toStdout ? std::string("standard output") : options.output,
                   toStdout ? host.err : host.out,
                   options.frames,
                   options.frames == 0 && options.seconds == 0 ? kDefaultStreamSeconds : options.seconds,
                   FrameRateOf(options.fps)};
}

// The movie's writer, made once the first frames show the rate the driver
// delivers: that rate, not the one asked for, goes into the file.
std::unique_ptr<RateProbeWriter> MakeMovieWriter(const MoviePlan& plan, const StreamOptions& options,
                                                 const PixelFormat& format, const Negotiated& negotiated,
                                                 const std::vector<RGBQUAD>& palette, std::optional<OutputFile>& out,
                                                 const Host& host) {
  const bool y4m = plan.kind == MovieKind::kY4m || plan.kind == MovieKind::kY4mStdout;
  if (!y4m) out->ReleaseStream();
  auto makeWriter = [&plan, &options, &format, &palette, &out, &host, width = negotiated.width,
                     height = negotiated.height](FrameRate delivered) -> std::unique_ptr<VideoWriter> {
    Detail(host, "the driver delivers %.2f fps; the movie says %u/%u", delivered.Value(), delivered.num, delivered.den);
    if (plan.kind == MovieKind::kY4mStdout) return std::make_unique<Y4mWriter>(host.out, plan.name, width, height, delivered);
    if (plan.kind == MovieKind::kY4m) return std::make_unique<Y4mWriter>(out->Stream(), plan.name, width, height, delivered);
    if (plan.codec == VideoCodec::kRaw) {
      return MakeAvWriter(out->TempPath(), plan.name, ContainerOf(plan.kind), format, width, height, delivered, palette);
    }
    const EncodedMovie movie{ContainerOf(plan.kind), plan.codec, options.crf, options.quality};
    return MakeEncodedWriter(out->TempPath(), plan.name, movie, width, height, delivered);
  };
  auto warn = [&host](const std::string& text) { Say(host, host.err, "zarncap: warning: %s\n", text.c_str()); };
  return std::make_unique<RateProbeWriter>(plan.rate, makeWriter, warn);
}

// How the frames went.
struct Recording {
  Tally tally;
  bool interrupted = false;
  // Why the stream ended before it was asked to (the camera stopped
  // delivering, the disk filled): the frames written so far are kept all the
  // same, and the run fails with this message after saving them.
  std::string stopReason;
  bool readerGone = false;  // the pipe's reader closed it: the run ends quietly
  bool diskFull = false;    // stopped while the movie could still be finished
  Clock::duration elapsed{};
  double cpuPerFrame = 0.0;
};

// Empty while the next frame, what the muxer still holds (Matroska keeps a
// cluster in memory) and the file's finish all fit; else why the movie stops.
std::string DiskNearlyFull(const OutputFile& out, const std::string& name, long written, const Negotiated& negotiated,
                           const Host& host) {
  const uint64_t room = host.freeBytes ? host.freeBytes(out.TempPath()) : FreeBytes(out.TempPath());
  const uint64_t given = static_cast<uint64_t>(written) * negotiated.frameBytes;
  const uint64_t onDisk = FileBytes(out.TempPath());
  const uint64_t held = given > onDisk ? given - onDisk : 0;
  if (room >= held + 2 * static_cast<uint64_t>(negotiated.bufferBytes) + FinishReserve(written)) return "";
  return "the disk holding " + name + " is nearly full (" + std::to_string(room / 1024) + " KiB left)";
}

Recording RecordFrames(const MoviePlan& plan, StreamSession& stream, RateProbeWriter& writer, Frame frame,
                       const Negotiated& negotiated, const std::optional<OutputFile>& out, const Host& host) {
  Recording r;
  const auto start = Clock::now();
  const double cpuAtStart = ProcessCpuMs();
  auto lastFrame = start, lastPoll = start;
  for (;;) {
    if (host.interrupted != nullptr && host.interrupted->load()) {
      r.interrupted = true;
      break;
    }
    const auto now = Clock::now();
    if (plan.targetSeconds > 0 && Seconds(now - start) >= plan.targetSeconds) break;
    if (now - lastPoll >= kPollInterval) {
      lastPoll = now;
      r.tally.dropped += stream.TakeErrorCount();
      if (host.progress && !host.quiet) Progress(host, r.tally, now - start, out);
    }
    if (now - lastFrame > host.stallTimeout) {
      r.tally.dropped += stream.TakeErrorCount();
      char text[160];
      std::snprintf(text, sizeof text, "the driver delivered no frame for %.1f s after %ld frames (%u ticks found no buffer)",
                    Seconds(host.stallTimeout), r.tally.written, r.tally.dropped);
      r.stopReason = text;
      break;
    }
    VIDEOHDR* header = stream.WaitFilled(kPollInterval / 5);
    if (header == nullptr) continue;
    if ((header->dwFlags & VHDR_DONE) == 0 || header->dwBytesUsed == 0) {
      stream.Requeue(header);  // handed back without a picture: use it again
      continue;
    }
    lastFrame = Clock::now();
    if (out) r.stopReason = DiskNearlyFull(*out, plan.name, r.tally.written, negotiated, host);
    if (!r.stopReason.empty()) {
      r.diskFull = true;
      break;
    }
    frame.data = std::span<const uint8_t>(header->lpData, negotiated.frameBytes);
    try {
      writer.WriteFrame(frame, header->dwTimeCaptured);
    } catch (const ReaderGone&) {
      r.readerGone = true;
      break;
    } catch (const ToolError& error) {
      r.stopReason = error.what();
      break;
    }
    ++r.tally.written;
    if (plan.targetFrames > 0 && r.tally.written >= plan.targetFrames) break;
    stream.Requeue(header);
  }
  r.tally.dropped += stream.End();
  r.elapsed = Clock::now() - start;
  if (r.tally.written > 0) r.cpuPerFrame = (ProcessCpuMs() - cpuAtStart) / static_cast<double>(r.tally.written);
  return r;
}

// Whatever ended the stream, the frames written are finalised and kept.
void KeepMovie(const MoviePlan& plan, std::unique_ptr<RateProbeWriter> writer, std::optional<OutputFile>& out,
               Recording& r, int width, int height) {
  if (r.tally.written == 0) {
    if (!r.stopReason.empty()) throw ToolError(r.stopReason + "; no movie was written");
    throw ToolError(r.interrupted ? "interrupted before the first frame" : "the driver delivered no frame",
                    r.interrupted ? kExitInterrupted : kExitFailure);
  }
  try {
    writer->Finish();
  } catch (const ToolError& error) {
    if (r.stopReason.empty()) throw;
  }
  writer.reset();
  if (out && plan.kind == MovieKind::kY4m && !r.stopReason.empty()) {
    // A failed write may have left part of a frame on disk: keep the whole ones.
    out->AbandonStream();
    r.tally.written = KeepWholeY4mFrames(out->TempPath(), Y4mFrameBytes(width, height));
    if (r.tally.written == 0) {
      out->Discard();
      throw ToolError(r.stopReason);
    }
  }
  if (out) out->Commit();
}

// The rate is the one measurement the movie was made with (what its header
// or timestamps say): the summary and the JSON report the same.
void ReportRecording(const MoviePlan& plan, const StreamOptions& options, const PixelFormat& format, int width,
                     int height, const Recording& r, FrameRate rate, const std::string& settingsPath,
                     const Host& host) {
  const Tally& tally = r.tally;
  const double fps = tally.written > 1 ? rate.Value() : 0.0;
  const double interval = fps > 0 ? 1000.0 / fps : 0.0;
  const std::string formatName(format.name);
  if (options.json) {
    // The summary a script reads, on the report stream (standard error when
    // the movie goes to standard output).
    JsonWriter json;
    json.BeginObject().Key("file").String(plan.name).Key("container").String(MovieKindName(plan.kind));
    json.Key("codec").String(CodecName(plan.codec)).Key("width").Number(width).Key("height").Number(height);
    json.Key("format").String(formatName).Key("frames").Number(tally.written).Key("dropped").Number(tally.dropped);
    json.Key("seconds").Number(Seconds(r.elapsed), 3).Key("fps").Number(fps, 3);
    json.Key("average_interval_ms").Number(interval, 3).Key("cpu_ms_per_frame").Number(r.cpuPerFrame, 3);
    json.Key("interrupted").Bool(r.interrupted).Key("stopped_because");
    if (r.stopReason.empty()) json.Null();
    else json.String(r.stopReason);
    AddGainsJson(json, settingsPath);
    std::fprintf(plan.report, "%s\n", json.EndObject().Text().c_str());
    return;
  }
  Say(host, plan.report, "zarncap: %ld frame%s written to %s (%dx%d %s, %s %s)%s, %u dropped, average interval %.1f ms",
      tally.written, tally.written == 1 ? "" : "s", plan.name.c_str(), width, height, formatName.c_str(),
      MovieKindName(plan.kind), CodecName(plan.codec), r.interrupted ? " until interrupted" : "", tally.dropped,
      interval);
  if (fps > 0) Say(host, plan.report, " (%.2f fps)", fps);
  Say(host, plan.report, ", CPU %.1f ms per frame\n", r.cpuPerFrame);
}

}  // namespace

void RunStream(const GlobalOptions& global, const StreamOptions& options, const Host& host) {
  const ImageRequest image = ParseImageRequest(options.size, options.format, options.sizeGiven);
  const PixelFormat& format = *image.format;
  const MoviePlan plan = PlanMovie(options, format, host);
  std::optional<OutputFile> out;
  if (plan.kind != MovieKind::kY4mStdout) out.emplace(options.output);

  Session session(global, host);
  const Negotiated negotiated = NegotiateFormat(session.Link(), format, image.width, image.height, image.sizeGiven);
  const int width = negotiated.width, height = negotiated.height;
  if (plan.codec == VideoCodec::kH264 && (width % 2 != 0 || height % 2 != 0)) {
    throw ToolError("H.264 needs an even width and height; " + std::to_string(width) + "x" + std::to_string(height) +
                        " is not (choose another --size, or --codec mjpeg in .mkv)",
                    kExitUsage);
  }
  Detail(host, "format %dx%d %s, %s in %s, asking for %.2f fps", width, height, std::string(format.name).c_str(),
         CodecName(plan.codec), MovieKindName(plan.kind), options.fps);
  const std::vector<RGBQUAD> palette = PaletteFor(format, session.Link());
  auto writer = MakeMovieWriter(plan, options, format, negotiated, palette, out, host);

  StreamSession stream(session.Link(), negotiated.bufferBytes, kStreamBuffers);
  stream.Init(static_cast<DWORD>(std::lround(1e6 / options.fps)));
  stream.Start();
  Frame frame;
  frame.format = &format;
  frame.width = width;
  frame.height = height;
  frame.palette = palette;
  Recording r = RecordFrames(plan, stream, *writer, frame, negotiated, out, host);
  if (r.readerGone) {
    session.Finish();
    return;
  }
  if (host.progress && !host.quiet) {
    Progress(host, r.tally, r.elapsed, out);
    std::fputc('\n', host.err);
  }
  const FrameRate rate = writer->Rate();
  KeepMovie(plan, std::move(writer), out, r, width, height);
  session.Finish();
  const std::string settingsPath = ResolveSettingsPath(global.ini);
  ReportRecording(plan, options, format, width, height, r, rate, settingsPath, host);
  if (!options.json) ReportGains(host, plan.report, settingsPath, session.GainsAtOpen());
  const std::string kept = "the " + std::to_string(r.tally.written) + " frames written are in " + plan.name;
  if (r.diskFull) throw ToolError(r.stopReason + "; the movie was finished while it still fit; " + kept);
  if (!r.stopReason.empty()) throw ToolError(r.stopReason + "; " + kept);
  // An interrupted run keeps its file, and says so in its exit status.
  if (r.interrupted) throw ToolError("interrupted; " + kept, kExitInterrupted);
}

}  // namespace zarncap
