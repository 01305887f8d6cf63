#include "movie_sound.h"

#include <algorithm>
#include <string>

#include "base/big_endian.h"
#include "sound/adpcm_encoder.h"
#include "sound/audio_format.h"
#include "tool_error.h"

namespace kest::tool {

MovieSound DecodeMovieSound(const LoadedMovie& movie) {
    RequireReadable(movie);
    const MovieLayout& m = movie.report.layout;
    if (m.audioCode == 0) throw ToolError(movie.path + " has no sound (audio code 0)");
    if (m.audioFormatIndex < 0) throw ToolError(movie.path + " has an unknown audio code " + std::to_string(m.audioCode));
    const AudioFormat& format = kAudioFormats[m.audioFormatIndex];

    MovieSound sound;
    sound.rate = format.sampleRate;
    sound.channels = format.stereo ? 2 : 1;
    AdpcmDecoderState decoder;
    MovieFrame frame;
    std::string why;
    for (uint64_t j = 0; j < m.frameCount; ++j) {
        if (!ReadMovieFrame(m, movie.bytes.data(), movie.bytes.size(), j, frame, why)) throw ToolError(movie.path + ": " + why);
        if (format.version == 40) {
            for (uint32_t i = 0; i + 1 < frame.audioLength; i += 2)
                sound.samples.push_back(static_cast<int16_t>(GetBigEndian16(frame.audio + i)));
            continue;
        }
        for (uint32_t i = 0; i < frame.audioLength; ++i) {
            for (const uint8_t code : {static_cast<uint8_t>(frame.audio[i] & 15), static_cast<uint8_t>(frame.audio[i] >> 4)}) {
                // 12-bit values widened to 16 bits; an overshoot past the
                // 12-bit range is clipped.
                const int32_t value = AdpcmDecodeCode(decoder, code) * 16;
                sound.samples.push_back(static_cast<int16_t>(std::clamp(value, -32768, 32767)));
            }
        }
    }
    if (sound.channels == 2 && sound.samples.size() % 2) sound.samples.pop_back();
    return sound;
}

}  // namespace kest::tool
