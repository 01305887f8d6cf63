// The player's ADPCM decoder. It differs from the export's own decoder
// (AdpcmDecodeCode, which the encoder chooses its codes against) in one
// thing: the player keeps its prediction in 12 bits, so a step that would
// overshoot -2048..2047 stops at the edge and the stream goes on from there.
// What the player plays is what this gives.
#pragma once

#include <cstdint>

#include "sound/adpcm_encoder.h"

namespace kest::tool {

// Decodes one code, advances `state` and returns the new prediction, always
// within -2048..2047.
int16_t PlayerAdpcmDecode(AdpcmDecoderState& state, uint8_t code);

}  // namespace kest::tool
