#include "support/environment.h"
#include "tools/recording_driver.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "driver/video_message_handlers.h"
#include "platform/platform.h"
#include "platform/portable/testing.h"
#include "sim/register.h"
#include "zarncap/formats.h"
#include "zarncap/messages.h"

#include "driver/driver_proc.h"

namespace drivertest {
namespace {


struct Recorder {
  std::mutex mutex;
  DriverRecord record;
  // The client's stream callback, which the recorder's own stands in front of.
  VIDEO_STREAM_INIT_PARMS clientStream{};
};

Recorder& State() {
  static Recorder recorder;
  return recorder;
}

void KeepFrame(const VIDEOHDR* header) {
  std::lock_guard lock(State().mutex);
  ++State().record.framesDelivered;
  State().record.frames.emplace_back(header->lpData, header->lpData + header->dwBytesUsed);
}

// Stands in front of the client's stream callback: a delivered buffer is kept
// before the client sees it (and perhaps queues it again).
void CALLBACK StreamCallback(HDRVR driver, UINT msg, DWORD_PTR, DWORD_PTR dw1, DWORD_PTR dw2) {
  VIDEO_STREAM_INIT_PARMS client;
  {
    std::lock_guard lock(State().mutex);
    client = State().clientStream;
  }
  if (msg == MM_DRVM_DATA && dw1 != 0) {
    const auto* header = reinterpret_cast<const VIDEOHDR*>(dw1);
    if ((header->dwFlags & VHDR_DONE) != 0 && header->dwBytesUsed != 0) KeepFrame(header);
  }
  if (client.dwCallback != 0) {
    platform::DriverCallback(client.dwCallback, client.dwFlags >> 16, driver, msg, client.dwCallbackInst, dw1, dw2);
  }
}

LRESULT Open(HDRVR driver, LPARAM lParam1, LPARAM lParam2) {
  {
    std::lock_guard lock(State().mutex);
    DriverRecord& r = State().record;
    // The text arrives with the session open, in UTF-16, as the driver manager sends it.
    if (lParam2 == 0) {
      r.openString.clear();
      for (auto* c = reinterpret_cast<const char16_t*>(lParam1); c != nullptr && *c != 0; ++c) {
        r.openString.push_back(static_cast<char>(*c));
      }
    }
    if (lParam2 != 0) r.openFlags = reinterpret_cast<const VIDEO_OPEN_PARMS*>(lParam2)->dwFlags;
  }
  platform::VirtualClock clock(platform::TimeGetTime());
  platform::SetClockSource(&clock);
  const LRESULT id = DriverProc(0, driver, DRV_OPEN, lParam1, lParam2);
  platform::SetClockSource(nullptr);
  return id;
}

}  // namespace

void ResetDriver(const std::string& camera) {
  sim::RegisterVirtualCamera();
  testsupport::SetEnvironment("ZARNCAP_CAMERA", camera.c_str());
  std::lock_guard lock(State().mutex);
  State().record = DriverRecord{};
  State().clientStream = VIDEO_STREAM_INIT_PARMS{};
}

DriverRecord Record() {
  std::lock_guard lock(State().mutex);
  return State().record;
}

LRESULT RecordingDriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2) {
  if (msg == DRV_OPEN) return Open(driver, lParam1, lParam2);
  {
    std::lock_guard lock(State().mutex);
    DriverRecord& r = State().record;
    if (msg != DRV_LOAD && msg != DRV_ENABLE && msg != DRV_DISABLE && msg != DRV_FREE) r.messages.push_back(msg);
    if (msg == DRV_CLOSE && id > 1) r.closed = true;
    if (msg == kPrivateStoreDefectMap && lParam1 != 0) {
      const auto* map = reinterpret_cast<const BYTE*>(reinterpret_cast<const PrivateValueRecord*>(lParam1)->value);
      if (map != nullptr) r.defectMap.assign(map, map + kDefectMapBytes);
    }
  }
  LPARAM forwarded = lParam1;
  VIDEO_STREAM_INIT_PARMS ours{};
  if (msg == DVM_STREAM_INIT && lParam1 != 0) {
    // The recorder's callback goes to the driver; it calls the client's.
    std::lock_guard lock(State().mutex);
    State().clientStream = *reinterpret_cast<const VIDEO_STREAM_INIT_PARMS*>(lParam1);
    ours = State().clientStream;
    ours.dwCallback = reinterpret_cast<DWORD_PTR>(&StreamCallback);
    ours.dwFlags = (ours.dwFlags & 0xFFFF) | CALLBACK_FUNCTION;
    forwarded = reinterpret_cast<LPARAM>(&ours);
  }
  const LRESULT result = DriverProc(id, driver, msg, forwarded, lParam2);
  std::lock_guard lock(State().mutex);
  DriverRecord& r = State().record;
  switch (msg) {
    case DVM_STREAM_ADDBUFFER:
      ++r.addBuffers;
      if (result != DV_ERR_OK) ++r.addBufferRefusals;
      break;
    case DVM_STREAM_FINI:
      if (result == DV_ERR_STILLPLAYING) r.finiWithQueue = true;
      break;
    case DVM_FRAME:
      if (result == DV_ERR_OK) {
        const auto* header = reinterpret_cast<const VIDEOHDR*>(lParam1);
        ++r.framesDelivered;
        r.frames.emplace_back(header->lpData, header->lpData + header->dwBytesUsed);
      }
      break;
    case DVM_PALETTE:
      if (result == DV_ERR_OK && (lParam1 & VIDEO_CONFIGURE_GET) != 0 && (lParam1 & VIDEO_CONFIGURE_QUERYSIZE) == 0) {
        const auto* parms = reinterpret_cast<const VIDEOCONFIGPARMS*>(lParam2);
        const auto* palette = static_cast<const LOGPALETTE*>(parms->lpData1);
        r.palette.clear();
        for (WORD i = 0; i < palette->palNumEntries; ++i) {
          const PALETTEENTRY& e = palette->palPalEntry[i];
          r.palette.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
        }
      }
      break;
    default:
      break;
  }
  return result;
}

}  // namespace drivertest
