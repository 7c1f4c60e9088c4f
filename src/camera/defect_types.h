// The defect map's records: the packed 3-byte entries kept in the camera's
// EEPROM, the unpacked and sorted defect list, and the per-format correction
// list that frame repair walks.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "zarncap/messages.h"

constexpr std::size_t kDefectEntrySize = 3;
static_assert(kDefectMapBytes == kDefectMapEntries * kDefectEntrySize);
constexpr std::size_t kDefectSegmentBytes = 240;  // entries 0..79 in segment 3, 80..159 in segment 4

// Sensor geometry: 388 positions make one sensor row; pixels of one colour are
// 2 positions apart in a row and 776 (two rows) apart in a column.
constexpr DWORD kSensorRowLength = 388;
constexpr DWORD kSameColourRowStep = 2;
constexpr DWORD kSameColourColumnStep = 2 * kSensorRowLength;

// Neighbour flags: which same-colour neighbour cannot be used for a repair.
constexpr int DEFECT_NO_ABOVE = 1;
constexpr int DEFECT_NO_RIGHT = 2;
constexpr int DEFECT_NO_BELOW = 4;
constexpr int DEFECT_NO_LEFT = 8;
constexpr int DEFECT_NO_NEIGHBOUR = 15;

// Byte 0: bits 0..2 kind (0 = empty entry), bits 3..5 not interpreted, bits
// 6..7 position bits 16..17. Bytes 1..2: position bits 0..15, little-endian.
struct DefectEntry {
  BYTE bytes[kDefectEntrySize];

  int Kind() const { return bytes[0] & 0x07; }
  DWORD Position() const {
    return (static_cast<DWORD>(bytes[0] & 0xC0) << 10) | (static_cast<DWORD>(bytes[2]) << 8) | bytes[1];
  }
  static DefectEntry Make(int kind, DWORD position) {
    return DefectEntry{{static_cast<BYTE>((kind & 0x07) | ((position >> 10) & 0xC0)),
                        static_cast<BYTE>(position & 0xFF), static_cast<BYTE>((position >> 8) & 0xFF)}};
  }
};
static_assert(sizeof(DefectEntry) == kDefectEntrySize);

struct DefectTable {
  DefectEntry entries[kDefectMapEntries];

  BYTE* Bytes() { return &entries[0].bytes[0]; }
  const BYTE* Bytes() const { return &entries[0].bytes[0]; }
};
static_assert(sizeof(DefectTable) == kDefectMapBytes);

struct DefectItem {
  std::int32_t kind;
  std::int32_t position;
  std::int32_t flags;
};

struct DefectList {
  std::int32_t count;
  DefectItem items[kDefectMapEntries];
};

struct CorrectionItem {
  std::int32_t kind;
  std::int32_t colourClass;
  std::int32_t x;
  std::int32_t y;
  std::int32_t flags;
};

struct CorrectionList {
  std::int32_t count;
  CorrectionItem items[kDefectMapEntries];
};

// The mode and sensor window the correction list was prepared for.
struct CorrectionWindow {
  DWORD mode;
  std::int16_t x0;
  std::int16_t y0;
  std::int16_t x1;
  std::int16_t y1;
};
