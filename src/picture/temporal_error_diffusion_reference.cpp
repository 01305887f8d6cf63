// Plain form, a pixel at a time: the reference for the fast converter.
// Each pixel's quantisation error goes to the same pixel of the next frame,
// whole; nothing moves sideways within a picture.

#include <algorithm>
#include <iterator>

#include "picture/converter_reference.h"
#include "picture/quantize6.h"

namespace kest {

// The state's planes hold each pixel's error, cell y * 512 + x for pixel
// (y, x), y counted from the bottom row. Cleared on frame index 0, kept
// between frames.
void ConvertTemporalErrorDiffusionReference(PictureState& state, const PictureFrame& f) {
    constexpr int32_t kPlaneSide = kMaxPictureSide;
    if (f.frameIndex == 0) StartTemporalRun(state, f);
    const uint16_t* table = state.gamma.Entries();
    // The planes hold 512 x 512 pixels; a larger caller converts no more.
    const PictureWalk walk(f, kPlaneSide);
    for (int32_t y = 0; y < walk.rows; ++y) {
        const uint8_t* in = walk.In(y);
        Pixel16* out = walk.Out(y);
        const int32_t rowStart = y * kPlaneSide;
        for (int32_t x = 0; x < walk.columns; ++x, in += 3) {
            int16_t& blue = state.temporal[0][rowStart + x];
            int16_t& green = state.temporal[1][rowStart + x];
            int16_t& red = state.temporal[2][rowStart + x];
            const Quantized6 q = Quantize6(static_cast<int16_t>(table[in[0]] + blue),
                                           static_cast<int16_t>(table[in[1]] + green),
                                           static_cast<int16_t>(table[in[2]] + red), f.useIntensityBit);
            blue = q.eb;
            green = q.eg;
            red = q.er;
            StorePixel16(out + x, q.word);
        }
    }
}

}  // namespace kest
