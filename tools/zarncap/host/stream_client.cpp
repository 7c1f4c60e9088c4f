// The application side of the driver's stream messages (see stream_client.h).
#include "tools/zarncap/host/stream_client.h"

namespace zarncap {

void CALLBACK StreamClient::Callback(HDRVR, UINT msg, DWORD_PTR user, DWORD_PTR param1, DWORD_PTR) {
  reinterpret_cast<StreamClient*>(user)->listener_.Notice(msg, reinterpret_cast<VIDEOHDR*>(param1));
}

DWORD StreamClient::Init(DWORD microSecondsPerFrame) {
  VIDEO_STREAM_INIT_PARMS parms{};
  parms.dwMicroSecPerFrame = microSecondsPerFrame;
  parms.dwCallback = reinterpret_cast<DWORD_PTR>(&StreamClient::Callback);
  parms.dwCallbackInst = reinterpret_cast<DWORD_PTR>(this);
  parms.dwFlags = CALLBACK_FUNCTION;
  parms.hVideo = reinterpret_cast<DWORD_PTR>(link_.Handle());
  const auto answer = static_cast<DWORD>(link_.Send(DVM_STREAM_INIT, reinterpret_cast<LPARAM>(&parms), sizeof parms));
  initialised_ = answer == DV_ERR_OK;
  return answer;
}

DWORD StreamClient::Add(VIDEOHDR* header) {
  header->dwFlags = VHDR_PREPARED;
  header->dwBytesUsed = 0;
  return static_cast<DWORD>(link_.Send(DVM_STREAM_ADDBUFFER, reinterpret_cast<LPARAM>(header), sizeof *header));
}

DWORD StreamClient::Start() {
  const auto answer = static_cast<DWORD>(link_.Send(DVM_STREAM_START, 0, 0));
  started_ = answer == DV_ERR_OK;
  return answer;
}

DWORD StreamClient::TakeErrorCount() {
  DWORD error = 0, count = 0;
  if (link_.Send(DVM_STREAM_GETERROR, reinterpret_cast<LPARAM>(&error), reinterpret_cast<LPARAM>(&count)) !=
      DV_ERR_OK) {
    return 0;
  }
  return count;
}

void StreamClient::StopAndReset() {
  if (started_) {
    started_ = false;
    link_.Send(DVM_STREAM_STOP, 0, 0);
  }
  link_.Send(DVM_STREAM_RESET, 0, 0);
}

DWORD StreamClient::Fini() {
  initialised_ = false;
  return static_cast<DWORD>(link_.Send(DVM_STREAM_FINI, 0, 0));
}

}  // namespace zarncap
