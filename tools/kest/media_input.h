// Any file FFmpeg can open, as the editor would deliver it: pictures scaled
// and converted to 24-bit BGR bottom-up, frames repeated or dropped by
// timestamp to a constant rate, sound as 16-bit interleaved samples at the
// source's rate (more than two channels are mixed down to stereo), and the
// exact frame and sample counts of the exported range, counted in a first
// pass over the file.
#pragma once

#include <memory>
#include <string>

#include "frame_source.h"

namespace kest::tool {

struct MediaOptions {
    int32_t width = 0, height = 0;  // 0: keep, or fit into 512 x 512 when larger
    int32_t fpsNum = 0, fpsDen = 0; // 0: the input's frame rate
    double start = 0;               // seconds from the first picture
    double duration = -1;           // seconds; negative: to the end
    bool audio = true;
    int32_t threads = 0;            // decoder threads; 0: as many as FFmpeg picks
};

// Throws ToolError naming what failed (cannot open, no video stream, empty range).
std::unique_ptr<FrameSource> OpenMediaInput(const std::string& path, const MediaOptions& options);

// The picture size the export uses for a source of `width` x `height`
// without --size: larger than 512 either way is scaled to fit 512 x 512,
// keeping the aspect ratio, with the width rounded down to a multiple of 4.
void DefaultPictureSize(int32_t width, int32_t height, int32_t& outWidth, int32_t& outHeight);

}  // namespace kest::tool
