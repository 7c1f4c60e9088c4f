// The SSE2 lanes of the colour kernels: 8 int16 lanes, 16 byte lanes, with the
// steps SSE2 lacks (byte blends, odd-lane blends, byte shuffles) made of masks
// and shifts. Included only by kernels_sse2.cpp, inside its SSE2 target region.

struct Isa {
  using V = __m128i;
  static constexpr int N = 8;    // int16 lanes
  static constexpr bool kGather = false;  // LookUpPairs is no gather here
  static constexpr bool kByteTable = false;  // no byte look-ups in registers
  static constexpr int NB = 16;  // byte lanes
  // Bytes StoreBGR and StoreBGRPairs may write past the pixels they are given.
  static constexpr int kBGRSpill = 2;

  static V Zero() { return _mm_setzero_si128(); }
  static V LaneIndex() { return _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7); }
  // A constant multiplier as the compiler cannot see it, so that a multiply
  // by it stays one instruction instead of becoming shifts and adds.
  static V Factor(int v) {
    V f = Set(v);
    asm("" : "+x"(f));
    return f;
  }
  static V Set(int v) { return _mm_set1_epi16(static_cast<int16_t>(v)); }
  static V Load(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(int16_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  // N bytes, widened to N words.
  static V LoadBytes(const BYTE* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
  }
  static V Add(V a, V b) { return _mm_add_epi16(a, b); }
  static V Sub(V a, V b) { return _mm_sub_epi16(a, b); }
  static V Mul(V a, V b) { return _mm_mullo_epi16(a, b); }
  static V Min(V a, V b) { return _mm_min_epi16(a, b); }
  static V Max(V a, V b) { return _mm_max_epi16(a, b); }
  static V CmpGt(V a, V b) { return _mm_cmpgt_epi16(a, b); }
  static V And(V a, V b) { return _mm_and_si128(a, b); }
  static V Or(V a, V b) { return _mm_or_si128(a, b); }
  // ~a & b
  static V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }
  static V Sra(V a, int n) { return _mm_srai_epi16(a, n); }
  static V Sll(V a, int n) { return _mm_slli_epi16(a, n); }
  static V Srl(V a, int n) { return _mm_srli_epi16(a, n); }
  static V Sll32(V a, int n) { return _mm_slli_epi32(a, n); }
  static V Srl32(V a, int n) { return _mm_srli_epi32(a, n); }
  // Even lanes from `even`, odd lanes from `odd`.
  static V BlendOdd(V even, V odd) {
    const V evenLanes = _mm_set1_epi32(0x0000FFFF);
    return _mm_or_si128(_mm_and_si128(even, evenLanes), _mm_andnot_si128(evenLanes, odd));
  }

  // N words of 0..255 as N bytes.
  static void StoreLowBytes(BYTE* p, V v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(v, v)); }
  static V LoadB(const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void StoreB(BYTE* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static V Set32(int v) { return _mm_set1_epi32(v); }
  // Two vectors of 32-bit lanes holding 0..255 as NB / 4 bytes each at a, b.
  static void StoreDwordBytes(V x, V y, BYTE* a, BYTE* b) {
    const V words = _mm_packs_epi32(x, y);            // x0-3 y0-3
    const V bytes = _mm_packus_epi16(words, words);  // x0-3 y0-3 ...
    const int first = _mm_cvtsi128_si32(bytes);
    const int second = _mm_cvtsi128_si32(_mm_srli_si128(bytes, 4));
    std::memcpy(a, &first, 4);
    std::memcpy(b, &second, 4);
  }
  // Byte interleaves: UnpackLowBytes(InLaneOrder(a), InLaneOrder(b))
  // interleaves bytes 0..7 of a and b, UnpackHighBytes bytes 8..15.
  static V InLaneOrder(V v) { return v; }
  static V UnpackLowBytes(V a, V b) { return _mm_unpacklo_epi8(a, b); }
  static V UnpackHighBytes(V a, V b) { return _mm_unpackhi_epi8(a, b); }
  // Where a byte of mask is 0xFF, b; else a.
  static V BlendB(V a, V b, V mask) { return _mm_or_si128(_mm_and_si128(mask, b), _mm_andnot_si128(mask, a)); }
  // (a + b) >> 1 per byte.
  static V AvgFloorB(V a, V b) {
    return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
  }

  // Colour difference rows U and V in 16-bit products of the limited R, G, B.
  // Sums are exact or, where they pass 16 bits, saturated, which the limit to
  // -127 .. 127 after the shift by 5 cannot tell apart:
  // - paired: K3 R + 2 K5 B first, then a saturating add of K4 G; exact while
  //   every coefficient is within 128 and the first two either have opposite
  //   signs or weigh at most 128;
  // - split, for larger coefficients: each K = 32 q + m with m in 0 .. 31,
  //   so the shifted sum is q . RGB + (m . RGB >> 5), both parts exact while
  //   the q weigh at most 128 in all.
  struct Chroma {
    bool split;
    V uR, uB, uG, vR, vB, vG;  // paired, or the q parts when split
    V uRm, uBm, uGm, vRm, vBm, vGm;  // the m parts when split
  };
  static bool MakeChroma(const int16_t* k, Chroma* c) {
    *c = Chroma{};
    // Per row: the R coefficient, the B coefficient (doubled back), the G one.
    const int rows[2][3] = {{k[3], 2 * k[5], k[4]}, {k[6], 2 * k[8], k[7]}};
    auto pairedFits = [](const int* row) {
      for (int i = 0; i < 3; ++i) {
        if (row[i] < -128 || row[i] > 128) return false;
      }
      return (row[0] <= 0) != (row[1] <= 0) || row[0] == 0 || row[1] == 0 ||
             std::abs(row[0]) + std::abs(row[1]) <= 128;
    };
    V* const first[6] = {&c->uR, &c->uB, &c->uG, &c->vR, &c->vB, &c->vG};
    if (pairedFits(rows[0]) && pairedFits(rows[1])) {
      c->split = false;
      for (int i = 0; i < 6; ++i) *first[i] = Set(rows[i / 3][i % 3]);
      return true;
    }
    V* const second[6] = {&c->uRm, &c->uBm, &c->uGm, &c->vRm, &c->vBm, &c->vGm};
    for (int r = 0; r < 2; ++r) {
      int weight = 0;
      for (int i = 0; i < 3; ++i) weight += std::abs(rows[r][i] >> 5);
      if (weight > 128) return false;
    }
    c->split = true;
    for (int i = 0; i < 6; ++i) {
      *first[i] = Set(rows[i / 3][i % 3] >> 5);  // floor
      *second[i] = Set(rows[i / 3][i % 3] & 31);
    }
    return true;
  }
  // U, V and the limited green of r, g, b (before their limit to 0..255).
  struct Difference {
    V u, v, green;
  };
  template <bool kSplit>
  static Difference ColourDifference(V r, V g, V b, const Chroma& c) {
    const V zero = _mm_setzero_si128();
    const V top = _mm_set1_epi16(255);
    const V rc = _mm_min_epi16(_mm_max_epi16(r, zero), top);
    const V gc = _mm_min_epi16(_mm_max_epi16(g, zero), top);
    const V bc = _mm_min_epi16(_mm_max_epi16(b, zero), top);
    V du, dv;
    if constexpr (!kSplit) {
      const V pu = _mm_add_epi16(_mm_mullo_epi16(rc, c.uR), _mm_mullo_epi16(bc, c.uB));
      const V pv = _mm_add_epi16(_mm_mullo_epi16(rc, c.vR), _mm_mullo_epi16(bc, c.vB));
      du = _mm_srai_epi16(_mm_adds_epi16(pu, _mm_mullo_epi16(gc, c.uG)), 5);
      dv = _mm_srai_epi16(_mm_adds_epi16(pv, _mm_mullo_epi16(gc, c.vG)), 5);
    } else {
      auto dot = [&](V kr, V kb, V kg) {
        return _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(rc, kr), _mm_mullo_epi16(bc, kb)), _mm_mullo_epi16(gc, kg));
      };
      du = _mm_add_epi16(dot(c.uR, c.uB, c.uG), _mm_srai_epi16(dot(c.uRm, c.uBm, c.uGm), 5));
      dv = _mm_add_epi16(dot(c.vR, c.vB, c.vG), _mm_srai_epi16(dot(c.vRm, c.vBm, c.vGm), 5));
    }
    const V lim = _mm_srai_epi16(_mm_sub_epi16(_mm_set1_epi16(235), gc), 2);
    const V floor = _mm_set1_epi16(-127);
    return {_mm_min_epi16(_mm_max_epi16(du, floor), lim), _mm_min_epi16(_mm_max_epi16(dv, floor), lim), gc};
  }

  // Pair lanes: lane i of an "even" vector is pixel 2i of a block of 2N
  // pixels, of an "odd" one pixel 2i + 1.
  // Even and odd words of 0..255 as N bytes each at even and odd.
  static void StorePairBytes(BYTE* even, BYTE* odd, V e, V o) {
    const V packed = _mm_packus_epi16(e, o);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(even), packed);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(odd), _mm_srli_si128(packed, 8));
  }

  // Four b g r 0 pixels (32-bit lanes) as 12 bytes: two 8-byte stores, the
  // second 6 bytes on; writes 2 bytes past the 12.
  static void StoreFour(V px, BYTE* out) {
    const V low = _mm_set_epi32(0, -1, 0, -1);
    const V high = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF, static_cast<int>(0xFF000000u));
    // Per 64-bit lane: p0 | p1 << 24.
    const V six = _mm_or_si128(_mm_and_si128(px, low), _mm_and_si128(_mm_srli_epi64(px, 8), high));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), six);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 6), _mm_srli_si128(six, 8));
  }
  // N pixels as B, G, R bytes (each value limited to 0..255) at out; may
  // write kBGRSpill bytes past them.
  static void StoreBGR(V b, V g, V r, BYTE* out) {
    const V br = _mm_packus_epi16(b, r);                      // b0-7 r0-7
    const V g0 = _mm_packus_epi16(g, _mm_setzero_si128());  // g0-7 0
    const V bg = _mm_unpacklo_epi8(br, g0);
    const V r0 = _mm_unpackhi_epi8(br, g0);
    StoreFour(_mm_unpacklo_epi16(bg, r0), out);
    StoreFour(_mm_unpackhi_epi16(bg, r0), out + 12);
  }

  // 2N pixels in pair lanes as B, G, R bytes (each value limited to 0..255);
  // may write kBGRSpill bytes past the 6 N.
  static void StoreBGRPairs(V be, V bo, V ge, V go, V re, V ro, BYTE* out) {
    StoreBGR(_mm_unpacklo_epi16(be, bo), _mm_unpacklo_epi16(ge, go), _mm_unpacklo_epi16(re, ro), out);
    StoreBGR(_mm_unpackhi_epi16(be, bo), _mm_unpackhi_epi16(ge, go), _mm_unpackhi_epi16(re, ro), out + 3 * N);
  }

  // 16 bytes through the two-pixel luminance table, two per read (the
  // kernels read the table themselves where kGather is false).
  static void LookUpPairs(const BYTE* in, BYTE* out, const uint16_t* pairs) {
    for (int k = 0; k < 16; k += 2) {
      uint16_t g;
      std::memcpy(&g, in + k, 2);
      std::memcpy(out + k, pairs + g, 2);
    }
  }

  // Sum of the N signed lanes.
  static int64_t SumLanes(V v) {
    const V pairs = _mm_madd_epi16(v, _mm_set1_epi16(1));
    const V t = _mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, 0x4E));
    const V u = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0xB1));
    return _mm_cvtsi128_si32(u);
  }
};
