// A video of what the player shows, with its sound, for watching and
// sharing, in the container its name says: MP4, MOV and Matroska with H.264
// (else MPEG-4 part 2) and AAC, WebM with VP9 (else VP8) and Opus (else
// Vorbis), or an animated GIF without sound.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

extern "C" {
#include <libavutil/rational.h>
}

#include "movie_file.h"
#include "movie_sound.h"

namespace kest::tool {

// Throws a usage error naming the containers when `name`'s extension is
// none of them, or a failure when this FFmpeg has no encoder for it.
void CheckPreviewName(const std::string& name);

struct PreviewResult {
    uint64_t frames = 0;     // frames in the video
    bool cancelled = false;  // keepGoing said stop before the last frame
    std::string note;        // the codecs used
};

// Writes `file` in the container `name` says; messages call it `name` (the
// file it becomes). `sound` may be null for a movie without sound; frames
// and sound are read from the movie a record at a time.
// `keepGoing(done, total)` is asked before each frame; when it says no, the
// video ends there and is finished properly. Throws ToolError naming the
// file and the reason.
PreviewResult WritePreview(const std::string& file, const std::string& name, MovieFile& movie,
                           MovieSoundDecoder* sound, const std::function<bool(uint64_t, uint64_t)>& keepGoing);

// The frame rate a preview plays at: the one the sound implies, snapped to
// a common rate when it is close, else from the tick counts.
AVRational PreviewFrameRate(const MovieLayout& layout);

}  // namespace kest::tool
