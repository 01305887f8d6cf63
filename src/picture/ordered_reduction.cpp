// Bit truncation and the three ordered dithers, table-driven: per pixel
// three look-ups of entries that already hold the gamma correction, the
// matrix value, the clamp, the 5-bit field in the buffer's byte order and
// the intensity test. Word for word the same as the plain forms.

#include <algorithm>
#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/cpu_features.h"
#include "picture/dither_matrix.h"
#include "picture/gamma_table.h"
#include "picture/picture_converter.h"
#include "picture/ordered_reduction_steps.h"
#include "picture/reduction_tables.h"
#include "picture/simd_bytes_avx2.h"
#include "picture/simd_bytes_avx512.h"

namespace kest {
namespace {

// With the identity gamma table (gamma 1.0, the default) a channel's byte is
// its corrected value, and sixteen pixels at a time can be reduced with byte
// arithmetic: the saturating add is min(v + m, 255), and the word's two
// bytes are formed apart and interleaved high byte first.

#if defined(__x86_64__)
// What the 32-pixel step needs besides the pixels: the deinterleaving
// shuffles in both halves, the row's matrix values and the field masks.
struct Step32 {
    __m256i shuffle[3][3];
    __m256i m, intensity, f8, low3, c0, x3e;
};

__attribute__((target("avx2"))) Step32 MakeStep32(const uint16_t* matrixRow, int32_t useIntensityBit) {
    Step32 k;
    for (int c = 0; c < 3; ++c)
        for (int block = 0; block < 3; ++block)
            k.shuffle[c][block] = _mm256_broadcastsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(kBgrDeinterleave[c][block].data())));
    alignas(16) uint8_t dither[16];
    for (int i = 0; i < 16; ++i) dither[i] = static_cast<uint8_t>(matrixRow[i & 3]);
    k.m = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(dither)));
    k.intensity = _mm256_set1_epi8(useIntensityBit ? 1 : 0);
    k.f8 = _mm256_set1_epi8(static_cast<char>(0xF8));
    k.low3 = _mm256_set1_epi8(7);
    k.c0 = _mm256_set1_epi8(static_cast<char>(0xC0));
    k.x3e = _mm256_set1_epi8(0x3E);
    return k;
}

// Thirty-two pixels: two groups of 16, one in each 128-bit half, where the
// byte shuffles work as in the 16-pixel step. The group's corrected bytes
// lie as a = 0-15 | 48-63, b = 16-31 | 64-79, d = 32-47 | 80-95.
__attribute__((target("avx2"), always_inline)) inline void Reduce32(const Step32& k, __m256i a, __m256i b, __m256i d,
                                                                    Pixel16* out) {
    __m256i ch[3];
    for (int c = 0; c < 3; ++c)
        ch[c] = _mm256_adds_epu8(_mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, k.shuffle[c][0]),
                                                                 _mm256_shuffle_epi8(b, k.shuffle[c][1])),
                                                 _mm256_shuffle_epi8(d, k.shuffle[c][2])),
                                 k.m);
    const __m256i blue = ch[0], green = ch[1], red = ch[2];
    const __m256i high =
        _mm256_or_si256(_mm256_and_si256(green, k.f8), _mm256_and_si256(_mm256_srli_epi16(red, 5), k.low3));
    const __m256i all = _mm256_and_si256(_mm256_and_si256(blue, green), red);
    const __m256i low = _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(red, 3), k.c0),
                                                        _mm256_and_si256(_mm256_srli_epi16(blue, 2), k.x3e)),
                                        _mm256_and_si256(_mm256_srli_epi16(all, 2), k.intensity));
    const __m256i first = _mm256_unpacklo_epi8(high, low);   // pixels 0-7 | 16-23
    const __m256i second = _mm256_unpackhi_epi8(high, low);  // pixels 8-15 | 24-31
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(first, second, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16), _mm256_permute2x128_si256(first, second, 0x31));
}

// Pixels 0 .. 16n - 1 of a row, n as large as `columns` allows; returns 16n.
// `matrixRow` holds the row's four matrix values (all 0 for truncation).
__attribute__((target("avx2"))) int32_t ReduceRowIdentityAvx2(const uint8_t* in, Pixel16* out, int32_t columns,
                                                                const uint16_t* matrixRow, int32_t useIntensityBit,
                                                                const uint8_t*, const uint16_t*) {
    int32_t x = 0;
    const Step32 k = MakeStep32(matrixRow, useIntensityBit);
    for (; x + 32 <= columns; x += 32, in += 96) {
        __m256i a = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)));
        __m256i b = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)));
        __m256i d = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32)));
        a = _mm256_inserti128_si256(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 48)), 1);
        b = _mm256_inserti128_si256(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 64)), 1);
        d = _mm256_inserti128_si256(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 80)), 1);
        Reduce32(k, a, b, d, out + x);
    }

    __m128i shuffle[3][3];
    for (int c = 0; c < 3; ++c)
        for (int block = 0; block < 3; ++block)
            shuffle[c][block] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kBgrDeinterleave[c][block].data()));
    const __m128i m = _mm256_castsi256_si128(k.m), intensityMask = _mm256_castsi256_si128(k.intensity);
    const __m128i f8 = _mm256_castsi256_si128(k.f8), low3 = _mm256_castsi256_si128(k.low3);
    const __m128i c0 = _mm256_castsi256_si128(k.c0), x3e = _mm256_castsi256_si128(k.x3e);
    for (; x + 16 <= columns; x += 16, in += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
        __m128i ch[3];
        for (int c = 0; c < 3; ++c)
            ch[c] = _mm_adds_epu8(_mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, shuffle[c][0]),
                                                            _mm_shuffle_epi8(b, shuffle[c][1])),
                                               _mm_shuffle_epi8(d, shuffle[c][2])),
                                  m);
        const __m128i blue = ch[0], green = ch[1], red = ch[2];
        // High byte: green's 5 bits, then red's top 3. Low byte: red's low 2
        // of its 5, blue's 5, the intensity bit. 16-bit shifts carry bits
        // across bytes, and the masks drop them.
        const __m128i high = _mm_or_si128(_mm_and_si128(green, f8), _mm_and_si128(_mm_srli_epi16(red, 5), low3));
        const __m128i all = _mm_and_si128(_mm_and_si128(blue, green), red);
        const __m128i low = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(_mm_slli_epi16(red, 3), c0), _mm_and_si128(_mm_srli_epi16(blue, 2), x3e)),
            _mm_and_si128(_mm_srli_epi16(all, 2), intensityMask));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi8(high, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 8), _mm_unpackhi_epi8(high, low));
    }
    return x;
}

// Pixels 0 .. 32n - 1 of a row under any gamma table; returns 32n. The
// source bytes go through the table in pairs as they are loaded, after which
// the 32-pixel step applies as for the identity.
__attribute__((target("avx2"))) int32_t ReduceRowGammaAvx2(const uint8_t* in, Pixel16* out, int32_t columns,
                                                             const uint16_t* matrixRow, int32_t useIntensityBit,
                                                             const uint8_t*, const uint16_t* gammaPairs) {
    const Step32 k = MakeStep32(matrixRow, useIntensityBit);
    int32_t x = 0;
    for (; x + 32 <= columns; x += 32, in += 96) {
        const BgrBlocksAvx2 blocks = LoadBgr32Avx2(in, gammaPairs);
        Reduce32(k, blocks.a, blocks.b, blocks.d, out + x);
    }
    return x;
}

// Sixty-four pixels a step, all in 512-bit registers: a channel's 64 bytes
// are gathered from the 192 source bytes by two byte permutes (one over the
// first 128 bytes, one for the rest), go through the gamma table unless it
// is the identity, and the word's two bytes are interleaved by one permute
// per 64 bytes of output. Returns the pixels done, a multiple of 64.
constexpr auto kWordBytes = [] {
    // [half][j]: output byte j of words 32 * half ..: even bytes the high
    // byte of word j / 2, odd ones its low byte (the second register).
    std::array<std::array<uint8_t, 64>, 2> at{};
    for (int half = 0; half < 2; ++half)
        for (int j = 0; j < 64; ++j) at[half][j] = static_cast<uint8_t>((j & 1) * 64 + 32 * half + j / 2);
    return at;
}();

// One channel's 64 corrected bytes, the matrix values added.
__attribute__((target("avx512f,avx512bw,avx512vbmi"), always_inline)) inline __m512i Channel64(
    __m512i first, __m512i middle, __m512i last, __m512i gather, __mmask64 fromLast, __m512i m) {
    return _mm512_adds_epu8(BgrChannelAvx512(first, middle, last, gather, fromLast), m);
}

template <bool kGamma>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int32_t ReduceRowAvx512(const uint8_t* in, Pixel16* out,
                                                                                int32_t columns,
                                                                                const uint16_t* matrixRow,
                                                                                int32_t useIntensityBit,
                                                                                const uint8_t* gammaBytes, const uint16_t*) {
    ByteTableAvx512 table = {};
    if constexpr (kGamma) table = LoadByteTableAvx512(gammaBytes);
    // Held in named registers: arrays of them end up on the stack.
    const __m512i gatherBlue = _mm512_loadu_si512(kBgrGather64[0].data());
    const __m512i gatherGreen = _mm512_loadu_si512(kBgrGather64[1].data());
    const __m512i gatherRed = _mm512_loadu_si512(kBgrGather64[2].data());
    const __mmask64 lastBlue = kBgrFromLast64[0], lastGreen = kBgrFromLast64[1], lastRed = kBgrFromLast64[2];
    const __m512i firstWords = _mm512_loadu_si512(kWordBytes[0].data());
    const __m512i lastWords = _mm512_loadu_si512(kWordBytes[1].data());
    // The four matrix values of the row (0 .. 7), repeated.
    const __m512i m = _mm512_set1_epi32(static_cast<int32_t>(matrixRow[0] | matrixRow[1] << 8 | matrixRow[2] << 16 |
                                                             static_cast<uint32_t>(matrixRow[3]) << 24));
    const __m512i intensity = _mm512_set1_epi8(useIntensityBit ? 1 : 0);
    const __m512i f8 = _mm512_set1_epi8(static_cast<char>(0xF8)), low3 = _mm512_set1_epi8(7);
    const __m512i c0 = _mm512_set1_epi8(static_cast<char>(0xC0)), x3e = _mm512_set1_epi8(0x3E);
    int32_t x = 0;
    for (; x + 64 <= columns; x += 64, in += 192) {
        __m512i first = _mm512_loadu_si512(in);
        __m512i middle = _mm512_loadu_si512(in + 64);
        __m512i last = _mm512_loadu_si512(in + 128);
        if constexpr (kGamma) {
            first = LookUpAvx512(table, first);
            middle = LookUpAvx512(table, middle);
            last = LookUpAvx512(table, last);
        }
        const __m512i blue = Channel64(first, middle, last, gatherBlue, lastBlue, m);
        const __m512i green = Channel64(first, middle, last, gatherGreen, lastGreen, m);
        const __m512i red = Channel64(first, middle, last, gatherRed, lastRed, m);
        const __m512i high =
            _mm512_or_si512(_mm512_and_si512(green, f8), _mm512_and_si512(_mm512_srli_epi16(red, 5), low3));
        const __m512i all = _mm512_and_si512(_mm512_and_si512(blue, green), red);
        const __m512i low = _mm512_or_si512(_mm512_or_si512(_mm512_and_si512(_mm512_slli_epi16(red, 3), c0),
                                                            _mm512_and_si512(_mm512_srli_epi16(blue, 2), x3e)),
                                            _mm512_and_si512(_mm512_srli_epi16(all, 2), intensity));
        _mm512_storeu_si512(out + x, _mm512_permutex2var_epi8(high, firstWords, low));
        _mm512_storeu_si512(out + x + 32, _mm512_permutex2var_epi8(high, lastWords, low));
    }
    return x;
}

// Pixels 0 .. 32n - 1 of a row under any gamma table; returns 32n. The
// source bytes go through the table in registers, after which a channel's
// byte is its corrected value and the 32-pixel step applies as for the
// identity.
__attribute__((target("avx2,avx512f,avx512bw,avx512vbmi"))) int32_t ReduceRowGammaAvx512(
    const uint8_t* in, Pixel16* out, int32_t columns, const uint16_t* matrixRow, int32_t useIntensityBit,
    const uint8_t* gammaBytes, const uint16_t*) {
    const ByteTableAvx512 table = LoadByteTableAvx512(gammaBytes);
    const Step32 k = MakeStep32(matrixRow, useIntensityBit);
    // Quadwords of first (0-7) and rest (8-15): a = 0-15 | 48-63,
    // b = 16-31 | 64-79, d = 32-47 | 80-95.
    const __m512i abLanes = _mm512_set_epi64(9, 8, 3, 2, 7, 6, 1, 0);
    const __m512i daLanes = _mm512_set_epi64(7, 6, 1, 0, 11, 10, 5, 4);
    int32_t x = 0;
    for (; x + 32 <= columns; x += 32, in += 96) {
        const __m512i first = LookUpAvx512(table, _mm512_loadu_si512(in));                      // bytes 0-63
        const __m512i rest = LookUpAvx512(table, _mm512_maskz_loadu_epi8(0xFFFFFFFFu, in + 64));  // bytes 64-95
        // Lanes of 16 bytes rearranged as a | b and d | a; halves taken
        // with zeroing masks, as this compiler's plain casts start from
        // undefined values and warn.
        const __m512i ab = _mm512_permutex2var_epi64(first, abLanes, rest);
        const __m512i da = _mm512_permutex2var_epi64(first, daLanes, rest);
        const __m256i a = _mm512_maskz_extracti64x4_epi64(0xF, ab, 0);
        const __m256i b = _mm512_maskz_extracti64x4_epi64(0xF, ab, 1);
        const __m256i d = _mm512_maskz_extracti64x4_epi64(0xF, da, 0);
        Reduce32(k, a, b, d, out + x);
    }
    return x;
}
#endif

// Pixels from `x` on of a row through the tables.
void ReduceRowTables(const uint8_t* in, Pixel16* out, int32_t x, int32_t columns, const uint32_t (*const t[4])[256]) {
    in += 3 * x;
    for (; x + 4 <= columns && (x & 3) == 0; x += 4, in += 12) {
        for (int j = 0; j < 4; ++j)
            PutStored(out + x + j, OrderedWord(t[j][0][in[3 * j]], t[j][1][in[3 * j + 1]], t[j][2][in[3 * j + 2]]));
    }
    for (; x < columns; ++x, in += 3) {
        const auto& tj = t[x & 3];
        PutStored(out + x, OrderedWord(tj[0][in[0]], tj[1][in[1]], tj[2][in[2]]));
    }
}

// The whole-row steps of a tier, tried in turn: each converts pixels from
// where the one before stopped and returns how many it did, a multiple of 4,
// so the matrix values keep their columns. The tables finish the row.
struct RowSteps {
    RowStep identity[2];  // the gamma table is the identity
    RowStep gamma[2];     // any other table
};

const RowSteps& RowStepsOf(SimdTier tier) {
    static constexpr RowSteps kNone = {};
#if defined(__x86_64__)
    // Steps of 64 pixels, then of 32 and 16.
    static constexpr RowSteps kAvx2 = {{ReduceRowIdentityAvx2, nullptr}, {ReduceRowGammaAvx2, ReduceRowGammaSse2}};
    static constexpr RowSteps kAvx512 = {{ReduceRowAvx512<false>, ReduceRowIdentityAvx2},
                                         {ReduceRowAvx512<true>, ReduceRowGammaAvx512}};
    if (tier >= SimdTier::Avx512) return kAvx512;
    if (tier >= SimdTier::Avx2) return kAvx2;
#endif
#if defined(__SSE2__)
    static constexpr RowSteps kSse2 = {{ReduceRowIdentitySse2, nullptr}, {ReduceRowGammaSse2, nullptr}};
    if (tier >= SimdTier::Sse2) return kSse2;
#endif
    (void)tier;
    return kNone;
}

void ReduceWithTables(const PictureState& state, const PictureFrame& f, const uint16_t* matrix) {
    const OrderedTable& tables = state.ordered[f.useIntensityBit ? 1 : 0];
    const RowSteps& kernels = RowStepsOf(state.tier);
    const RowStep* steps = state.gamma.identity ? kernels.identity : kernels.gamma;
    const uint8_t* gammaBytes = state.gamma.bytes;
    const PictureWalk walk(f);
    for (int32_t y = 0; y < walk.rows; ++y) {
        const uint8_t* in = walk.In(y);
        Pixel16* out = walk.Out(y);
        // The row's four matrix values, each selecting its tables; values
        // above 7 cannot occur in the fixed matrices.
        const uint16_t* matrixRow = matrix + (y & 3) * 4;
        const uint32_t(*t[4])[256];
        for (int j = 0; j < 4; ++j) t[j] = tables[matrixRow[j] & 7];
        int32_t x = 0;
        for (int i = 0; i < 2 && steps[i]; ++i)
            x += steps[i](in + 3 * x, out + x, walk.columns - x, matrixRow, f.useIntensityBit, gammaBytes,
                          state.gammaPairs);
        ReduceRowTables(in, out, x, walk.columns, t);
    }
}

// Frame index 0: the run's gamma table and both tables built from it.
void StartRun(PictureState& state, const PictureFrame& f) {
    BuildGammaTable(state.gamma, f.gamma);
    // The SSE2 and AVX2 steps look the gamma table up in pairs.
    const bool pairs = state.tier == SimdTier::Sse2 || state.tier == SimdTier::Avx2;
    if (pairs && !state.gamma.identity) BuildGammaPairs(state.gammaPairs, state.gamma);
    BuildOrderedTable(state.ordered[0], state.gamma, 0);
    BuildOrderedTable(state.ordered[1], state.gamma, 1);
}

constexpr DitherMatrix kNothingAdded = {};

}  // namespace

void ConvertBitTruncate(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) StartRun(state, f);
    ReduceWithTables(state, f, kNothingAdded);
}

void ConvertDither2x2(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) {
        StartRun(state, f);
        SelectDitherMatrix(state.matrix, MatrixChoice::Checkerboard);
    }
    ReduceWithTables(state, f, state.matrix);
}

void ConvertDither4x4(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) {
        StartRun(state, f);
        SelectDitherMatrix(state.matrix, MatrixChoice::Ordered4x4);
    }
    ReduceWithTables(state, f, state.matrix);
}

void ConvertTemporalDither2x2(PictureState& state, const PictureFrame& f) {
    if (f.frameIndex == 0) StartRun(state, f);
    // Even frames, frame 0 among them, take the inverse checkerboard.
    SelectDitherMatrix(state.matrix,
                       f.frameIndex % 2 != 0 ? MatrixChoice::Checkerboard : MatrixChoice::InverseCheckerboard);
    ReduceWithTables(state, f, state.matrix);
}

}  // namespace kest
