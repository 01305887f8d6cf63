// A movie's sound as 16-bit samples: the ADPCM payloads decoded as the
// player does (one stream across all frames, low nibble first, so a code
// carried into the next frame's first byte falls in place), or the PCM
// samples as stored.
#pragma once

#include <cstdint>
#include <vector>

#include "movie_file.h"

namespace kest::tool {

struct MovieSound {
    int32_t rate = 0;
    int32_t channels = 0;
    std::vector<int16_t> samples;  // interleaved
};

// Throws ToolError when the movie has no sound or an unknown audio code.
MovieSound DecodeMovieSound(const LoadedMovie& movie);

}  // namespace kest::tool
