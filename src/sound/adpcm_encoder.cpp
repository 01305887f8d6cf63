#include "sound/adpcm_encoder.h"

namespace kest {

const int16_t AdpcmStepTable[49] = {
    16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,  45,   50,   55,   60,   66,   73,
    80,  88,  97,  107, 118, 130, 143, 157, 173, 190, 209, 230,  253,  279,  307,  337,  371,
    408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552,
};

// Indexed by the whole code: the sign bit does not change the adaptation.
const int8_t AdpcmIndexAdjust[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

namespace {

int8_t AdvanceIndex(int8_t index, uint8_t code) {
    int adjusted = index + AdpcmIndexAdjust[code & 15];
    if (adjusted < 0) adjusted = 0;
    if (adjusted > 48) adjusted = 48;
    return static_cast<int8_t>(adjusted);
}

// The state after a code, by index and the code's magnitude bits: the next
// index and its step in one load, so that a sample's step is ready as soon
// as the previous code is.
struct After {
    int16_t step;
    int8_t index;
};
struct AfterTable {
    After entries[49 * 8];
};
AfterTable MakeAfterTable() {
    AfterTable t{};
    for (int index = 0; index < 49; ++index)
        for (int magnitude = 0; magnitude < 8; ++magnitude) {
            int next = index + AdpcmIndexAdjust[magnitude];
            next = next < 0 ? 0 : next > 48 ? 48 : next;
            t.entries[index * 8 + magnitude] = {AdpcmStepTable[next], static_cast<int8_t>(next)};
        }
    return t;
}
const AfterTable kAfter = MakeAfterTable();

}  // namespace

int16_t AdpcmDecodeCode(AdpcmDecoderState& state, uint8_t code) {
    int index = state.stepIndex;
    if (index < 0) index = 0;
    if (index > 48) index = 48;
    const int step = AdpcmStepTable[index];
    // Each quotient is truncated on its own.
    int diff = step / 8;
    if (code & 4) diff += step;
    if (code & 2) diff += step / 2;
    if (code & 1) diff += step / 4;
    if (code & 8) diff = -diff;
    // Stored back as 16 bits with no clamping: the player does the same.
    state.predicted = static_cast<int16_t>(state.predicted + diff);
    state.stepIndex = AdvanceIndex(static_cast<int8_t>(index), code);
    return state.predicted;
}

namespace {

// The plain form's choices without its branches: noise makes every bit of
// the code a coin toss, and the bits are masks here, not jumps. The state
// lives in the caller's registers.
inline uint8_t EncodeOne(int16_t sample, int& predicted, int& index, int& step) {
    const int x = sample >> 4;  // arithmetic: -1 stays -1, -17 becomes -2
    int d = x - predicted;
    const int negative = d < 0 ? 1 : 0;
    const int flip = -negative;  // all ones when negative
    d = (d ^ flip) - flip;
    const int half = step >> 1;
    const int quarter = step >> 2;
    // Strict comparisons: a difference equal to the step leaves the bit clear.
    const int high = d > step ? 1 : 0;
    d -= step & -high;
    const int middle = d > half ? 1 : 0;
    d -= half & -middle;
    const int low = d > quarter ? 1 : 0;
    // What the player reconstructs from the code, as AdpcmDecodeCode does.
    int diff = (step >> 3) + (step & -high) + (half & -middle) + (quarter & -low);
    diff = (diff ^ flip) - flip;
    predicted = static_cast<int16_t>(predicted + diff);
    const int magnitude = high << 2 | middle << 1 | low;
    const After after = kAfter.entries[index * 8 + magnitude];
    index = after.index;
    step = after.step;
    return static_cast<uint8_t>(negative << 3 | magnitude);
}

}  // namespace

uint8_t AdpcmEncoder::Encode(int16_t sample) {
    uint8_t code = 0;
    EncodeRun(&sample, 1, &code);
    return code;
}

void AdpcmEncoder::EncodeRun(const int16_t* samples, int32_t count, uint8_t* codes) {
    int predicted = state_.predicted;
    int index = state_.stepIndex;
    int step = step_;
    for (int32_t i = 0; i < count; ++i) codes[i] = EncodeOne(samples[i], predicted, index, step);
    state_.predicted = static_cast<int16_t>(predicted);
    state_.stepIndex = static_cast<int8_t>(index);
    step_ = step;
}

}  // namespace kest
