// Times and frame rates as users type them for ffmpeg: seconds, MM:SS or
// HH:MM:SS.mmm for a position or a length, and a whole number, a fraction or
// a decimal for a rate, where the usual NTSC decimals stand for their exact
// fractions. A value that cannot be used throws a usage error naming the
// option, the value and what would be taken instead.
#pragma once

#include <cstdint>
#include <string>

namespace kest::tool {

// The longest position or length taken: 100 hours. A movie that long is far
// past what the player can hold, so a larger value is a typing mistake.
inline constexpr double kMaxSeconds = 360000;

// "90", "1.5", "1500ms", "250us", "2s", "01:30", "1:02:03.25". Returns seconds,
// at least 0 and at most kMaxSeconds; `option` ("--start") names the value in
// the message.
double ParseSeconds(const std::string& option, const std::string& text);

struct FrameRate {
    int32_t num = 0;
    int32_t den = 1;
};

// "25", "30000/1001", "12.5" (25/2), "29.97" (30000/1001), "ntsc", "pal",
// "film", "ntsc-film". The result is reduced and more than 0.
FrameRate ParseFrameRate(const std::string& option, const std::string& text);

}  // namespace kest::tool
