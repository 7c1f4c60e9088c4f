// Stream message dispatch, table-driven: what each message does on the
// external-in channel, and on the video-in channel its trace line and handler.
// Every other channel kind gets DV_ERR_NOTSUPPORTED for every stream message.
#include "driver/stream_message.h"

#include "capture/format.h"
#include "capture/nubo_device.h"
#include "capture/stream.h"
#include "core/driver_state.h"
#include "trace/trace.h"

namespace {

using StreamHandler = DWORD (*)(DriverInstance* instance, LPARAM lParam1, LPARAM lParam2);

struct StreamMessageEntry {
  UINT msg;
  DWORD externalInResult;  // the external-in channel's answer; nothing is done there
  const char* trace;       // written before the handler runs; nullptr: none
  StreamHandler handler;   // nullptr: DV_ERR_NOTSUPPORTED
};

DWORD AddBuffer(DriverInstance*, LPARAM l1, LPARAM) { return InStreamAddBuffer(reinterpret_cast<VIDEOHDR*>(l1)); }
DWORD Fini(DriverInstance*, LPARAM, LPARAM) {
  SetStreamMode(0);
  return InStreamFini();
}
DWORD GetError(DriverInstance*, LPARAM l1, LPARAM l2) {
  return InStreamGetError(reinterpret_cast<DWORD*>(l1), reinterpret_cast<DWORD*>(l2));
}
DWORD GetPosition(DriverInstance*, LPARAM l1, LPARAM l2) {
  return InStreamGetPosition(reinterpret_cast<MMTIME*>(l1), l2);
}
DWORD Init(DriverInstance* instance, LPARAM l1, LPARAM) {
  // A format the device refused cannot be streamed, and a stream needs its
  // parameters: either way nothing changes, the camera's mode included.
  if (!FormatInForce()) return DV_ERR_NONSPECIFIC;
  if (l1 == 0) return DV_ERR_PARAM1;
  SetStreamMode(1);
  return InStreamInit(reinterpret_cast<const VIDEO_STREAM_INIT_PARMS*>(l1), Driver().sensorPeriod, instance);
}
DWORD Reset(DriverInstance*, LPARAM, LPARAM) { return InStreamReset(); }
DWORD Start(DriverInstance*, LPARAM, LPARAM) { return InStreamStart(); }
DWORD Stop(DriverInstance*, LPARAM, LPARAM) { return InStreamStop(); }

const StreamMessageEntry kStreamMessages[] = {
    {DVM_STREAM_ADDBUFFER, DV_ERR_NOTSUPPORTED, nullptr, AddBuffer},
    {DVM_STREAM_FINI, DV_ERR_OK, "DVM_STREAM_FINI", Fini},
    {DVM_STREAM_GETERROR, DV_ERR_NOTSUPPORTED, "DVM_STREAM_GETERROR", GetError},
    {DVM_STREAM_GETPOSITION, DV_ERR_NOTSUPPORTED, "DVM_STREAM_GETPOSITION", GetPosition},
    {DVM_STREAM_INIT, DV_ERR_OK, "DVM_STREAM_INIT", Init},
    {DVM_STREAM_PREPAREHEADER, DV_ERR_NOTSUPPORTED, nullptr, nullptr},
    {DVM_STREAM_RESET, DV_ERR_NOTSUPPORTED, "DVM_STREAM_RESET", Reset},
    {DVM_STREAM_START, DV_ERR_NOTSUPPORTED, "DVM_STREAM_START", Start},
    {DVM_STREAM_STOP, DV_ERR_NOTSUPPORTED, "DVM_STREAM_STOP", Stop},
    {DVM_STREAM_UNPREPAREHEADER, DV_ERR_NOTSUPPORTED, nullptr, nullptr},
};

const StreamMessageEntry* Find(UINT msg) {
  for (const auto& entry : kStreamMessages) {
    if (entry.msg == msg) return &entry;
  }
  return nullptr;
}

}  // namespace

DWORD StreamMessage(DriverInstance* instance, UINT msg, LPARAM lParam1, LPARAM lParam2) {
  const DWORD kind = instance != nullptr ? instance->channelKind : 0;
  const StreamMessageEntry* entry = Find(msg);
  // The channel gate answers first: only the video-in channel acts, and only
  // what it does is traced.
  if (kind == VIDEO_EXTERNALIN) return entry != nullptr ? entry->externalInResult : DV_ERR_NOTSUPPORTED;
  if (kind != VIDEO_IN) return DV_ERR_NOTSUPPORTED;
  if (entry == nullptr) {
    DriverTrace(TRACE_LINE, "stream msg, not supported (%u)", msg);
    return DV_ERR_NOTSUPPORTED;
  }
  if (entry->trace != nullptr) DriverTrace(TRACE_LINE, entry->trace);
  return entry->handler != nullptr ? entry->handler(instance, lParam1, lParam2) : DV_ERR_NOTSUPPORTED;
}
