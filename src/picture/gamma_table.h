// One gamma table for the process, shared by all converters and rebuilt by
// each of them on frame index 0 only.
#pragma once

#include <cstdint>

namespace kest {

// Fills the table: entry i = trunc(pow(i / 255, 1 / gamma) * 255 + 0.5) & 0xFF.
// A gamma that is not a finite number above 0 builds the identity, as 1.0 does.
void BuildGammaTable(double gamma);

// Entry 0 of the table. Eight guard cells before it read 0 and eight after
// entry 255 read 255, so indices -8 .. 263 are all valid.
const uint16_t* GammaTable();

// Counts the builds, so that tables derived from the gamma table know when
// they are stale.
uint32_t GammaTableGeneration();

}  // namespace kest
