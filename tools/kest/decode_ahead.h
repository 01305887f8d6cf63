// Decoding on a thread of its own, a few pictures ahead of the export. The
// export then scales and converts one picture while the next is decoded,
// and on a machine with two cores takes about as long as decoding alone.
// Pictures come out in decoding order, exactly as a plain loop would give
// them.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "av_handles.h"

namespace kest::tool {

class DecodeAhead {
public:
    // `decodeNext` fills the frame it is given with the next picture and
    // returns true, or returns false at the end of the stream; `failure`
    // then says why it stopped early (empty at a normal end). Both run on
    // the decoding thread only.
    DecodeAhead(std::function<bool(AVFrame*)> decodeNext, std::function<std::string()> failure, int depth = 4);
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // The next picture, valid until a later call returns another; null
    // after the last one.
    AVFrame* Next();
    // Why the pictures ended early, once Next has returned null.
    std::string Failure();

private:
    void Run();

    std::function<bool(AVFrame*)> decodeNext_;
    std::function<std::string()> failure_;
    const std::size_t depth_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<AvFrame> ready_;
    bool ended_ = false;
    bool stopping_ = false;
    std::string endFailure_;
    AvFrame current_;
    std::thread thread_;  // last: starts once everything above is built
};

}  // namespace kest::tool
