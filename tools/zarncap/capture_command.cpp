// zarncap capture: single frames with DVM_FRAME; the last of them is saved.
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "tools/zarncap/commands.h"
#include "tools/zarncap/file_kinds.h"
#include "tools/zarncap/frame_convert.h"
#include "tools/zarncap/negotiate.h"
#include "tools/zarncap/output_file.h"
#include "tools/zarncap/session.h"
#include "tools/zarncap/still_writers.h"
#include "tools/zarncap/tool_error.h"

namespace zarncap {
namespace {

// The camera answers DV_ERR_SYNC while its next frame is not ready yet; a
// frame that is not ready within this time is not coming.
constexpr auto kFrameWait = std::chrono::seconds(3);
constexpr auto kRetryPause = std::chrono::milliseconds(5);

bool Interrupted(const Host& host) { return host.interrupted != nullptr && host.interrupted->load(); }

void CaptureOne(DriverLink& link, VIDEOHDR* header, int number, const Host& host) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (Interrupted(host)) throw ToolError("interrupted", kExitInterrupted);
    header->dwFlags = 0;
    header->dwBytesUsed = 0;
    const DWORD answer = link.CaptureFrame(header);
    if (answer == DV_ERR_OK) {
      if ((header->dwFlags & VHDR_DONE) == 0) {
        throw ToolError("the driver answered frame " + std::to_string(number) + " without marking it done");
      }
      return;
    }
    if (answer != DV_ERR_SYNC) {
      throw ToolError("the driver delivered no frame " + std::to_string(number) + " (DVM_FRAME answered " +
                      VideoErrorText(answer) + ")");
    }
    if (std::chrono::steady_clock::now() - start > kFrameWait) {
      throw ToolError("the camera delivered no frame " + std::to_string(number) + " within " +
                      std::to_string(std::chrono::seconds(kFrameWait).count()) + " s (DVM_FRAME kept answering " +
                      VideoErrorText(answer) + ")");
    }
    std::this_thread::sleep_for(kRetryPause);
  }
}

void WriteStill(StillKind kind, OutputFile& out, const Negotiated& format, const Frame& frame) {
  std::vector<uint8_t> bytes;
  switch (kind) {
    case StillKind::kPng: {
      std::vector<uint8_t> rgb(static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height) * 3);
      if (!FrameToRgb24(frame, rgb)) throw ToolError("the frame from the driver is incomplete");
      std::string error;
      if (!WritePng(out.Stream(), frame.width, frame.height, rgb, &error)) {
        throw ToolError("cannot write " + out.Path() + ": " + error);
      }
      return;
    }
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
  if (std::fwrite(bytes.data(), 1, bytes.size(), out.Stream()) != bytes.size()) CheckWritten(out.Stream(), out.Path());
}

}  // namespace

void RunCapture(const GlobalOptions& global, const CaptureOptions& options, const Host& host) {
  const ImageRequest image = ParseImageRequest(options.size, options.format, options.sizeGiven);
  const PixelFormat* format = image.format;
  if (options.frames < 1) throw ToolError("--frames must be at least 1", kExitUsage);
  const StillKind kind = StillKindOf(options.output, *format);

  OutputFile out(options.output);  // a folder that cannot take the file fails before the camera starts
  Session session(global, host);
  const Negotiated negotiated = NegotiateFormat(session.Link(), *format, image.width, image.height, image.sizeGiven);
  const int width = negotiated.width, height = negotiated.height;
  const std::vector<RGBQUAD> palette = PaletteFor(*format, session.Link());

  std::vector<uint8_t> buffer(negotiated.bufferBytes);
  VIDEOHDR header{};
  header.lpData = buffer.data();
  header.dwBufferLength = static_cast<DWORD>(buffer.size());
  for (int i = 1; i <= options.frames; ++i) CaptureOne(session.Link(), &header, i, host);

  Frame frame;
  frame.format = format;
  frame.width = width;
  frame.height = height;
  frame.data = std::span<const uint8_t>(buffer.data(), negotiated.frameBytes);
  frame.palette = palette;
  WriteStill(kind, out, negotiated, frame);
  out.Commit();
  session.Finish();
  std::fprintf(host.out, "zarncap: wrote %s (%dx%d %s, frame %d, captured at %u ms)\n", options.output.c_str(), width,
               height, std::string(format->name).c_str(), options.frames, header.dwTimeCaptured);
}

}  // namespace zarncap
