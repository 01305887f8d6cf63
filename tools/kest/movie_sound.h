// A movie's sound as 16-bit samples, a frame at a time: the ADPCM payloads
// decoded as one stream across all frames (low nibble first, so a code
// carried into the next frame's first byte falls in place), or the PCM
// samples as stored.
#pragma once

#include <cstdint>
#include <vector>

#include "movie_file.h"
#include "sound/adpcm_encoder.h"

namespace kest::tool {

enum class AdpcmDecoding {
    Player,  // as the player plays it: the prediction held to 12 bits
    Exact,   // as the export's encoder reckons it: overshoots go on unclamped
};

class MovieSoundDecoder {
public:
    // Throws ToolError when the movie has no sound or an unknown audio code.
    MovieSoundDecoder(const MovieFile& movie, AdpcmDecoding decoding);

    int32_t Rate() const { return rate_; }
    int32_t Channels() const { return channels_; }

    // Appends the frame's sound to `samples` (interleaved). PCM is taken in
    // whole sample frames only, so a record that ends inside one cannot put
    // the channels out of step for the frames after it.
    void Decode(const MovieFrame& frame, std::vector<int16_t>& samples);

private:
    int32_t rate_ = 0;
    int32_t channels_ = 0;
    bool pcm_ = false;
    AdpcmDecoding decoding_;
    AdpcmDecoderState state_;
};

}  // namespace kest::tool
