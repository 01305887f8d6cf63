// The fast planar form with AVX2: sixteen rows at once. Only 64-bit builds
// have it; every function here carries the target itself, so that nothing
// of it reaches code the processor might run without AVX2.

#include "picture/planar_wavefront.h"

#if defined(__x86_64__)
#include <immintrin.h>

#define KEST_WAVEFRONT_TARGET __attribute__((target("avx2")))
#define KEST_TRANSPOSE_TARGET __attribute__((target("avx2"), always_inline))
#include "picture/planar_wavefront_avx2_transpose.h"
#include "picture/planar_wavefront_kernel.h"

namespace kest {
namespace {

#define KEST_AVX2 __attribute__((target("avx2"), always_inline)) static inline

struct Avx2 {
    using R = __m256i;
    static constexpr int32_t kLanes = kAvx2Lanes;

    KEST_AVX2 R Load(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const R*>(p)); }
    KEST_AVX2 R LoadAligned(const int16_t* p) { return _mm256_load_si256(reinterpret_cast<const R*>(p)); }
    KEST_AVX2 void StoreAligned(int16_t* p, R v) { _mm256_store_si256(reinterpret_cast<R*>(p), v); }
    KEST_AVX2 R Set(int16_t v) { return _mm256_set1_epi16(v); }
    KEST_AVX2 R Add(R a, R b) { return _mm256_add_epi16(a, b); }
    KEST_AVX2 R Sub(R a, R b) { return _mm256_sub_epi16(a, b); }
    KEST_AVX2 R MulLo(R a, R b) { return _mm256_mullo_epi16(a, b); }
    KEST_AVX2 R MulHi(R a, R b) { return _mm256_mulhi_epi16(a, b); }
    KEST_AVX2 R Max(R a, R b) { return _mm256_max_epi16(a, b); }
    KEST_AVX2 R Min(R a, R b) { return _mm256_min_epi16(a, b); }
    KEST_AVX2 R And(R a, R b) { return _mm256_and_si256(a, b); }
    KEST_AVX2 R Or(R a, R b) { return _mm256_or_si256(a, b); }
    KEST_AVX2 R CmpGt(R a, R b) { return _mm256_cmpgt_epi16(a, b); }
    KEST_AVX2 R Blend(R mask, R a, R b) { return _mm256_blendv_epi8(a, b, mask); }
    template <int n>
    KEST_AVX2 R ShiftLeft(R a) { return _mm256_slli_epi16(a, n); }
    template <int n>
    KEST_AVX2 R ShiftRight(R a) { return _mm256_srli_epi16(a, n); }
    template <int n>
    KEST_AVX2 R ShiftRightArithmetic(R a) { return _mm256_srai_epi16(a, n); }
    KEST_AVX2 bool Any(R a) { return _mm256_movemask_epi8(a) != 0; }

    KEST_AVX2 void TransposeIn(uint8_t* const* lanes, int32_t offset, R* out) { TransposeIn16(lanes, offset, out); }
    KEST_AVX2 void TransposeOut(const R* in, uint8_t* const* lanes, int32_t offset) {
        TransposeOut16(in, lanes, offset);
    }
};

#undef KEST_AVX2

}  // namespace

void RunWavefrontAvx2(const WavefrontJob& job) { RunWavefront<Avx2>(job); }

}  // namespace kest

#endif
