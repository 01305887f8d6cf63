#include "sound/adpcm_encoder.h"

namespace kest {

uint8_t AdpcmEncodeReference(AdpcmDecoderState& state, int16_t sample) {
    const int x = sample >> 4;
    int d = x - state.predicted;
    uint8_t code = 0;
    if (d < 0) {
        code = 8;
        d = -d;
    }
    int step = AdpcmStepTable[state.stepIndex];
    if (d > step) {
        code |= 4;
        d -= step;
    }
    step /= 2;
    if (d > step) {
        code |= 2;
        d -= step;
    }
    step /= 2;
    if (d > step) code |= 1;
    AdpcmDecodeCode(state, code);
    return code;
}

}  // namespace kest
