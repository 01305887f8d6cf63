// The steps of the fast planar form over a small vector type V, shared by
// the files of each instruction set. Include it after planar_wavefront.h and
// after defining KEST_WAVEFRONT_TARGET (the target attribute of the
// including file's functions); V supplies 16-bit lane arithmetic and the two
// transposes between the lane buffers and step vectors.
//
// A step, per channel: the ten weighted errors of the two rows below (two
// symmetric 5-tap sums over neighbouring vectors), the two left neighbours
// from registers, the division by 48 and the 6-bit level by high-half
// products, the shared bit, then the error stored and the word made. All
// arithmetic is exact in 16 bits:
//  - errors are held plus 8, so the weighted sum is the true one plus 384,
//    at least 96;
//  - trunc(true / 48) + 8 = hi(z * 1366) with z the biased sum, plus 47 when
//    the true sum is negative (z stays below 720, where 1366 / 65536 is
//    close enough to 1 / 48); the corrected value is clamped to 8 .. 263,
//    which is the value clamped to 0 .. 255 plus 8;
//  - the 6-bit level of a clamped value v is hi((v + 2) * 16192), so half of
//    it is hi((v + 2) * 8096), and level n stands for (259 n + 33) >> 6:
//    with n = 2 h + bit, (518 h + 259 bit + 33) >> 6.
// Without the intensity bit the shared bit is 0 and drops out.
// Positions that carry a fixed value (the seeds, the cells right of a row,
// the border rows) take it from the input instead, by mask.

namespace kest {
namespace {

// The multipliers stay multiplications: one instruction each, where the
// compiler would otherwise spend two or three on shifts and adds.
template <class R>
KEST_WAVEFRONT_TARGET inline R Opaque(R v) {
    asm("" : "+x"(v));
    return v;
}

template <class V, bool kIntensity>
KEST_WAVEFRONT_TARGET void RunWavefrontWith(const WavefrontJob& job) {
    using R = typename V::R;
    constexpr int32_t L = V::kLanes;
    constexpr int32_t W = kWavefrontChunk;
    const WavefrontGeometry& geo = job.geometry;
    const int32_t period = geo.period;
    // Row r - 1 at u - 2 and row r - 2 at u - 2, from a step's cell.
    const int32_t below1 = -period - 2 * L, below2 = -2 * period - 2 * L;

    const R zero = V::Set(0), low = V::Set(8), high = V::Set(255 + 8), six = V::Set(6);
    const R w3 = Opaque(V::Set(3)), w5 = Opaque(V::Set(5)), w7 = Opaque(V::Set(7));
    const R sumBias = V::Set(48 * 8), negative = V::Set(47), by48 = Opaque(V::Set(1366));
    const R half255 = Opaque(V::Set(8096)), times518 = Opaque(V::Set(518)), times259 = Opaque(V::Set(259));
    const R round = V::Set(33), one = V::Set(1);

    R e1[3] = {zero, zero, zero}, e2[3] = {zero, zero, zero};
    R in[3 * W], out[W];
    int32_t phase = 0;  // step mod period
    for (int32_t g0 = 0; g0 < geo.steps; g0 += W) {
        V::TransposeIn(job.lanesIn, 3 * g0, in);
        const bool border = g0 < geo.borderSteps;
        for (int32_t i = 0; i < W; ++i) {
            const int32_t g = g0 + i;
            R fixed = V::LoadAligned(job.periodMasks + phase * L);
            if (border) fixed = V::Or(fixed, V::LoadAligned(job.borderMasks + g * L));
            if (++phase == period) phase = 0;
            R v[3];  // corrected and clamped, plus 8
#pragma GCC unroll 3
            for (int c = 0; c < 3; ++c) {
                const int16_t* cell = job.errors[c] + g * L;
                const int16_t* b1 = cell + below1;
                const int16_t* b2 = cell + below2;
                R sum = V::Add(V::Load(b2), V::Load(b2 + 4 * L));
                const R threes = V::Add(V::Add(V::Load(b2 + L), V::Load(b2 + 3 * L)),
                                        V::Add(V::Load(b1), V::Load(b1 + 4 * L)));
                const R fives = V::Add(V::Add(V::Load(b2 + 2 * L), V::Load(b1 + L)), V::Add(V::Load(b1 + 3 * L), e2[c]));
                sum = V::Add(sum, V::MulLo(threes, w3));
                sum = V::Add(sum, V::MulLo(fives, w5));
                sum = V::Add(sum, V::MulLo(V::Add(V::Load(b1 + 2 * L), e1[c]), w7));
                sum = V::AddWhereLess(sum, sumBias, negative);
                v[c] = V::Min(V::Max(V::Add(in[3 * i + c], V::MulHi(sum, by48)), low), high);
            }
            R bit = zero, levelBit = round;
            if constexpr (kIntensity) {
                bit = V::And(V::And(V::And(v[0], v[1]), v[2]), one);
                levelBit = V::Add(V::MulLo(bit, times259), round);
            }
            R word = bit;
            const bool anyFixed = V::Any(fixed);
#pragma GCC unroll 3
            for (int c = 0; c < 3; ++c) {
                const R half = V::MulHi(V::Sub(v[c], six), half255);
                const R level = V::template ShiftRight<6>(V::Add(V::MulLo(half, times518), levelBit));
                R error = V::Sub(v[c], level);  // plus 8
                if (anyFixed) error = V::Blend(fixed, error, in[3 * i + c]);
                V::StoreAligned(job.errors[c] + g * L, error);
                e2[c] = e1[c];
                e1[c] = error;
                // Green's field at bit 11, red's at bit 6, blue's at bit 1.
                word = V::Or(word, c == 0   ? V::template ShiftLeft<1>(half)
                                   : c == 1 ? V::template ShiftLeft<11>(half)
                                            : V::template ShiftLeft<6>(half));
            }
            out[i] = V::Or(V::template ShiftLeft<8>(word), V::template ShiftRight<8>(word));  // high byte first
        }
        V::TransposeOut(out, job.lanesOut, 2 * g0);
    }
}

template <class V>
KEST_WAVEFRONT_TARGET void RunWavefront(const WavefrontJob& job) {
    if (job.useIntensityBit) RunWavefrontWith<V, true>(job);
    else RunWavefrontWith<V, false>(job);
}

}  // namespace
}  // namespace kest
