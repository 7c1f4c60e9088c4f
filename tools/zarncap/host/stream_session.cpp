// A stream into the session's own buffers (see stream_session.h).
#include "tools/zarncap/host/stream_session.h"

#include "tools/zarncap/common/tool_error.h"

namespace zarncap {

StreamSession::StreamSession(DriverLink& link, size_t bufferBytes, int bufferCount)
    : client_(link, *this), buffers_(static_cast<size_t>(bufferCount)), headers_(static_cast<size_t>(bufferCount)),
      ready_(static_cast<size_t>(bufferCount), nullptr) {
  for (size_t i = 0; i < headers_.size(); ++i) {
    buffers_[i].assign(bufferBytes, 0);
    headers_[i] = VIDEOHDR{};
    headers_[i].lpData = buffers_[i].data();
    headers_[i].dwBufferLength = static_cast<DWORD>(bufferBytes);
    headers_[i].dwUser = i;
  }
}

StreamSession::~StreamSession() {
  try {
    End();
  } catch (const ToolError&) {
    // The stream is being abandoned on an error path already.
  }
}

void StreamSession::Notice(UINT msg, VIDEOHDR* header) {
  switch (msg) {
    case MM_DRVM_OPEN: openNotices_.fetch_add(1); break;
    case MM_DRVM_CLOSE: closeNotices_.fetch_add(1); break;
    case MM_DRVM_ERROR: errorNotices_.fetch_add(1); break;
    case MM_DRVM_DATA: Delivered(header); break;
    default: break;
  }
}

void StreamSession::Delivered(VIDEOHDR* header) {
  {
    std::lock_guard lock(mutex_);
    const bool ours = header >= headers_.data() && header < headers_.data() + headers_.size();
    bool twice = false;
    for (size_t i = 0; i < readyCount_ && ours; ++i) {
      if (ready_[(readyHead_ + i) % ready_.size()] == header) twice = true;
    }
    if (!ours || twice || readyCount_ == ready_.size()) {
      strayBuffers_.fetch_add(1);
      return;
    }
    ready_[(readyHead_ + readyCount_) % ready_.size()] = header;
    ++readyCount_;
  }
  filled_.notify_one();
}

void StreamSession::Init(DWORD microSecondsPerFrame) {
  const DWORD answer = client_.Init(microSecondsPerFrame);
  if (answer != DV_ERR_OK) {
    throw ToolError("the driver refused to set up a stream (DVM_STREAM_INIT answered " + VideoErrorText(answer) + ")");
  }
}

void StreamSession::Start() {
  for (auto& header : headers_) Requeue(&header);
  const DWORD answer = client_.Start();
  if (answer != DV_ERR_OK) {
    throw ToolError("the driver refused to start the stream (DVM_STREAM_START answered " + VideoErrorText(answer) + ")");
  }
}

VIDEOHDR* StreamSession::WaitFilled(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!filled_.wait_for(lock, timeout, [this] { return readyCount_ > 0; })) return nullptr;
  VIDEOHDR* header = ready_[readyHead_];
  readyHead_ = (readyHead_ + 1) % ready_.size();
  --readyCount_;
  return header;
}

void StreamSession::Requeue(VIDEOHDR* header) {
  const DWORD answer = client_.Add(header);
  if (answer != DV_ERR_OK) {
    throw ToolError("the driver refused a stream buffer (DVM_STREAM_ADDBUFFER answered " + VideoErrorText(answer) + ")");
  }
}

DWORD StreamSession::TakeErrorCount() { return client_.TakeErrorCount(); }

DWORD StreamSession::End() {
  if (!client_.Initialised()) return 0;
  client_.StopAndReset();
  const DWORD errors = client_.TakeErrorCount();
  const DWORD answer = client_.Fini();
  {
    std::lock_guard lock(mutex_);
    readyHead_ = readyCount_ = 0;
  }
  if (answer != DV_ERR_OK) {
    throw ToolError("the driver would not end the stream (DVM_STREAM_FINI answered " + VideoErrorText(answer) + ")");
  }
  return errors;
}

}  // namespace zarncap
