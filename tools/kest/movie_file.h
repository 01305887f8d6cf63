// A KEST movie read whole into memory and checked by the core's reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/movie_reader.h"

namespace kest::tool {

struct LoadedMovie {
    std::string path;
    std::vector<uint8_t> bytes;
    MovieReport report;
};

// Throws ToolError when the file cannot be read; the report says whether
// its content can.
LoadedMovie LoadMovie(const std::string& path);

// Throws ToolError with the reader's first error unless frames can be read.
void RequireReadable(const LoadedMovie& movie);

// Sample frames of sound the complete records carry, at the format's rate
// (the silent filler of a movie without sound counts as 15625 Hz ADPCM).
uint64_t MovieSoundSamples(const MovieLayout& layout);
int32_t MovieSoundRate(const MovieLayout& layout);
int32_t MovieSoundChannels(const MovieLayout& layout);

// The frame rate the sound implies (its samples spread over the frames), or
// 0 when the movie carries no sound to tell.
double MovieFrameRate(const MovieLayout& layout);

}  // namespace kest::tool
