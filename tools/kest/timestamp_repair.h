// Packet timestamps made fit for a constant-rate export, the way FFmpeg's
// command-line tool treats them. In formats that allow discontinuities
// (MPEG-TS and the like) a jump of more than 10 s either way, or a step back
// of more than 0.1 s, is a new stretch of the stream, not hours of the same
// picture: every later timestamp of the file is moved back in line. In other
// formats a timestamp more than 30 hours away from the expected one is
// dropped, and the decoder's guess takes its place.
#pragma once

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/avutil.h>
}

#include <cstdint>
#include <map>

namespace kest::tool {

class TimestampRepair {
public:
    explicit TimestampRepair(bool allowsDiscontinuities) : discontinuities_(allowsDiscontinuities) {}

    // Repairs `packet` in place; `timeBase` is its stream's, `defaultDuration`
    // (in that time base) the step to expect when the packet states none.
    void Repair(AVPacket& packet, AVRational timeBase, int64_t defaultDuration);

    // How many packets were repaired so far.
    int Repairs() const { return repairs_; }

private:
    struct Expected {
        int64_t next = INT64_MIN;  // the next packet's decoding time, microseconds
        int64_t last = INT64_MIN;  // the latest decoding time seen
    };
    bool discontinuities_;
    int64_t offset_ = 0;  // microseconds added to every timestamp of the file
    int repairs_ = 0;
    std::map<int, Expected> streams_;
};

}  // namespace kest::tool
