// The host platform's records, numbers and integer types, as the Windows SDK
// defines them. On Windows they come from the SDK headers; elsewhere this file
// is the single, size-checked definition the whole driver compiles against.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
// The SDK gives the integer types, the bitmap, palette, timer and driver
// records and numbers; the video-capture driver's own records and messages
// have no header in every SDK, so they come from below on both builds.
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

// winmm exports it; not every SDK declares it.
extern "C" BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD msg, DWORD_PTR user,
                                      DWORD_PTR param1, DWORD_PTR param2);

#else

// ---- integer and handle types (LP64: DWORD stays 32-bit, LPARAM is pointer-sized)
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using INT = int;
using BOOL = int;
using WCHAR = char16_t;
using FOURCC = DWORD;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using MMRESULT = UINT;
using HANDLE = void*;
struct HDRVR__;
using HDRVR = HDRVR__*;
struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
struct HMENU__;
using HMENU = HMENU__*;
using HGLOBAL = void*;
using SIZE_T = std::size_t;
using HMODULE = HINSTANCE;
using LPBYTE = BYTE*;
using LPVOID = void*;
using LPDWORD = DWORD*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#define CALLBACK
#define WINAPI

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

#define mmioFOURCC(a, b, c, d) MakeFourCC(a, b, c, d)

// ---- records
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
using LPBITMAPINFOHEADER = BITMAPINFOHEADER*;

struct RGBQUAD {
  BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
};

struct PALETTEENTRY {
  BYTE peRed, peGreen, peBlue, peFlags;
};
struct LOGPALETTE {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];
};

#pragma pack(push, 1)
struct MMTIME {
  UINT wType;
  union {
    DWORD ms;
    DWORD sample;
    DWORD cb;
    DWORD ticks;
    struct {
      BYTE hour, min, sec, frame, fps, dummy;
      BYTE pad[2];
    } smpte;
    struct {
      DWORD songptrpos;
    } midi;
  } u;
};
#pragma pack(pop)
constexpr UINT TIME_MS = 0x0001;

struct TIMECAPS {
  UINT wPeriodMin;
  UINT wPeriodMax;
};
using LPTIMECAPS = TIMECAPS*;
using LPTIMECALLBACK = void(CALLBACK*)(UINT uTimerID, UINT uMsg, DWORD_PTR dwUser, DWORD_PTR dw1, DWORD_PTR dw2);
constexpr UINT TIME_ONESHOT = 0x0000;
constexpr UINT TIME_PERIODIC = 0x0001;
constexpr UINT TIME_CALLBACK_FUNCTION = 0x0000;
constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;

// A client's stream callback of kind CALLBACK_FUNCTION.
using LPDRVCALLBACK = void(CALLBACK*)(HDRVR hdrvr, UINT uMsg, DWORD_PTR dwUser, DWORD_PTR dw1, DWORD_PTR dw2);

// ---- driver messages
constexpr UINT DRV_LOAD = 0x0001;
constexpr UINT DRV_ENABLE = 0x0002;
constexpr UINT DRV_OPEN = 0x0003;
constexpr UINT DRV_CLOSE = 0x0004;
constexpr UINT DRV_DISABLE = 0x0005;
constexpr UINT DRV_FREE = 0x0006;
constexpr UINT DRV_CONFIGURE = 0x0007;
constexpr UINT DRV_QUERYCONFIGURE = 0x0008;
constexpr UINT DRV_INSTALL = 0x0009;
constexpr UINT DRV_REMOVE = 0x000A;
constexpr UINT DRV_RESERVED = 0x0800;
constexpr UINT DRV_USER = 0x4000;

// ---- stream notifications
constexpr UINT MM_DRVM_OPEN = 0x3D0;
constexpr UINT MM_DRVM_CLOSE = 0x3D1;
constexpr UINT MM_DRVM_DATA = 0x3D2;
constexpr UINT MM_DRVM_ERROR = 0x3D3;

// ---- callback kinds
constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_WINDOW = 0x00010000;
constexpr DWORD CALLBACK_TASK = 0x00020000;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;
constexpr DWORD CALLBACK_THREAD = CALLBACK_TASK;
constexpr DWORD CALLBACK_EVENT = 0x00050000;
constexpr DWORD DCB_NULL = 0x0000;
constexpr DWORD DCB_WINDOW = 0x0001;
constexpr DWORD DCB_TASK = 0x0002;
constexpr DWORD DCB_FUNCTION = 0x0003;
constexpr DWORD DCB_EVENT = 0x0005;
constexpr DWORD DCB_TYPEMASK = 0x0007;
constexpr DWORD DCB_NOSWITCH = 0x0008;

// ---- message boxes
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// ---- windows and dialogs
using DLGPROC = INT_PTR(CALLBACK*)(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
struct RECT {
  LONG left, top, right, bottom;
};
struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
};
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_USER = 0x0400;
constexpr WORD BN_CLICKED = 0;
constexpr WORD EN_CHANGE = 0x0300;
constexpr int SB_CTL = 2;
constexpr int SB_LINEUP = 0;
constexpr int SB_LINEDOWN = 1;
constexpr int SB_PAGEUP = 2;
constexpr int SB_PAGEDOWN = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_ENDSCROLL = 8;
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;
constexpr WORD LOWORD(DWORD_PTR v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(DWORD_PTR v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) { return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16); }
constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
  return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// ---- menus
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_MENUBREAK = 0x0040;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT SC_SIZE = 0xF000;
constexpr UINT SC_MOVE = 0xF010;
constexpr UINT SC_CLOSE = 0xF060;

// ---- list boxes
constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_DELETESTRING = 0x0182;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr int LB_ERR = -1;

// ---- global memory
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// ---- bitmap compressions
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;

#endif  // !_WIN32

constexpr FOURCC MakeFourCC(char a, char b, char c, char d) {
  return static_cast<DWORD>(static_cast<BYTE>(a)) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 8) |
         (static_cast<DWORD>(static_cast<BYTE>(c)) << 16) | (static_cast<DWORD>(static_cast<BYTE>(d)) << 24);
}

// ---- the video-capture driver records (DWORDs stay 32-bit; pointer-sized fields follow the build)
struct VIDEOHDR {
  LPBYTE lpData;
  DWORD dwBufferLength;
  DWORD dwBytesUsed;
  DWORD dwTimeCaptured;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  DWORD_PTR dwReserved[4];
};
using LPVIDEOHDR = VIDEOHDR*;

struct VIDEO_OPEN_PARMS {
  DWORD dwSize;
  FOURCC fccType;
  FOURCC fccComp;
  DWORD dwVersion;
  DWORD dwFlags;
  DWORD dwError;
  LPVOID pV1Reserved;
  LPVOID pV2Reserved;
  DWORD dnDevNode;
};

struct VIDEOCONFIGPARMS {
  LPDWORD lpdwReturn;
  LPVOID lpData1;
  DWORD dwSize1;
  LPVOID lpData2;
  DWORD dwSize2;
};

struct VIDEO_STREAM_INIT_PARMS {
  DWORD dwMicroSecPerFrame;
  DWORD_PTR dwCallback;
  DWORD_PTR dwCallbackInst;
  DWORD dwFlags;
  DWORD_PTR hVideo;
};

struct VIDEO_GETERRORTEXT_PARMS {
  DWORD dwError;
  LPWSTR lpText;
  DWORD dwLength;
};

// ---- video messages
constexpr UINT DVM_START = DRV_USER;
constexpr UINT DVM_GETERRORTEXT = DVM_START + 0;
constexpr UINT DVM_GETVIDEOAPIVER = DVM_START + 1;
constexpr UINT DVM_DIALOG = DVM_START + 100;
constexpr UINT DVM_CONFIGURESTORAGE = DVM_START + 101;
constexpr UINT DVM_GET_CHANNEL_CAPS = DVM_START + 102;
constexpr UINT DVM_UPDATE = DVM_START + 103;
constexpr UINT DVM_FRAME = DVM_START + 200;
constexpr UINT DVM_STREAM_MSG_START = DVM_START + 300;
constexpr UINT DVM_STREAM_MSG_END = DVM_START + 399;
constexpr UINT DVM_STREAM_ADDBUFFER = DVM_START + 300;
constexpr UINT DVM_STREAM_FINI = DVM_START + 301;
constexpr UINT DVM_STREAM_GETERROR = DVM_START + 302;
constexpr UINT DVM_STREAM_GETPOSITION = DVM_START + 303;
constexpr UINT DVM_STREAM_INIT = DVM_START + 304;
constexpr UINT DVM_STREAM_PREPAREHEADER = DVM_START + 305;
constexpr UINT DVM_STREAM_RESET = DVM_START + 306;
constexpr UINT DVM_STREAM_START = DVM_START + 307;
constexpr UINT DVM_STREAM_STOP = DVM_START + 308;
constexpr UINT DVM_STREAM_UNPREPAREHEADER = DVM_START + 309;
constexpr UINT DVM_CONFIGURE_START = 0x1000;
constexpr UINT DVM_CONFIGURE_END = 0x1FFF;
constexpr UINT DVM_PALETTE = DVM_CONFIGURE_START + 1;
constexpr UINT DVM_FORMAT = DVM_CONFIGURE_START + 2;
constexpr UINT DVM_PALETTERGB555 = DVM_CONFIGURE_START + 3;
constexpr UINT DVM_SRC_RECT = DVM_CONFIGURE_START + 4;
constexpr UINT DVM_DST_RECT = DVM_CONFIGURE_START + 5;

// ---- channel kinds, dialog and configure flags
constexpr DWORD VIDEO_EXTERNALIN = 0x0001;
constexpr DWORD VIDEO_EXTERNALOUT = 0x0002;
constexpr DWORD VIDEO_IN = 0x0004;
constexpr DWORD VIDEO_OUT = 0x0008;
constexpr DWORD VIDEO_DLG_QUERY = 0x0010;
constexpr DWORD VIDEO_CONFIGURE_QUERY = 0x8000;
constexpr DWORD VIDEO_CONFIGURE_SET = 0x1000;
constexpr DWORD VIDEO_CONFIGURE_GET = 0x2000;
constexpr DWORD VIDEO_CONFIGURE_QUERYSIZE = 0x0001;
constexpr DWORD VIDEO_CONFIGURE_CURRENT = 0x0010;
constexpr DWORD VIDEO_CONFIGURE_NOMINAL = 0x0020;
constexpr DWORD VIDEO_CONFIGURE_MIN = 0x0040;
constexpr DWORD VIDEO_CONFIGURE_MAX = 0x0080;

// ---- buffer flags
constexpr DWORD VHDR_DONE = 0x00000001;
constexpr DWORD VHDR_PREPARED = 0x00000002;
constexpr DWORD VHDR_INQUEUE = 0x00000004;
constexpr DWORD VHDR_KEYFRAME = 0x00000008;
constexpr DWORD VHDR_VALID = 0x0000000F;

// ---- video error numbers
constexpr DWORD DV_ERR_OK = 0;
constexpr DWORD DV_ERR_BASE = 1;
constexpr DWORD DV_ERR_NONSPECIFIC = DV_ERR_BASE;
constexpr DWORD DV_ERR_BADFORMAT = DV_ERR_BASE + 1;
constexpr DWORD DV_ERR_STILLPLAYING = DV_ERR_BASE + 2;
constexpr DWORD DV_ERR_UNPREPARED = DV_ERR_BASE + 3;
constexpr DWORD DV_ERR_SYNC = DV_ERR_BASE + 4;
constexpr DWORD DV_ERR_TOOMANYCHANNELS = DV_ERR_BASE + 5;
constexpr DWORD DV_ERR_NOTDETECTED = DV_ERR_BASE + 6;
constexpr DWORD DV_ERR_BADINSTALL = DV_ERR_BASE + 7;
constexpr DWORD DV_ERR_CREATEPALETTE = DV_ERR_BASE + 8;
constexpr DWORD DV_ERR_SIZEFIELD = DV_ERR_BASE + 9;
constexpr DWORD DV_ERR_PARAM1 = DV_ERR_BASE + 10;
constexpr DWORD DV_ERR_PARAM2 = DV_ERR_BASE + 11;
constexpr DWORD DV_ERR_CONFIG1 = DV_ERR_BASE + 12;
constexpr DWORD DV_ERR_CONFIG2 = DV_ERR_BASE + 13;
constexpr DWORD DV_ERR_FLAGS = DV_ERR_BASE + 14;
constexpr DWORD DV_ERR_13 = DV_ERR_BASE + 15;
constexpr DWORD DV_ERR_NOTSUPPORTED = DV_ERR_BASE + 16;
constexpr DWORD DV_ERR_NOMEM = DV_ERR_BASE + 17;
constexpr DWORD DV_ERR_ALLOCATED = DV_ERR_BASE + 18;
constexpr DWORD DV_ERR_BADDEVICEID = DV_ERR_BASE + 19;
constexpr DWORD DV_ERR_INVALHANDLE = DV_ERR_BASE + 20;
constexpr DWORD DV_ERR_BADERRNUM = DV_ERR_BASE + 21;
constexpr DWORD DV_ERR_NO_BUFFERS = DV_ERR_BASE + 22;
constexpr DWORD DV_ERR_MEM_CONFLICT = DV_ERR_BASE + 23;
constexpr DWORD DV_ERR_IO_CONFLICT = DV_ERR_BASE + 24;
constexpr DWORD DV_ERR_DMA_CONFLICT = DV_ERR_BASE + 25;
constexpr DWORD DV_ERR_INT_CONFLICT = DV_ERR_BASE + 26;
constexpr DWORD DV_ERR_PROTECT_ONLY = DV_ERR_BASE + 27;
constexpr DWORD DV_ERR_LASTERROR = DV_ERR_BASE + 27;
constexpr DWORD DV_ERR_USER_MSG = DV_ERR_BASE + 1000;


// ---- layout checks: the 32-bit build must match the SDK byte for byte; the
// 64-bit build keeps DWORDs at 32 bits and widens only pointer-sized fields.
static_assert(sizeof(DWORD) == 4 && sizeof(WORD) == 2 && sizeof(BYTE) == 1 && sizeof(WCHAR) == 2);
static_assert(sizeof(LPARAM) == sizeof(void*) && sizeof(WPARAM) == sizeof(void*));
static_assert(sizeof(LRESULT) == sizeof(void*) && sizeof(DWORD_PTR) == sizeof(void*));
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(MMTIME) == 12);
static_assert(sizeof(PALETTEENTRY) == 4);
static_assert(sizeof(LOGPALETTE) == 8);
static_assert(offsetof(LOGPALETTE, palPalEntry) == 4);
static_assert(sizeof(TIMECAPS) == 8);
static_assert(offsetof(VIDEO_OPEN_PARMS, dwFlags) == 16 && offsetof(VIDEO_OPEN_PARMS, dwError) == 20);
static_assert(sizeof(void*) != 4 || sizeof(VIDEOHDR) == 40);
static_assert(sizeof(void*) != 4 || sizeof(VIDEO_OPEN_PARMS) == 36);
static_assert(sizeof(void*) != 4 || sizeof(VIDEOCONFIGPARMS) == 20);
static_assert(sizeof(void*) != 4 || sizeof(VIDEO_STREAM_INIT_PARMS) == 20);
static_assert(sizeof(void*) != 4 || sizeof(VIDEO_GETERRORTEXT_PARMS) == 12);
static_assert(sizeof(void*) != 8 || sizeof(VIDEOHDR) == 72);
static_assert(sizeof(void*) != 8 || sizeof(VIDEO_OPEN_PARMS) == 48);
static_assert(sizeof(void*) != 8 || sizeof(VIDEOCONFIGPARMS) == 40);
static_assert(sizeof(void*) != 8 || sizeof(VIDEO_STREAM_INIT_PARMS) == 40);
static_assert(sizeof(void*) != 8 || sizeof(VIDEO_GETERRORTEXT_PARMS) == 24);

// The four-character code of every channel type this driver serves.
constexpr DWORD FOURCC_VCAP = 0x70616376;  // 'vcap'
