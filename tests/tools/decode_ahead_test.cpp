// The read-ahead decoder against a stand-in for the codec: pictures come in
// decoding order, the end and its cause come through, the last picture stays
// readable after the end, and dropping the reader mid-stream neither hangs
// nor leaks a running thread.

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "kest/decode_ahead.h"

namespace kest::tool {
namespace {

// Numbers its pictures through pts; stops after `count` (negative: never),
// with `failure` as the reason.
struct CountingDecoder {
    int count;
    std::string failure;
    std::atomic<int> made{0};

    bool Next(AVFrame* to) {
        if (count >= 0 && made >= count) return false;
        to->pts = made++;
        return true;
    }
};

TEST(DecodeAhead, DeliversInOrderThenTheEndAndItsCause) {
    for (const std::string& failure : {std::string(), std::string("decoding failed: Invalid data")}) {
        CountingDecoder decoder{10, failure};
        DecodeAhead ahead([&](AVFrame* f) { return decoder.Next(f); }, [&] { return decoder.failure; }, 3);
        const AVFrame* last = nullptr;
        for (int i = 0; i < 10; ++i) {
            last = ahead.Next();
            ASSERT_NE(last, nullptr) << i;
            EXPECT_EQ(last->pts, i);
        }
        EXPECT_EQ(ahead.Next(), nullptr);
        EXPECT_EQ(ahead.Next(), nullptr);
        EXPECT_EQ(last->pts, 9);  // still the picture on screen
        EXPECT_EQ(ahead.Failure(), failure);
    }
}

TEST(DecodeAhead, StopsWhenDroppedMidStream) {
    CountingDecoder endless{-1, {}};
    {
        DecodeAhead ahead([&](AVFrame* f) { return endless.Next(f); }, [] { return std::string(); }, 2);
        ASSERT_NE(ahead.Next(), nullptr);
    }
    // Two waiting, one taken, at most one more in hand when told to stop.
    EXPECT_LE(endless.made.load(), 4);
    // Never read: at most the default four waiting and one in hand.
    CountingDecoder unread{-1, {}};
    { DecodeAhead ahead([&](AVFrame* f) { return unread.Next(f); }, [] { return std::string(); }); }
    EXPECT_LE(unread.made.load(), 5);
}

}  // namespace
}  // namespace kest::tool
