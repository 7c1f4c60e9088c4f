// The port operations: each is a fixed sequence of kernel requests on the
// current port, and each opens and closes its own transfer phase.
#include "port/port.h"

#include <cstring>

#include "core/driver_state.h"
#include "platform/platform.h"
#include "port/port_device.h"

namespace {

constexpr DWORD kResetSettleMs = 500;
constexpr BYTE kResetLineA = 12;
constexpr BYTE kResetLineB = 4;

bool HasFlag(const PortEntry* entry, WORD flag) { return (entry->PortFlags & flag) != 0; }
void SetFlag(PortEntry* entry, WORD flag) { entry->PortFlags = static_cast<WORD>(entry->PortFlags | flag); }
void ClearFlag(PortEntry* entry, WORD flag) { entry->PortFlags = static_cast<WORD>(entry->PortFlags & ~flag); }

// Length of a zero-terminated text in a buffer of kDeviceIdSize bytes.
WORD TextLength(const BYTE* text) {
  std::size_t n = 0;
  while (n < kDeviceIdSize && text[n] != 0) ++n;
  return static_cast<WORD>(n);
}

// The byte-wide identification test (the part of OpenPort between reading the
// ID in nibbles and the forced mode). 0 when the test is over, whatever it
// decided about PORT_FLAG_BIDIR; otherwise the code OpenPort returns.
int TestByteWide(PortEntry* entry, const BYTE* id1) {
  WORD idLength = TextLength(id1);
  BYTE id2[kDeviceIdSize] = {};

  if (PortNegotiate(entry, PORT_NEGOTIATE_ID_BYTE) == 0) return PORT_ERR_NEGOTIATE;
  // A refused reverse leaves the phase as it is: no terminate follows.
  if (PortReverse(entry) == 0) return PORT_ERR_REVERSE;
  SetFlag(entry, PORT_FLAG_BIDIR);

  if (PortByteRead(entry, id2, 2) == 0) {
    ClearFlag(entry, PORT_FLAG_BIDIR);
    PortTerminate(entry);
    return PORT_ERR_BYTE_READ;
  }
  WORD testLength = static_cast<WORD>(id2[0] * 256 + id2[1] - 2);
  if (testLength != idLength) {
    ClearFlag(entry, PORT_FLAG_BIDIR);
    return PortTerminate(entry) == 0 ? PORT_ERR_TERMINATE : 0;
  }
  // testLength equals idLength, which is at most 255: it fits id2 with its zero.
  if (PortByteRead(entry, id2, testLength) == 0) {
    ClearFlag(entry, PORT_FLAG_BIDIR);
    PortTerminate(entry);
    return PORT_ERR_BYTE_READ;
  }
  if (PortTerminate(entry) == 0) return PORT_ERR_TERMINATE;
  id2[testLength] = 0;
  if (std::strcmp(reinterpret_cast<const char*>(id1), reinterpret_cast<const char*>(id2)) != 0) {
    ClearFlag(entry, PORT_FLAG_BIDIR);
  }
  return 0;
}

void ApplyForcedMode(PortEntry* entry) {
  WORD debugFlags = Driver().debugFlags;
  if (debugFlags & DEBUG_FORCE_BIDIR) {
    ClearFlag(entry, PORT_FLAG_4BIT | PORT_FLAG_ECP);
    SetFlag(entry, PORT_FLAG_BIDIR);
  } else if (debugFlags & DEBUG_FORCE_4BIT) {
    ClearFlag(entry, PORT_FLAG_BIDIR | PORT_FLAG_ECP);
    SetFlag(entry, PORT_FLAG_4BIT);
  }
}

// Frame reads pick their mode byte and read request from the flags.
struct FrameMode {
  BYTE mode;
  DWORD (*fixed)(PortEntry*, BYTE*, DWORD);
  DWORD (*counted)(PortEntry*, BYTE*, DWORD, DWORD*);
};

FrameMode FrameModeOf(const PortEntry* entry) {
  if (!HasFlag(entry, PORT_FLAG_BIDIR)) return {PORT_FRAME_NIBBLE, PortNibbleReadFrame, PortNibbleReadFrameVar};
  if (HasFlag(entry, PORT_FLAG_ECP)) return {PORT_FRAME_ECP, PortEcpReadFrame, PortEcpReadFrameVar};
  return {PORT_FRAME_BYTE, PortByteReadFrame, PortByteReadFrameVar};
}

}  // namespace

PortState& Ports() { return Context().Module<PortState>(); }

PortEntry* CurrentPortEntry() {
  PortState& state = Ports();
  if (state.currentLpt < 1 || state.currentLpt > kPortCount) return nullptr;
  return &state.entries[state.currentLpt - 1];
}

BOOL SelectPort(int lptNumber) {
  if (lptNumber < 1 || lptNumber > kPortCount) return FALSE;
  Ports().currentLpt = lptNumber;
  return TRUE;
}

int OpenPort() {
  PortEntry* entry = CurrentPortEntry();
  // Without a current port there is nothing to attach: as refused, with no traffic.
  if (entry == nullptr) return PORT_ERR_ATTACH;

  if (PortAttach(entry, static_cast<BYTE>(Ports().currentLpt)) == 0) return PORT_ERR_ATTACH;
  if (PortClaim(entry) == 0) return PORT_ERR_CLAIM;
  ResetCamera();

  BYTE id1[kDeviceIdSize] = {};
  int code = ReadDeviceId(id1);
  if (code != 0) return code;

  // A byte-wide mode won earlier stays: no need to test it again.
  if (!HasFlag(entry, PORT_FLAG_BIDIR)) {
    code = TestByteWide(entry, id1);
    if (code != 0) return code;
  }
  ApplyForcedMode(entry);
  return 0;
}

DWORD ReleasePort() {
  PortEntry* entry = CurrentPortEntry();
  return entry != nullptr ? PortRelease(entry) : 0;
}

WORD GetPortFlags() {
  PortEntry* entry = CurrentPortEntry();
  return entry != nullptr ? entry->PortFlags : 0;
}

int GetPortMode() {
  WORD flags = GetPortFlags();
  if (flags & PORT_FLAG_ECP) return PORT_MODE_ECP;
  if (flags & PORT_FLAG_BIDIR) return PORT_MODE_BIDIR;
  return PORT_MODE_4BIT;
}

void ResetCamera() {
  PortEntry* entry = CurrentPortEntry();
  if (entry != nullptr) {
    PortOutA(entry, kResetLineA);
    PortOutA(entry, kResetLineA);
    PortOutB(entry, kResetLineB);
  }
  // Let the camera settle.
  platform::WaitElapsed(platform::TimeGetTime(), kResetSettleMs);
}

int ReadDeviceId(BYTE* buffer) {
  PortEntry* entry = CurrentPortEntry();
  if (buffer == nullptr) return PORT_ERR_NIBBLE_READ;
  buffer[0] = 0;
  if (entry == nullptr) return PORT_ERR_NEGOTIATE;

  if (PortNegotiate(entry, PORT_NEGOTIATE_ID_NIBBLE) == 0) return PORT_ERR_NEGOTIATE;
  BYTE lengthField[2] = {0, 0};
  if (PortNibbleRead(entry, lengthField, 2) == 0) {
    PortTerminate(entry);
    return PORT_ERR_NIBBLE_READ;
  }
  // The length is big-endian and counts its own two bytes.
  WORD length = static_cast<WORD>(lengthField[0] * 256 + lengthField[1]);
  if (length < 3) {
    PortTerminate(entry);
    return PORT_ERR_ID_LENGTH;
  }
  DWORD n = length - 2u;
  if (n > kDeviceIdSize - 1) n = kDeviceIdSize - 1;  // the rest of a longer ID is left unread
  if (PortNibbleRead(entry, buffer, n) == 0) {
    buffer[0] = 0;
    PortTerminate(entry);
    return PORT_ERR_NIBBLE_READ;
  }
  buffer[n] = 0;
  return PortTerminate(entry) != 0 ? 0 : PORT_ERR_TERMINATE;
}

int PollPortReady() {
  PortEntry* entry = CurrentPortEntry();
  if (entry == nullptr) return PORT_NOT_READY;
  return PortPoll(entry) != 0 ? PORT_READY : PORT_NOT_READY;
}

BOOL SendPortCommand(BYTE command) {
  if (command & 1) return FALSE;  // odd bytes cannot be sent: refused before any traffic
  PortEntry* entry = CurrentPortEntry();
  if (entry == nullptr) return FALSE;
  BYTE wire = static_cast<BYTE>((command >> 1) | (command & 0x80));

  if (PortNegotiate(entry, PORT_NEGOTIATE_FORWARD) == 0) return FALSE;
  DWORD written = HasFlag(entry, PORT_FLAG_ECP) ? PortEcpWriteCommand(entry, wire)
                                                : PortCompatWriteCommand(entry, wire);
  if (written == 0) return FALSE;  // the phase is left as the device has it
  return PortTerminate(entry) != 0 ? TRUE : FALSE;
}

BOOL WritePortBlock(const BYTE* buffer, DWORD count) {
  PortEntry* entry = CurrentPortEntry();
  DWORD bytes = count & 0xFF;
  if (entry == nullptr || (buffer == nullptr && bytes != 0)) return FALSE;

  if (PortNegotiate(entry, PORT_NEGOTIATE_FORWARD) == 0) return FALSE;
  DWORD written = HasFlag(entry, PORT_FLAG_ECP) ? PortEcpWrite(entry, buffer, bytes)
                                                : PortCompatWrite(entry, buffer, bytes);
  if (written == 0) return FALSE;
  return PortTerminate(entry) != 0 ? TRUE : FALSE;
}

BOOL ReadPortBlock(BYTE* buffer, DWORD count) {
  PortEntry* entry = CurrentPortEntry();
  DWORD bytes = count & 0xFF;
  if (entry == nullptr || (buffer == nullptr && bytes != 0)) return FALSE;

  DWORD read = 0;
  if (HasFlag(entry, PORT_FLAG_BIDIR)) {
    if (PortNegotiate(entry, PORT_NEGOTIATE_FORWARD) == 0) return FALSE;
    if (PortReverse(entry) != 0) {
      read = HasFlag(entry, PORT_FLAG_ECP) ? PortEcpRead(entry, buffer, bytes) : PortByteRead(entry, buffer, bytes);
    }
  } else {
    // Without byte-wide reverse transfers the block comes in nibbles, even on an ECP port.
    if (PortNegotiate(entry, PORT_NEGOTIATE_NIBBLE_DATA) == 0) return FALSE;
    read = PortNibbleRead(entry, buffer, bytes);
  }
  if (read == 0) {
    PortTerminate(entry);
    return FALSE;
  }
  return PortTerminate(entry) != 0 ? TRUE : FALSE;
}

BOOL ReadPortFrame(BYTE* buffer, DWORD count) {
  PortEntry* entry = CurrentPortEntry();
  if (entry == nullptr || (buffer == nullptr && count != 0)) return FALSE;
  FrameMode mode = FrameModeOf(entry);

  if (PortFrameBegin(entry, mode.mode, PORT_FRAME_FIXED) == 0) return FALSE;
  if (mode.fixed(entry, buffer, count) == 0) {
    PortFrameEnd(entry);
    return FALSE;
  }
  return PortFrameEnd(entry) != 0 ? TRUE : FALSE;
}

BOOL ReadPortFrameCounted(BYTE* buffer, DWORD maximum, DWORD* countRead) {
  PortEntry* entry = CurrentPortEntry();
  if (entry == nullptr || countRead == nullptr || (buffer == nullptr && maximum != 0)) return FALSE;
  FrameMode mode = FrameModeOf(entry);

  if (PortFrameBegin(entry, mode.mode, PORT_FRAME_COUNTED) == 0) return FALSE;
  if (mode.counted(entry, buffer, maximum, countRead) == 0) {
    PortFrameEnd(entry);
    return FALSE;
  }
  return PortFrameEnd(entry) != 0 ? TRUE : FALSE;
}
