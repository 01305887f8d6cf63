#include "format/movie_format.h"

#include <algorithm>
#include <cstring>

#include "base/big_endian.h"

namespace kest {

MovieGeometry ComputeGeometry(int32_t hostWidth, int32_t hostHeight, const OutputSettings& settings) {
    MovieGeometry g{};
    int32_t w = hostWidth;
    if (w % 4 != 0) w = (w / 4) * 4 + 4;
    w = std::min(w, 512);
    int32_t h = std::min(hostHeight, 512);

    switch (static_cast<LineSpacing>(settings.lineSpacing)) {
        case LineSpacing::NoGap: g.lineGap = false; break;
        case LineSpacing::Gap: g.lineGap = true; break;
        default: g.lineGap = w <= 128; break;
    }
    if (g.lineGap) h = std::min(h, w <= 256 ? 128 : 256);
    else h = std::min(h, w <= 256 ? 256 : 512);

    g.destAddress = kScreenBase;
    if (settings.centerHorizontally) {
        if (w <= 128) g.x = (256 - 2 * w) / 2;
        else if (w <= 256) g.x = (256 - w) / 2;
        else g.x = (512 - w) / 2;
        g.destAddress += 2 * g.x;
    }
    if (settings.centerVertically) {
        if (g.lineGap) g.y = h <= 128 ? (256 - 2 * h) / 2 : (512 - 2 * h) / 2;
        else g.y = h <= 256 ? (256 - h) / 2 : (512 - h) / 2;
        g.destAddress += 1024 * g.y;
    }
    g.width = w;
    g.height = h;
    return g;
}

std::optional<FrameTicks> ComputeFrameTicks(int32_t rate, int32_t scale) {
    if (rate <= 0 || scale <= 0) return std::nullopt;
    const double f = static_cast<double>(rate) * 1.01 / static_cast<double>(scale);
    if (!(f >= 1.0)) return std::nullopt;
    if (f >= 60.0) return FrameTicks{1, 1};
    const uint32_t F = static_cast<uint32_t>(f);
    const uint32_t low = 60 / F;
    return FrameTicks{low, low + (60 % F != 0 ? 1u : 0u)};
}

int64_t ComputeBlockSize(int64_t pictureBytes, int64_t maxAudioBytes) {
    return (pictureBytes + maxAudioBytes + 1041) / 1024 * 1024;
}

void BuildMovieHeader(uint8_t (&header)[kMovieHeaderSize], const MovieHeaderFields& fields) {
    std::memset(header, 0, sizeof header);
    std::memcpy(header + header_offset::kMagic, fields.version == 40 ? "KEST-V4.0" : "KEST-V3.0", 9);
    PutBigEndian32(header + header_offset::kWidth, static_cast<uint32_t>(fields.width));
    PutBigEndian32(header + header_offset::kHeight, static_cast<uint32_t>(fields.height));
    PutBigEndian32(header + header_offset::kTicksMin, fields.ticks.min);
    PutBigEndian32(header + header_offset::kTicksMax, fields.ticks.max);
    PutBigEndian32(header + header_offset::kAudioCode, fields.audioCode);
    PutBigEndian32(header + header_offset::kBlockSize, fields.blockSize);
    PutBigEndian32(header + header_offset::kHeaderSize, kMovieHeaderSize);
    header[header_offset::kCommentTag] = 'C';
    header[header_offset::kCommentTag + 1] = 'M';
    const std::size_t length = std::min<std::size_t>(fields.commentLength, kCommentBytes - 1);
    if (length) std::memcpy(header + header_offset::kComment, fields.comment, length);
}

void BuildFrameHeader(uint8_t (&frameHeader)[kFrameHeaderSize], const MovieGeometry& geometry) {
    std::memset(frameHeader, 0, sizeof frameHeader);
    PutBigEndian32(frameHeader + 0, geometry.destAddress);
    PutBigEndian16(frameHeader + 4, static_cast<uint32_t>(geometry.width));
    PutBigEndian16(frameHeader + 6, static_cast<uint32_t>(geometry.height));
    PutBigEndian32(frameHeader + 8, geometry.LinePitch());
}

}  // namespace kest
