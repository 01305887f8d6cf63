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
    if (f.frameIndex == 0) {
        for (auto& plane : state.temporal) std::fill(std::begin(plane), std::end(plane), int16_t{0});
        BuildGammaTable(state.gamma, f.gamma);
    }
    const uint16_t* table = state.gamma.Entries();
    // The planes hold 512 x 512 pixels; a larger caller converts no more.
    const int32_t rows = std::min({f.sourceHeight, f.targetHeight, kPlaneSide});
    const int32_t columns = std::min({f.sourceWidth, f.targetWidth, kPlaneSide});
    const int32_t sourceStride = SourceRowStride(f.sourceWidth);
    const int32_t destinationStride = DestinationRowStride(f.targetWidth);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = f.picture + static_cast<std::ptrdiff_t>(y) * sourceStride;
        Pixel16* out = f.destination + static_cast<std::ptrdiff_t>(f.targetHeight - 1 - y) * destinationStride;
        int16_t* blue = state.temporal[0] + y * kPlaneSide;
        int16_t* green = state.temporal[1] + y * kPlaneSide;
        int16_t* red = state.temporal[2] + y * kPlaneSide;
        for (int32_t x = 0; x < columns; ++x, in += 3) {
            const Quantized6 q = Quantize6(static_cast<int16_t>(table[in[0]] + blue[x]),
                                           static_cast<int16_t>(table[in[1]] + green[x]),
                                           static_cast<int16_t>(table[in[2]] + red[x]), f.useIntensityBit);
            blue[x] = q.eb;
            green[x] = q.eg;
            red[x] = q.er;
            StorePixel16(out + x, q.word);
        }
    }
}

}  // namespace kest
