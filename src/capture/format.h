// Capture format negotiation: DVM_FORMAT's handler, the size rules that pick
// the camera mode, window and camera format for a client format, and the
// half-size camera set-up used while streaming small RGB formats.
#pragma once

#include "platform/types.h"

struct NUBODevice;

// Client sizes and the camera windows they map to.
constexpr LONG kQcifWidth = 176;
constexpr LONG kQcifHeight = 144;
constexpr WORD kQcifWindowWidth = 160;
constexpr WORD kQcifWindowHeight = 132;
constexpr LONG kMaxYuvClientWidth = 160;
constexpr LONG kMaxYuvClientHeight = 120;
constexpr LONG kMaxRawClientWidth = 320;
constexpr LONG kMaxRawClientHeight = 240;
constexpr LONG kMaxClientWidth = 640;
constexpr LONG kMaxClientHeight = 480;
constexpr LONG kRawWindowBorder = 4;  // a border of 2 on each side for the demosaic
constexpr WORD kFallbackWindowWidth = 292;
constexpr WORD kFallbackWindowHeight = 220;

// DVM_FORMAT: flags is lParam1, parms lParam2. 0, 10, 11 or 17.
DWORD ConfigureFormat(DWORD flags, VIDEOCONFIGPARMS* parms);
// TRUE when the current device can deliver the header's format; the camera is
// then set up for it. FALSE marks the format invalid.
BOOL AcceptFormat(NUBODevice* device, const BITMAPINFOHEADER* header);
// TRUE when a device is current and its format was accepted.
BOOL FormatInForce();
// The format dialog's OK: the header when the device takes it, else the
// fallback (the format that was in force) is put back. Either way currentFormat
// is then the format in force. FALSE when the header was refused.
BOOL AcceptFormatOrKeep(const BITMAPINFOHEADER& header, const BITMAPINFOHEADER& fallback);
// Copies the device's client format (40 bytes); FALSE and nothing copied while
// the format is invalid.
BOOL FillFormat(BITMAPINFOHEADER* destination);
// 1 at stream init, 0 at stream end: the half-size camera set-up and its restore.
BOOL SetStreamFormat(int on);
