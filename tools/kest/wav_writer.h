// Writes 16-bit sound as a WAV file through FFmpeg's WAV muxer.
#pragma once

#include <string>

#include "movie_sound.h"

namespace kest::tool {

// Throws ToolError naming the file and the reason.
void WriteWav(const std::string& path, const MovieSound& sound);

}  // namespace kest::tool
