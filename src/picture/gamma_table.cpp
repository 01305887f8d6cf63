#include "picture/gamma_table.h"

#include <cmath>

#include "base/correctly_rounded.h"

namespace kest {

void BuildGammaTable(GammaTable& table, double gamma) {
    if (!(gamma > 0.0) || !std::isfinite(gamma)) gamma = 1.0;
    const double e = 1.0 / gamma;
    for (int g = 0; g < GammaTable::kGuard; ++g) {
        table.cells[g] = 0;
        table.cells[GammaTable::kGuard + 256 + g] = 255;
    }
    table.identity = true;
    for (int i = 0; i < 256; ++i) {
        double v = CorrectlyRoundedPow(i / 255.0, e) * 255.0 + 0.5;
        const auto entry = static_cast<uint16_t>(static_cast<int32_t>(v) & 0xFF);
        table.cells[GammaTable::kGuard + i] = entry;
        table.bytes[i] = static_cast<uint8_t>(entry);
        table.identity = table.identity && entry == i;
    }
}

void BuildGammaPairs(uint16_t* pairs, const GammaTable& table) {
    for (int b = 0; b < 256; ++b)
        for (int a = 0; a < 256; ++a)
            pairs[b << 8 | a] = static_cast<uint16_t>(table.bytes[a] | table.bytes[b] << 8);
}

}  // namespace kest
