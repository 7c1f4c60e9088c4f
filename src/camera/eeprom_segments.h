// The segment chain in the EEPROM image: tagged segments one after another from
// offset 0, each data segment guarded by a nibble checksum in a segment of its
// own. The defect map lives in segments 3 and 4 (checksums in 5 and 6).
#pragma once

#include "platform/types.h"

constexpr BYTE kSegmentTag = 0x50;
constexpr BYTE kSegmentIdMask = 0xAF;
constexpr int kSegmentScanLimit = 16;
constexpr std::size_t kSegmentHeaderSize = 2;
constexpr std::size_t kChecksumSize = 4;

constexpr BYTE SEGMENT_DEFECTS_FIRST = 3;
constexpr BYTE SEGMENT_DEFECTS_SECOND = 4;
constexpr BYTE SEGMENT_CHECKSUM_FIRST = 5;
constexpr BYTE SEGMENT_CHECKSUM_SECOND = 6;

struct NibbleSums {
  WORD high;  // sum of the high nibbles (byte & 0xF0)
  WORD low;   // sum of the low nibbles (byte & 0x0F)
};

// TRUE with the segment's id and length when offset holds a valid header whose
// data lies inside the image.
BOOL ParseSegmentHeader(DWORD offset, BYTE* id, BYTE* length);
// Appends an empty segment at the end of the chain; FALSE when the id is taken
// or the segment would not fit.
BOOL CreateSegment(BYTE id, DWORD length);
BOOL WriteSegmentData(BYTE id, DWORD count, const BYTE* data);
// Copies count bytes of the segment's data; bytes the segment does not hold
// read as 0.
BOOL ReadSegmentData(BYTE id, DWORD count, BYTE* buffer);
NibbleSums NibbleChecksum(const BYTE* data, DWORD count);
// The four stored checksum bytes: H low, H high, L low, L high.
void EncodeNibbleChecksum(const NibbleSums& sums, BYTE (&bytes)[kChecksumSize]);

// Defect-map segment 3 or 4 with its checksum segment: create with length
// bytes, write count bytes of data, store the checksum over them.
BOOL PutDefectSegment(BYTE id, DWORD count, DWORD length, const BYTE* data);
// Reads count bytes of segment 3 or 4 and checks them against the stored
// checksum (no checksum segment: no test).
BOOL GetDefectSegment(BYTE id, DWORD count, BYTE* buffer);
