#include "picture/reduction_tables.h"

#include <algorithm>

#include "picture/gamma_table.h"

namespace kest {
namespace {

// Field position of each channel in the word: blue, green, red.
constexpr int kShift[3] = {1, 11, 6};

OrderedTable ordered;
uint32_t orderedGeneration = 0;
int32_t orderedIntensity = -1;

QuantizeTable quantize;
bool quantizeBuilt = false;

}  // namespace

const OrderedTable& OrderedTables(int32_t useIntensityBit) {
    const int32_t use = useIntensityBit ? 1 : 0;
    // Rebuilt whenever the gamma table was rebuilt since, which every run's
    // frame 0 does.
    if (orderedIntensity != use || orderedGeneration != GammaTableGeneration()) {
        const uint16_t* gamma = GammaTable();
        for (uint32_t m = 0; m < 8; ++m)
            for (int c = 0; c < 3; ++c)
                for (int i = 0; i < 256; ++i) {
                    const uint32_t v = std::min<uint32_t>(gamma[i] + m, 255u);
                    uint32_t entry = StoredForm(static_cast<uint16_t>((v >> 3) << kShift[c]));
                    if (use && (v & 4)) entry |= kOrderedFlag;
                    ordered[m][c][i] = entry;
                }
        orderedIntensity = use;
        orderedGeneration = GammaTableGeneration();
    }
    return ordered;
}

const QuantizeTable& QuantizeTables() {
    if (!quantizeBuilt) {
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 256 + 2 * kQuantizeBias; ++i) {
                const int32_t v = std::clamp(i - kQuantizeBias, 0, 255);
                // Quantize6's steps for one channel, for both settings of
                // the shared low bit.
                const int32_t qEven = ((126 * v + 255) / 510) & ~1;
                const auto level = [](int32_t q) { return (510 * q + 63) / 126; };
                const int32_t err0 = v - level(qEven);
                const int32_t err1 = v - level(qEven | 1);
                uint32_t entry = StoredForm(static_cast<uint16_t>((qEven >> 1) << kShift[c]));
                entry |= static_cast<uint32_t>(v & 1) << 16;
                entry |= static_cast<uint32_t>(err0 + 8) << 20;
                entry |= static_cast<uint32_t>(err1 + 8) << 24;
                quantize[c][i] = entry;
            }
        quantizeBuilt = true;
    }
    return quantize;
}

}  // namespace kest
