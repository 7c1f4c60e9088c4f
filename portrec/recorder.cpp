#include "portrec/recorder.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/platform.h"
#include "port/port_records.h"
#include "portrec/port_recording.h"
#include "portrec/request_text.h"

namespace portrec {

// The open file of one recording, shared by every open of the device that
// records to it. Requests reach the file at least every tenth of a second and
// at every close of the device, so a run that hangs or crashes still leaves
// all but its last moments; flushing each request would slow the requests
// enough to change the sensor period the driver measures at open.
class RecordingSink {
 public:
  RecordingSink(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
  ~RecordingSink() {
    if (file_ != nullptr) std::fclose(file_);
  }
  RecordingSink(const RecordingSink&) = delete;
  RecordingSink& operator=(const RecordingSink&) = delete;

  std::mutex& Mutex() { return mutex_; }
  std::uint32_t NextIndex() { return ++count_; }
  // Writes blocks; the first failure is told once and ends the recording.
  void Write(const std::string& blocks) {
    if (file_ == nullptr) return;
    const auto now = std::chrono::steady_clock::now();
    bool written = std::fwrite(blocks.data(), 1, blocks.size(), file_) == blocks.size();
    if (written && now - flushed_ >= kFlushEvery) {
      written = std::fflush(file_) == 0;
      flushed_ = now;
    }
    if (!written) Fail();
  }
  void Flush() {
    if (file_ != nullptr && std::fflush(file_) != 0) Fail();
  }

 private:
  static constexpr std::chrono::milliseconds kFlushEvery{100};

  void Fail() {
    const std::string text = "cannot write " + path_ + ": " + std::strerror(errno) + "; the recording stops here";
    platform::MessageBox(nullptr, text.c_str(), "ZARNCAP_RECORD", MB_ICONWARNING);
    std::fclose(file_);
    file_ = nullptr;
  }

  std::mutex mutex_;
  std::FILE* file_;
  std::chrono::steady_clock::time_point flushed_ = std::chrono::steady_clock::now();
  const std::string path_;
  std::uint32_t count_ = 0;
};

namespace {

struct Sinks {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<RecordingSink>> byPath;
};
Sinks& AllSinks() {
  static Sinks sinks;
  return sinks;
}

constexpr DWORD kMaxInputKept = 64;  // longer than any record of the request set

std::uint64_t MicrosSinceEpoch() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count());
}

void CopyFrom(std::uint64_t address, DWORD count, std::vector<BYTE>* data) {
  const BYTE* from = PortPointerFrom<const BYTE>(address);
  if (from == nullptr || count == 0) return;
  data->assign(from, from + count);
}

}  // namespace

Recorder::Recorder(std::unique_ptr<platform::PortDeviceBackend> backend, std::shared_ptr<RecordingSink> sink)
    : backend_(std::move(backend)), sink_(std::move(sink)) {}

Recorder::~Recorder() {
  std::lock_guard lock(sink_->Mutex());
  sink_->Flush();
}

BOOL Recorder::Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                       DWORD* bytesReturned) {
  // One request at a time through the recorder, so the file's order is the
  // order the device answered in.
  std::lock_guard lock(sink_->Mutex());
  RecordedRequest request;
  request.index = sink_->NextIndex();
  request.timeMicros = MicrosSinceEpoch();
  request.code = code;
  request.inLength = inLength;
  request.outLength = outLength;
  if (in != nullptr) {
    const BYTE* bytes = static_cast<const BYTE*>(in);
    request.input.assign(bytes, bytes + (inLength < kMaxInputKept ? inLength : kMaxInputKept));
  }

  const PortRequest* known = FindPortRequest(code);
  PortRecord record;
  request.entryKnown = known != nullptr && DecodeWellFormedRequest(*known, in, inLength, out, outLength, &record);
  if (request.entryKnown) {
    request.flagsBefore = ReadPortEntryFlags(record.entry);
    request.flow = DataFlowOf(code);
    if (request.flow == DataFlow::ToDevice) CopyFrom(record.buffer, record.count, &request.data);
  }

  DWORD returned = 0;
  const auto start = std::chrono::steady_clock::now();
  const BOOL result = backend_->Control(code, in, inLength, out, outLength, &returned);
  const auto took = std::chrono::steady_clock::now() - start;
  if (bytesReturned != nullptr) *bytesReturned = returned;

  request.durationMicros =
      static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(took).count());
  request.result = result;
  request.bytesReturned = returned;
  if (result && out != nullptr && outLength >= kPortReplyLength) std::memcpy(&request.reply, out, sizeof request.reply);
  if (request.entryKnown) {
    request.flagsAfter = ReadPortEntryFlags(record.entry);
    // What a read brought is only there when the read succeeded. A counted
    // read keeps the whole buffer it was given: the count it reports is what
    // crossed the cable, and the device may have filled the buffer beyond it
    // (a compressed frame arrives as a whole frame).
    if (request.flow == DataFlow::FromDevice && result && request.reply != 0) {
      if (IsCountedRead(code)) {
        request.counted = true;
        std::memcpy(&request.countWritten, PortPointerFrom<const BYTE>(record.countAddress), sizeof(DWORD));
      }
      CopyFrom(record.buffer, record.count, &request.data);
    }
  }
  std::string block;
  AppendRequestBlock(block, request, RequestComment(request));
  sink_->Write(block);
  return result;
}

std::unique_ptr<platform::PortDeviceBackend> MakeRecorder(std::unique_ptr<platform::PortDeviceBackend> backend,
                                                          const std::string& cameraSpec, const std::string& path,
                                                          std::string* error) {
  std::lock_guard lock(AllSinks().mutex);
  std::shared_ptr<RecordingSink>& sink = AllSinks().byPath[path];
  if (sink == nullptr) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
      if (error != nullptr) *error = "cannot write the recording " + path + ": " + std::strerror(errno);
      AllSinks().byPath.erase(path);
      return nullptr;
    }
    sink = std::make_shared<RecordingSink>(file, path);
    std::string header;
    const std::string version = platform::ModuleVersionText();
    AppendSectionHeader(header, version.empty() ? "zarncap" : "zarncap " + version);
    AppendInterfaceDescription(header, cameraSpec);
    sink->Write(header);
    sink->Flush();
  }
  return std::make_unique<Recorder>(std::move(backend), sink);
}

void ForgetRecording(const std::string& path) {
  std::lock_guard lock(AllSinks().mutex);
  AllSinks().byPath.erase(path);
}

}  // namespace portrec
