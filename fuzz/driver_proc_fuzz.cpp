// DriverProc as a host drives it: one driver opened on the virtual camera,
// with a video-in and an external-in channel, then each input is a sequence of
// messages with random, null and garbage arguments. Arguments stay within the
// platform's contract: a pointer given with a size is valid for that size,
// and buffers handed to the stream stay valid until the stream has let them go.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "platform/types.h"
#include "sim/register.h"
#include "zarncap/formats.h"
#include "zarncap/messages.h"

#include "driver/driver_proc.h"

namespace {

struct Driver {
  DWORD_PTR video = 0;
  DWORD_PTR source = 0;
};

DWORD_PTR OpenChannel(DWORD kind, const std::string& openString) {
  VIDEO_OPEN_PARMS parms{};
  parms.dwSize = sizeof parms;
  parms.fccType = FOURCC_VCAP;
  parms.dwFlags = kind;
  return static_cast<DWORD_PTR>(
      DriverProc(0, nullptr, DRV_OPEN, reinterpret_cast<LPARAM>(openString.c_str()), reinterpret_cast<LPARAM>(&parms)));
}

const Driver& Opened();

// The host's part at the end: the channels close and the driver goes, as a
// capture application does before it exits (what it leaves open is its leak).
void CloseAtExit() {
  const Driver& d = Opened();
  DriverProc(d.video, nullptr, DRV_CLOSE, 0, 0);
  DriverProc(d.source, nullptr, DRV_CLOSE, 0, 0);
  DriverProc(0, nullptr, DRV_DISABLE, 0, 0);
  DriverProc(0, nullptr, DRV_FREE, 0, 0);
}

const Driver& Opened() {
  static const Driver driver = [] {
    sim::RegisterVirtualCamera();
    setenv("ZARNCAP_CAMERA", "sim:period=1,noise=0", 1);
    const std::string openString = "vcap /tmp/zarncap-driver-fuzz-" + std::to_string(::getpid()) + ".ini";
    DriverProc(0, nullptr, DRV_LOAD, 0, 0);
    DriverProc(0, nullptr, DRV_ENABLE, 0, 0);
    Driver d;
    d.video = OpenChannel(VIDEO_IN, openString);
    d.source = OpenChannel(VIDEO_EXTERNALIN, openString);
    if (d.video <= 1 || d.source <= 1) std::abort();
    std::atexit(CloseAtExit);
    return d;
  }();
  return driver;
}

void CALLBACK Callback(HDRVR, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

// Memory the input owns: buffers, headers and records live until the input is
// done, and the stream is ended before they go.
struct Arena {
  std::deque<std::vector<BYTE>> blocks;
  std::deque<VIDEOHDR> headers;
  BYTE* Block(size_t size, FuzzedDataProvider& in) {
    blocks.emplace_back(size);
    std::vector<BYTE>& b = blocks.back();
    const std::vector<BYTE> fill = in.ConsumeBytes<BYTE>(size < 64 ? size : 64);
    std::copy(fill.begin(), fill.end(), b.begin());
    return b.empty() ? nullptr : b.data();
  }
};

const UINT kConfigureFlags[] = {
    VIDEO_CONFIGURE_QUERYSIZE, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_QUERYSIZE, VIDEO_CONFIGURE_SET,
    VIDEO_CONFIGURE_SET | VIDEO_CONFIGURE_CURRENT, VIDEO_CONFIGURE_GET, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT,
    VIDEO_CONFIGURE_QUERY | VIDEO_CONFIGURE_SET, VIDEO_CONFIGURE_QUERY | VIDEO_CONFIGURE_GET, 0x1234,
};

LPARAM ConfigureParms(FuzzedDataProvider& in, Arena& arena, bool header) {
  if (in.ConsumeIntegralInRange<int>(0, 9) == 0) return 0;
  arena.blocks.emplace_back(sizeof(VIDEOCONFIGPARMS));
  auto* parms = reinterpret_cast<VIDEOCONFIGPARMS*>(arena.blocks.back().data());
  parms->lpdwReturn = in.ConsumeBool() ? reinterpret_cast<DWORD*>(arena.Block(sizeof(DWORD), in)) : nullptr;
  const DWORD size = in.ConsumeBool() ? (header ? sizeof(BITMAPINFOHEADER) : 4 + 4 * 256)
                                      : in.ConsumeIntegralInRange<DWORD>(0, 2048);
  parms->lpData1 = in.ConsumeBool() ? arena.Block(size, in) : nullptr;
  parms->dwSize1 = parms->lpData1 != nullptr ? size : in.ConsumeIntegral<DWORD>();
  if (header && parms->lpData1 != nullptr && size >= sizeof(BITMAPINFOHEADER) && in.ConsumeBool()) {
    // Now and then a plausible header, so formats are actually accepted.
    auto* h = static_cast<BITMAPINFOHEADER*>(parms->lpData1);
    const LONG sizes[][2] = {{160, 120}, {320, 240}, {640, 480}, {176, 144}, {80, 60}, {320, 64}};
    const WORD bits[] = {24, 16, 8, 12, 9};
    const DWORD comp[] = {BI_RGB, BI_RGB, BI_RGB, FOURCC_I420, FOURCC_YVU9};
    const auto& s = sizes[in.ConsumeIntegralInRange<int>(0, 5)];
    const int t = in.ConsumeIntegralInRange<int>(0, 4);
    h->biSize = sizeof *h;
    h->biWidth = s[0];
    h->biHeight = s[1];
    h->biPlanes = 1;
    h->biBitCount = bits[t];
    h->biCompression = comp[t];
  }
  return reinterpret_cast<LPARAM>(parms);
}

LPARAM Header(FuzzedDataProvider& in, Arena& arena) {
  if (in.ConsumeIntegralInRange<int>(0, 9) == 0) return 0;
  arena.headers.emplace_back();
  VIDEOHDR& h = arena.headers.back();
  const DWORD size = in.ConsumeBool() ? 640 * 480 * 3 : in.ConsumeIntegralInRange<DWORD>(0, 160 * 120 * 3);
  h.lpData = in.ConsumeBool() ? arena.Block(size, in) : nullptr;
  h.dwBufferLength = h.lpData != nullptr ? size : 0;
  h.dwFlags = in.ConsumeBool() ? VHDR_PREPARED : in.ConsumeIntegral<DWORD>() & ~VHDR_INQUEUE;
  return reinterpret_cast<LPARAM>(&h);
}

LPARAM Record(FuzzedDataProvider& in, Arena& arena, size_t size) {
  if (in.ConsumeIntegralInRange<int>(0, 5) == 0) return 0;
  return reinterpret_cast<LPARAM>(arena.Block(size, in));
}

void SendOne(FuzzedDataProvider& in, Arena& arena, const Driver& d) {
  const int pick = in.ConsumeIntegralInRange<int>(0, 9);
  const DWORD_PTR id = pick < 6 ? d.video : pick < 9 ? d.source : in.ConsumeIntegral<DWORD_PTR>();
  switch (in.ConsumeIntegralInRange<int>(0, 18)) {
    case 0:
      DriverProc(id, nullptr, DVM_FORMAT, kConfigureFlags[in.ConsumeIntegralInRange<size_t>(0, 8)],
                 ConfigureParms(in, arena, true));
      break;
    case 1:
      DriverProc(id, nullptr, DVM_PALETTE, kConfigureFlags[in.ConsumeIntegralInRange<size_t>(0, 8)],
                 ConfigureParms(in, arena, false));
      break;
    case 2:
    case 3: DriverProc(id, nullptr, DVM_FRAME, Header(in, arena), 0); break;
    case 4: DriverProc(id, nullptr, DVM_GETVIDEOAPIVER, Record(in, arena, sizeof(DWORD)), 0); break;
    case 5: {
      // The text pointer is valid for its length, or null.
      arena.blocks.emplace_back(sizeof(VIDEO_GETERRORTEXT_PARMS));
      auto* parms = reinterpret_cast<VIDEO_GETERRORTEXT_PARMS*>(arena.blocks.back().data());
      parms->dwError = in.ConsumeIntegral<DWORD>();
      parms->dwLength = in.ConsumeIntegralInRange<DWORD>(0, 64);
      parms->lpText = in.ConsumeBool() ? reinterpret_cast<LPWSTR>(arena.Block(2 * parms->dwLength, in)) : nullptr;
      if (parms->lpText == nullptr && in.ConsumeBool()) parms->dwLength = 0;
      DriverProc(id, nullptr, DVM_GETERRORTEXT, in.ConsumeBool() ? reinterpret_cast<LPARAM>(parms) : 0, 0);
      break;
    }
    case 6: DriverProc(id, nullptr, DVM_DIALOG, 0, in.ConsumeBool() ? VIDEO_DLG_QUERY : 0); break;  // no host: a dialog ends as cancelled
    case 7: {
      arena.blocks.emplace_back(sizeof(VIDEO_STREAM_INIT_PARMS));
      auto* init = reinterpret_cast<VIDEO_STREAM_INIT_PARMS*>(arena.blocks.back().data());
      init->dwMicroSecPerFrame = in.ConsumeIntegral<DWORD>();
      init->dwCallback = in.ConsumeBool() ? reinterpret_cast<DWORD_PTR>(&Callback) : 0;
      init->dwFlags = init->dwCallback != 0 ? CALLBACK_FUNCTION : 0;
      DriverProc(id, nullptr, DVM_STREAM_INIT, in.ConsumeBool() ? reinterpret_cast<LPARAM>(init) : 0, sizeof *init);
      break;
    }
    case 8: DriverProc(id, nullptr, DVM_STREAM_ADDBUFFER, Header(in, arena), sizeof(VIDEOHDR)); break;
    case 9: DriverProc(id, nullptr, DVM_STREAM_START, 0, 0); break;
    case 10: DriverProc(id, nullptr, DVM_STREAM_STOP, 0, 0); break;
    case 11: DriverProc(id, nullptr, DVM_STREAM_RESET, 0, 0); break;
    case 12: DriverProc(id, nullptr, DVM_STREAM_FINI, 0, 0); break;
    case 13:
      DriverProc(id, nullptr, DVM_STREAM_GETERROR, Record(in, arena, sizeof(DWORD)), Record(in, arena, sizeof(DWORD)));
      break;
    case 14:
      DriverProc(id, nullptr, DVM_STREAM_GETPOSITION, Record(in, arena, sizeof(MMTIME)),
                 in.ConsumeBool() ? static_cast<LPARAM>(sizeof(MMTIME)) : in.ConsumeIntegral<LPARAM>());
      break;
    case 15: {
      // The private messages take a value record; 0x4201 a 480-byte map as its value.
      const UINT msg = kPrivateFirst + in.ConsumeIntegralInRange<UINT>(0, 13);
      struct ValueRecord {
        DWORD_PTR value;
        DWORD result;
      };
      arena.blocks.emplace_back(sizeof(ValueRecord) + 12);
      auto* record = reinterpret_cast<ValueRecord*>(arena.blocks.back().data());
      record->value = msg == kPrivateStoreDefectMap ? reinterpret_cast<DWORD_PTR>(arena.Block(kDefectMapBytes, in)) : in.ConsumeIntegral<DWORD>();
      if (msg == kPrivateVersionText) {  // the version text: a text pointer and its size
        struct TextRecord {
          LPSTR text;
          DWORD size;
          DWORD result;
        };
        auto* text = reinterpret_cast<TextRecord*>(record);
        const DWORD size = in.ConsumeIntegralInRange<DWORD>(0, 300);
        text->text = reinterpret_cast<LPSTR>(arena.Block(size, in));
        text->size = size;
      }
      DriverProc(id, nullptr, msg, in.ConsumeIntegralInRange<int>(0, 7) == 0 ? 0 : reinterpret_cast<LPARAM>(record), 0);
      break;
    }
    case 16: DriverProc(id, nullptr, in.ConsumeIntegralInRange<UINT>(0x1000, 0x4300), 0, 0); break;
    case 17: DriverProc(in.ConsumeIntegral<DWORD_PTR>() | 2, nullptr, DVM_FRAME, 0, 0); break;
    default: DriverProc(id, nullptr, DVM_STREAM_PREPAREHEADER, 0, 0); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Driver& d = Opened();
  FuzzedDataProvider in(data, size);
  Arena arena;
  for (int i = 0; i < 24 && in.remaining_bytes() > 0; ++i) SendOne(in, arena, d);
  // The stream lets go of this input's buffers before they are freed.
  DriverProc(d.video, nullptr, DVM_STREAM_RESET, 0, 0);
  DriverProc(d.video, nullptr, DVM_STREAM_FINI, 0, 0);
  return 0;
}
