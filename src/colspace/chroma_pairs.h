// The colour difference rows U and V as byte-pair multiply-adds of the
// limited R, G, B, for the vector sets that have them (AVX2, AVX-512). Sums
// are exact or, where they pass 16 bits, saturated, which the limit to
// -127 .. 127 after the shift by 5 cannot tell apart:
// - paired: (R, B) pairs against (K3, 2 K5) and (G, 0) against (K4, 0),
//   then a saturating add; exact while every coefficient fits a signed byte
//   and each pair either has opposite signs or weighs at most 128;
// - split, for larger coefficients: each K = 32 q + m with m in 0 .. 31, so
//   the shifted sum is q . RGB + (m . RGB >> 5), both parts exact while the
//   q weigh at most 128 in all.
// Plain integers here; each set turns them into its own vectors.
#pragma once

#include <cstdint>
#include <cstdlib>

struct ChromaPairs {
  bool split = false;
  // Per row (0: U, 1: V): the (R, B) byte pair and the G byte; when split,
  // the q parts here and the m parts in the *M fields.
  int pair[2][2] = {}, single[2] = {};
  int pairM[2][2] = {}, singleM[2] = {};
};

// False when neither form is exact for these coefficients.
inline bool MakeChromaPairs(const int16_t* k, ChromaPairs* c) {
  *c = ChromaPairs{};
  // Per row: the R coefficient, the B coefficient (doubled back), the G one.
  const int rows[2][3] = {{k[3], 2 * k[5], k[4]}, {k[6], 2 * k[8], k[7]}};
  auto pairedFits = [](const int* row) {
    for (int i = 0; i < 3; ++i) {
      if (row[i] < -128 || row[i] > 127) return false;
    }
    return (row[0] <= 0) != (row[1] <= 0) || row[0] == 0 || row[1] == 0 || std::abs(row[0]) + std::abs(row[1]) <= 128;
  };
  if (pairedFits(rows[0]) && pairedFits(rows[1])) {
    for (int r = 0; r < 2; ++r) {
      c->pair[r][0] = rows[r][0];
      c->pair[r][1] = rows[r][1];
      c->single[r] = rows[r][2];
    }
    return true;
  }
  for (int r = 0; r < 2; ++r) {
    int weight = 0;
    for (int i = 0; i < 3; ++i) {
      const int q = rows[r][i] >> 5;  // floor
      if (q > 127) return false;
      weight += std::abs(q);
    }
    if (weight > 128) return false;
  }
  c->split = true;
  for (int r = 0; r < 2; ++r) {
    c->pair[r][0] = rows[r][0] >> 5;
    c->pair[r][1] = rows[r][1] >> 5;
    c->single[r] = rows[r][2] >> 5;
    c->pairM[r][0] = rows[r][0] & 31;
    c->pairM[r][1] = rows[r][1] & 31;
    c->singleM[r] = rows[r][2] & 31;
  }
  return true;
}

// The eight (lo, hi) byte pairs in the order pairU, singleU, pairV, singleV,
// then the m parts pairUm, singleUm, pairVm, singleVm (zero unless split).
inline void ChromaBytePairs(const ChromaPairs& p, int out[8][2]) {
  const int pairs[8][2] = {{p.pair[0][0], p.pair[0][1]},   {p.single[0], 0},  {p.pair[1][0], p.pair[1][1]},
                           {p.single[1], 0},                 {p.pairM[0][0], p.pairM[0][1]}, {p.singleM[0], 0},
                           {p.pairM[1][0], p.pairM[1][1]},  {p.singleM[1], 0}};
  for (int i = 0; i < 8; ++i) {
    out[i][0] = pairs[i][0];
    out[i][1] = pairs[i][1];
  }
}
