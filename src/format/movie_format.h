// The KEST movie file: a 1024-byte header, then one record per frame, all of
// the same size (a multiple of 1024). Every number is big-endian, and the
// header's 32-bit fields sit at unaligned offsets.
//
//   header:  0 magic "KEST-V3.0"/"KEST-V4.0" + 0   10 width   14 height
//            18 ticks min   22 ticks max   26 audioCode   30 blockSize
//            34 headerSize (1024)   38 "CM"   40 comment (984 bytes)
//   record:  16-byte frame header, width*height*2 picture bytes, u16
//            audioLength, the audio payload, zero fill to blockSize
//   frame header: 0 destAddress  4 u16 width  6 u16 height  8 linePitch  12 0
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "settings/output_settings.h"

namespace kest {

inline constexpr int32_t kMovieHeaderSize = 1024;
inline constexpr int32_t kFrameHeaderSize = 16;
inline constexpr uint32_t kScreenBase = 0xC00000;  // player's screen memory, 1024 bytes a line
inline constexpr int64_t kMaxAudioLength = 65535;  // the record's 16-bit audioLength

namespace header_offset {
inline constexpr int kMagic = 0, kWidth = 10, kHeight = 14, kTicksMin = 18, kTicksMax = 22,
                     kAudioCode = 26, kBlockSize = 30, kHeaderSize = 34, kCommentTag = 38, kComment = 40;
}

// Where the picture goes on the player's screen.
struct MovieGeometry {
    int32_t width;   // stored width: host width rounded up to 4, at most 512
    int32_t height;  // stored height, capped by width and line gap
    bool lineGap;    // rows every other screen line (pitch 2048)
    int32_t x;       // centring offsets, pixels and screen lines
    int32_t y;
    uint32_t destAddress;
    int32_t PictureBytes() const { return width * height * 2; }
    uint32_t LinePitch() const { return lineGap ? 2048u : 1024u; }
};

MovieGeometry ComputeGeometry(int32_t hostWidth, int32_t hostHeight, const OutputSettings& settings);

struct FrameTicks {
    uint32_t min;
    uint32_t max;
};

// Ticks of a 60 Hz clock per frame; empty when rate * 1.01 / scale is below 1.
std::optional<FrameTicks> ComputeFrameTicks(int32_t rate, int32_t scale);

// Smallest multiple of 1024 holding the frame header, the picture, the
// audio length and the largest payload.
int64_t ComputeBlockSize(int64_t pictureBytes, int64_t maxAudioBytes);

struct MovieHeaderFields {
    int32_t version;  // 40 writes "KEST-V4.0", anything else "KEST-V3.0"
    int32_t width;
    int32_t height;
    FrameTicks ticks;
    uint32_t audioCode;
    uint32_t blockSize;
    const char* comment;  // copied up to commentLength bytes, then a zero
    std::size_t commentLength;
};

void BuildMovieHeader(uint8_t (&header)[kMovieHeaderSize], const MovieHeaderFields& fields);
void BuildFrameHeader(uint8_t (&frameHeader)[kFrameHeaderSize], const MovieGeometry& geometry);

}  // namespace kest
