// Owning handles for FFmpeg's objects, and its error codes as text.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace kest::tool {

struct AvFormatInputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct AvCodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct AvFrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct AvPacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
    void operator()(SwsContext* c) const { sws_freeContext(c); }
};
struct SwrFreer {
    void operator()(SwrContext* c) const { swr_free(&c); }
};

using AvInput = std::unique_ptr<AVFormatContext, AvFormatInputCloser>;
using AvCodec = std::unique_ptr<AVCodecContext, AvCodecFreer>;
using AvFrame = std::unique_ptr<AVFrame, AvFrameFreer>;
using AvPacket = std::unique_ptr<AVPacket, AvPacketFreer>;
using SwsHandle = std::unique_ptr<SwsContext, SwsFreer>;
using SwrHandle = std::unique_ptr<SwrContext, SwrFreer>;

inline std::string AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

inline AvFrame NewFrame() { return AvFrame(av_frame_alloc()); }
inline AvPacket NewPacket() { return AvPacket(av_packet_alloc()); }

}  // namespace kest::tool
