// --normalize: the host's sound of the whole movie is held in memory and run
// through the export's own sound path (the same mixing, filter, resampling
// and encoder) at trial gains, to find the largest gain, at most 0 dB, on a
// 0.1 dB grid, at which the encoder's predictor stays inside the player's
// 12-bit range from the first sample to the last. The movie is then made
// from the held sound at that gain.
#pragma once

#include <cstdint>
#include <memory>

#include "frame_source.h"
#include "predictor_range.h"

namespace kest::tool {

struct NormalizedSound {
    std::unique_ptr<FrameSource> source;  // the input with the chosen gain
    double decibels = 0;                  // the gain chosen
    PredictorExcursions atZero;           // the predictor at 0 dB
};

// `source` must have sound and `audioFormatIndex` name an ADPCM format. The
// search stops lowering the gain at -60 dB; throws ToolError when the source
// fails while its sound is read.
NormalizedSound NormalizeSound(std::unique_ptr<FrameSource> source, int32_t audioFormatIndex);

// The predictor over the export's ADPCM stream of `shape`'s movie with the
// sound `samples` (the host's, interleaved) scaled by `decibels`; it stops
// at the first code outside the player's range when `stopOutside` is set.
PredictorExcursions TrialPredictor(const SourceShape& shape, const int16_t* samples, int32_t audioFormatIndex,
                                   double decibels, bool stopOutside);

}  // namespace kest::tool
