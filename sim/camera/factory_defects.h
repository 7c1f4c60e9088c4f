// The camera's factory defect map: which sensor sites are defective, how each
// is numbered in the map, and the EEPROM contents the factory ships with the
// map stored as a chain of tagged segments with nibble checksums (segment 3 and
// its checksum 5, segment 4 and its checksum 6), as the driver itself stores it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// The sensor: 388 sites per row, numbered row * 388 + column in the defect map.
constexpr int kSensorColumns = 388;
constexpr int kSensorRows = 288;

// Defect kinds as this camera's factory test classifies them.
enum DefectKind : uint8_t {
  kDefectStuckHigh = 1,  // always reads full scale
  kDefectDead = 2,       // never collects light
  kDefectHot = 3,        // collects light with a large constant excess
};

struct FactoryDefect {
  uint32_t position;  // the number in the map: row * 388 + column number
  uint8_t kind;       // 1..7
  int row;            // the physical site
  int column;
};

// The physical column of a map column number. The sites of even columns are
// numbered two less than where they sit (they are read out one pair later), so
// an even number stands for the site two columns to its right.
inline int PhysicalColumn(int numberedColumn) {
  return (numberedColumn & 1) ? numberedColumn : numberedColumn + 2;
}

// count sites spread over the middle of the sensor (the part every capture
// window sees), never two of the same colour next to each other. Sorted by
// position. Deterministic for a given seed.
std::vector<FactoryDefect> MakeFactoryDefects(int count, uint32_t seed);

// How many entries an EEPROM of this size holds (0, 32 or 160).
int DefectCapacity(int eepromBits);

// H = sum of the high nibbles, L = sum of the low nibbles, each a wrapping u16,
// stored as H low, H high, L low, L high.
void NibbleChecksum(const uint8_t* data, size_t count, uint8_t out[4]);

// The contents the factory writes into an EEPROM of eepromBits (128 or 512
// bytes; empty for 0). withMap false: an erased part (all 0xFF). badChecksum:
// the checksum of segment 3 is stored wrong.
std::vector<uint8_t> BuildFactoryEeprom(int eepromBits, bool withMap,
                                        const std::vector<FactoryDefect>& defects, bool badChecksum);

}  // namespace sim
