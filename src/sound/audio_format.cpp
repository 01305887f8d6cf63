#include "sound/audio_format.h"

namespace kest {

const AudioFormat kAudioFormats[kAudioFormatCount] = {
    {"ADPCM 15.6kHz Mono", 15625, 0x403, 30, false},
    {"ADPCM 10.4kHz Mono", 10416, 0x303, 30, false},
    {"ADPCM  7.8kHz Mono", 7812, 0x203, 30, false},
    {"ADPCM  5.2kHz Mono", 5208, 0x103, 30, false},
    {"ADPCM  3.9kHz Mono", 3906, 0x003, 30, false},
    {"PCM 48.0 kHz  Stereo", 48000, 0xBF, 40, true},
    {"PCM 44.1 kHz  Stereo", 44100, 0xAF, 40, true},
    {"PCM 32.0 kHz  Stereo", 32000, 0x9F, 40, true},
    {"PCM 24.0 kHz  Stereo", 24000, 0x3F, 40, true},
    {"PCM 22.05kHz  Stereo", 22050, 0x2F, 40, true},
    {"PCM 16.0 kHz  Stereo", 16000, 0x1F, 40, true},
    {"PCM 48.0 kHz  Mono", 48000, 0xBD, 40, false},
    {"PCM 44.1 kHz  Mono", 44100, 0xAD, 40, false},
    {"PCM 32.0 kHz  Mono", 32000, 0x9D, 40, false},
    {"PCM 24.0 kHz  Mono", 24000, 0x3D, 40, false},
    {"PCM 22.05kHz  Mono", 22050, 0x2D, 40, false},
    {"PCM 16.0 kHz  Mono", 16000, 0x1D, 40, false},
};

const AudioFormat& SelectAudioFormat(int32_t audioFormatIndex) {
    if (audioFormatIndex >= 1 && audioFormatIndex < kAudioFormatCount) return kAudioFormats[audioFormatIndex];
    return kAudioFormats[0];
}

int32_t AudioFormatIndexOfCode(uint32_t audioCode) {
    for (int32_t i = 0; i < kAudioFormatCount; ++i)
        if (kAudioFormats[i].audioCode == audioCode) return i;
    return -1;
}

AudioPlan PlanAudio(const OutputInfo& info, int32_t audioFormatIndex) {
    AudioPlan plan{};
    plan.hasAudio = (info.flags & kFlagAudio) != 0;
    if (plan.hasAudio) {
        const AudioFormat& format = SelectAudioFormat(audioFormatIndex);
        plan.sourceRate = info.audioRate;
        plan.targetRate = format.sampleRate;
        plan.audioCode = format.audioCode;
        plan.version = format.version;
        plan.stereo = format.stereo;
    } else {
        // Silent filler, laid out as 15625 Hz ADPCM.
        plan.sourceRate = 15625;
        plan.targetRate = 15625;
        plan.audioCode = 0;
        plan.version = 30;
        plan.stereo = false;
    }
    const int64_t n = info.frameCount;
    plan.frameCount = info.frameCount;
    // Evaluated left to right in double precision, then truncated.
    double total = static_cast<double>(plan.targetRate) * static_cast<double>(n) *
                   static_cast<double>(info.scale) / static_cast<double>(info.rate);
    plan.targetTotal = total < 9.0e18 ? static_cast<int64_t>(total) : INT64_MAX;
    plan.perFrameBase = plan.targetTotal / n;
    plan.perFrameRemainder = plan.targetTotal % n;
    plan.maxSamplesPerFrame = plan.perFrameBase + (plan.perFrameRemainder != 0 ? 1 : 0);
    const int64_t s = plan.maxSamplesPerFrame;
    if (s > (INT64_MAX / 4) - 1) {
        plan.maxAudioBytes = INT64_MAX;
    } else if (plan.version == 30) {
        plan.maxAudioBytes = (s + 1) / 2;
    } else {
        plan.maxAudioBytes = (s + 1) * (plan.stereo ? 4 : 2);
    }
    return plan;
}

}  // namespace kest
