// Bit truncation in its plain form, a pixel at a time: the reference that
// the table-driven ConvertBitTruncate is checked against.

#include <algorithm>

#include "picture/converter_reference.h"

namespace kest {

void ConvertBitTruncateReference(PictureState& state, const PictureFrame& f) {
    // The ordered reduction with nothing added.
    if (f.frameIndex == 0) BuildGammaTable(state.gamma, f.gamma);
    const uint16_t* table = state.gamma.Entries();
    const PictureWalk walk(f);
    for (int32_t y = 0; y < walk.rows; ++y) {
        const uint8_t* in = walk.In(y);
        Pixel16* out = walk.Out(y);
        for (int32_t x = 0; x < walk.columns; ++x, in += 3) {
            const unsigned b = table[in[0]], g = table[in[1]], r = table[in[2]];
            const unsigned intensity = f.useIntensityBit && (r & g & b & 4) ? 1 : 0;
            StorePixel16(out + x, PackPixel16(g >> 3, r >> 3, b >> 3, intensity));
        }
    }
}

}  // namespace kest
