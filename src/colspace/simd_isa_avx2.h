// The AVX2 lanes of the colour kernels: 16 int16 lanes, 32 byte lanes, and
// the few steps that use AVX2's own instructions (byte-pair multiply-adds for
// the colour difference, in-lane byte shuffles for packing B, G, R).
// Included only by kernels_avx2.cpp, inside its AVX2 target region.

struct Isa {
  using V = __m256i;
  static constexpr int N = 16;   // int16 lanes
  static constexpr bool kGather = true;  // LookUpPairs is one gather
  static constexpr bool kByteTable = false;  // no byte look-ups in registers
  static constexpr int NB = 32;  // byte lanes
  // Bytes StoreBGR may write past the 3 N it is given.
  static constexpr int kBGRSpill = 4;

  static V Zero() { return _mm256_setzero_si256(); }
  static V LaneIndex() { return _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15); }
  // A constant multiplier as the compiler cannot see it, so that a multiply
  // by it stays one instruction instead of becoming shifts and adds.
  static V Factor(int v) {
    V f = Set(v);
    asm("" : "+x"(f));
    return f;
  }
  static V Set(int v) { return _mm256_set1_epi16(static_cast<int16_t>(v)); }
  static V Load(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static void Store(int16_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  // N bytes, widened to N words.
  static V LoadBytes(const BYTE* p) { return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))); }
  static V Add(V a, V b) { return _mm256_add_epi16(a, b); }
  static V Sub(V a, V b) { return _mm256_sub_epi16(a, b); }
  static V Mul(V a, V b) { return _mm256_mullo_epi16(a, b); }
  static V Min(V a, V b) { return _mm256_min_epi16(a, b); }
  static V Max(V a, V b) { return _mm256_max_epi16(a, b); }
  static V CmpGt(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
  static V And(V a, V b) { return _mm256_and_si256(a, b); }
  static V Or(V a, V b) { return _mm256_or_si256(a, b); }
  // ~a & b
  static V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
  static V Sra(V a, int n) { return _mm256_srai_epi16(a, n); }
  static V Sll(V a, int n) { return _mm256_slli_epi16(a, n); }
  static V Srl(V a, int n) { return _mm256_srli_epi16(a, n); }
  static V Sll32(V a, int n) { return _mm256_slli_epi32(a, n); }
  static V Srl32(V a, int n) { return _mm256_srli_epi32(a, n); }
  // Even lanes from `even`, odd lanes from `odd`.
  static V BlendOdd(V even, V odd) { return _mm256_blend_epi16(even, odd, 0xAA); }

  // N words of 0..255 as N bytes.
  static void StoreLowBytes(BYTE* p, V v) {
    const V packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(packed));
  }
  static V LoadB(const BYTE* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static void StoreB(BYTE* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  static V Set32(int v) { return _mm256_set1_epi32(v); }
  // Two vectors of 32-bit lanes holding 0..255 as NB / 4 bytes each at a, b.
  static void StoreDwordBytes(V x, V y, BYTE* a, BYTE* b) {
    const V words = _mm256_packs_epi32(x, y);                     // x0-3 y0-3 | x4-7 y4-7
    const V bytes = _mm256_packus_epi16(words, words);            // x0-3 y0-3 x0-3 y0-3 | x4-7 y4-7 ...
    const V order = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0));
    const __m128i both = _mm256_castsi256_si128(order);          // x0-7 y0-7
    _mm_storel_epi64(reinterpret_cast<__m128i*>(a), both);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(b), _mm_srli_si128(both, 8));
  }
  // Byte interleaves that run across the whole vector: InLaneOrder puts the
  // halves' quarters as unpacklo/unpackhi need them, so that
  // UnpackLowBytes(InLaneOrder(a), InLaneOrder(b)) interleaves bytes 0..15 of
  // a and b, and UnpackHighBytes bytes 16..31.
  static V InLaneOrder(V v) { return _mm256_permute4x64_epi64(v, 0xD8); }
  static V UnpackLowBytes(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
  static V UnpackHighBytes(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
  // Where a byte of mask is 0xFF, b; else a.
  static V BlendB(V a, V b, V mask) { return _mm256_blendv_epi8(a, b, mask); }
  // (a + b) >> 1 per byte.
  static V AvgFloorB(V a, V b) {
    return _mm256_sub_epi8(_mm256_avg_epu8(a, b), _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1)));
  }

  // Colour difference rows U and V as byte-pair multiply-adds (chroma_pairs.h).
  static V BytePair(int lo, int hi) { return _mm256_set1_epi16(static_cast<int16_t>((lo & 0xFF) | ((hi & 0xFF) << 8))); }
  // (r, b) as unsigned byte pairs in pixel order.
  static V PairRB(V r, V b) {
    // [r0..7 b0..7 | r8..15 b8..15] -> (r, b) byte pairs in pixel order.
    const V toPairs = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 0, 8, 1, 9, 2, 10, 3, 11,
                                       4, 12, 5, 13, 6, 14, 7, 15);
    return _mm256_shuffle_epi8(_mm256_packus_epi16(r, b), toPairs);
  }
  static V MulAddPairs(V bytes, V pairs) { return _mm256_maddubs_epi16(bytes, pairs); }
  static V AddSat(V a, V b) { return _mm256_adds_epi16(a, b); }
#include "colspace/simd_chroma_pairs.inc"

  // Pair lanes: lane i of an "even" vector is pixel 2i of a block of 2N
  // pixels, of an "odd" one pixel 2i + 1.
  // Even and odd words of 0..255 as N bytes each at even and odd.
  static void StorePairBytes(BYTE* even, BYTE* odd, V e, V o) {
    const V packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(e, o), 0xD8);  // e0-15 | o0-15
    _mm_storeu_si128(reinterpret_cast<__m128i*>(even), _mm256_castsi256_si128(packed));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(odd), _mm256_extracti128_si256(packed, 1));
  }

  // The shuffles that take B, G or R bytes in pair order to their places in
  // 16-byte pieces of B, G, R triples (-1: not this colour).
  struct TripleMasks {
    alignas(32) int8_t m[3][3][32];  // [piece][colour][byte]
    constexpr TripleMasks() : m{} {
      for (int piece = 0; piece < 3; ++piece) {
        for (int colour = 0; colour < 3; ++colour) {
          for (int j = 0; j < 32; ++j) {
            const int out = 16 * piece + j % 16;
            const int pixel = out / 3;
            const int source = pixel % 2 == 0 ? pixel / 2 : 8 + pixel / 2;
            m[piece][colour][j] = static_cast<int8_t>(out % 3 == colour ? source : -1);
          }
        }
      }
    }
  };
  // 2N pixels in pair lanes as B, G, R bytes (each value limited to 0..255),
  // exactly 6 N bytes.
  static void StoreBGRPairs(V be, V bo, V ge, V go, V re, V ro, BYTE* out) {
    static constexpr TripleMasks kMasks;
    const V planes[3] = {_mm256_packus_epi16(be, bo), _mm256_packus_epi16(ge, go), _mm256_packus_epi16(re, ro)};
    V pieces[3];
    for (int piece = 0; piece < 3; ++piece) {
      V acc = _mm256_setzero_si256();
      for (int colour = 0; colour < 3; ++colour) {
        const V mask = _mm256_load_si256(reinterpret_cast<const __m256i*>(kMasks.m[piece][colour]));
        acc = _mm256_or_si256(acc, _mm256_shuffle_epi8(planes[colour], mask));
      }
      pieces[piece] = acc;
    }
    for (int piece = 0; piece < 3; ++piece) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * piece), _mm256_castsi256_si128(pieces[piece]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48 + 16 * piece), _mm256_extracti128_si256(pieces[piece], 1));
    }
  }

  // N pixels as B, G, R bytes (each value limited to 0..255) at out; may
  // write kBGRSpill bytes past them.
  static void StoreBGR(V b, V g, V r, BYTE* out) {
    const V br = _mm256_packus_epi16(b, r);                         // b0-7 r0-7 | b8-15 r8-15
    const V g0 = _mm256_packus_epi16(g, _mm256_setzero_si256());  // g0-7 0    | g8-15 0
    const V bg = _mm256_unpacklo_epi8(br, g0);                      // b g pairs
    const V r0 = _mm256_unpackhi_epi8(br, g0);                      // r 0 pairs
    const V lo = _mm256_unpacklo_epi16(bg, r0);                     // px 0-3 | 8-11 as b g r 0
    const V hi = _mm256_unpackhi_epi16(bg, r0);                     // px 4-7 | 12-15
    const V squeeze = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9,
                                       10, 12, 13, 14, -1, -1, -1, -1);
    const V a = _mm256_shuffle_epi8(lo, squeeze);
    const V c = _mm256_shuffle_epi8(hi, squeeze);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(a));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm256_castsi256_si128(c));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 24), _mm256_extracti128_si256(a, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 36), _mm256_extracti128_si256(c, 1));
  }

  // 16 bytes through the two-pixel luminance table: one gather of 8 entries
  // (32-bit reads at 2-byte steps, of which the low half is kept).
  static void LookUpPairs(const BYTE* in, BYTE* out, const uint16_t* pairs) {
    const V index = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)));
    const V got = _mm256_and_si256(_mm256_i32gather_epi32(reinterpret_cast<const int*>(pairs), index, 2),
                                   _mm256_set1_epi32(0xFFFF));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_packus_epi32(_mm256_castsi256_si128(got), _mm256_extracti128_si256(got, 1)));
  }

  // Sum of the N signed lanes.
  static int64_t SumLanes(V v) {
    const V pairs = _mm256_madd_epi16(v, _mm256_set1_epi16(1));
    const __m128i s = _mm_add_epi32(_mm256_castsi256_si128(pairs), _mm256_extracti128_si256(pairs, 1));
    const __m128i t = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    const __m128i u = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0xB1));
    return _mm_cvtsi128_si32(u);
  }
};
