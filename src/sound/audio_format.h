// The 17 sound formats a movie can carry, in the order of the settings
// dialog's list: a row's position is the settings' audioFormatIndex.
#pragma once

#include <cstdint>

#include "base/host_records.h"

namespace kest {

struct AudioFormat {
    const char* label;   // the dialog's list text
    int32_t sampleRate;  // target rate, Hz
    uint32_t audioCode;  // header code
    int32_t version;     // 30: 4-bit ADPCM, mono ("KEST-V3.0"); 40: 16-bit PCM ("KEST-V4.0")
    bool stereo;
};

inline constexpr int kAudioFormatCount = 17;
extern const AudioFormat kAudioFormats[kAudioFormatCount];

// 1-16 select their row; 0 and every other value row 0.
const AudioFormat& SelectAudioFormat(int32_t audioFormatIndex);

// The row whose header code is `audioCode`, or -1.
int32_t AudioFormatIndexOfCode(uint32_t audioCode);

// What the sound side of one export looks like, decided before anything is
// allocated. Requires rate, scale and frameCount above zero.
struct AudioPlan {
    bool hasAudio;           // host record carries audio (flags bit 1)
    int32_t sourceRate;      // host audio rate; 15625 without audio
    int32_t targetRate;
    uint32_t audioCode;      // 0 without audio
    int32_t version;         // 30 or 40
    bool stereo;
    int32_t frameCount;      // n
    int64_t targetTotal;     // samples of the whole movie at the target rate
    int64_t perFrameBase;    // q
    int64_t perFrameRemainder;  // r
    int64_t maxSamplesPerFrame; // S
    int64_t maxAudioBytes;      // M; must stay below 65536 to be written
};

AudioPlan PlanAudio(const OutputInfo& info, int32_t audioFormatIndex);

}  // namespace kest
