// The camera's factory defect map and the EEPROM contents that carry it.
#include "sim/camera/factory_defects.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "sim/camera/sim_random.h"

namespace sim {
namespace {

// The defects sit in the middle 160 x 120 sites (physical rows 66..185,
// columns 96..255), one per 8 x 8 cell at most, at most 5 sites into it, so
// two defects are always at least 3 sites apart.
constexpr int kRegionTop = 66;
constexpr int kRegionLeft = 96;
constexpr int kCellsAcross = 20;
constexpr int kCellsDown = 15;
constexpr int kCell = 8;
constexpr int kCellSpread = 6;

constexpr size_t kImageBytes = 512;
constexpr size_t kTableBytes = 480;
constexpr size_t kSecondHalf = 240;  // entries 80..159 go into segment 4

// Appends a segment at offset: header, length, data (count bytes of data,
// the rest of length left as it is, i.e. zero).
size_t PutSegment(uint8_t* image, size_t offset, uint8_t id, size_t length, const uint8_t* data, size_t count) {
  image[offset] = static_cast<uint8_t>(id | 0x50);
  image[offset + 1] = static_cast<uint8_t>(length);
  std::memcpy(image + offset + 2, data, count);
  return offset + length + 2;
}

}  // namespace

int DefectCapacity(int eepromBits) { return eepromBits == 4096 ? 160 : eepromBits == 1024 ? 32 : 0; }

std::vector<FactoryDefect> MakeFactoryDefects(int count, uint32_t seed) {
  std::array<int, kCellsAcross * kCellsDown> cells;
  for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<int>(i);
  Random random(seed);
  for (size_t i = cells.size() - 1; i > 0; --i) {
    size_t j = random.Next() % (i + 1);
    std::swap(cells[i], cells[j]);
  }
  count = std::clamp(count, 0, static_cast<int>(cells.size()));
  std::vector<FactoryDefect> defects;
  defects.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    int cell = cells[static_cast<size_t>(i)];
    int row = kRegionTop + (cell / kCellsAcross) * kCell + static_cast<int>(random.Next() % kCellSpread);
    int column = kRegionLeft + (cell % kCellsAcross) * kCell + static_cast<int>(random.Next() % kCellSpread);
    int numbered = (column & 1) ? column : column - 2;
    static constexpr uint8_t kKinds[] = {kDefectStuckHigh, kDefectDead, kDefectHot};
    defects.push_back({static_cast<uint32_t>(row * kSensorColumns + numbered), kKinds[i % 3], row, column});
  }
  std::sort(defects.begin(), defects.end(),
            [](const FactoryDefect& a, const FactoryDefect& b) { return a.position < b.position; });
  return defects;
}

void NibbleChecksum(const uint8_t* data, size_t count, uint8_t out[4]) {
  uint16_t high = 0;
  uint16_t low = 0;
  for (size_t i = 0; i < count; ++i) {
    high = static_cast<uint16_t>(high + (data[i] & 0xF0));
    low = static_cast<uint16_t>(low + (data[i] & 0x0F));
  }
  out[0] = static_cast<uint8_t>(high & 0xFF);
  out[1] = static_cast<uint8_t>(high >> 8);
  out[2] = static_cast<uint8_t>(low & 0xFF);
  out[3] = static_cast<uint8_t>(low >> 8);
}

std::vector<uint8_t> BuildFactoryEeprom(int eepromBits, bool withMap, const std::vector<FactoryDefect>& defects,
                                        bool badChecksum) {
  size_t bytes = eepromBits == 4096 ? 512 : eepromBits == 1024 ? 128 : 0;
  if (!withMap || bytes == 0) return std::vector<uint8_t>(bytes, 0xFF);

  // The packed table: kind in bits 0..2 and position bits 16..17 in bits 6..7
  // of byte 0, position bits 0..15 little-endian in bytes 1 and 2.
  uint8_t table[kTableBytes] = {};
  size_t used = std::min(defects.size(), static_cast<size_t>(DefectCapacity(eepromBits)));
  for (size_t i = 0; i < used; ++i) {
    uint32_t position = defects[i].position;
    table[3 * i] = static_cast<uint8_t>((defects[i].kind & 0x07) | ((position >> 16) & 0x03) << 6);
    table[3 * i + 1] = static_cast<uint8_t>(position & 0xFF);
    table[3 * i + 2] = static_cast<uint8_t>((position >> 8) & 0xFF);
  }

  // The memory image, built the way the driver builds it when it stores a map:
  // segment 3 (capacity bytes, the used entries first), its checksum 5,
  // segment 4 (entries 80..159), its checksum 6.
  size_t capacity = eepromBits == 4096 ? 240 : 96;
  size_t firstCount = std::min(used * 3, capacity);
  uint8_t image[kImageBytes] = {};
  uint8_t sum[4];
  size_t offset = PutSegment(image, 0, 3, capacity, table, firstCount);
  NibbleChecksum(table, firstCount, sum);
  if (badChecksum) sum[0] ^= 0x10;
  offset = PutSegment(image, offset, 5, 4, sum, 4);
  offset = PutSegment(image, offset, 4, capacity, table + kSecondHalf, capacity);
  NibbleChecksum(table + kSecondHalf, capacity, sum);
  PutSegment(image, offset, 6, 4, sum, 4);

  // The image as the EEPROM holds it: the first block is image bytes 0..255
  // (0..127 on a 1024-bit part), the second block image bytes 248..503.
  std::vector<uint8_t> contents(bytes);
  if (bytes == 512) {
    std::memcpy(contents.data(), image, 256);
    std::memcpy(contents.data() + 256, image + 248, 256);
  } else if (bytes > 0) {
    std::memcpy(contents.data(), image, bytes);
  }
  return contents;
}

}  // namespace sim
