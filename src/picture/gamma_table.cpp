#include "picture/gamma_table.h"

#include <cmath>

#include "plugin/correctly_rounded.h"

namespace kest {
namespace {

constexpr int kGuard = 8;
uint16_t cells[kGuard + 256 + kGuard];
uint32_t generation = 0;

}  // namespace

void BuildGammaTable(double gamma) {
    ++generation;
    if (!(gamma > 0.0) || !std::isfinite(gamma)) gamma = 1.0;
    const double e = 1.0 / gamma;
    for (int g = 0; g < kGuard; ++g) {
        cells[g] = 0;
        cells[kGuard + 256 + g] = 255;
    }
    for (int i = 0; i < 256; ++i) {
        double v = CorrectlyRoundedPow(i / 255.0, e) * 255.0 + 0.5;
        cells[kGuard + i] = static_cast<uint16_t>(static_cast<int32_t>(v) & 0xFF);
    }
}

const uint16_t* GammaTable() { return cells + kGuard; }

uint32_t GammaTableGeneration() { return generation; }

}  // namespace kest
