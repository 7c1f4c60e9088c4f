#include "tools/zarncap/v4l2/face_rate.h"

#include <poll.h>

#include <algorithm>
#include <vector>

#include "tools/zarncap/host/driver_link.h"
#include "tools/zarncap/v4l2/face_formats.h"
#include "tools/zarncap/v4l2/face_stream.h"

namespace zarncap {
namespace {

constexpr int kFramesToTime = 8;
constexpr int kWaitMs = 3000;

}  // namespace

std::uint32_t MeasureFramePeriodUs(DriverLink& link, const FaceFormat& format, int width, int height,
                                   std::uint32_t fallback) {
  if (link.SetFormat(MakeFormatHeader(*format.pixel, width, height)) != 0) return fallback;
  const std::size_t bytes = FrameBytes(*format.pixel, width, height);
  std::vector<std::vector<BYTE>> memory(2, std::vector<BYTE>(bytes));
  std::vector<VIDEOHDR> headers(2);
  std::vector<VIDEOHDR*> queued;
  for (std::size_t i = 0; i < headers.size(); ++i) {
    headers[i].lpData = memory[i].data();
    headers[i].dwBufferLength = static_cast<DWORD>(bytes);
    queued.push_back(&headers[i]);
  }
  DriverStream stream(link);
  if (!stream.Start(queued, 1000)) return fallback;
  std::vector<DWORD> times;
  while (static_cast<int>(times.size()) < kFramesToTime) {
    pollfd wake = {stream.WakeFd(), POLLIN, 0};
    if (poll(&wake, 1, kWaitMs) <= 0) break;
    for (VIDEOHDR* header : stream.TakeFinished()) {
      times.push_back(header->dwTimeCaptured);
      stream.Add(header);
    }
  }
  stream.Stop();
  // The average over the frames: the millisecond clock rounds each gap.
  if (times.size() < 2 || times.back() <= times.front()) return fallback;
  const std::uint64_t spanUs = static_cast<std::uint64_t>(times.back() - times.front()) * 1000;
  return static_cast<std::uint32_t>(spanUs / (times.size() - 1));
}

}  // namespace zarncap
