// zarncap stream: frames through the driver's stream messages into a movie.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/zarncap/commands.h"
#include "tools/zarncap/file_kinds.h"
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
  const MovieKind kind = MovieKindOf(options.output, *format);
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
  const std::vector<RGBQUAD> palette = PaletteFor(*format, session.Link());

  // The movie is made once the first frames show the rate the driver
  // delivers: that rate, not the one asked for, goes into the file.
  if (kind == MovieKind::kAvi || kind == MovieKind::kMatroska) out->ReleaseStream();
  auto makeWriter = [&](FrameRate delivered) -> std::unique_ptr<VideoWriter> {
    switch (kind) {
      case MovieKind::kY4mStdout: return std::make_unique<Y4mWriter>(host.out, name, width, height, delivered);
      case MovieKind::kY4m: return std::make_unique<Y4mWriter>(out->Stream(), name, width, height, delivered);
      case MovieKind::kAvi:
      case MovieKind::kMatroska:
        return MakeAvWriter(out->TempPath(), name, kind == MovieKind::kAvi ? Container::kAvi : Container::kMatroska,
                            *format, width, height, delivered, palette);
    }
    return nullptr;
  };
  auto warn = [&host](const std::string& text) { std::fprintf(host.err, "zarncap: warning: %s\n", text.c_str()); };
  auto writer = std::make_unique<RateProbeWriter>(rate, makeWriter, warn);

  StreamSession stream(session.Link(), negotiated.bufferBytes, kStreamBuffers);
  stream.Init(static_cast<DWORD>(std::lround(1e6 / options.fps)));
  stream.Start();
  const auto start = Clock::now();
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
      if (host.progress) Progress(host, tally, now - start);
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
  if (host.progress) {
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
  if (out) out->Commit();
  session.Finish();

  const double interval =
      tally.written > 1 ? static_cast<double>(static_cast<DWORD>(tally.lastTime - tally.firstTime)) / (tally.written - 1)
                        : 0.0;
  std::fprintf(report, "zarncap: %ld frame%s written to %s (%dx%d %s, %s)%s, %u dropped, average interval %.1f ms",
               tally.written, tally.written == 1 ? "" : "s", name.c_str(), width, height, std::string(format->name).c_str(),
               kind == MovieKind::kAvi ? "avi" : kind == MovieKind::kMatroska ? "matroska" : "y4m",
               interrupted ? " until interrupted" : "", tally.dropped, interval);
  if (interval > 0) std::fprintf(report, " (%.2f fps)", 1000.0 / interval);
  std::fprintf(report, "\n");
  if (!stopReason.empty()) throw ToolError(stopReason + "; the " + std::to_string(tally.written) + " frames written are in " + name);
  // An interrupted run keeps its file, and says so in its exit status.
  if (interrupted) throw ToolError("interrupted; the " + std::to_string(tally.written) + " frames written are in " + name, kExitInterrupted);
}

}  // namespace zarncap
