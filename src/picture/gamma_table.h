// The gamma table of one export: every converter of the run reads it, and
// each builds it on frame index 0 from that frame's gamma.
#pragma once

#include <cstdint>

namespace kest {

struct GammaTable {
    static constexpr int kGuard = 8;
    // Eight guard cells before entry 0 read 0 and eight after entry 255 read
    // 255, so indices -8 .. 263 of Entries() are all valid.
    uint16_t cells[kGuard + 256 + kGuard];
    uint8_t bytes[256];  // the entries as bytes (they are 0 .. 255), for byte look-ups
    bool identity;       // entry i is i: the bytes need no look-up

    const uint16_t* Entries() const { return cells + kGuard; }
};

// Fills `table`: entry i = trunc(pow(i / 255, 1 / gamma) * 255 + 0.5) & 0xFF.
// A gamma that is not a finite number above 0 builds the identity, as 1.0 does.
void BuildGammaTable(GammaTable& table, double gamma);

// Fills `pairs` (256 * 256 entries): entry a | b << 8 is
// bytes[a] | bytes[b] << 8, two entries looked up with one load, for the
// kernels that have no byte shuffle.
void BuildGammaPairs(uint16_t* pairs, const GammaTable& table);

}  // namespace kest
