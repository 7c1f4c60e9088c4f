// Segment chain over the EEPROM image.
#include "camera/eeprom_segments.h"

#include <cstring>

#include "camera/camera_state.h"
#include "core/driver_state.h"
#include "platform/platform.h"

namespace {

// System-modal message boxes (MB_SYSTEMMODAL).
constexpr UINT kSystemModal = 0x00001000;
// CreateSegment leaves the last bytes of the image free.
constexpr DWORD kLastSegmentOffset = 509;

struct SegmentSpot {
  DWORD offset;  // of the header
  BYTE length;
};

// Walks the chain from offset 0: at most 16 headers, stopping at the first
// invalid one. Returns TRUE with the segment's place when the id was found;
// otherwise *end is where the chain stops.
BOOL FindSegment(BYTE id, SegmentSpot* found, DWORD* end) {
  DWORD offset = 0;
  for (int i = 0; i < kSegmentScanLimit; ++i) {
    BYTE headerId = 0, length = 0;
    if (!ParseSegmentHeader(offset, &headerId, &length)) break;
    if (headerId == id) {
      if (found != nullptr) *found = {offset, length};
      if (end != nullptr) *end = offset;
      return TRUE;
    }
    offset += length + kSegmentHeaderSize;
  }
  if (end != nullptr) *end = offset;
  return FALSE;
}

BYTE ChecksumIdOf(BYTE id) {
  if (id == SEGMENT_DEFECTS_FIRST) return SEGMENT_CHECKSUM_FIRST;
  if (id == SEGMENT_DEFECTS_SECOND) return SEGMENT_CHECKSUM_SECOND;
  return 0;
}

}  // namespace

BOOL ParseSegmentHeader(DWORD offset, BYTE* id, BYTE* length) {
  // A header needs both its bytes inside the image, and its data too: a length
  // that runs past the image (an EEPROM written elsewhere, or corrupted) ends the chain.
  if (offset + kSegmentHeaderSize > kEepromImageSize) return FALSE;
  const BYTE* image = Camera().eepromImage;
  const BYTE header = image[offset];
  const BYTE segmentLength = image[offset + 1];
  if ((header & kSegmentTag) != kSegmentTag || segmentLength == 0 || (header & kSegmentIdMask) == 0) return FALSE;
  if (offset + kSegmentHeaderSize + segmentLength > kEepromImageSize) return FALSE;
  if (id != nullptr) *id = static_cast<BYTE>(header & kSegmentIdMask);
  if (length != nullptr) *length = segmentLength;
  return TRUE;
}

BOOL CreateSegment(BYTE id, DWORD length) {
  DWORD end = 0;
  if (FindSegment(id, nullptr, &end)) return FALSE;
  length &= 0xFF;
  if (end >= kLastSegmentOffset || end + length + kSegmentHeaderSize >= kEepromImageSize) return FALSE;
  BYTE* image = Camera().eepromImage;
  image[end] = static_cast<BYTE>(id | kSegmentTag);
  image[end + 1] = static_cast<BYTE>(length);
  return TRUE;
}

BOOL WriteSegmentData(BYTE id, DWORD count, const BYTE* data) {
  SegmentSpot spot{};
  if (!FindSegment(id, &spot, nullptr)) return FALSE;
  count &= 0xFF;
  if (count > spot.length) return FALSE;
  if (count > 0 && data == nullptr) return FALSE;
  if (count > 0) std::memcpy(Camera().eepromImage + spot.offset + kSegmentHeaderSize, data, count);
  return TRUE;
}

BOOL ReadSegmentData(BYTE id, DWORD count, BYTE* buffer) {
  SegmentSpot spot{};
  if (!FindSegment(id, &spot, nullptr)) return FALSE;
  count &= 0xFF;
  if (count > 0 && buffer == nullptr) return FALSE;
  const DWORD copied = count < spot.length ? count : spot.length;
  if (copied > 0) std::memcpy(buffer, Camera().eepromImage + spot.offset + kSegmentHeaderSize, copied);
  if (count > copied) std::memset(buffer + copied, 0, count - copied);
  return TRUE;
}

NibbleSums NibbleChecksum(const BYTE* data, DWORD count) {
  NibbleSums sums{0, 0};
  for (DWORD i = 0; i < count; ++i) {
    sums.high = static_cast<WORD>(sums.high + (data[i] & 0xF0));
    sums.low = static_cast<WORD>(sums.low + (data[i] & 0x0F));
  }
  return sums;
}

void EncodeNibbleChecksum(const NibbleSums& sums, BYTE (&bytes)[kChecksumSize]) {
  bytes[0] = static_cast<BYTE>(sums.high & 0xFF);
  bytes[1] = static_cast<BYTE>(sums.high >> 8);
  bytes[2] = static_cast<BYTE>(sums.low & 0xFF);
  bytes[3] = static_cast<BYTE>(sums.low >> 8);
}

BOOL PutDefectSegment(BYTE id, DWORD count, DWORD length, const BYTE* data) {
  const BYTE checksumId = ChecksumIdOf(id);
  if (checksumId == 0) return FALSE;
  if (!CreateSegment(id, length)) return FALSE;
  if (!WriteSegmentData(id, count, data)) return FALSE;
  if (!CreateSegment(checksumId, kChecksumSize)) return FALSE;
  BYTE stored[kChecksumSize];
  EncodeNibbleChecksum(NibbleChecksum(data, count & 0xFF), stored);
  return WriteSegmentData(checksumId, kChecksumSize, stored);
}

BOOL GetDefectSegment(BYTE id, DWORD count, BYTE* buffer) {
  const BYTE checksumId = ChecksumIdOf(id);
  if (checksumId == 0) return FALSE;
  if (!ReadSegmentData(id, count, buffer)) return FALSE;
  BYTE stored[kChecksumSize];
  if (!ReadSegmentData(checksumId, kChecksumSize, stored)) return TRUE;
  BYTE computed[kChecksumSize];
  EncodeNibbleChecksum(NibbleChecksum(buffer, count & 0xFF), computed);
  if (std::memcmp(stored, computed, kChecksumSize) == 0) return TRUE;
  if (Driver().debugFlags & DEBUG_EEPROM_BOXES) {
    const char* text = id == SEGMENT_DEFECTS_FIRST ? "Error in EEPROM checksum, first page"
                                                   : "Error in EEPROM checksum, second page";
    platform::MessageBox(nullptr, text, "GetDefectSegment()", MB_ICONWARNING | kSystemModal);
  }
  return FALSE;
}
