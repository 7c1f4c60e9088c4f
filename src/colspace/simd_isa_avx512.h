// The AVX-512 lanes of the colour kernels (AVX-512BW with VBMI): 32 int16
// lanes, 64 byte lanes, with VBMI's byte permutes for packing B, G, R.
// Included only by kernels_avx512.cpp, inside its AVX-512 target region.

// Byte permutes that take B, G, R bytes to their places in B, G, R triples.
// Sources are 64-byte vectors made by packing 16-bit lanes (a pack keeps the
// 128-bit lanes apart), so a word's byte sits at PackedIndex of its lane.
struct BgrPermutes {
  // StoreBGRPairs: planes packed from (even, odd) pixels, three output vectors.
  alignas(64) uint8_t pairsBG[3][64];  // B from the first table, G from the second (+64)
  alignas(64) uint8_t pairsR[3][64];
  uint64_t pairsRMask[3];
  // StoreBGR: B and G packed into one vector, R into the other (+64).
  alignas(64) uint8_t single[2][64];

  // Byte of word w (0 .. 31) of the first source of a pack of two word vectors.
  static constexpr int PackedIndex(int w, int source) { return 16 * (w / 8) + 8 * source + w % 8; }
  constexpr BgrPermutes() : pairsBG{}, pairsR{}, pairsRMask{}, single{} {
    for (int v = 0; v < 3; ++v) {
      for (int t = 0; t < 64; ++t) {
        const int out = 64 * v + t, pixel = out / 3, colour = out % 3;
        const int at = PackedIndex(pixel / 2, pixel % 2);
        pairsBG[v][t] = static_cast<uint8_t>(colour == 1 ? 64 + at : at);
        pairsR[v][t] = static_cast<uint8_t>(at);
        if (colour == 2) pairsRMask[v] |= uint64_t{1} << t;
      }
    }
    for (int v = 0; v < 2; ++v) {
      for (int t = 0; t < 64; ++t) {
        const int out = 64 * v + t, pixel = out / 3 < 32 ? out / 3 : 31, colour = out % 3;
        // B and G packed together (B first), R packed with itself.
        single[v][t] = static_cast<uint8_t>(colour == 2 ? 64 + PackedIndex(pixel, 0) : PackedIndex(pixel, colour));
      }
    }
  }
};

struct Isa {
  using V = __m512i;
  static constexpr int N = 32;   // int16 lanes
  static constexpr bool kGather = false;
  static constexpr bool kByteTable = true;  // ByteTable / LookUpBytes below
  static constexpr int NB = 64;  // byte lanes
  // Bytes StoreBGR may write past the 3 N it is given.
  static constexpr int kBGRSpill = 0;

  static V Zero() { return _mm512_setzero_si512(); }
  static V LaneIndex() {
    alignas(64) static constexpr int16_t kIndex[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                                       11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                                       22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
    return _mm512_load_si512(kIndex);
  }
  // A constant multiplier as the compiler cannot see it, so that a multiply
  // by it stays one instruction instead of becoming shifts and adds.
  static V Factor(int v) {
    V f = Set(v);
    asm("" : "+v"(f));
    return f;
  }
  static V Set(int v) { return _mm512_set1_epi16(static_cast<int16_t>(v)); }
  static V Load(const int16_t* p) { return _mm512_loadu_si512(p); }
  static void Store(int16_t* p, V v) { _mm512_storeu_si512(p, v); }
  // N bytes, widened to N words.
  static V LoadBytes(const BYTE* p) { return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))); }
  static V Add(V a, V b) { return _mm512_add_epi16(a, b); }
  static V Sub(V a, V b) { return _mm512_sub_epi16(a, b); }
  static V Mul(V a, V b) { return _mm512_mullo_epi16(a, b); }
  static V Min(V a, V b) { return _mm512_min_epi16(a, b); }
  static V Max(V a, V b) { return _mm512_max_epi16(a, b); }
  static V CmpGt(V a, V b) { return _mm512_movm_epi16(_mm512_cmpgt_epi16_mask(a, b)); }
  // a and b added to accA and accB in the lanes where y > limit, through a
  // compare mask (sets without one use the shared AddWhereGreater).
  static void AddWhereGreater(V y, V limit, V a, V b, V& accA, V& accB) {
    const __mmask32 where = _mm512_cmpgt_epi16_mask(y, limit);
    accA = _mm512_mask_add_epi16(accA, where, accA, a);
    accB = _mm512_mask_add_epi16(accB, where, accB, b);
  }
  static V And(V a, V b) { return _mm512_and_si512(a, b); }
  static V Or(V a, V b) { return _mm512_or_si512(a, b); }
  // ~a & b
  static V AndNot(V a, V b) { return _mm512_andnot_si512(a, b); }
  static V Sra(V a, int n) { return _mm512_srai_epi16(a, static_cast<unsigned>(n)); }
  static V Sll(V a, int n) { return _mm512_slli_epi16(a, static_cast<unsigned>(n)); }
  static V Srl(V a, int n) { return _mm512_srli_epi16(a, static_cast<unsigned>(n)); }
  static V Sll32(V a, int n) { return _mm512_slli_epi32(a, static_cast<unsigned>(n)); }
  static V Srl32(V a, int n) { return _mm512_srli_epi32(a, static_cast<unsigned>(n)); }
  // Even lanes from `even`, odd lanes from `odd`.
  static V BlendOdd(V even, V odd) { return _mm512_mask_blend_epi16(0xAAAAAAAAu, even, odd); }

  // Words as bytes limited to 0..255, as a pack with unsigned saturation does.
  static __m256i Narrow(V v) { return _mm512_cvtusepi16_epi8(_mm512_max_epi16(v, _mm512_setzero_si512())); }
  // N words of 0..255 as N bytes.
  static void StoreLowBytes(BYTE* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), Narrow(v)); }
  static V LoadB(const BYTE* p) { return _mm512_loadu_si512(p); }
  static void StoreB(BYTE* p, V v) { _mm512_storeu_si512(p, v); }
  static V Set32(int v) { return _mm512_set1_epi32(v); }
  // Two vectors of 32-bit lanes holding 0..255 as NB / 4 bytes each at a, b.
  static void StoreDwordBytes(V x, V y, BYTE* a, BYTE* b) {
    const V zero = _mm512_setzero_si512();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(a), _mm512_cvtusepi32_epi8(_mm512_max_epi32(x, zero)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(b), _mm512_cvtusepi32_epi8(_mm512_max_epi32(y, zero)));
  }
  // Byte interleaves across the whole vector: InLaneOrder puts the 64-bit
  // pieces where the in-lane unpacks need them, so that
  // UnpackLowBytes(InLaneOrder(a), InLaneOrder(b)) interleaves bytes 0..31
  // of a and b, and UnpackHighBytes bytes 32..63.
  static V InLaneOrder(V v) { return _mm512_permutexvar_epi64(_mm512_setr_epi64(0, 4, 1, 5, 2, 6, 3, 7), v); }
  static V UnpackLowBytes(V a, V b) { return _mm512_unpacklo_epi8(a, b); }
  static V UnpackHighBytes(V a, V b) { return _mm512_unpackhi_epi8(a, b); }
  // Where a byte of mask is 0xFF, b; else a.
  static V BlendB(V a, V b, V mask) { return _mm512_mask_blend_epi8(_mm512_movepi8_mask(mask), a, b); }
  // (a + b) >> 1 per byte.
  static V AvgFloorB(V a, V b) {
    return _mm512_sub_epi8(_mm512_avg_epu8(a, b), _mm512_and_si512(_mm512_xor_si512(a, b), _mm512_set1_epi8(1)));
  }

  // Colour difference rows U and V as byte-pair multiply-adds (chroma_pairs.h).
  static V BytePair(int lo, int hi) { return _mm512_set1_epi16(static_cast<int16_t>((lo & 0xFF) | ((hi & 0xFF) << 8))); }
  // (r, b) as unsigned byte pairs in pixel order.
  static V PairRB(V r, V b) {
    // Per 128-bit lane [r0..7 b0..7] -> (r, b) byte pairs in pixel order.
    const V toPairs = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15));
    return _mm512_shuffle_epi8(_mm512_packus_epi16(r, b), toPairs);
  }
  static V MulAddPairs(V bytes, V pairs) { return _mm512_maddubs_epi16(bytes, pairs); }
  static V AddSat(V a, V b) { return _mm512_adds_epi16(a, b); }
#include "colspace/simd_chroma_pairs.inc"

  // Pair lanes: lane i of an "even" vector is pixel 2i of a block of 2N
  // pixels, of an "odd" one pixel 2i + 1.
  // Even and odd words of 0..255 as N bytes each at even and odd.
  static void StorePairBytes(BYTE* even, BYTE* odd, V e, V o) {
    const V packed = _mm512_permutexvar_epi64(_mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7), _mm512_packus_epi16(e, o));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(even), _mm512_castsi512_si256(packed));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(odd), _mm512_extracti64x4_epi64(packed, 1));
  }

  // 2N pixels in pair lanes as B, G, R bytes (each value limited to 0..255),
  // exactly 6 N bytes.
  static void StoreBGRPairs(V be, V bo, V ge, V go, V re, V ro, BYTE* out) {
    V bgr[3];
    BGRPairs(be, bo, ge, go, re, ro, bgr);
    for (int v = 0; v < 3; ++v) _mm512_storeu_si512(out + 64 * v, bgr[v]);
  }
  // The same 6 N bytes as three vectors.
  static void BGRPairs(V be, V bo, V ge, V go, V re, V ro, V bgr[3]) {
    static constexpr BgrPermutes kPermutes;
    const V b = _mm512_packus_epi16(be, bo), g = _mm512_packus_epi16(ge, go), r = _mm512_packus_epi16(re, ro);
    for (int v = 0; v < 3; ++v) {
      const V bg = _mm512_permutex2var_epi8(b, _mm512_load_si512(kPermutes.pairsBG[v]), g);
      bgr[v] = _mm512_mask_permutexvar_epi8(bg, kPermutes.pairsRMask[v], _mm512_load_si512(kPermutes.pairsR[v]), r);
    }
  }

  // N pixels as B, G, R bytes (each value limited to 0..255) at out, exactly 3 N.
  static void StoreBGR(V b, V g, V r, BYTE* out) {
    static constexpr BgrPermutes kPermutes;
    const V bg = _mm512_packus_epi16(b, g), rr = _mm512_packus_epi16(r, r);
    const V first = _mm512_permutex2var_epi8(bg, _mm512_load_si512(kPermutes.single[0]), rr);
    const V second = _mm512_permutex2var_epi8(bg, _mm512_load_si512(kPermutes.single[1]), rr);
    _mm512_storeu_si512(out, first);
    _mm512_mask_storeu_epi8(out + 64, 0xFFFFFFFFull, second);
  }

  // A 256-byte table held in four vectors and read 64 bytes at a time: each
  // two-table permute reads half the table by the index's low seven bits, and
  // bit 7 chooses between the halves.
  struct ByteTable {
    V q[4];
  };
  static ByteTable LoadByteTable(const BYTE* table) {
    return {{LoadB(table), LoadB(table + 64), LoadB(table + 128), LoadB(table + 192)}};
  }
  static V LookUpBytes(const ByteTable& t, V index) {
    const V low = _mm512_permutex2var_epi8(t.q[0], index, t.q[1]);
    const V high = _mm512_permutex2var_epi8(t.q[2], index, t.q[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
  }

  // Sum of the N signed lanes.
  static int64_t SumLanes(V v) { return _mm512_reduce_add_epi32(_mm512_madd_epi16(v, _mm512_set1_epi16(1))); }
};
