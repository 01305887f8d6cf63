#include "picture/reduction_tables.h"

#include <algorithm>

namespace kest {
namespace {

// Field position of each channel in the word: blue, green, red.
constexpr int kShift[3] = {1, 11, 6};

struct QuantizeEntries {
    QuantizeTable t;
};

constexpr QuantizeEntries MakeQuantizeTable() {
    QuantizeEntries q{};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256 + 2 * kQuantizeBias; ++i) {
            const int32_t v = std::clamp(i - kQuantizeBias, 0, 255);
            // Quantize6's steps for one channel, for both settings of the
            // shared low bit.
            const int32_t qEven = ((126 * v + 255) / 510) & ~1;
            const auto level = [](int32_t lq) { return (510 * lq + 63) / 126; };
            const int32_t err0 = v - level(qEven);
            const int32_t err1 = v - level(qEven | 1);
            uint32_t entry = StoredForm(static_cast<uint16_t>((qEven >> 1) << kShift[c]));
            entry |= static_cast<uint32_t>(v & 1) << 16;
            entry |= static_cast<uint32_t>(err0 + 8) << 20;
            entry |= static_cast<uint32_t>(err1 + 8) << 24;
            q.t[c][i] = entry;
        }
    return q;
}

constexpr QuantizeEntries kQuantize = MakeQuantizeTable();

}  // namespace

const QuantizeTable& QuantizeTables() { return kQuantize.t; }

void BuildOrderedTable(OrderedTable& table, const GammaTable& gamma, int32_t useIntensityBit) {
    const uint16_t* entries = gamma.Entries();
    for (uint32_t m = 0; m < 8; ++m)
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 256; ++i) {
                const uint32_t v = std::min<uint32_t>(entries[i] + m, 255u);
                uint32_t entry = StoredForm(static_cast<uint16_t>((v >> 3) << kShift[c]));
                if (useIntensityBit && (v & 4)) entry |= kOrderedFlag;
                table[m][c][i] = entry;
            }
}

}  // namespace kest
