// What a host hands the export: pictures as the editor delivers them (24-bit
// BGR, bottom row first, rows padded to 4 bytes) and 16-bit interleaved
// sound at the source's rate, with the exact counts the editor would state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kest::tool {

struct SourceShape {
    int32_t width = 0;
    int32_t height = 0;
    int32_t rate = 0;   // frames per second = rate / scale
    int32_t scale = 1;
    int32_t frameCount = 0;
    bool hasAudio = false;
    int32_t audioRate = 0;
    int32_t audioChannels = 0;  // 1 or 2
    int32_t audioSamples = 0;   // sample frames within the exported range
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual const SourceShape& Shape() const = 0;
    // Frame `frame` (0-based, in order); valid until the next call.
    virtual const uint8_t* Picture(int32_t frame) = 0;
    // `count` sample frames from `start`; the calls run front to back
    // without gaps. Past the end of the sound the samples are silence.
    virtual const int16_t* Audio(int32_t start, int32_t count) = 0;
    // Why the source could not go on (a decoding failure), or empty. The
    // host then stops the export instead of handing on made-up pictures.
    virtual std::string Failure() const { return {}; }
    // What the user should know about how the input was taken (a rate
    // chosen, a picture turned, an input that ended early), one sentence
    // each, for the summary; complete once the export has ended.
    virtual std::vector<std::string> Notes() const { return {}; }
};

}  // namespace kest::tool
