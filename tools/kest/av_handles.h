// Owning handles for FFmpeg's objects, and its error codes as text. Every
// allocation goes through Allocated(), so that running out of memory is the
// user's one line, never a null pointer followed.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

#include "tool_error.h"

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
struct AvIoCloser {
    void operator()(AVIOContext* c) const { avio_closep(&c); }
};
struct AvFilterGraphFreer {
    void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct AvFilterInOutFreer {
    void operator()(AVFilterInOut* i) const { avfilter_inout_free(&i); }
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
using AvIo = std::unique_ptr<AVIOContext, AvIoCloser>;
using AvFilterGraph = std::unique_ptr<AVFilterGraph, AvFilterGraphFreer>;
using AvFilterInOut = std::unique_ptr<AVFilterInOut, AvFilterInOutFreer>;
using SwsHandle = std::unique_ptr<SwsContext, SwsFreer>;
using SwrHandle = std::unique_ptr<SwrContext, SwrFreer>;

inline std::string AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// An output container with the file it writes, if one was opened.
struct AvFormatOutputCloser {
    void operator()(AVFormatContext* c) const {
        if (c->pb && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
using AvOutput = std::unique_ptr<AVFormatContext, AvFormatOutputCloser>;

// Every FFmpeg allocation goes through here: a null result ends the command
// with one line instead of a crash further on.
template <class T>
T* Allocated(T* object, const char* what) {
    if (!object) throw ToolError(std::string("out of memory (") + what + ")");
    return object;
}

inline AvFrame NewFrame() { return AvFrame(av_frame_alloc()); }
inline AvPacket NewPacket() { return AvPacket(av_packet_alloc()); }
// The same, throwing when FFmpeg cannot allocate.
inline AvFrame CheckedFrame() { return AvFrame(Allocated(av_frame_alloc(), "frame")); }
inline AvPacket CheckedPacket() { return AvPacket(Allocated(av_packet_alloc(), "packet")); }

}  // namespace kest::tool
