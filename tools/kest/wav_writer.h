// Writes 16-bit sound as a WAV file through FFmpeg's WAV muxer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kest::tool {

// Writes `file`; messages call it `name` (the file it becomes). The sound
// comes from `next`, which replaces the vector's content with the next
// interleaved samples and returns false when there are no more; it is
// written as it comes, so its length does not matter. Returns the sample
// frames written. Throws ToolError naming the file and the reason.
uint64_t WriteWav(const std::string& file, const std::string& name, int32_t rate, int32_t channels,
                  const std::function<bool(std::vector<int16_t>&)>& next);

}  // namespace kest::tool
