// The kernel port device \\.\VidCap0: opening and closing it, and one wrapper
// per control request. Every wrapper sends its packed record to
// Driver().portDevice and returns the device's reply; a failed call reads as 0.
#pragma once

#include "platform/types.h"
#include "port/port_records.h"

constexpr std::size_t kPortDeviceNameSize = 22;  // WCHARs in each of the two name buffers
constexpr int kPortDeviceIndex = 0;              // the driver only ever opens \\.\VidCap0

// Builds "\\.\VidCap<index>" into out (kPortDeviceNameSize WCHARs, always terminated).
void FormatPortDeviceName(int index, WCHAR* out);

// Opens the device; INVALID_HANDLE_VALUE when it is absent. The caller stores
// the handle in Driver().portDevice.
HANDLE OpenPortDevice(int index);
// Closes the handle unless it is INVALID_HANDLE_VALUE. The caller forgets the
// handle it stored, so a later close never closes a stale handle.
void ClosePortDevice(HANDLE device);

// ---- the request wrappers. Each returns the 32-bit reply (0 = refused, or the
// call itself failed); the three requests without a reply return the call's own
// success flag. For PortPoll, 0 means "no data ready", not an error.
DWORD PortAttach(PortEntry* entry, BYTE lptNumber);
DWORD PortClaim(PortEntry* entry);
DWORD PortRelease(PortEntry* entry);
DWORD PortPoll(PortEntry* entry);
DWORD PortNegotiate(PortEntry* entry, BYTE mode);
DWORD PortTerminate(PortEntry* entry);
DWORD PortFrameBegin(PortEntry* entry, BYTE mode, BYTE option);
DWORD PortFrameEnd(PortEntry* entry);
DWORD PortReverse(PortEntry* entry);
DWORD PortEcpWriteCommand(PortEntry* entry, BYTE command);
DWORD PortEcpWrite(PortEntry* entry, const BYTE* buffer, DWORD count);
DWORD PortEcpRead(PortEntry* entry, BYTE* buffer, DWORD count);
DWORD PortCompatWriteCommand(PortEntry* entry, BYTE command);
DWORD PortCompatWrite(PortEntry* entry, const BYTE* buffer, DWORD count);
DWORD PortByteRead(PortEntry* entry, BYTE* buffer, DWORD count);
DWORD PortNibbleRead(PortEntry* entry, BYTE* buffer, DWORD count);
DWORD PortEcpReadFrame(PortEntry* entry, BYTE* buffer, DWORD count);
DWORD PortEcpReadFrameVar(PortEntry* entry, BYTE* buffer, DWORD count, DWORD* countRead);
DWORD PortByteReadFrame(PortEntry* entry, BYTE* buffer, DWORD count);
DWORD PortByteReadFrameVar(PortEntry* entry, BYTE* buffer, DWORD count, DWORD* countRead);
DWORD PortNibbleReadFrame(PortEntry* entry, BYTE* buffer, DWORD count);
DWORD PortNibbleReadFrameVar(PortEntry* entry, BYTE* buffer, DWORD count, DWORD* countRead);
DWORD PortOutB(PortEntry* entry, BYTE value);
DWORD PortOutA(PortEntry* entry, BYTE value);
