#include "ffmpeg_log.h"

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <cstdarg>

namespace kest::tool {
namespace {

std::atomic<bool> shown{false};
std::atomic<int> inputProblems{0};
std::atomic<int> muted{0};

bool AboutTheInput(void* context) {
    const AVClass* kind = context ? *static_cast<const AVClass* const*>(context) : nullptr;
    if (!kind) return false;
    // A format context is a demuxer or a muxer by what it was opened for.
    switch (kind->get_category ? kind->get_category(context) : kind->category) {
        case AV_CLASS_CATEGORY_DEMUXER:
        case AV_CLASS_CATEGORY_DECODER:
        case AV_CLASS_CATEGORY_BITSTREAM_FILTER:
            return true;
        default:
            return false;
    }
}

void Receive(void* context, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_WARNING || muted > 0) return;
    if (AboutTheInput(context)) ++inputProblems;
    // FFmpeg's own printer keeps its prefixes and its line joining.
    if (shown) av_log_default_callback(context, level, format, arguments);
}

}  // namespace

void RouteFfmpegLog() {
    av_log_set_level(AV_LOG_WARNING);
    av_log_set_callback(Receive);
}

void ShowFfmpegLog() { shown = true; }
bool FfmpegLogShown() { return shown; }
int FfmpegInputProblems() { return inputProblems; }

FfmpegLogMuted::FfmpegLogMuted() { ++muted; }
FfmpegLogMuted::~FfmpegLogMuted() { --muted; }

}  // namespace kest::tool
