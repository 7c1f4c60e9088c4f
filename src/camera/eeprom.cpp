// EEPROM size probe, byte transfers and the memory image.
#include "camera/eeprom.h"

#include <cstdio>
#include <cstring>

#include "camera/camera_bus.h"
#include "camera/camera_state.h"
#include "core/driver_state.h"
#include "platform/platform.h"

namespace {

constexpr WORD kProbeAddressFirst = 42;
constexpr WORD kProbeAddressSecond = 150;
constexpr std::size_t kPageBytesLarge = 256;
constexpr std::size_t kPageBytesSmall = 128;

// Byte operations refuse an empty or out-of-image range before any bus traffic.
bool InRange(WORD address, WORD count) {
  return count >= 1 && address < kEepromImageSize && static_cast<DWORD>(address) + count <= kEepromImageSize;
}

// Error bookkeeping of one bus transaction: a failed start or byte write also
// calls for a final stop; a failed stop is only an error.
struct BusTransaction {
  // The EEPROM sits on the bus of the selected camera.
  CaptureDevice* device = CurrentCaptureDevice();
  bool error = false;
  bool finalStop = false;

  void Start() {
    if (!BusStart(device)) Fail();
  }
  UINT Write(BYTE value) {
    UINT ack = BusWriteByte(device, value);
    if (ack == 0) Fail();
    return ack;
  }
  void Read(BYTE* value) {
    if (!BusReadByte(device, value, BUS_ACK_LAST)) Fail();
  }
  void Stop() {
    if (!BusStop(device)) error = true;
  }
  void Fail() {
    error = true;
    finalStop = true;
  }
  BOOL Finish() {
    if (finalStop) BusStop(device);
    return error ? FALSE : TRUE;
  }
};

BYTE WriteAddress(BYTE block) { return static_cast<BYTE>(kEepromBusAddress | block); }
BYTE ReadAddress(BYTE block) { return static_cast<BYTE>(kEepromBusAddress | 1 | block); }

void ReportReadError(const char* page) {
  if (!(Driver().debugFlags & DEBUG_EEPROM_BOXES)) return;
  char text[64];
  std::snprintf(text, sizeof text, "Error reading EEPROM, %s page", page);
  platform::MessageBox(nullptr, text, "OpenEEPROM()", MB_ICONWARNING);
}

}  // namespace

BYTE* EEPROMImage() { return Camera().eepromImage; }

DWORD ProbeEEPROMSize() {
  BYTE scratch = 0;
  DWORD bits = 0;
  if (EepromReadBytes(kEepromBlockFirst, kProbeAddressFirst, 1, &scratch)) {
    bits = EepromReadBytes(kEepromBlockSecond, kProbeAddressSecond, 1, &scratch) ? kEepromBits4096 : kEepromBits1024;
  }
  Camera().eepromBits = bits;
  return bits;
}

BOOL EepromReadRun(BYTE block, WORD address, WORD count, BYTE* buffer) {
  if (!InRange(address, count) || buffer == nullptr) return FALSE;
  BusTransaction bus;
  bus.Start();
  if (!bus.error) bus.Write(WriteAddress(block));
  if (!bus.error) bus.Write(static_cast<BYTE>(address & 0xFF));
  if (!bus.finalStop) bus.Stop();
  for (WORD i = 0; i < count && !bus.error; ++i) {
    bus.Start();
    if (!bus.error) bus.Write(ReadAddress(block));
    if (!bus.error) bus.Read(&buffer[i]);
    if (!bus.finalStop) bus.Stop();
  }
  return bus.Finish();
}

BOOL EepromReadBytes(BYTE block, WORD address, WORD count, BYTE* buffer) {
  if (!InRange(address, count) || buffer == nullptr) return FALSE;
  for (WORD i = 0; i < count; ++i) {
    if (!EepromReadRun(block, static_cast<WORD>(address + i), 1, buffer + i)) return FALSE;
  }
  return TRUE;
}

BOOL EepromWriteBytes(BYTE block, WORD address, WORD count, const BYTE* data) {
  if (!InRange(address, count) || data == nullptr) return FALSE;
  BusTransaction bus;
  for (WORD i = 0; i < count && !bus.error; ++i) {
    bus.Start();
    if (!bus.error) bus.Write(WriteAddress(block));
    if (!bus.error) bus.Write(static_cast<BYTE>((address + i) & 0xFF));
    if (!bus.error) bus.Write(data[i]);
    if (!bus.finalStop) bus.Stop();
    if (bus.error) break;

    // The EEPROM ignores its address while the write cycle runs: poll until it
    // acknowledges again, at most 100 times.
    DWORD polls = 0;
    for (;;) {
      if (!BusStart(bus.device)) {
        bus.error = true;
        break;
      }
      const UINT ack = BusWriteByte(bus.device, WriteAddress(block));
      if (!BusStop(bus.device)) {
        bus.error = true;
        break;
      }
      if (++polls >= kEepromWritePollLimit) {
        bus.error = true;
        break;
      }
      if (ack != 0) break;
    }
  }
  return bus.Finish();
}

BOOL OpenEEPROM() {
  const DWORD size = ProbeEEPROMSize();
  ClearEEPROMImage();
  BYTE* image = EEPROMImage();
  const WORD firstBytes = static_cast<WORD>(size == kEepromBits4096 ? kPageBytesLarge : kPageBytesSmall);
  if (!EepromReadBytes(kEepromBlockFirst, 0, firstBytes, image)) {
    ReportReadError("first");
    return FALSE;
  }
  if (size == kEepromBits4096 &&
      !EepromReadBytes(kEepromBlockSecond, 0, kPageBytesLarge, image + kEepromSecondPageOffset)) {
    ReportReadError("second");
    return FALSE;
  }
  return TRUE;
}

BOOL SaveEEPROM(int flag) {
  if (flag == 0) return TRUE;
  const DWORD size = ProbeEEPROMSize();
  const BYTE* image = EEPROMImage();
  const WORD firstBytes = static_cast<WORD>(size == kEepromBits4096 ? kPageBytesLarge : kPageBytesSmall);
  if (!EepromWriteBytes(kEepromBlockFirst, 0, firstBytes, image)) return FALSE;
  if (size != kEepromBits4096) return TRUE;
  return EepromWriteBytes(kEepromBlockSecond, 0, kPageBytesLarge, image + kEepromSecondPageOffset);
}

BOOL ClearEEPROMImage() {
  std::memset(Camera().eepromImage, 0, kEepromImageSize);
  return TRUE;
}
