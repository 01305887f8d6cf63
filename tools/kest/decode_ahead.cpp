#include "decode_ahead.h"

#include <utility>

namespace kest::tool {

DecodeAhead::DecodeAhead(std::function<bool(AVFrame*)> decodeNext, std::function<std::string()> failure, int depth)
    : decodeNext_(std::move(decodeNext)),
      failure_(std::move(failure)),
      depth_(static_cast<std::size_t>(depth < 1 ? 1 : depth)),
      thread_(&DecodeAhead::Run, this) {}

DecodeAhead::~DecodeAhead() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void DecodeAhead::Run() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
        }
        AvFrame frame = NewFrame();
        std::string failure;
        bool got = false;
        if (!frame) {
            failure = "out of memory for a decoded picture";
        } else {
            got = decodeNext_(frame.get());
            if (!got) failure = failure_();
        }
        std::unique_lock lock(mutex_);
        if (!got) {
            ended_ = true;
            endFailure_ = std::move(failure);
            changed_.notify_all();
            return;
        }
        changed_.wait(lock, [&] { return stopping_ || ready_.size() < depth_; });
        if (stopping_) return;
        ready_.push_back(std::move(frame));
        changed_.notify_all();
    }
}

AVFrame* DecodeAhead::Next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !ready_.empty() || ended_; });
    if (ready_.empty()) return nullptr;
    current_ = std::move(ready_.front());
    ready_.pop_front();
    changed_.notify_all();
    return current_.get();
}

std::string DecodeAhead::Failure() {
    std::lock_guard lock(mutex_);
    return endFailure_;
}

}  // namespace kest::tool
