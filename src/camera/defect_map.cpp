// Loading, replacing and storing the defect map.
#include "camera/defect_map.h"

#include <cstring>

#include "camera/camera_state.h"
#include "camera/eeprom.h"
#include "camera/eeprom_segments.h"
#include "camera/sensor_ops.h"
#include "platform/platform.h"

namespace {

constexpr UINT kSystemModal = 0x00001000;
// What a 1024-bit EEPROM holds of the map: 32 entries.
constexpr DWORD kSmallEepromMapBytes = 96;

DWORD MapBytesFor(DWORD eepromBits) {
  return eepromBits == kEepromBits4096 ? kDefectSegmentBytes : kSmallEepromMapBytes;
}

int ClampCount(int count) {
  if (count < 0) return 0;
  return count > kDefectMapEntries ? kDefectMapEntries : count;
}

void SetEepromAccess(SensorOps* ops, int state) {
  if (ops != nullptr && ops->SetEepromAccess != nullptr) ops->SetEepromAccess(ops, state);
}

}  // namespace

DefectTable& GetDefectTable() { return Camera().defectTable; }

BOOL LoadDefectMap(SensorOps* ops, BYTE* destination, int count) {
  if (destination == nullptr) return FALSE;
  count = ClampCount(count);
  const DWORD size = ProbeEEPROMSize();
  // Each segment is read as far as the EEPROM can hold one (a checksum covers
  // what was stored, not what a caller happens to want), into a table-sized
  // staging copy; only the entries the caller asked for reach the destination.
  const DWORD n = MapBytesFor(size);
  DefectTable staging{};
  BYTE* map = staging.Bytes();
  BOOL result = FALSE;
  SetEepromAccess(ops, 0);
  if (OpenEEPROM()) {
    result = GetDefectSegment(SEGMENT_DEFECTS_FIRST, n, map);
    if (result && size == kEepromBits4096) result = GetDefectSegment(SEGMENT_DEFECTS_SECOND, n, map + kDefectSegmentBytes);
  }
  SetEepromAccess(ops, 1);
  std::memcpy(destination, map, static_cast<std::size_t>(count) * kDefectEntrySize);
  return result;
}

void SetDefectTable(const BYTE* entries) {
  if (entries == nullptr) return;
  std::memcpy(Camera().defectTable.Bytes(), entries, kDefectMapBytes);
}

BOOL StoreDefectMap() {
  const DefectTable& table = Camera().defectTable;
  int used = 0;
  while (used < kDefectMapEntries && table.entries[used].Kind() != 0) ++used;
  const DWORD bytes = static_cast<DWORD>(used) * kDefectEntrySize;

  const DWORD capacity = MapBytesFor(ProbeEEPROMSize());
  if (!OpenEEPROM()) return FALSE;
  ClearEEPROMImage();
  if (!PutDefectSegment(SEGMENT_DEFECTS_FIRST, bytes < capacity ? bytes : capacity, capacity, table.Bytes()))
    return FALSE;
  PutDefectSegment(SEGMENT_DEFECTS_SECOND, capacity, capacity, table.Bytes() + kDefectSegmentBytes);
  if (!SaveEEPROM(1)) return FALSE;
  return CheckEEPROMContents(CurrentSensorOps(), table.Bytes(), kDefectMapEntries);
}

BOOL CheckEEPROMContents(SensorOps* ops, const BYTE* expected, int count) {
  count = ClampCount(count);
  DefectTable copy{};
  bool equal = false;
  if (LoadDefectMap(ops, copy.Bytes(), kDefectMapEntries) && expected != nullptr) {
    // The size is the one LoadDefectMap just probed.
    const DWORD entryBytes = static_cast<DWORD>(count) * kDefectEntrySize;
    DWORD compared = Camera().eepromBits == kEepromBits4096 ? entryBytes : kSmallEepromMapBytes;
    if (compared > entryBytes) compared = entryBytes;
    equal = std::memcmp(copy.Bytes(), expected, compared) == 0;
  }
  if (equal) return TRUE;
  platform::MessageBox(nullptr, "EEPROM contents not written correctly", "CheckEEPROMContents()",
                       MB_ICONWARNING | kSystemModal);
  return FALSE;
}
