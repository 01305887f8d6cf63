#include "picture_path.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/cpu.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>
#include <cstdio>

namespace kest::tool {

std::string TurnFilters(const int32_t* m, int& degrees, bool& sidesSwap) {
    degrees = 0;
    sidesSwap = false;
    if (!m) return {};
    double theta = -std::round(av_display_rotation_get(m));
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    if (std::isnan(theta)) return {};
    if (std::fabs(theta - 90) < 1.0) {
        degrees = 90;
        sidesSwap = true;
        return m[3] > 0 ? "transpose=cclock_flip" : "transpose=clock";
    }
    if (std::fabs(theta - 180) < 1.0) {
        degrees = 180;
        std::string f;
        if (m[0] < 0) f = "hflip";
        if (m[4] < 0) f += f.empty() ? "vflip" : ",vflip";
        return f;
    }
    if (std::fabs(theta - 270) < 1.0) {
        degrees = 270;
        sidesSwap = true;
        return m[3] < 0 ? "transpose=clock_flip" : "transpose=cclock";
    }
    if (std::fabs(theta) > 1.0) {
        degrees = static_cast<int>(std::lround(theta));
        char text[64];
        std::snprintf(text, sizeof text, "rotate=%f*PI/180", theta);
        return text;
    }
    return m[4] < 0 ? "vflip" : "";
}

namespace {

// The scaler's AVX2 horizontal filter loads its source pixels with gathers,
// which many of today's processors run slowly; on those the SSSE3 filter
// beside it gives the same values in about four fifths of the time. FFmpeg
// picks its code from the process's CPU flags when a scaler is set up, and
// its SIMD variants all give the same values, so a decoder that happens to
// set itself up meanwhile on another thread is only steered off gathers
// too. The flag is raised while the graph's scalers are made, then lowered.
class SlowGathersWhileScalersAreMade {
public:
    SlowGathersWhileScalersAreMade() : flags_(av_get_cpu_flags()) {
#ifdef AV_CPU_FLAG_SLOW_GATHER
        if (flags_ & AV_CPU_FLAG_AVX2) av_force_cpu_flags(flags_ | AV_CPU_FLAG_SLOW_GATHER);
#endif
    }
    ~SlowGathersWhileScalersAreMade() {
        if (av_get_cpu_flags() != flags_) av_force_cpu_flags(flags_);
    }
    SlowGathersWhileScalersAreMade(const SlowGathersWhileScalersAreMade&) = delete;
    SlowGathersWhileScalersAreMade& operator=(const SlowGathersWhileScalersAreMade&) = delete;

private:
    const int flags_;
};

}  // namespace

std::string PicturePath::Build(const AVFrame& first) {
    graph_.reset(Allocated(avfilter_graph_alloc(), "the picture filters"));
    graph_->nb_threads = settings_.threads;
    const PicturePathSettings& s = settings_;
    const AVRational sar = first.sample_aspect_ratio.num > 0 ? first.sample_aspect_ratio : AVRational{1, 1};
    char args[256];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", first.width,
                  first.height, first.format, s.timeBase.num, s.timeBase.den, sar.num, sar.den);
    int r = avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", args, nullptr, graph_.get());
    if (r >= 0)
        r = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph_.get());
    if (r < 0) return std::string("cannot set up the picture filters: ") + AvErrorText(r);

    // The scaler as the plug-in's hosts scale: bicubic, accurately rounded.
    // Chroma interpolated to full width only pays while the output is wider
    // than half the source, the chroma width of 4:2:0 and 4:2:2 pictures;
    // shrinking further it doubles the scaling time and changes nothing one
    // can see.
    const int scaledFrom = s.turn.rfind("transpose", 0) == 0 ? first.height : first.width;
    std::string flags = "bicubic+accurate_rnd";
    if (2 * s.width > scaledFrom) flags += "+full_chroma_int";
    std::string chain;
    auto add = [&chain](const std::string& filter) {
        if (!filter.empty()) chain += (chain.empty() ? "" : ",") + filter;
    };
    if (s.deinterlace != Deinterlace::Off)
        add(std::string("bwdif=mode=send_frame:parity=auto:deint=") + (s.deinterlace == Deinterlace::All ? "all" : "interlaced"));
    char fps[96];
    std::snprintf(fps, sizeof fps, "fps=fps=%d/%d:start_time=0:round=near", s.rate.num, s.rate.den);
    add(fps);
    add(s.turn);
    add("scale=w=" + std::to_string(s.width) + ":h=" + std::to_string(s.height) + ":flags=" + flags);
    add("format=pix_fmts=bgr24");
    graph_->scale_sws_opts = av_strdup(("flags=" + flags).c_str());

    AvFilterInOut outputs(Allocated(avfilter_inout_alloc(), "the picture filters"));
    AvFilterInOut inputs(Allocated(avfilter_inout_alloc(), "the picture filters"));
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source_;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink_;
    if (!outputs->name || !inputs->name) return "out of memory for the picture filters";
    AVFilterInOut* out = outputs.release();
    AVFilterInOut* in = inputs.release();
    r = avfilter_graph_parse_ptr(graph_.get(), chain.c_str(), &in, &out, nullptr);
    avfilter_inout_free(&in);
    avfilter_inout_free(&out);
    if (r >= 0) {
        SlowGathersWhileScalersAreMade slowGathers;
        r = avfilter_graph_config(graph_.get(), nullptr);
    }
    if (r < 0) return "cannot set up the picture filters (" + chain + "): " + AvErrorText(r);
    return {};
}

std::string PicturePath::Feed(AVFrame* frame) {
    if (!graph_) {
        std::string why;
        try {
            why = Build(*frame);
        } catch (const ToolError& e) {
            why = e.what();
        }
        if (!why.empty()) return why;
    }
    const int r = av_buffersrc_add_frame_flags(source_, frame, 0);
    return r < 0 ? std::string("cannot filter a picture: ") + AvErrorText(r) : std::string();
}

std::string PicturePath::End(int64_t endPts) {
    ended_ = true;
    if (!graph_) return {};
    const int r = av_buffersrc_close(source_, endPts, 0);
    return r < 0 ? std::string("cannot end the pictures: ") + AvErrorText(r) : std::string();
}

PicturePath::Result PicturePath::Next(AVFrame* out, std::string& failure) {
    if (!graph_) return ended_ ? Result::Ended : Result::Hungry;
    const int r = av_buffersink_get_frame(sink_, out);
    if (r >= 0) return Result::Picture;
    if (r == AVERROR(EAGAIN)) return ended_ ? Result::Ended : Result::Hungry;
    if (r == AVERROR_EOF) return Result::Ended;
    failure = std::string("cannot filter a picture: ") + AvErrorText(r);
    return Result::Failed;
}

}  // namespace kest::tool
