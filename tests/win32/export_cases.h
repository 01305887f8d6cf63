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
};

std::vector<ExportCase> ExportCases();

// A settings record with the module's defaults and the given choices.
OutputSettings MakeSettings(ReduceMode mode, LineSpacing spacing, bool intensity, bool centre, double gamma,
                            int16_t audioFormatIndex, const char* comment);

// 24-bit BGR, bottom row first, rows padded to 4 bytes: the picture the
// editor hands out for `frame`.
void CasePicture(const ExportCase& c, int32_t frame, std::vector<uint8_t>& out);

// Host sound: `count` interleaved 16-bit sample frames from `start`; the tail
// past the host's end is not asked for.
void CaseSound(const ExportCase& c, int32_t start, int32_t count, std::vector<int16_t>& out);

// Sample frames of host sound for the case's whole length.
int32_t CaseSoundLength(const ExportCase& c);

}  // namespace kest::wine
