// Writing pixels held as B | G << 8 | R << 16 words out as packed 3-byte
// B, G, R triples.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/types.h"

// Two pixels per 8-byte store, each store overlapping the next by two bytes;
// the last pair is written with exactly its six bytes so nothing past the row
// is touched.
inline void StoreBGR(const uint32_t* __restrict pixels, int count, BYTE* __restrict out) {
  int x = 0;
  for (; x + 3 < count; x += 2) {
    const uint64_t pair = static_cast<uint64_t>(pixels[x]) | (static_cast<uint64_t>(pixels[x + 1]) << 24);
    std::memcpy(out + 3 * x, &pair, 8);
  }
  for (; x < count; ++x) {
    out[3 * x] = static_cast<BYTE>(pixels[x]);
    out[3 * x + 1] = static_cast<BYTE>(pixels[x] >> 8);
    out[3 * x + 2] = static_cast<BYTE>(pixels[x] >> 16);
  }
}
