// The settings record. The process holds one, which the editor keeps as an
// opaque 1016-byte blob and hands back through SetConfigBlob, and which the
// dialog edits in place; each export runs with a copy of it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/host_records.h"

namespace kest {

enum class ReduceMode : uint16_t {
    BitTruncate = 0,
    Dither2x2 = 1,
    Dither4x4 = 2,
    TemporalDither2x2 = 3,
    TemporalErrorDiffusion = 4,
    PlanarErrorDiffusion = 5,
};

enum class LineSpacing : uint16_t { Auto = 0, NoGap = 1, Gap = 2 };

inline constexpr std::size_t kCommentBytes = 984;

#pragma pack(push, 1)
struct OutputSettings {
    uint16_t reduceMode;      // ReduceMode; other values convert as BitTruncate
    uint16_t lineSpacing;     // LineSpacing; other values act as Auto
    int32_t useIntensityBit;  // nonzero: pictures carry the intensity bit
    int32_t centerHorizontally;
    int32_t centerVertically;
    double gamma;             // exponent 1/gamma for the gamma table
    char comment[kCommentBytes];  // zero-terminated ANSI text
    int16_t audioFormatIndex;     // row of the audio format table
    uint8_t reserved[6];          // travels with the blob, never read
};
#pragma pack(pop)

static_assert(sizeof(OutputSettings) == 1016);
static_assert(offsetof(OutputSettings, lineSpacing) == 2);
static_assert(offsetof(OutputSettings, useIntensityBit) == 4);
static_assert(offsetof(OutputSettings, centerHorizontally) == 8);
static_assert(offsetof(OutputSettings, centerVertically) == 12);
static_assert(offsetof(OutputSettings, gamma) == 16);
static_assert(offsetof(OutputSettings, comment) == 24);
static_assert(offsetof(OutputSettings, audioFormatIndex) == 1008);
static_assert(offsetof(OutputSettings, reserved) == 1010);

inline constexpr int32_t kConfigBlobSize = sizeof(OutputSettings);

// A freshly loaded module's record: all zero, gamma 1.0.
OutputSettings DefaultSettings();

// The process-wide record, read and written in place by the dialog and the
// blob entries.
OutputSettings& Settings();
// Back to the state of a freshly loaded module (all zero, gamma 1.0).
void ResetSettings();

// Length of the comment as the export and the dialog read it: up to the first
// zero byte, and never more than 983 bytes (a blob not made by the dialog may
// carry no terminator at all).
std::size_t CommentLength(const OutputSettings& settings);

int32_t KEST_CDECL GetConfigBlob(void* destination);
int32_t KEST_CDECL SetConfigBlob(const void* source, int32_t size);

}  // namespace kest
