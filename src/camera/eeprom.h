// The camera's serial EEPROM: its size, byte reads and writes over the camera
// bus, and the 512-byte memory image the driver mirrors it in (block 0 at image
// offset 0, block 2 at image offset 248).
#pragma once

#include "platform/types.h"

constexpr DWORD kEepromBits4096 = 4096;  // two pages of 256 bytes: blocks 0 and 2
constexpr DWORD kEepromBits1024 = 1024;  // one page of 128 bytes: block 0
constexpr BYTE kEepromBlockFirst = 0;
constexpr BYTE kEepromBlockSecond = 2;
constexpr std::size_t kEepromSecondPageOffset = 248;  // image offset of block 2
constexpr DWORD kEepromWritePollLimit = 100;

// 4096, 1024, or 0 when the EEPROM does not answer.
DWORD ProbeEEPROMSize();
// Sets the EEPROM's address once, then fetches count bytes from its current
// address, each as its own bus transaction.
BOOL EepromReadRun(BYTE block, WORD address, WORD count, BYTE* buffer);
// Reads count bytes one at a time, stopping at the first failure.
BOOL EepromReadBytes(BYTE block, WORD address, WORD count, BYTE* buffer);
// Writes count bytes, waiting out each byte's write cycle (at most 100 polls).
BOOL EepromWriteBytes(BYTE block, WORD address, WORD count, const BYTE* data);

// Reads the EEPROM into the image; TRUE only when every read succeeded.
BOOL OpenEEPROM();
// Writes the image back when flag is nonzero (flag 0: TRUE, nothing written).
BOOL SaveEEPROM(int flag);
BOOL ClearEEPROMImage();
// The image (kEepromImageSize bytes).
BYTE* EEPROMImage();
