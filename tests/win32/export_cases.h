// The inputs that both hosts export: the native build in memory and the
// Windows module under a Windows loader. Pictures and sound are made with
// integer arithmetic only, so that both programs feed the exporter the very
// same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/output_settings.h"

namespace kest::wine {

struct ExportCase {
    std::string name;  // also the file name stem
    int32_t width;
    int32_t height;
    int32_t frames;
    int32_t rate;  // frames per second = rate / scale
    int32_t scale;
    int32_t audioRate;  // 0: the host has no sound
    int32_t audioChannels;
    OutputSettings settings;
    int32_t cancelAtFrame;  // abortRequested answers 1 from this frame on; -1 never
    // Above 0: frame n shows the picture of frame n % pictureCycle, so that a
    // long run costs the host only its first pictures.
    int32_t pictureCycle = 0;
};

std::vector<ExportCase> ExportCases();

// The export both hosts time: 300 frames of 512 x 480 with planar error
// diffusion and PCM 48000 Hz stereo from 48000 Hz stereo sound.
ExportCase TimedCase();
// "timed_ped_512x480_pcm48s: 300 frames in 0.512 s, 586 frames a second"
std::string TimedSummary(const ExportCase& c, double seconds);

// A settings record with the module's defaults and the given choices.
OutputSettings MakeSettings(ReduceMode mode, LineSpacing spacing, bool intensity, bool centre, double gamma,
                            int16_t audioFormatIndex, const char* comment);

// 24-bit BGR, bottom row first, rows padded to 4 bytes: the picture the
// editor hands out for `frame`.
void CasePicture(const ExportCase& c, int32_t frame, std::vector<uint8_t>& out);

// The pictures of one run, each made once when the case has a picture cycle.
class CasePictures {
public:
    const uint8_t* Of(const ExportCase& c, int32_t frame);

private:
    std::vector<std::vector<uint8_t>> made_;
    std::vector<uint8_t> scratch_;
};

// Host sound: `count` interleaved 16-bit sample frames from `start`; the tail
// past the host's end is not asked for.
void CaseSound(const ExportCase& c, int32_t start, int32_t count, std::vector<int16_t>& out);

// Sample frames of host sound for the case's whole length.
int32_t CaseSoundLength(const ExportCase& c);

}  // namespace kest::wine
