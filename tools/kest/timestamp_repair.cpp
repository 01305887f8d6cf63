#include "timestamp_repair.h"

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>

namespace kest::tool {
namespace {

constexpr int64_t kJump = 10 * int64_t{AV_TIME_BASE};            // a discontinuity
constexpr int64_t kStepBack = AV_TIME_BASE / 10;                 // also one, going back
constexpr int64_t kInvalid = 30 * 3600 * int64_t{AV_TIME_BASE};  // not a time at all

int64_t ToMicro(int64_t t, AVRational tb) { return av_rescale_q(t, tb, AV_TIME_BASE_Q); }
int64_t FromMicro(int64_t t, AVRational tb) { return av_rescale_q(t, AV_TIME_BASE_Q, tb); }

void Shift(AVPacket& p, int64_t micro, AVRational tb) {
    const int64_t ticks = FromMicro(micro, tb);
    if (p.dts != AV_NOPTS_VALUE) p.dts += ticks;
    if (p.pts != AV_NOPTS_VALUE) p.pts += ticks;
}

}  // namespace

void TimestampRepair::Repair(AVPacket& p, AVRational tb, int64_t defaultDuration) {
    Expected& e = streams_[p.stream_index];
    if (offset_ != 0) Shift(p, offset_, tb);
    if (p.dts != AV_NOPTS_VALUE && e.next != INT64_MIN) {
        const int64_t dts = ToMicro(p.dts, tb);
        const int64_t delta = dts - e.next;
        if (discontinuities_) {
            if (delta < -kJump || delta > kJump || dts + kStepBack < e.last) {
                offset_ -= delta;
                Shift(p, -delta, tb);
                ++repairs_;
            }
        } else {
            bool repaired = false;
            if (delta < -kInvalid || delta > kInvalid) {
                p.dts = AV_NOPTS_VALUE;
                repaired = true;
            }
            if (p.pts != AV_NOPTS_VALUE) {
                const int64_t ptsDelta = ToMicro(p.pts, tb) - e.next;
                if (ptsDelta < -kInvalid || ptsDelta > kInvalid) {
                    p.pts = AV_NOPTS_VALUE;
                    repaired = true;
                }
            }
            repairs_ += repaired;
        }
    }
    // A presentation time far from its decoding time is damage of its own:
    // the decoding time, which the checks above keep in line, stands in.
    if (p.pts != AV_NOPTS_VALUE && p.dts != AV_NOPTS_VALUE && std::abs(ToMicro(p.pts - p.dts, tb)) > kJump) {
        p.pts = AV_NOPTS_VALUE;
        ++repairs_;
    }
    const int64_t duration = ToMicro(p.duration > 0 ? p.duration : std::max<int64_t>(defaultDuration, 0), tb);
    if (p.dts != AV_NOPTS_VALUE) {
        const int64_t dts = ToMicro(p.dts, tb);
        e.next = dts + duration;
        e.last = std::max(e.last, dts);
    } else if (e.next != INT64_MIN) {
        e.next += duration;
    }
}

}  // namespace kest::tool
