// The small video-message handlers that need no module of their own: the
// dialog request, the palette exchange, the error-text and API-version
// queries, and the driver's private messages 0x41F5..0x4202.
#pragma once

#include "platform/types.h"

// DVM_DIALOG: 0 (shown and accepted, or a query) or 17.
DWORD ShowDriverDialog(DWORD channelKind, HWND parent, DWORD flags);
// DVM_PALETTE: 0, 11 or 17.
DWORD ConfigurePalette(DWORD flags, VIDEOCONFIGPARMS* parms);
// DVM_GETERRORTEXT: empties the text and the error number; always 17.
DWORD GetErrorText(VIDEO_GETERRORTEXT_PARMS* parms);
// DVM_GETVIDEOAPIVER: 0x50 into *version; 11 without a place for it.
DWORD GetVideoApiVersion(DWORD* version);

// The private messages.
constexpr UINT kPrivateFirst = 0x41F5;
constexpr UINT kPrivateVersionText = 0x41F6;
constexpr UINT kPrivateControlBit2 = 0x41F9;
constexpr UINT kPrivateControlBit4 = 0x41FA;
constexpr UINT kPrivateGain = 0x41FD;
constexpr UINT kPrivateUnknownFirst = 0x41FE;
constexpr UINT kPrivateUnknownLast = 0x4200;
constexpr UINT kPrivateStoreDefectMap = 0x4201;
constexpr UINT kPrivateSensorKind = 0x4202;
constexpr UINT kPrivateLast = 0x4202;
constexpr DWORD kVideoApiVersion = 0x50;

// The private messages' own failures.
constexpr DWORD PRIVATE_ERR_CONTROL_BIT2 = 1002;
constexpr DWORD PRIVATE_ERR_STORE_DEFECTS = 1003;
constexpr DWORD PRIVATE_ERR_GAIN = 1004;
constexpr DWORD PRIVATE_ERR_CONTROL_BIT4 = 1005;

// lParam1 of 0x41F9, 0x41FA, 0x41FD, 0x4201 and 0x4202.
struct PrivateValueRecord {
  DWORD_PTR value;  // in, or out for 0x4202
  DWORD result;     // out: the message's own result
};
// lParam1 of 0x41F6.
struct PrivateTextRecord {
  LPSTR text;
  DWORD size;  // low 16 bits count
  DWORD result;
};
// The 32-bit layouts, byte for byte.
static_assert(sizeof(void*) != 4 || sizeof(PrivateValueRecord) == 8);
static_assert(sizeof(void*) != 4 || sizeof(PrivateTextRecord) == 12);

// A private message in kPrivateFirst..kPrivateLast, except the unknown
// numbers 0x41FE..0x4200 which the dispatcher answers itself.
DWORD PrivateMessage(UINT msg, LPARAM lParam1);
