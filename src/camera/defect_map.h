// The camera's defect map: the process-wide DefectTable loaded from and stored
// to the EEPROM, and the per-format repair of the defective pixels in every raw
// frame (correction list prepared when the format changes, applied per frame).
#pragma once

#include <cstdint>

#include "camera/defect_types.h"
#include "core/frame_limits.h"
#include "platform/types.h"

struct SensorOps;

// The process-wide table (kDefectMapEntries entries).
DefectTable& GetDefectTable();

// Loads count entries (at most 160) from EEPROM segments 3 and 4 into
// destination, bracketing the reads with the sensor's SetEepromAccess 0 and 1.
BOOL LoadDefectMap(SensorOps* ops, BYTE* destination, int count);
// Replaces the table with 480 bytes of entries.
void SetDefectTable(const BYTE* entries);
// Writes the table into a fresh EEPROM image and back to the camera, then reads
// it back to check it.
BOOL StoreDefectMap();
// Loads the map again and compares it with expected; a mismatch always shows
// "EEPROM contents not written correctly".
BOOL CheckEEPROMContents(SensorOps* ops, const BYTE* expected, int count);

// Builds the correction list for a capture mode and sensor window. TRUE.
BOOL PrepareDefectCorrection(DWORD mode, std::int16_t x0, std::int16_t y0, std::int16_t x1, std::int16_t y1);
// Repairs the listed defects in a raw frame of the prepared format. Bytes at or
// beyond bufferSize (or beyond the prepared frame) are never touched.
void CorrectDefects(BYTE* frame, DWORD bufferSize = kRawBufferSize);
