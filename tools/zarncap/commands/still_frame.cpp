#include "tools/zarncap/commands/still_frame.h"

#include <chrono>
#include <string>
#include <thread>

#include "tools/zarncap/commands/commands.h"
#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

// The camera answers DV_ERR_SYNC while its next frame is not ready yet; a
// frame that is not ready within this time is not coming.
constexpr auto kFrameWait = std::chrono::seconds(3);
constexpr auto kRetryPause = std::chrono::milliseconds(5);

}  // namespace

void CaptureStillFrame(DriverLink& link, VIDEOHDR* header, int number, const Host& host) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (host.interrupted != nullptr && host.interrupted->load()) throw ToolError("interrupted", kExitInterrupted);
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

}  // namespace zarncap
