// zarncap stream: frames through the driver's stream messages into a movie.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/zarncap/commands.h"
#include "tools/zarncap/cpu_time.h"
#include "tools/zarncap/disk_space.h"
#include "tools/zarncap/file_kinds.h"
#include "tools/zarncap/json_text.h"
#include "tools/zarncap/negotiate.h"
#include "tools/zarncap/output_file.h"
#include "tools/zarncap/rate_probe.h"
#include "tools/zarncap/session.h"
#include "tools/zarncap/stream_session.h"
#include "tools/zarncap/tool_error.h"
#include "tools/zarncap/video_writers.h"

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
  DWORD firstTime = 0, lastTime = 0;
};

void Progress(const Host& host, const Tally& tally, Clock::duration elapsed) {
  const double seconds = Seconds(elapsed);
  std::fprintf(host.err, "\rframes %ld  fps %.1f  dropped %u   ", tally.written,
               seconds > 0 ? static_cast<double>(tally.written) / seconds : 0.0, tally.dropped);
  std::fflush(host.err);
}

}  // namespace

void RunStream(const GlobalOptions& global, const StreamOptions& options, const Host& host) {
  const ImageRequest image = ParseImageRequest(options.size, options.format, options.sizeGiven);
  const PixelFormat* format = image.format;
  if (!(options.fps > 0.0 && options.fps <= 1000.0)) throw ToolError("--fps must be above 0 and at most 1000", kExitUsage);
  if (options.frames < 0 || options.seconds < 0) throw ToolError("--frames and --seconds must be positive", kExitUsage);
  const MovieKind kind = MovieKindOf(options.output);
  const VideoCodec codec = MovieCodecOf(kind, options.codec, *format);
  if (kind == MovieKind::kY4mStdout && host.out == stdout && ::isatty(STDOUT_FILENO)) {
    throw ToolError("standard output is a terminal: pipe the Y4M stream into a program (e.g. | ffmpeg -i - ...)",
                    kExitUsage);
  }
  const long targetFrames = options.frames;
  const double targetSeconds = options.frames == 0 && options.seconds == 0 ? kDefaultStreamSeconds : options.seconds;
  const FrameRate rate = FrameRateOf(options.fps);

  std::optional<OutputFile> out;
  if (kind != MovieKind::kY4mStdout) out.emplace(options.output);
  const std::string name = kind == MovieKind::kY4mStdout ? std::string("standard output") : options.output;
  // With the movie on standard output the messages go to the error stream.
  std::FILE* report = kind == MovieKind::kY4mStdout ? host.err : host.out;

  Session session(global, host);
  const Negotiated negotiated = NegotiateFormat(session.Link(), *format, image.width, image.height, image.sizeGiven);
  const int width = negotiated.width, height = negotiated.height;
  if (codec == VideoCodec::kH264 && (width % 2 != 0 || height % 2 != 0)) {
    throw ToolError("H.264 needs an even width and height; " + std::to_string(width) + "x" + std::to_string(height) +
                        " is not (choose another --size, or --codec mjpeg in .mkv)",
                    kExitUsage);
  }
  Detail(host, "format %dx%d %s, %s in %s, asking for %.2f fps", width, height, std::string(format->name).c_str(),
         CodecName(codec), MovieKindName(kind), options.fps);
  const std::vector<RGBQUAD> palette = PaletteFor(*format, session.Link());

  // The movie is made once the first frames show the rate the driver
  // delivers: that rate, not the one asked for, goes into the file.
  const bool y4m = kind == MovieKind::kY4m || kind == MovieKind::kY4mStdout;
  if (!y4m) out->ReleaseStream();
  auto makeWriter = [&](FrameRate delivered) -> std::unique_ptr<VideoWriter> {
    Detail(host, "the driver delivers %.2f fps; the movie says %u/%u", delivered.Value(), delivered.num, delivered.den);
    if (kind == MovieKind::kY4mStdout) return std::make_unique<Y4mWriter>(host.out, name, width, height, delivered);
    if (kind == MovieKind::kY4m) return std::make_unique<Y4mWriter>(out->Stream(), name, width, height, delivered);
    if (codec == VideoCodec::kRaw) {
      return MakeAvWriter(out->TempPath(), name, ContainerOf(kind), *format, width, height, delivered, palette);
    }
    const EncodedMovie movie{ContainerOf(kind), codec, options.crf, options.quality};
    return MakeEncodedWriter(out->TempPath(), name, movie, width, height, delivered);
  };
  auto warn = [&host](const std::string& text) { Say(host, host.err, "zarncap: warning: %s\n", text.c_str()); };
  auto writer = std::make_unique<RateProbeWriter>(rate, makeWriter, warn);

  StreamSession stream(session.Link(), negotiated.bufferBytes, kStreamBuffers);
  stream.Init(static_cast<DWORD>(std::lround(1e6 / options.fps)));
  stream.Start();
  const auto start = Clock::now();
  const double cpuAtStart = ProcessCpuMs();
  auto lastFrame = start, lastPoll = start;
  Tally tally;
  bool interrupted = false;
  // Why the stream ended before it was asked to (the camera stopped
  // delivering, the disk filled): the frames written so far are kept all the
  // same, and the run fails with this message after saving them.
  std::string stopReason;
  bool readerGone = false;  // the pipe's reader closed it: the run ends quietly

  Frame frame;
  frame.format = format;
  frame.width = width;
  frame.height = height;
  frame.palette = palette;
  for (;;) {
    if (host.interrupted != nullptr && host.interrupted->load()) {
      interrupted = true;
      break;
    }
    const auto now = Clock::now();
    if (targetSeconds > 0 && Seconds(now - start) >= targetSeconds) break;
    if (now - lastPoll >= kPollInterval) {
      lastPoll = now;
      tally.dropped += stream.TakeErrorCount();
      if (host.progress && !host.quiet) Progress(host, tally, now - start);
    }
    if (now - lastFrame > host.stallTimeout) {
      tally.dropped += stream.TakeErrorCount();
      char text[160];
      std::snprintf(text, sizeof text, "the driver delivered no frame for %.1f s after %ld frames (%u ticks found no buffer)",
                    Seconds(host.stallTimeout), tally.written, tally.dropped);
      stopReason = text;
      break;
    }
    VIDEOHDR* header = stream.WaitFilled(kPollInterval / 5);
    if (header == nullptr) continue;
    if ((header->dwFlags & VHDR_DONE) == 0 || header->dwBytesUsed == 0) {
      stream.Requeue(header);  // handed back without a picture: use it again
      continue;
    }
    lastFrame = Clock::now();
    if (out) {
      // The next frame, what the muxer still holds (Matroska keeps a cluster
      // in memory) and the file's finish must all fit.
      const uint64_t room = host.freeBytes ? host.freeBytes(out->TempPath()) : FreeBytes(out->TempPath());
      const uint64_t given = static_cast<uint64_t>(tally.written) * negotiated.frameBytes;
      const uint64_t onDisk = FileBytes(out->TempPath());
      const uint64_t held = given > onDisk ? given - onDisk : 0;
      if (room < held + 2 * static_cast<uint64_t>(negotiated.bufferBytes) + FinishReserve(tally.written)) {
        stopReason = "the disk holding " + name + " is nearly full (" + std::to_string(room / 1024) +
                     " KiB left); the movie was finished while it still fit";
        break;
      }
    }
    frame.data = std::span<const uint8_t>(header->lpData, negotiated.frameBytes);
    try {
      writer->WriteFrame(frame, header->dwTimeCaptured);
    } catch (const ReaderGone&) {
      readerGone = true;
      break;
    } catch (const ToolError& error) {
      stopReason = error.what();
      break;
    }
    if (tally.written == 0) tally.firstTime = header->dwTimeCaptured;
    tally.lastTime = header->dwTimeCaptured;
    ++tally.written;
    if (targetFrames > 0 && tally.written >= targetFrames) break;
    stream.Requeue(header);
  }
  tally.dropped += stream.End();
  if (readerGone) {
    session.Finish();
    return;
  }
  const auto elapsed = Clock::now() - start;
  const double cpuPerFrame = tally.written > 0 ? (ProcessCpuMs() - cpuAtStart) / static_cast<double>(tally.written) : 0.0;
  if (host.progress && !host.quiet) {
    Progress(host, tally, elapsed);
    std::fputc('\n', host.err);
  }
  if (tally.written == 0) {
    if (!stopReason.empty()) throw ToolError(stopReason);
    throw ToolError(interrupted ? "interrupted before the first frame" : "the driver delivered no frame",
                    interrupted ? kExitInterrupted : kExitFailure);
  }
  // Whatever ended the stream, the frames written are finalised and kept.
  try {
    writer->Finish();
  } catch (const ToolError& error) {
    if (stopReason.empty()) throw;
  }
  writer.reset();
  if (out && kind == MovieKind::kY4m && !stopReason.empty()) {
    // A failed write may have left part of a frame on disk: keep the whole ones.
    out->AbandonStream();
    tally.written = KeepWholeY4mFrames(out->TempPath(), Y4mFrameBytes(width, height));
    if (tally.written == 0) {
      out->Discard();
      throw ToolError(stopReason);
    }
  }
  if (out) out->Commit();
  session.Finish();

  const double interval =
      tally.written > 1 ? static_cast<double>(static_cast<DWORD>(tally.lastTime - tally.firstTime)) / (tally.written - 1)
                        : 0.0;
  const double fps = interval > 0 ? 1000.0 / interval : 0.0;
  if (options.json) {
    // The summary a script reads, on the report stream (standard error when
    // the movie goes to standard output).
    std::fprintf(report,
                 "{\"file\": %s, \"container\": \"%s\", \"codec\": \"%s\", \"width\": %d, \"height\": %d, "
                 "\"format\": \"%s\", \"frames\": %ld, \"dropped\": %u, \"seconds\": %.3f, \"fps\": %.3f, "
                 "\"average_interval_ms\": %.3f, \"cpu_ms_per_frame\": %.3f, \"interrupted\": %s, \"stopped_because\": %s}\n",
                 JsonString(name).c_str(), MovieKindName(kind), CodecName(codec), width, height,
                 std::string(format->name).c_str(), tally.written, tally.dropped, Seconds(elapsed), fps, interval,
                 cpuPerFrame, interrupted ? "true" : "false",
                 stopReason.empty() ? "null" : JsonString(stopReason).c_str());
  } else {
    Say(host, report,
        "zarncap: %ld frame%s written to %s (%dx%d %s, %s %s)%s, %u dropped, average interval %.1f ms", tally.written,
        tally.written == 1 ? "" : "s", name.c_str(), width, height, std::string(format->name).c_str(),
        MovieKindName(kind), CodecName(codec), interrupted ? " until interrupted" : "", tally.dropped, interval);
    if (fps > 0) Say(host, report, " (%.2f fps)", fps);
    Say(host, report, ", CPU %.1f ms per frame\n", cpuPerFrame);
  }
  if (!stopReason.empty()) throw ToolError(stopReason + "; the " + std::to_string(tally.written) + " frames written are in " + name);
  // An interrupted run keeps its file, and says so in its exit status.
  if (interrupted) throw ToolError("interrupted; the " + std::to_string(tally.written) + " frames written are in " + name, kExitInterrupted);
}

}  // namespace zarncap
