// A video of what the player shows, with its sound, for watching and
// sharing: H.264 and AAC in MP4 where this FFmpeg has them, otherwise
// MPEG-4 part 2 and whatever sound encoder the container takes.
#pragma once

#include <string>

extern "C" {
#include <libavutil/rational.h>
}

#include "movie_file.h"
#include "movie_sound.h"

namespace kest::tool {

// `sound` may be null for a movie without sound; frames and sound are read
// from the movie a record at a time. Returns a note on the codecs used.
// Throws ToolError naming the file and the reason.
std::string WritePreview(const std::string& path, MovieFile& movie, MovieSoundDecoder* sound);

// The frame rate a preview plays at: the one the sound implies, snapped to
// a common rate when it is close, else from the tick counts.
AVRational PreviewFrameRate(const MovieLayout& layout);

}  // namespace kest::tool
