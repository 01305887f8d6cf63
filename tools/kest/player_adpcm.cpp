#include "player_adpcm.h"

#include <algorithm>

namespace kest::tool {

int16_t PlayerAdpcmDecode(AdpcmDecoderState& state, uint8_t code) {
    const int32_t step = AdpcmStepTable[state.stepIndex];
    int32_t diff = step / 8;
    if (code & 4) diff += step;
    if (code & 2) diff += step / 2;
    if (code & 1) diff += step / 4;
    if (code & 8) diff = -diff;
    state.predicted = static_cast<int16_t>(std::clamp(state.predicted + diff, -2048, 2047));
    state.stepIndex = static_cast<int8_t>(std::clamp(state.stepIndex + AdpcmIndexAdjust[code & 15], 0, 48));
    return state.predicted;
}

}  // namespace kest::tool
