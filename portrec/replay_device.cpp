#include "portrec/replay_device.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/platform.h"
#include "port/port_records.h"
#include "portrec/request_text.h"

namespace portrec {

// Where a replay of one recording stands; shared by the opens of one run.
class ReplayState {
 public:
  explicit ReplayState(PortRecording recording) : recording_(std::move(recording)) {}

  BOOL Answer(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength, DWORD* bytesReturned);
  std::string Divergence() {
    std::lock_guard lock(mutex_);
    return divergence_;
  }
  bool Finished() {
    std::lock_guard lock(mutex_);
    return !divergence_.empty() || next_ >= recording_.requests.size();
  }

 private:
  const RecordedRequest* MatchPollRun();
  void SkipToRelease();
  std::string Difference(const RecordedRequest& recorded, DWORD code, const BYTE* in, DWORD inLength,
                         DWORD outLength, const PortRecord* asked) const;
  void Stop(const std::string& text);

  std::mutex mutex_;
  const PortRecording recording_;
  std::size_t next_ = 0;
  std::string divergence_;
};

namespace {

constexpr DWORD kLongestPaceMs = 5000;  // a recorded wait longer than this is not waited out again

std::string Hex(BYTE value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

// The recorded request's time again, so the driver's own timing (the sensor
// period it measures, its stream rate) comes out as it did in the recording.
void Pace(const RecordedRequest& recorded) {
  const DWORD ms = recorded.durationMicros / 1000;
  if (ms == 0) return;
  platform::WaitElapsed(platform::TimeGetTime(), ms < kLongestPaceMs ? ms : kLongestPaceMs);
}

}  // namespace

const RecordedRequest* ReplayState::MatchPollRun() {
  const auto& requests = recording_.requests;
  if (next_ < requests.size() && requests[next_].code == IOCTL_PORT_POLL) {
    // The whole run answers at once with its outcome.
    while (next_ + 1 < requests.size() && requests[next_ + 1].code == IOCTL_PORT_POLL) ++next_;
    return &requests[next_++];
  }
  // The driver polls on while the recording had given up waiting: still not ready.
  if (next_ > 0 && requests[next_ - 1].code == IOCTL_PORT_POLL && requests[next_ - 1].reply == 0) {
    return &requests[next_ - 1];
  }
  return nullptr;
}

void ReplayState::SkipToRelease() {
  // The driver lets the port go while the recording goes on to its own
  // release: the recorded session captured a frame or two more before it
  // closed (when a stream stops depends on timing). What the driver no longer
  // asks is passed over.
  const auto& requests = recording_.requests;
  for (std::size_t at = next_; at < requests.size(); ++at) {
    if (requests[at].code == IOCTL_PORT_RELEASE) {
      next_ = at;
      return;
    }
  }
}

std::string ReplayState::Difference(const RecordedRequest& recorded, DWORD code, const BYTE* in, DWORD inLength,
                                    DWORD outLength, const PortRecord* asked) const {
  const std::string was = RequestText(recorded.code, recorded.input.data(), recorded.input.size());
  const std::string now = RequestText(code, in, in != nullptr ? inLength : 0);
  const std::string head = "request " + std::to_string(recorded.index) + " differs: recorded " + was + "; asked " + now;
  if (recorded.code != code || was != now) return head;
  if (recorded.outLength != outLength) {
    return head + " (a reply buffer of " + std::to_string(outLength) + " bytes, recorded " +
           std::to_string(recorded.outLength) + ")";
  }
  if (recorded.flow == DataFlow::ToDevice && asked != nullptr) {
    const BYTE* bytes = PortPointerFrom<const BYTE>(asked->buffer);
    const std::size_t count = bytes != nullptr ? asked->count : 0;
    if (count != recorded.data.size()) return head + " (a different number of bytes written)";
    for (std::size_t i = 0; i < count; ++i) {
      if (bytes[i] != recorded.data[i]) {
        return head + " (byte " + std::to_string(i) + " written differs: recorded " + Hex(recorded.data[i]) +
               ", asked " + Hex(bytes[i]) + ")";
      }
    }
  }
  return "";
}

void ReplayState::Stop(const std::string& text) {
  divergence_ = "replay: " + text;
  platform::MessageBox(nullptr, text.c_str(), "replay", MB_ICONWARNING);
}

BOOL ReplayState::Answer(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                         DWORD* bytesReturned) {
  std::lock_guard lock(mutex_);
  *bytesReturned = 0;
  if (!divergence_.empty()) return FALSE;
  const BYTE* inBytes = static_cast<const BYTE*>(in);
  PortRecord asked;
  const PortRequest* known = FindPortRequest(code);
  const bool decoded = known != nullptr && DecodeWellFormedRequest(*known, in, inLength, out, outLength, &asked);

  const RecordedRequest* recorded = code == IOCTL_PORT_POLL ? MatchPollRun() : nullptr;
  if (code == IOCTL_PORT_RELEASE) SkipToRelease();
  if (recorded == nullptr) {
    if (next_ >= recording_.requests.size()) {
      Stop("request " + std::to_string(next_ + 1) + ": the recording ends here; asked " +
           RequestText(code, inBytes, inBytes != nullptr ? inLength : 0));
      return FALSE;
    }
    const std::string difference =
        Difference(recording_.requests[next_], code, inBytes, inLength, outLength, decoded ? &asked : nullptr);
    if (!difference.empty()) {
      Stop(difference);
      return FALSE;
    }
    recorded = &recording_.requests[next_++];
  }

  Pace(*recorded);
  if (!recorded->result) return FALSE;
  if (out != nullptr && outLength >= kPortReplyLength && recorded->bytesReturned >= kPortReplyLength) {
    std::memcpy(out, &recorded->reply, kPortReplyLength);
  }
  *bytesReturned = recorded->bytesReturned;
  if (!decoded) return recorded->result;
  if (recorded->entryKnown) {
    // Only the bits the device changed: the driver's own bits are its business.
    const WORD changed = static_cast<WORD>(recorded->flagsBefore ^ recorded->flagsAfter);
    for (WORD bit = 1; bit != 0; bit = static_cast<WORD>(bit << 1)) {
      if ((changed & bit) != 0) SetPortEntryFlag(asked.entry, bit, (recorded->flagsAfter & bit) != 0);
    }
  }
  if (recorded->flow == DataFlow::FromDevice) {
    BYTE* buffer = PortPointerFrom<BYTE>(asked.buffer);
    const std::size_t count = recorded->data.size() < asked.count ? recorded->data.size() : asked.count;
    if (buffer != nullptr && count != 0) std::memcpy(buffer, recorded->data.data(), count);
  }
  if (recorded->counted && asked.countAddress != 0) {
    std::memcpy(PortPointerFrom<BYTE>(asked.countAddress), &recorded->countWritten, sizeof(DWORD));
  }
  return recorded->result;
}

ReplayDevice::ReplayDevice(std::shared_ptr<ReplayState> state) : state_(std::move(state)) {}

BOOL ReplayDevice::Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                           DWORD* bytesReturned) {
  DWORD scratch = 0;
  return state_->Answer(code, in, inLength, out, outLength, bytesReturned != nullptr ? bytesReturned : &scratch);
}

std::string ReplayDevice::Divergence() const { return state_->Divergence(); }

namespace {

struct Replays {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<ReplayState>> byPath;
};
Replays& AllReplays() {
  static Replays replays;
  return replays;
}

}  // namespace

bool CheckRecordingFile(const std::string& path, PortRecording* recording, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "replay: " + path + ": cannot read it: " + std::strerror(errno);
    return false;
  }
  std::ostringstream bytes;
  bytes << file.rdbuf();
  std::string why;
  if (!ReadPortRecording(bytes.str(), recording, &why)) {
    *error = "replay: " + path + ": " + why;
    return false;
  }
  return true;
}

std::unique_ptr<platform::PortDeviceBackend> MakeReplayDevice(const std::string& path, std::string* error) {
  std::lock_guard lock(AllReplays().mutex);
  std::shared_ptr<ReplayState>& state = AllReplays().byPath[path];
  if (state == nullptr || state->Finished()) {
    PortRecording recording;
    std::string why;
    if (!CheckRecordingFile(path, &recording, &why)) {
      if (error != nullptr) *error = why;
      AllReplays().byPath.erase(path);
      return nullptr;
    }
    state = std::make_shared<ReplayState>(std::move(recording));
  }
  return std::make_unique<ReplayDevice>(state);
}

void ForgetReplay(const std::string& path) {
  std::lock_guard lock(AllReplays().mutex);
  AllReplays().byPath.erase(path);
}

}  // namespace portrec
