// The video message dispatcher, table-driven: for each message, which channel
// kind may use it, its handler and its trace line. Stream messages go on to
// StreamMessage, the driver's private messages to PrivateMessage.
#include "driver/video_message.h"

#include "capture/format.h"
#include "capture/frame.h"
#include "driver/stream_message.h"
#include "driver/video_message_handlers.h"
#include "trace/trace.h"

namespace {

enum class Gate { VideoIn, Any };
enum class Trace {
  Result,  // the trace text has one "%s", filled with "ok" (result 0) or "error"
  Fixed,   // the trace text as it stands, written before the handler
};

using Handler = DWORD (*)(DriverInstance* instance, LPARAM lParam1, LPARAM lParam2);

struct VideoMessageEntry {
  UINT msg;
  Gate gate;
  Handler handler;  // nullptr: DV_ERR_NOTSUPPORTED
  Trace trace;
  const char* text;
};

DWORD Palette(DriverInstance*, LPARAM l1, LPARAM l2) {
  return ConfigurePalette(static_cast<DWORD>(l1), reinterpret_cast<VIDEOCONFIGPARMS*>(l2));
}
DWORD Format(DriverInstance*, LPARAM l1, LPARAM l2) {
  return ConfigureFormat(static_cast<DWORD>(l1), reinterpret_cast<VIDEOCONFIGPARMS*>(l2));
}
DWORD ErrorText(DriverInstance*, LPARAM l1, LPARAM) {
  return GetErrorText(reinterpret_cast<VIDEO_GETERRORTEXT_PARMS*>(l1));
}
DWORD ApiVersion(DriverInstance*, LPARAM l1, LPARAM) { return GetVideoApiVersion(reinterpret_cast<DWORD*>(l1)); }
DWORD Dialog(DriverInstance* instance, LPARAM l1, LPARAM l2) {
  return ShowDriverDialog(instance->channelKind, reinterpret_cast<HWND>(l1), static_cast<DWORD>(l2));
}
DWORD Frame(DriverInstance*, LPARAM l1, LPARAM) { return CaptureFrame(reinterpret_cast<VIDEOHDR*>(l1)); }

// Note the palette's trace text, spelled as this driver has always written it.
const VideoMessageEntry kVideoMessages[] = {
    {DVM_PALETTE, Gate::VideoIn, Palette, Trace::Result, "DVM_PALLETE - %s"},
    {DVM_FORMAT, Gate::VideoIn, Format, Trace::Result, "DVM_FORMAT - %s"},
    {DVM_PALETTERGB555, Gate::Any, nullptr, Trace::Fixed, "DVM_PALETTERGB555 - not supported"},
    {DVM_SRC_RECT, Gate::Any, nullptr, Trace::Fixed, "DVM_SRC_RECT - not supported"},
    {DVM_DST_RECT, Gate::Any, nullptr, Trace::Fixed, "DVM_DST_RECT - not supported"},
    {DVM_GETERRORTEXT, Gate::Any, ErrorText, Trace::Fixed, "DVM_GETERRORTEXT"},
    {DVM_GETVIDEOAPIVER, Gate::Any, ApiVersion, Trace::Result, "DVM_GETVIDEOAPIVER - %s"},
    {DVM_DIALOG, Gate::Any, Dialog, Trace::Result, "DVM_DIALOG - %s"},
    {DVM_CONFIGURESTORAGE, Gate::Any, nullptr, Trace::Fixed, "DVM_CONFIGURESTORAGE - not supported"},
    {DVM_GET_CHANNEL_CAPS, Gate::Any, nullptr, Trace::Fixed, "DVM_GET_CHANNEL_CAPS - not supported"},
    {DVM_UPDATE, Gate::Any, nullptr, Trace::Fixed, "DVM_UPDATE - not supported"},
    {DVM_FRAME, Gate::VideoIn, Frame, Trace::Result, "DVM_FRAME - %s"},
};

const VideoMessageEntry* Find(UINT msg) {
  for (const auto& entry : kVideoMessages) {
    if (entry.msg == msg) return &entry;
  }
  return nullptr;
}

DWORD Dispatch(const VideoMessageEntry& entry, DriverInstance* instance, LPARAM lParam1, LPARAM lParam2) {
  if (entry.trace == Trace::Fixed) DriverTrace(TRACE_LINE, entry.text);
  DWORD result = DV_ERR_NOTSUPPORTED;
  if (entry.handler != nullptr && (entry.gate == Gate::Any || instance->channelKind == VIDEO_IN)) {
    result = entry.handler(instance, lParam1, lParam2);
  }
  if (entry.trace == Trace::Result) DriverTrace(TRACE_LINE, entry.text, result == DV_ERR_OK ? "ok" : "error");
  return result;
}

}  // namespace

LRESULT VideoMessage(DriverInstance* instance, UINT msg, LPARAM lParam1, LPARAM lParam2) {
  if (instance == nullptr) return DV_ERR_NOTSUPPORTED;
  if (const VideoMessageEntry* entry = Find(msg)) return Dispatch(*entry, instance, lParam1, lParam2);
  if (msg >= DVM_STREAM_MSG_START && msg <= DVM_STREAM_MSG_END) {
    return StreamMessage(instance, msg, lParam1, lParam2);
  }
  const bool unknownPrivate = msg >= kPrivateUnknownFirst && msg <= kPrivateUnknownLast;
  if (msg >= kPrivateFirst && msg <= kPrivateLast && !unknownPrivate) return PrivateMessage(msg, lParam1);
  DriverTrace(TRACE_LINE, "Unknown streaming message %u", msg);
  return DV_ERR_NOTSUPPORTED;
}
