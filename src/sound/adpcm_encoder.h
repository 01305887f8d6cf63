// 4-bit ADPCM of the player: 12-bit samples, 49 adaptive step sizes, codes of
// one sign bit (8) and three magnitude bits worth step, step/2 and step/4.
// The encoder carries the player's decoder and chooses every code against
// the value the player will reconstruct.
#pragma once

#include <cstdint>

namespace kest {

extern const int16_t AdpcmStepTable[49];
extern const int8_t AdpcmIndexAdjust[16];

// The player's decoder state. `predicted` is not clamped: it may leave the
// 12-bit range and the stream goes on from the overshot value.
struct AdpcmDecoderState {
    int16_t predicted = 0;
    int8_t stepIndex = 0;  // 0..48
};

// Decodes one code, advances `state` and returns the new prediction (12-bit
// units). The encoder's local decoder and every reader of movies use this.
int16_t AdpcmDecodeCode(AdpcmDecoderState& state, uint8_t code);

// The encoder of one export's sound. One state serves encoder and local
// decoder: a code is decoded with the step it was chosen with, and the index
// moves once per code, afterwards.
class AdpcmEncoder {
public:
    void Reset() {
        state_ = AdpcmDecoderState{};
        step_ = AdpcmStepTable[0];
    }
    uint8_t Encode(int16_t sample);  // 4-bit code, 0..15
    // Encode for each of `count` samples, one code a byte.
    void EncodeRun(const int16_t* samples, int32_t count, uint8_t* codes);
    int16_t Decode(uint8_t code) {
        const int16_t predicted = AdpcmDecodeCode(state_, code);
        step_ = AdpcmStepTable[state_.stepIndex];
        return predicted;
    }
    const AdpcmDecoderState& State() const { return state_; }

private:
    AdpcmDecoderState state_{};
    int step_ = AdpcmStepTable[0];  // the step of state_.stepIndex, at hand for the next sample
};

// The plain encoder, branch by branch, deciding each bit and then decoding
// the code: what AdpcmEncoder::Encode must equal. Tests and benchmarks link
// it; the module does not.
uint8_t AdpcmEncodeReference(AdpcmDecoderState& state, int16_t sample);

}  // namespace kest
