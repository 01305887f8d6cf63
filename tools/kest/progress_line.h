// The export's progress line on stderr and its Ctrl-C. The line is drawn
// only when stderr is a terminal; Ctrl-C or SIGTERM sets a flag that the host's
// abortRequested reports, so the export ends after its last whole record.
#pragma once

#include <chrono>
#include <cstdint>

namespace kest::tool {

class ProgressLine {
public:
    explicit ProgressLine(bool enabled);
    void Show(int32_t frame, int32_t frameCount);  // frames done so far, total
    void Finish();                                 // ends the line, if one was drawn

private:
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// Ctrl-C (SIGINT) and SIGTERM request a cancel instead of killing the
// process, so that what was made is finished properly; the previous
// handlers come back when the guard ends.
class CancelOnInterrupt {
public:
    CancelOnInterrupt();
    ~CancelOnInterrupt();
    CancelOnInterrupt(const CancelOnInterrupt&) = delete;
    CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;
};

bool CancelRequested();
// For tests: stops the process (SIGSTOP) and, once continued, waits a while
// for the signal the test sent meanwhile, which any thread may have taken.
void StopForSignal();
void RequestCancel();
void ClearCancel();

}  // namespace kest::tool
