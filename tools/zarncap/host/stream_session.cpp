// The application side of the driver's stream messages.
#include "tools/zarncap/commands/stream_session.h"

#include "tools/zarncap/common/tool_error.h"

namespace zarncap {

StreamSession::StreamSession(DriverLink& link, size_t bufferBytes, int bufferCount)
    : link_(link), buffers_(static_cast<size_t>(bufferCount)), headers_(static_cast<size_t>(bufferCount)),
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

void CALLBACK StreamSession::Callback(HDRVR, UINT msg, DWORD_PTR user, DWORD_PTR param1, DWORD_PTR) {
  auto* self = reinterpret_cast<StreamSession*>(user);
  switch (msg) {
    case MM_DRVM_OPEN: self->openNotices_.fetch_add(1); break;
    case MM_DRVM_CLOSE: self->closeNotices_.fetch_add(1); break;
    case MM_DRVM_ERROR: self->errorNotices_.fetch_add(1); break;
    case MM_DRVM_DATA: self->Delivered(reinterpret_cast<VIDEOHDR*>(param1)); break;
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
  VIDEO_STREAM_INIT_PARMS parms{};
  parms.dwMicroSecPerFrame = microSecondsPerFrame;
  parms.dwCallback = reinterpret_cast<DWORD_PTR>(&StreamSession::Callback);
  parms.dwCallbackInst = reinterpret_cast<DWORD_PTR>(this);
  parms.dwFlags = CALLBACK_FUNCTION;
  parms.hVideo = reinterpret_cast<DWORD_PTR>(link_.Handle());
  const auto answer = static_cast<DWORD>(
      link_.Send(DVM_STREAM_INIT, reinterpret_cast<LPARAM>(&parms), sizeof parms));
  if (answer != DV_ERR_OK) {
    throw ToolError("the driver refused to set up a stream (DVM_STREAM_INIT answered " + VideoErrorText(answer) + ")");
  }
  initialised_ = true;
}

void StreamSession::Start() {
  for (auto& header : headers_) {
    // DVM_STREAM_PREPAREHEADER is the application's own business with this
    // driver (it answers not supported), so the buffer is marked prepared here.
    header.dwFlags = VHDR_PREPARED;
    Requeue(&header);
  }
  const auto answer = static_cast<DWORD>(link_.Send(DVM_STREAM_START, 0, 0));
  if (answer != DV_ERR_OK) {
    throw ToolError("the driver refused to start the stream (DVM_STREAM_START answered " + VideoErrorText(answer) + ")");
  }
  started_ = true;
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
  header->dwFlags = (header->dwFlags | VHDR_PREPARED) & ~VHDR_DONE;
  const auto answer = static_cast<DWORD>(link_.Send(DVM_STREAM_ADDBUFFER, reinterpret_cast<LPARAM>(header), sizeof *header));
  if (answer != DV_ERR_OK) {
    throw ToolError("the driver refused a stream buffer (DVM_STREAM_ADDBUFFER answered " + VideoErrorText(answer) + ")");
  }
}

DWORD StreamSession::TakeErrorCount() {
  DWORD error = 0, count = 0;
  if (link_.Send(DVM_STREAM_GETERROR, reinterpret_cast<LPARAM>(&error), reinterpret_cast<LPARAM>(&count)) !=
      DV_ERR_OK) {
    return 0;
  }
  return count;
}

DWORD StreamSession::End() {
  if (!initialised_) return 0;
  initialised_ = false;
  DWORD errors = 0;
  if (started_) {
    started_ = false;
    link_.Send(DVM_STREAM_STOP, 0, 0);
  }
  // RESET hands every buffer still queued back through the callback.
  link_.Send(DVM_STREAM_RESET, 0, 0);
  errors = TakeErrorCount();
  const auto answer = static_cast<DWORD>(link_.Send(DVM_STREAM_FINI, 0, 0));
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
