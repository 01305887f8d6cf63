#include "sound/audio_frame_pipeline.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "base/heap.h"
#include "sound/adpcm_encoder.h"

namespace kest {
namespace {


// Host sound made of interleaved samples; the calls are recorded.
struct FakeHost {
    std::vector<int16_t> samples;
    int32_t channels = 1;
    std::vector<std::pair<int32_t, int32_t>> calls;
} host;

void* KEST_CDECL ReadAudio(int32_t start, int32_t count, int32_t* delivered) {
    host.calls.emplace_back(start, count);
    *delivered = count;
    return host.samples.data() + static_cast<std::ptrdiff_t>(start) * host.channels;
}

class PipelineTest : public ::testing::Test {
protected:
    // A host of `frames` sample frames whose sample is value(position, channel).
    void Host(int32_t audioRate, int32_t channels, int32_t frames, const std::function<int16_t(int32_t, int32_t)>& value) {
        host = FakeHost{};
        host.channels = channels;
        for (int32_t p = 0; p < frames; ++p)
            for (int32_t c = 0; c < channels; ++c) host.samples.push_back(value(p, c));
        info = OutputInfo{};
        info.flags = kFlagVideo | kFlagAudio;
        info.rate = 30;
        info.scale = 1;
        info.frameCount = 30;
        info.audioRate = audioRate;
        info.audioChannels = channels;
        info.audioSampleBytes = 2 * channels;
        info.audioSamples = frames;
        info.readAudio = ReadAudio;
    }
    bool Start(int32_t row) {
        plan = PlanAudio(info, row);
        pending = {};
        return pipeline.Start(info, plan);
    }
    AudioBytes FramePayload(int64_t first, int32_t count) { return pipeline.FramePayload(first, count, pending); }

    AudioFramePipeline pipeline;
    OutputInfo info{};
    AudioPlan plan{};
    PendingCode pending{};
};

int16_t BigEndianAt(const AudioBytes& a, int32_t sample) {
    return static_cast<int16_t>(a.bytes[2 * sample] << 8 | a.bytes[2 * sample + 1]);
}

// 44100 Hz host, 15625 Hz ADPCM, 300 frames at 30000/1001 a second.
TEST_F(PipelineTest, WorkedFrames) {
    Host(44100, 2, 20000, [](int32_t p, int32_t c) { return static_cast<int16_t>((p % 100) * 200 - c * 1000); });
    info.rate = 30000, info.scale = 1001, info.frameCount = 300;
    ASSERT_TRUE(Start(0));
    EXPECT_EQ(WorkLength(plan), 1775);

    struct Frame {
        int64_t first;
        int32_t count;
        int64_t spanStart, spanEnd, phase;
        std::pair<int32_t, int32_t> hostCall;  // the new part of the fetch
        int32_t bytes;
        bool pendingAfter;
    };
    const Frame frames[] = {
        {0, 521, 0, 1470, 7812, {0, 1620}, 260, true},             // fetch (-150, 1770)
        {521, 521, 1470, 2941, 15162, {1620, 1471}, 261, false},   // fetch (1320, 1771)
        {1042, 522, 2941, 4414, 6887, {3091, 1473}, 261, false},   // fetch (2791, 1773)
    };
    for (const Frame& f : frames) {
        SCOPED_TRACE(f.first);
        const FrameSpan span = SpanOfFrame(f.first, f.count, 44100, 15625);
        EXPECT_EQ(span.spanStart, f.spanStart);
        EXPECT_EQ(span.spanEnd, f.spanEnd);
        EXPECT_EQ(span.phase, f.phase);
        const AudioBytes a = FramePayload(f.first, f.count);
        EXPECT_EQ(a.count, f.bytes);
        EXPECT_EQ(pending.waiting, f.pendingAfter);
        EXPECT_EQ(host.calls.back(), f.hostCall);
    }
    EXPECT_EQ(host.calls.size(), 3u);
}

// Equal rates copy the samples from spanStart on. Mono rows mix left and
// right truncating toward zero; stereo rows duplicate a one-channel host; only
// the first two channels of a wider host count. PCM is big-endian.
TEST_F(PipelineTest, ChannelLayoutsAtEqualRates) {
    auto value = [](int32_t p, int32_t c) -> int16_t {
        if (p == 0) return c == 0 ? -3 : 0;     // mixes to -1, not -2
        if (p == 1) return 0x1234;
        return static_cast<int16_t>(p * 37 * (c + 1) - c * 5000);
    };
    struct Case {
        int32_t channels;
        int32_t row;  // 11: 48000 mono, 5: 48000 stereo
    };
    for (const Case& c : {Case{1, 11}, Case{2, 11}, Case{3, 11}, Case{1, 5}, Case{2, 5}, Case{3, 5}}) {
        SCOPED_TRACE(::testing::Message() << c.channels << " channels, row " << c.row);
        Host(48000, c.channels, 5000, value);
        ASSERT_TRUE(Start(c.row));
        const bool stereo = c.row == 5;
        for (int64_t first = 0; first < 4800; first += 1600) {
            const AudioBytes a = FramePayload(first, 1600);
            ASSERT_EQ(a.count, 1600 * (stereo ? 4 : 2));
            for (int32_t i = 0; i < 1600; ++i) {
                const auto p = static_cast<int32_t>(first + i);
                const int32_t left = value(p, 0);
                const int32_t right = c.channels == 1 ? left : value(p, 1);
                if (stereo) {
                    ASSERT_EQ(BigEndianAt(a, 2 * i), left) << p;
                    ASSERT_EQ(BigEndianAt(a, 2 * i + 1), right) << p;
                } else {
                    ASSERT_EQ(BigEndianAt(a, i), (left + right) / 2) << p;
                }
            }
            if (first == 0 && c.channels == 1) {
                EXPECT_EQ(a.bytes[stereo ? 4 : 2], 0x12);
                EXPECT_EQ(a.bytes[stereo ? 5 : 3], 0x34);
            }
            if (first == 0 && c.channels == 2 && !stereo) {
                EXPECT_EQ(BigEndianAt(a, 0), -1);
            }
        }
        pipeline.Stop();
    }
}

// Up: samples repeat, nothing is filtered (a square wave keeps its edges).
TEST_F(PipelineTest, UpsamplingRepeatsWithoutFiltering) {
    auto square = [](int32_t p, int32_t) { return static_cast<int16_t>(p % 4 < 2 ? 30000 : -30000); };
    Host(16000, 1, 1000, square);
    ASSERT_TRUE(Start(11));  // 48000 Hz mono
    for (int64_t first = 0; first < 3200; first += 1600) {
        const AudioBytes a = FramePayload(first, 1600);
        for (int32_t i = 0; i < 1600; ++i) {
            const int64_t m = first + i;
            const auto p = static_cast<int32_t>((m * 16000 + 24000) / 48000);  // nearest, halves up
            ASSERT_EQ(BigEndianAt(a, i), p < 1000 ? square(p, 0) : 0) << m;
        }
    }
}

// An odd frame leaves a code pending; the next frame's first byte carries
// it in its low nibble. The stream is the encoder's own, run on across frames.
TEST_F(PipelineTest, AdpcmCodesCarryAcrossFrames) {
    auto ramp = [](int32_t p, int32_t) { return static_cast<int16_t>(p * 911 % 40000 - 20000); };
    Host(15625, 1, 100, ramp);
    std::vector<uint8_t> codes;
    AdpcmEncoder encoder;
    for (int32_t p = 0; p < 12; ++p) codes.push_back(encoder.Encode(ramp(p, 0)));
    info.rate = 3125, info.frameCount = 1;  // frames of up to 5 samples
    ASSERT_TRUE(Start(0));
    struct Frame {
        int64_t first;
        int32_t count;
        std::vector<uint8_t> bytes;
        bool pendingAfter;
    };
    auto pair = [&](int a, int b) { return static_cast<uint8_t>(codes[b] << 4 | codes[a]); };
    const Frame frames[] = {
        {0, 5, {pair(0, 1), pair(2, 3)}, true},
        {5, 4, {pair(4, 5), pair(6, 7)}, true},
        {9, 3, {pair(8, 9), pair(10, 11)}, false},
    };
    for (const Frame& f : frames) {
        const AudioBytes a = FramePayload(f.first, f.count);
        EXPECT_EQ(std::vector<uint8_t>(a.bytes, a.bytes + a.count), f.bytes) << f.first;
        EXPECT_EQ(pending.waiting, f.pendingAfter);
    }
}

// Hours into an export the phase at a frame's start is still the remainder
// of (c * sourceRate + targetRate / 2) by targetRate, and stepping through the
// frame lands exactly on the next frame's span and phase.
TEST(PipelineArithmetic, PhaseDeepIntoALongExport) {
    struct Case {
        int32_t source, target, count;
    };
    const Case cases[] = {{44100, 15625, 521}, {48000, 44100, 1470}, {44100, 48000, 1600}, {22050, 3906, 130}};
    for (const Case& c : cases) {
        const int64_t threeHours = int64_t{3} * 3600 * c.target;
        const int64_t stepFraction = c.source % c.target;
        for (int64_t first : {threeHours - c.count, threeHours / 3 + 7, int64_t{123456789}}) {
            SCOPED_TRACE(::testing::Message() << c.source << " -> " << c.target << " at " << first);
            ASSERT_GT(first * stepFraction, int64_t{UINT32_MAX});  // a 32-bit product would wrap
            const FrameSpan span = SpanOfFrame(first, c.count, c.source, c.target);
            EXPECT_EQ(span.phase, (first * c.source + c.target / 2) % c.target);
            EXPECT_EQ(span.spanStart, (first * c.source + c.target / 2) / c.target);
            int64_t phase = span.phase, index = 0;
            for (int32_t i = 0; i < c.count; ++i) {
                index += c.source / c.target;
                phase += stepFraction;
                while (phase >= c.target) phase -= c.target, ++index;
            }
            const FrameSpan next = SpanOfFrame(first + c.count, c.count, c.source, c.target);
            EXPECT_EQ(span.spanStart + index, next.spanStart);
            EXPECT_EQ(phase, next.phase);
            EXPECT_EQ(span.spanEnd, next.spanStart);
        }
    }
}

// Every allocation is made by Start; a failure at any of them fails Start,
// and frames allocate nothing.
TEST_F(PipelineTest, AllocationsHappenOnlyInStart) {
    Host(44100, 2, 10000, [](int32_t p, int32_t) { return static_cast<int16_t>(p); });
    HeapFailFrom(-1);
    ASSERT_TRUE(Start(5));
    const long taken = HeapAllocationCount();
    ASSERT_GE(taken, 4);
    for (int64_t first = 0; first < 4800; first += 1600) FramePayload(first, 1600);
    EXPECT_EQ(HeapAllocationCount(), taken);
    pipeline.Stop();
    for (long failAt = 0; failAt < taken; ++failAt) {
        HeapFailFrom(failAt);
        EXPECT_FALSE(Start(5)) << failAt;
        pipeline.Stop();
    }
    HeapResetFailure();
}

}  // namespace
}  // namespace kest
