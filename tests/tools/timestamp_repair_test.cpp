// Timestamp repair on packet sequences as demuxers deliver them: jumps in a
// format that allows discontinuities close up for every stream of the file,
// small steps and reordering are left alone, and in other formats only
// timestamps that cannot be times are dropped.

#include <gtest/gtest.h>

#include <vector>

#include "kest/timestamp_repair.h"

namespace kest::tool {
namespace {

constexpr AVRational kMs{1, 1000};

struct In {
    int stream;
    int64_t dts, pts;  // milliseconds; AV_NOPTS_VALUE for none
};

std::vector<int64_t> Repaired(bool discontinuities, const std::vector<In>& packets, int& repairs) {
    TimestampRepair repair(discontinuities);
    std::vector<int64_t> pts;
    for (const In& in : packets) {
        AVPacket p{};
        p.stream_index = in.stream;
        p.dts = in.dts;
        p.pts = in.pts;
        p.duration = 40;
        repair.Repair(p, kMs, 40);
        pts.push_back(p.pts);
    }
    repairs = repair.Repairs();
    return pts;
}

TEST(TimestampRepair, ClosesJumpsOnlyWhereTheFormatAllowsThem) {
    constexpr int64_t N = AV_NOPTS_VALUE;
    struct Case {
        const char* what;
        bool discontinuities;
        std::vector<In> packets;
        std::vector<int64_t> pts;
        int repairs;
    };
    const Case cases[] = {
        {"steady, with B-frame reordering", true,
         {{0, 0, 80}, {0, 40, 40}, {0, 80, 160}, {0, 120, 120}}, {80, 40, 160, 120}, 0},
        {"a jump of 30 s forward moves the video and the sound after it", true,
         {{0, 0, 0}, {1, 10, 10}, {0, 40, 40}, {0, 30080, 30080}, {1, 30090, 30090}, {0, 30120, 30120}},
         {0, 10, 40, 80, 90, 120}, 1},
        {"a restart from zero", true, {{0, 5000, 5000}, {0, 5040, 5040}, {0, 0, 0}, {0, 40, 40}},
         {5000, 5040, 5080, 5120}, 1},
        {"a gap of 5 s is a gap", true, {{0, 0, 0}, {0, 5000, 5000}}, {0, 5000}, 0},
        {"jumps stand where the format has none", false, {{0, 0, 0}, {0, 30080, 30080}}, {0, 30080}, 0},
        {"a time days away is dropped", false, {{0, 0, 0}, {0, 40, 40}, {0, 400000000, 400000000}},
         {0, 40, N}, 1},
        {"a presentation time far from its decoding time", true, {{0, 0, 0}, {0, 40, 90000000}}, {0, N}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int repairs = 0;
        EXPECT_EQ(Repaired(c.discontinuities, c.packets, repairs), c.pts);
        EXPECT_EQ(repairs, c.repairs);
    }
}

}  // namespace
}  // namespace kest::tool
