#include "movie_sound.h"

#include <algorithm>
#include <string>

#include "base/big_endian.h"
#include "player_adpcm.h"
#include "sound/audio_format.h"
#include "tool_error.h"

namespace kest::tool {

MovieSoundDecoder::MovieSoundDecoder(const MovieFile& movie, AdpcmDecoding decoding) : decoding_(decoding) {
    movie.RequireReadable();
    const MovieLayout& m = movie.Layout();
    if (m.audioCode == 0) throw ToolError(movie.Path() + " has no sound (audio code 0)");
    if (m.audioFormatIndex < 0) throw ToolError(movie.Path() + " has an unknown audio code " + std::to_string(m.audioCode));
    const AudioFormat& format = kAudioFormats[m.audioFormatIndex];
    rate_ = format.sampleRate;
    channels_ = format.stereo ? 2 : 1;
    pcm_ = format.version == 40;
}

void MovieSoundDecoder::Decode(const MovieFrame& frame, std::vector<int16_t>& samples) {
    if (pcm_) {
        const uint32_t frameBytes = 2u * static_cast<uint32_t>(channels_);
        const uint32_t whole = frame.audioLength / frameBytes * frameBytes;
        for (uint32_t i = 0; i < whole; i += 2) samples.push_back(static_cast<int16_t>(GetBigEndian16(frame.audio + i)));
        return;
    }
    for (uint32_t i = 0; i < frame.audioLength; ++i) {
        for (const uint8_t code : {static_cast<uint8_t>(frame.audio[i] & 15), static_cast<uint8_t>(frame.audio[i] >> 4)}) {
            // 12-bit values widened to 16 bits; an unclamped overshoot past
            // the 12-bit range is clipped to what 16 bits hold.
            const int32_t value =
                (decoding_ == AdpcmDecoding::Player ? PlayerAdpcmDecode(state_, code) : AdpcmDecodeCode(state_, code)) * 16;
            samples.push_back(static_cast<int16_t>(std::clamp(value, -32768, 32767)));
        }
    }
}

}  // namespace kest::tool
