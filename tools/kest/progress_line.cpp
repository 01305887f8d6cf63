#include "progress_line.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

namespace kest::tool {
namespace {

volatile std::sig_atomic_t cancelFlag = 0;
struct sigaction previousInterrupt, previousTerminate;
int guardDepth = 0;

extern "C" void OnInterrupt(int) { cancelFlag = 1; }

std::string Clock(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

ProgressLine::ProgressLine(bool enabled)
    : enabled_(enabled && ::isatty(STDERR_FILENO)), start_(std::chrono::steady_clock::now()), lastDraw_(start_) {}

void ProgressLine::Show(int32_t frame, int32_t frameCount) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    // A few redraws a second are enough, and the first frame always shows.
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100) && frame + 1 < frameCount) return;
    lastDraw_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double fps = elapsed > 0 ? frame / elapsed : 0;
    const double percent = frameCount > 0 ? 100.0 * frame / frameCount : 0;
    const std::string left = fps > 0 ? Clock((frameCount - frame) / fps) : "?:??";
    std::fprintf(stderr, "\rframe %d/%d  %5.1f%%  %6.1f fps  %s left   ", frame, frameCount, percent, fps, left.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressLine::Finish() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r%*s\r", 60, "");
    std::fflush(stderr);
    drawn_ = false;
}

// Guards nest (a command around the export's own); the outermost one owns
// the handlers.
CancelOnInterrupt::CancelOnInterrupt() {
    if (guardDepth++ > 0) return;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
}

CancelOnInterrupt::~CancelOnInterrupt() {
    if (--guardDepth > 0) return;
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
}

bool CancelRequested() { return cancelFlag != 0; }

void StopForSignal() {
    std::raise(SIGSTOP);
    for (int i = 0; i < 10000 && !cancelFlag; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
void RequestCancel() { cancelFlag = 1; }
void ClearCancel() { cancelFlag = 0; }

}  // namespace kest::tool
