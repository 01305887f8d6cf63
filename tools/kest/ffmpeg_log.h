// FFmpeg's own messages. By default none reaches the user: kest says in its
// own words what went wrong, and its summary counts what FFmpeg reported
// about the input. With -v they are shown as FFmpeg prints them.
#pragma once

namespace kest::tool {

// Takes FFmpeg's log over; once, at start-up.
void RouteFfmpegLog();
// Shows FFmpeg's warnings and errors on stderr from now on.
void ShowFfmpegLog();
bool FfmpegLogShown();
// The warnings and errors FFmpeg's demuxers and decoders reported so far:
// damage in the input, not the tool's own doing.
int FfmpegInputProblems();

// While one lives, FFmpeg's messages are neither shown nor counted: a
// second read of the same input would only repeat them.
class FfmpegLogMuted {
public:
    FfmpegLogMuted();
    ~FfmpegLogMuted();
    FfmpegLogMuted(const FfmpegLogMuted&) = delete;
    FfmpegLogMuted& operator=(const FfmpegLogMuted&) = delete;
};

}  // namespace kest::tool
