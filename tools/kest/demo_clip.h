// The built-in demo clip, made in the program so that an export works on a
// machine with no video files: 10 s at 30 fps, 256 x 192, with scrolling
// colour bars, smooth gradients (where the dithers show) and fine moving
// detail, and a stereo tone sweep, a pause and two tones at 48 kHz.
#pragma once

#include <memory>

#include "frame_source.h"

namespace kest::tool {

std::unique_ptr<FrameSource> MakeDemoClip(bool withAudio);

}  // namespace kest::tool
