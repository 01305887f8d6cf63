// Any file FFmpeg can open, as the editor would deliver it: pictures shown
// as a player shows them (turned upright, square pixels, deinterlaced)
// scaled and converted to 24-bit BGR bottom-up at a constant rate of at most
// the player's 60 frames a second, sound as 16-bit interleaved samples at
// the source's rate (more than two channels are mixed down to stereo), and
// the frame and sample counts of the exported range, planned before the
// export starts from one open of the input.
#pragma once

#include <memory>
#include <string>

#include "frame_source.h"
#include "picture_path.h"

namespace kest::tool {

// The player's clock ticks 60 times a second: no frame can be shorter.
inline constexpr int32_t kMaxFramesPerSecond = 60;

struct MediaOptions {
    int32_t width = 0, height = 0;  // 0: keep, or fit into 512 x 512 when larger
    int32_t fpsNum = 0, fpsDen = 0; // 0: the input's frame rate, at most 60
    int32_t inputFpsNum = 0, inputFpsDen = 0;  // image sequences and raw streams: their rate
    double start = 0;               // seconds from the first picture
    double duration = -1;           // seconds; negative: to the end
    bool audio = true;
    bool autorotate = true;         // turn the picture as its display matrix says
    enum class DeinterlaceMode { Auto, On, Off } deinterlace = DeinterlaceMode::Auto;
    int32_t threads = 0;            // decoder threads; 0: as many as FFmpeg picks
};

// How long a still picture lasts without --duration (and without sound).
inline constexpr double kStillSeconds = 5;

// `path` is a file, an image sequence pattern such as img%03d.png, or "-"
// for standard input. Throws ToolError naming what failed (cannot open,
// not a video, no video stream, empty range, a length that cannot be known
// in one pass).
std::unique_ptr<FrameSource> OpenMediaInput(const std::string& path, const MediaOptions& options);

// The picture size the export uses for a source of `width` x `height`
// without --size: larger than 512 either way is scaled to fit 512 x 512,
// keeping the aspect ratio, with the width rounded down to a multiple of 4.
void DefaultPictureSize(int32_t width, int32_t height, int32_t& outWidth, int32_t& outHeight);

}  // namespace kest::tool
