// The fake driver: one process-wide state, guarded by one mutex; the stream
// timer is a thread that ticks every tickMs while the stream runs.
#include "tools/fake_driver.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace faketest {
namespace {

struct Stream {
  bool initialised = false;
  VIDEO_STREAM_INIT_PARMS parms{};
  std::deque<VIDEOHDR*> queue;
  DWORD errorCount = 0;
  std::thread timer;
  bool running = false;
  int ticks = 0;
};

struct FakeState {
  std::mutex mutex;
  std::condition_variable wake;
  FakeConfig config;
  FakeRecord record;
  BITMAPINFOHEADER format{};
  bool formatValid = false;
  int frameNumber = 0;
  int syncLeft = 0;
  Stream stream;
};

FakeState& State() {
  static FakeState state;
  return state;
}

constexpr DWORD_PTR kInstance = 0x5151;

bool SizeAccepted(const BITMAPINFOHEADER& h) {
  const int w = h.biWidth, ht = h.biHeight;
  if (w <= 0 || ht <= 0 || w % 8 != 0 || ht % 4 != 0) return false;
  const bool rgb = h.biCompression == BI_RGB;
  const bool yuv = h.biCompression == MakeFourCC('I', '4', '2', '0') || h.biCompression == MakeFourCC('I', 'Y', 'U', 'V') ||
                   h.biCompression == MakeFourCC('Y', 'V', '1', '2') || h.biCompression == MakeFourCC('Y', 'U', 'Y', '2') ||
                   h.biCompression == MakeFourCC('Y', 'V', 'U', '9');
  if ((w <= 160 && ht <= 120) || (w == 176 && ht == 144)) {
    if (w < 80 || ht < 60) return false;
    return yuv || (rgb && (h.biBitCount == 8 || h.biBitCount == 16 || h.biBitCount == 24));
  }
  if (w <= 320 && ht <= 240) return rgb && (h.biBitCount == 16 || h.biBitCount == 24);
  if (w <= 640 && ht <= 480) return rgb && h.biBitCount == 24;
  return false;
}

size_t ImageSize(const BITMAPINFOHEADER& h) {
  const size_t base = static_cast<size_t>(h.biWidth) * static_cast<size_t>(h.biHeight);
  switch (h.biCompression) {
    case BI_RGB: return base * h.biBitCount / 8;
    case MakeFourCC('I', '4', '2', '0'):
    case MakeFourCC('Y', 'V', '1', '2'): return base * 3 / 2;
    case MakeFourCC('Y', 'U', 'Y', '2'): return base * 2;
    case MakeFourCC('Y', 'V', 'U', '9'): return base * 9 / 8;
    default: return 0;
  }
}

void Fill(VIDEOHDR* h, int n, DWORD time) {
  const size_t size = ImageSize(State().format);
  for (size_t i = 0; i < size; ++i) h->lpData[i] = PatternByte(n, i);
  h->dwBytesUsed = static_cast<DWORD>(size);
  h->dwTimeCaptured = time;
  h->dwFlags |= VHDR_DONE | VHDR_KEYFRAME;
}

void Notify(const VIDEO_STREAM_INIT_PARMS& parms, UINT msg, DWORD_PTR param) {
  if (parms.dwCallback == 0) return;
  auto callback = reinterpret_cast<LPDRVCALLBACK>(parms.dwCallback);
  callback(reinterpret_cast<HDRVR>(parms.hVideo), msg, parms.dwCallbackInst, param, 0);
}

void TimerLoop() {
  auto& s = State();
  std::unique_lock lock(s.mutex);
  while (s.stream.running) {
    s.wake.wait_for(lock, std::chrono::milliseconds(s.config.tickMs));
    if (!s.stream.running) break;
    const int tick = ++s.stream.ticks;
    const VIDEO_STREAM_INIT_PARMS parms = s.stream.parms;
    if (s.config.streamStalls) continue;
    if (tick <= s.config.emptyTicksAtStart || s.stream.queue.empty()) {
      const DWORD count = ++s.stream.errorCount;
      Notify(parms, MM_DRVM_ERROR, count);
      continue;
    }
    VIDEOHDR* h = s.stream.queue.front();
    s.stream.queue.pop_front();
    h->dwFlags &= ~VHDR_INQUEUE;
    ++s.frameNumber;
    Fill(h, s.frameNumber, static_cast<DWORD>(s.frameNumber * 66));
    ++s.record.framesDelivered;
    Notify(parms, MM_DRVM_DATA, reinterpret_cast<DWORD_PTR>(h));
  }
}

void StopTimer(std::unique_lock<std::mutex>& lock) {
  auto& s = State();
  s.stream.running = false;
  s.wake.notify_all();
  if (s.stream.timer.joinable()) {
    std::thread timer = std::move(s.stream.timer);
    lock.unlock();
    timer.join();
    lock.lock();
  }
}

LRESULT Format(LPARAM flags, VIDEOCONFIGPARMS* parms) {
  auto& s = State();
  if (flags == VIDEO_CONFIGURE_SET) {
    auto* h = static_cast<BITMAPINFOHEADER*>(parms->lpData1);
    s.format = *h;
    s.formatValid = SizeAccepted(*h);
    if (!s.formatValid) return DV_ERR_NOTSUPPORTED;
    if (s.format.biCompression == MakeFourCC('I', 'Y', 'U', 'V')) s.format.biCompression = MakeFourCC('I', '4', '2', '0');
    s.format.biSizeImage = static_cast<DWORD>(ImageSize(s.format));
    return DV_ERR_OK;
  }
  if (flags == (VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT)) {
    if (parms->dwSize1 < sizeof(BITMAPINFOHEADER)) return DV_ERR_SIZEFIELD;
    std::memcpy(parms->lpData1, &s.format, sizeof s.format);
    return DV_ERR_OK;
  }
  return DV_ERR_NOTSUPPORTED;
}

LRESULT Palette(LPARAM flags, VIDEOCONFIGPARMS* parms) {
  constexpr DWORD kSize = 4 + 4 * 256;
  if (flags == (VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_QUERYSIZE)) {
    *parms->lpdwReturn = kSize;
    return DV_ERR_OK;
  }
  if (flags == VIDEO_CONFIGURE_GET) {
    if (parms->dwSize1 < kSize) return DV_ERR_NOTSUPPORTED;
    auto* bytes = static_cast<BYTE*>(parms->lpData1);
    bytes[0] = 0x00;
    bytes[1] = 0x03;
    bytes[2] = 0x00;
    bytes[3] = 0x01;  // 256 entries
    for (int k = 0; k < 256; ++k) {
      const RGBQUAD q = FakePaletteEntry(k);
      bytes[4 + 4 * k] = q.rgbRed;
      bytes[5 + 4 * k] = q.rgbGreen;
      bytes[6 + 4 * k] = q.rgbBlue;
      bytes[7 + 4 * k] = 0;
    }
    return DV_ERR_OK;
  }
  return DV_ERR_NOTSUPPORTED;
}

LRESULT VideoMessage(UINT msg, LPARAM lParam1, LPARAM lParam2, std::unique_lock<std::mutex>& lock) {
  auto& s = State();
  switch (msg) {
    case DVM_FORMAT: return Format(lParam1, reinterpret_cast<VIDEOCONFIGPARMS*>(lParam2));
    case DVM_PALETTE: return Palette(lParam1, reinterpret_cast<VIDEOCONFIGPARMS*>(lParam2));
    case DVM_FRAME: {
      auto* h = reinterpret_cast<VIDEOHDR*>(lParam1);
      if (!s.formatValid || s.config.framesFail || h->dwBufferLength < ImageSize(s.format)) return DV_ERR_NONSPECIFIC;
      if (s.syncLeft > 0) {
        --s.syncLeft;
        return DV_ERR_SYNC;
      }
      s.syncLeft = s.config.syncAnswers;
      ++s.frameNumber;
      Fill(h, s.frameNumber, static_cast<DWORD>(s.frameNumber * 10));
      ++s.record.framesDelivered;
      return DV_ERR_OK;
    }
    case DVM_STREAM_INIT: {
      if (s.stream.initialised) return DV_ERR_NONSPECIFIC;
      s.stream.initialised = true;
      s.stream.parms = *reinterpret_cast<VIDEO_STREAM_INIT_PARMS*>(lParam1);
      s.stream.errorCount = 0;
      Notify(s.stream.parms, MM_DRVM_OPEN, 0);
      return DV_ERR_OK;
    }
    case DVM_STREAM_ADDBUFFER: {
      auto* h = reinterpret_cast<VIDEOHDR*>(lParam1);
      if (!s.stream.initialised || h == nullptr) return DV_ERR_NONSPECIFIC;
      if ((h->dwFlags & VHDR_PREPARED) == 0) return DV_ERR_UNPREPARED;
      if ((h->dwFlags & VHDR_INQUEUE) != 0) {
        ++s.record.addBufferRefusals;
        return DV_ERR_NONSPECIFIC;
      }
      h->dwFlags = (h->dwFlags | VHDR_INQUEUE) & ~VHDR_DONE;
      h->dwBytesUsed = 0;
      s.stream.queue.push_back(h);
      ++s.record.addBuffers;
      return DV_ERR_OK;
    }
    case DVM_STREAM_START:
      if (!s.stream.initialised || s.stream.running) return DV_ERR_NONSPECIFIC;
      s.stream.running = true;
      s.stream.timer = std::thread(TimerLoop);
      return DV_ERR_OK;
    case DVM_STREAM_STOP:
      if (!s.stream.initialised) return DV_ERR_NONSPECIFIC;
      StopTimer(lock);
      return DV_ERR_OK;
    case DVM_STREAM_RESET: {
      if (!s.stream.initialised) return DV_ERR_NONSPECIFIC;
      StopTimer(lock);
      while (!s.stream.queue.empty()) {
        VIDEOHDR* h = s.stream.queue.front();
        s.stream.queue.pop_front();
        h->dwFlags = (h->dwFlags & ~VHDR_INQUEUE) | VHDR_DONE;
        Notify(s.stream.parms, MM_DRVM_DATA, reinterpret_cast<DWORD_PTR>(h));
      }
      return DV_ERR_OK;
    }
    case DVM_STREAM_GETERROR: {
      if (auto* error = reinterpret_cast<DWORD*>(lParam1)) *error = 0;
      if (auto* count = reinterpret_cast<DWORD*>(lParam2)) *count = s.stream.errorCount;
      s.stream.errorCount = 0;
      return DV_ERR_OK;
    }
    case DVM_STREAM_FINI:
      if (!s.stream.initialised) return DV_ERR_NONSPECIFIC;
      if (!s.stream.queue.empty()) {
        s.record.finiWithQueue = true;
        return DV_ERR_STILLPLAYING;
      }
      StopTimer(lock);
      s.stream.initialised = false;
      Notify(s.stream.parms, MM_DRVM_CLOSE, 0);
      return DV_ERR_OK;
    case 0x4201: {
      struct Record {
        DWORD_PTR value;
        DWORD result;
      };
      auto* record = reinterpret_cast<Record*>(lParam1);
      const auto* map = reinterpret_cast<const BYTE*>(record->value);
      s.record.defectMap.assign(map, map + 480);
      record->result = s.config.defectAnswer;
      return s.config.defectAnswer;
    }
    default: return DV_ERR_NOTSUPPORTED;
  }
}

}  // namespace

RGBQUAD FakePaletteEntry(int k) {
  return RGBQUAD{static_cast<BYTE>(k / 2), static_cast<BYTE>(255 - k), static_cast<BYTE>(k), 0};
}

void ResetFake(const FakeConfig& config) {
  auto& s = State();
  std::unique_lock lock(s.mutex);
  StopTimer(lock);
  s.config = config;
  s.record = FakeRecord{};
  s.format = BITMAPINFOHEADER{};
  s.formatValid = false;
  s.frameNumber = 0;
  s.syncLeft = config.syncAnswers;
  s.stream.initialised = false;
  s.stream.queue.clear();
  s.stream.errorCount = 0;
  s.stream.ticks = 0;
}

FakeRecord Record() {
  std::lock_guard lock(State().mutex);
  return State().record;
}

LRESULT FakeDriverProc(DWORD_PTR id, HDRVR, UINT msg, LPARAM lParam1, LPARAM lParam2) {
  auto& s = State();
  std::unique_lock lock(s.mutex);
  switch (msg) {
    case DRV_LOAD: return 1;
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_FREE: return msg == DRV_FREE ? 1 : 0;
    case DRV_OPEN: {
      s.record.openStringSeen = lParam1 != 0;
      s.record.openString = lParam1 != 0 ? reinterpret_cast<const char*>(lParam1) : "";
      auto* parms = reinterpret_cast<VIDEO_OPEN_PARMS*>(lParam2);
      if (parms == nullptr) return 1;
      s.record.openFlags = parms->dwFlags;
      if (parms->fccType != FOURCC_VCAP) return 0;
      parms->dwError = s.config.openError;
      return s.config.openError == 0 ? static_cast<LRESULT>(kInstance) : 0;
    }
    case DRV_CLOSE:
      StopTimer(lock);
      s.record.closed = true;
      return 1;
    default: break;
  }
  if (id != kInstance) return 0;
  s.record.messages.push_back(msg);
  return VideoMessage(msg, lParam1, lParam2, lock);
}

}  // namespace faketest
