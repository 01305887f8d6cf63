// A gain in decibels on the host's 16-bit sound, applied before the export
// takes it, the way a 16-bit gain stage works: each sample is multiplied by
// 10^(dB/20), rounded to the nearest integer (halves away from zero) and
// clipped to -32768..32767.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "frame_source.h"

namespace kest::tool {

// The range --gain accepts.
inline constexpr double kMaxGainDecibels = 60;

double GainFactor(double decibels);
int16_t ApplyGain(int16_t sample, double factor);
void ApplyGain(int16_t* samples, std::size_t count, double factor);

// `source` with its sound scaled by `decibels`; pictures, shape and failures
// are the source's own.
std::unique_ptr<FrameSource> WithGain(std::unique_ptr<FrameSource> source, double decibels);

}  // namespace kest::tool
