// The ADPCM encoder follows the format exactly and lets its 12-bit predictor
// overshoot; the player's decoder saturates it at -2048..2047. Wherever the
// encoder's predictor leaves that range the player's sound parts from the
// encoder's and stays offset until the two meet again. This watches the
// predictor over a stream of codes, decoding them as the encoder does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "sound/adpcm_encoder.h"

namespace kest::tool {

inline constexpr int kPlayerPredictorMin = -2048;
inline constexpr int kPlayerPredictorMax = 2047;

struct PredictorExcursions {
    int64_t codes = 0;          // codes decoded: samples at the format's rate
    int64_t outside = 0;        // codes after which the predictor lay outside the player's range
    int64_t excursions = 0;     // times it went outside
    int64_t firstOutside = -1;  // sample index of the first code outside
    int64_t lastOutside = -1;
};

class PredictorWatch {
public:
    void Feed(uint8_t code);
    // Packed codes as the movie stores them: the earlier one in the low nibble.
    void FeedBytes(const uint8_t* bytes, std::size_t count);
    const PredictorExcursions& Result() const { return result_; }

private:
    AdpcmDecoderState state_{};
    PredictorExcursions result_;
    bool outside_ = false;
};

struct MoviePredictor {
    int32_t sampleRate = 0;
    PredictorExcursions excursions;
};

// The predictor over the ADPCM sound of the movie at `path`, read a record at
// a time. Nothing when the movie has no ADPCM sound from a host or cannot be
// read back (a device such as /dev/null).
std::optional<MoviePredictor> WatchMovieFile(const std::string& path);

// "3 times, in 412 of 156250 samples from 0:01.234 to 0:07.500".
std::string DescribeExcursions(const PredictorExcursions& e, int32_t sampleRate);

}  // namespace kest::tool
