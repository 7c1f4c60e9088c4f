#include "tools/zarncap/host/frame_rows.h"

#include <cstring>

namespace zarncap {

void FlipRows(std::uint8_t* data, std::size_t rowBytes, std::size_t rows, std::vector<std::uint8_t>& row) {
  if (rows < 2) return;
  row.resize(rowBytes);
  for (std::size_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
    std::uint8_t* a = data + top * rowBytes;
    std::uint8_t* b = data + bottom * rowBytes;
    std::memcpy(row.data(), a, rowBytes);
    std::memcpy(a, b, rowBytes);
    std::memcpy(b, row.data(), rowBytes);
  }
}

}  // namespace zarncap
