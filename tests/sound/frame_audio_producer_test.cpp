#include "sound/frame_audio_producer.h"

#include <gtest/gtest.h>

#include <vector>

namespace kest {
namespace {

OutputInfo Record(int32_t rate, int32_t scale, int32_t frames, bool audio, int32_t audioRate = 44100) {
    OutputInfo info{};
    info.flags = kFlagVideo | (audio ? kFlagAudio : 0);
    info.rate = rate;
    info.scale = scale;
    info.frameCount = frames;
    info.audioRate = audioRate;
    info.audioChannels = 2;
    info.audioSampleBytes = 4;
    return info;
}

TEST(AudioFormatTable, RowSelection) {
    struct Case {
        int32_t index;
        int32_t rate;
        uint32_t code;
        int32_t version;
        bool stereo;
    };
    const Case cases[] = {
        {0, 15625, 1027, 30, false}, {-1, 15625, 1027, 30, false}, {17, 15625, 1027, 30, false},
        {32767, 15625, 1027, 30, false}, {1, 10416, 771, 30, false}, {4, 3906, 3, 30, false},
        {5, 48000, 191, 40, true},   {9, 22050, 47, 40, true},     {16, 16000, 29, 40, false},
    };
    for (const Case& c : cases) {
        const AudioFormat& f = SelectAudioFormat(c.index);
        EXPECT_EQ(f.sampleRate, c.rate) << c.index;
        EXPECT_EQ(f.audioCode, c.code) << c.index;
        EXPECT_EQ(f.version, c.version) << c.index;
        EXPECT_EQ(f.stereo, c.stereo) << c.index;
    }
    EXPECT_STREQ(kAudioFormats[2].label, "ADPCM  7.8kHz Mono");
    EXPECT_STREQ(kAudioFormats[9].label, "PCM 22.05kHz  Stereo");
}

TEST(AudioPlan, WorkedBudgets) {
    struct Case {
        OutputInfo info;
        int32_t row;
        int64_t total, q, r, s, m;
    };
    const Case cases[] = {
        {Record(30000, 1001, 300, true), 0, 156406, 521, 106, 522, 261},
        {Record(30, 1, 300, true, 48000), 5, 480000, 1600, 0, 1600, 6404},
        {Record(30, 1, 300, false), 5, 156250, 520, 250, 521, 261},  // no audio: the row is ignored
        {Record(30000, 1001, 300, true), 12, 441441, 1471, 141, 1472, 2946},
    };
    for (const Case& c : cases) {
        AudioPlan p = PlanAudio(c.info, c.row);
        EXPECT_EQ(p.targetTotal, c.total);
        EXPECT_EQ(p.perFrameBase, c.q);
        EXPECT_EQ(p.perFrameRemainder, c.r);
        EXPECT_EQ(p.maxSamplesPerFrame, c.s);
        EXPECT_EQ(p.maxAudioBytes, c.m);
    }
    AudioPlan silent = PlanAudio(Record(30, 1, 300, false), 5);
    EXPECT_EQ(silent.audioCode, 0u);
    EXPECT_EQ(silent.version, 30);
    EXPECT_FALSE(silent.stereo);
}

// Without host audio every payload is 0x80 filler, and a code left over from
// an odd sample count is counted into the next frame's bytes.
TEST(FrameAudioProducer, SilentFillerFollowsPendingCodeRule) {
    const OutputInfo info = Record(30, 1, 300, false);
    FrameAudioProducer producer;
    ASSERT_TRUE(producer.Begin(info, PlanAudio(info, 3)));
    int64_t samples = 0, bytes = 0;
    std::vector<int32_t> lengths;
    for (int j = 0; j < 300; ++j) {
        AudioBytes a = producer.ProduceFrame();
        ASSERT_LE(a.count, producer.Plan().maxAudioBytes);
        for (int32_t i = 0; i < a.count; ++i) ASSERT_EQ(a.bytes[i], 0x80);
        lengths.push_back(a.count);
        bytes += a.count;
    }
    producer.End();
    EXPECT_EQ((std::vector<int32_t>(lengths.begin(), lengths.begin() + 3)), (std::vector<int32_t>{260, 260, 261}));
    // 250 of the 300 frames take 521 samples, since r > n / 2 loses one.
    samples = 300 * 520 + 249;
    EXPECT_EQ(bytes, samples / 2);
}

TEST(FrameAudioProducer, FrameZeroTakesBaseEvenWhenRemainderIsLarge) {
    // 10 frames, 15625 * 10 * 1 / 29 = 5387 samples: q = 538, r = 7.
    const OutputInfo info = Record(29, 1, 10, false);
    FrameAudioProducer producer;
    ASSERT_TRUE(producer.Begin(info, PlanAudio(info, 0)));
    const AudioPlan& p = producer.Plan();
    ASSERT_EQ(p.perFrameBase, 538);
    ASSERT_EQ(p.perFrameRemainder, 7);
    EXPECT_EQ(producer.ProduceFrame().count, 538 / 2);
}

}  // namespace
}  // namespace kest
