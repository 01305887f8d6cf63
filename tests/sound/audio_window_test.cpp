#include "sound/audio_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/heap.h"

namespace kest {
namespace {

// A host whose sample of position p, channel c is p * 4 + c + 1 (so that no
// real sample is 0), which checks the window's calls against the contract.
struct FakeHost {
    int32_t channels = 2;
    int32_t total = 0;
    int32_t next = 0;      // where the next call must start
    int32_t shortBy = 0;   // deliver this many frames fewer than asked
    int32_t overReport = 0;  // claim this many frames more than delivered
    bool null = false;
    std::vector<std::pair<int32_t, int32_t>> calls;
    std::vector<int16_t> delivered;
} host;

int16_t Value(int64_t position, int32_t channel) { return static_cast<int16_t>(position * 4 + channel + 1); }

void* KEST_CDECL ReadAudio(int32_t start, int32_t count, int32_t* delivered) {
    host.calls.emplace_back(start, count);
    EXPECT_EQ(start, host.next) << "host calls must be contiguous";
    EXPECT_GE(count, 0);
    EXPECT_LE(static_cast<int64_t>(start) + count, host.total);
    host.next = start + count;
    const int32_t n = std::max(0, count - host.shortBy);
    host.delivered.assign(static_cast<std::size_t>(n + host.overReport) * host.channels, 0x5555);
    for (int32_t i = 0; i < n; ++i)
        for (int32_t c = 0; c < host.channels; ++c) host.delivered[i * host.channels + c] = Value(start + i, c);
    *delivered = n + host.overReport;
    return host.null ? nullptr : host.delivered.data();
}

class AudioWindowTest : public ::testing::Test {
protected:
    AudioWindow* Make(int32_t channels, int32_t total, int32_t audioRate = 44100, int32_t rate = 30000,
                      int32_t scale = 1001) {
        host = FakeHost{};
        host.channels = channels;
        host.total = total;
        OutputInfo info{};
        info.rate = rate;
        info.scale = scale;
        info.audioRate = audioRate;
        info.audioChannels = channels;
        info.audioSampleBytes = 2 * channels;
        info.audioSamples = total;
        info.readAudio = ReadAudio;
        window = CreateAudioWindow(info);
        return window;
    }
    void TearDown() override { DestroyAudioWindow(window); }

    // Expects positions start..start+count-1 in the buffer: host values
    // within [0, validEnd), zeros elsewhere.
    void ExpectRun(const uint8_t* buffer, int64_t start, int32_t count, int64_t validEnd, int64_t validFrom = 0) {
        const auto* s = reinterpret_cast<const int16_t*>(buffer);
        for (int32_t i = 0; i < count; ++i)
            for (int32_t c = 0; c < host.channels; ++c) {
                const int64_t p = start + i;
                const int16_t want = p >= validFrom && p < validEnd ? Value(p, c) : 0;
                ASSERT_EQ(s[i * host.channels + c], want) << "position " << p << " channel " << c;
            }
    }

    AudioWindow* window = nullptr;
};

TEST_F(AudioWindowTest, CapacityAndStartingState) {
    ASSERT_TRUE(Make(2, 100000));
    EXPECT_EQ(window->capacity, 1901);  // 44100 * 1001 / 30000 rounded up, plus 429
    EXPECT_EQ(window->byteLength, 1901 * 4);
    EXPECT_EQ(window->windowStart, -1901);
    EXPECT_EQ(window->windowEnd, 0);

    OutputInfo huge{};
    huge.rate = 1, huge.scale = 100000, huge.audioRate = 48000, huge.audioSampleBytes = 4;
    EXPECT_EQ(AudioWindowCapacity(huge), -1);  // 4.8e9 sample frames
    EXPECT_EQ(CreateAudioWindow(huge), nullptr);
    huge.scale = INT32_MAX, huge.audioRate = INT32_MAX;  // the product needs 62 bits
    EXPECT_EQ(AudioWindowCapacity(huge), -1);
    huge.rate = 30, huge.scale = 1, huge.audioRate = 48000;
    EXPECT_EQ(AudioWindowCapacity(huge), 2029);
    EXPECT_EQ(AudioWindowCapacity(huge, 5000), 5000);
}

// Two consecutive requests of an export: the overlap is kept and only the
// new positions are asked for.
TEST_F(AudioWindowTest, OverlappingRequestsAskOnlyForNewFrames) {
    for (int32_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        ASSERT_TRUE(Make(channels, 100000));
        ExpectRun(Fetch(*window, -150, 1770), -150, 1770, 100000);
        ExpectRun(Fetch(*window, 1320, 1771), 1320, 1771, 100000);
        EXPECT_EQ(host.calls, (std::vector<std::pair<int32_t, int32_t>>{{0, 1620}, {1620, 1471}}));
        EXPECT_EQ(window->windowStart, 1320);
        EXPECT_EQ(window->windowEnd, 3091);
        DestroyAudioWindow(window);
        window = nullptr;
    }
}

TEST_F(AudioWindowTest, NoHostAudioReadsAsSilence) {
    ASSERT_TRUE(Make(2, 0));
    for (int64_t start : {-150, 0, 1320}) {
        const uint8_t* b = Fetch(*window, start, 1770);
        for (int32_t i = 0; i < window->byteLength; ++i) ASSERT_EQ(b[i], 0);
    }
    EXPECT_TRUE(host.calls.empty());
}

// (5000, 1770) with 6000 frames: 1000 delivered, 770 zeros; the skipped
// positions are read and discarded so that the calls stay contiguous.
TEST_F(AudioWindowTest, RunPastTheEndIsZeroFilled) {
    for (int32_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        ASSERT_TRUE(Make(channels, 6000));
        ExpectRun(Fetch(*window, 5000, 1770), 5000, 1770, 6000);
        EXPECT_EQ(host.calls, (std::vector<std::pair<int32_t, int32_t>>{{0, 5000}, {5000, 1000}}));
        // Starting at the end: all zero, no call, window untouched.
        const uint8_t* b = Fetch(*window, 6000, 10);
        for (int32_t i = 0; i < window->byteLength; ++i) ASSERT_EQ(b[i], 0);
        EXPECT_EQ(host.calls.size(), 2u);
        EXPECT_EQ(window->windowStart, 5000);
        EXPECT_EQ(window->windowEnd, 6000);
        DestroyAudioWindow(window);
        window = nullptr;
    }
}

TEST_F(AudioWindowTest, CountIsCutToCapacity) {
    ASSERT_TRUE(Make(2, 100000));
    ExpectRun(Fetch(*window, 0, 5000), 0, window->capacity, 100000);
    EXPECT_EQ(host.calls, (std::vector<std::pair<int32_t, int32_t>>{{0, 1901}}));
    Fetch(*window, 100, -5);  // a negative count asks for nothing
    EXPECT_EQ(host.calls.size(), 1u);
}

// A host that delivers less than asked, nothing at all, or claims more than
// asked: the missing frames read as zeros, the positions go on as if all were
// delivered, and nothing is copied beyond what was asked.
TEST_F(AudioWindowTest, ShortNullAndOverlongDeliveries) {
    ASSERT_TRUE(Make(2, 100000));
    host.shortBy = 20;
    const uint8_t* b = Fetch(*window, -150, 1770);
    ExpectRun(b, -150, 1750, 1600);
    ExpectRun(b + 1750 * 4, 1600, 20, 0);
    host.shortBy = 0;
    host.null = true;
    ExpectRun(Fetch(*window, 1320, 1771), 1320, 1771, 1600);
    host.null = false;
    host.overReport = 500;
    b = Fetch(*window, 2800, 1771);
    ExpectRun(b, 2800, 291, 0);
    ExpectRun(b + 291 * 4, 3091, 1480, 4571, 3091);
    EXPECT_EQ(host.calls, (std::vector<std::pair<int32_t, int32_t>>{{0, 1620}, {1620, 1471}, {3091, 1480}}));
}

// Requests the export never makes: going backwards, or ending before what is
// held. Answered from what is held plus zeros; the host is never asked for a
// negative count nor out of order.
TEST_F(AudioWindowTest, BackwardAndShorterRequests) {
    ASSERT_TRUE(Make(2, 100000));
    Fetch(*window, 1000, 1000);  // holds 1000..1999
    ExpectRun(Fetch(*window, 1500, 100), 1500, 100, 100000);  // ends before windowEnd
    EXPECT_EQ(window->windowEnd, 2000);
    ExpectRun(Fetch(*window, 1400, 800), 1400, 800, 2200, 1500);  // before windowStart
    ExpectRun(Fetch(*window, 0, 100), 0, 100, 0);  // far back: nothing held there
    // 1901..2199 were dropped by the request before; 2200 on is new.
    ExpectRun(Fetch(*window, 1950, 300), 1950, 300, 2250, 2200);
    ExpectRun(Fetch(*window, 2250, 300), 2250, 300, 100000);
    EXPECT_EQ(host.calls,
              (std::vector<std::pair<int32_t, int32_t>>{{0, 1000}, {1000, 1000}, {2000, 200}, {2200, 50}, {2250, 300}}));
}

TEST_F(AudioWindowTest, FailedAllocationsKeepNothing) {
    for (long failAt = 0; failAt < 2; ++failAt) {
        HeapFailFrom(failAt);
        EXPECT_EQ(Make(2, 1000), nullptr);
    }
    HeapResetFailure();
}

}  // namespace
}  // namespace kest
