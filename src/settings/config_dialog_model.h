// The settings dialog without a window system: what its controls show for a
// settings record when it opens, and what OK makes of the controls. The
// Windows side only carries these states to and from the real controls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/output_settings.h"

namespace kest {

inline constexpr int kReduceModeButtons = 6;   // ReduceMode 0-5, in that order
inline constexpr int kLineSpacingButtons = 3;  // LineSpacing 0-2, in that order

// The trackbar runs over whole tenths of the gamma.
inline constexpr int32_t kGammaPositionMin = 1;
inline constexpr int32_t kGammaPositionMax = 30;

// The comment control's limit; its text is read back with this limit,
// terminator included, so the record gets at most 983 bytes of text.
inline constexpr int32_t kCommentLimit = static_cast<int32_t>(kCommentBytes);

inline constexpr std::size_t kGammaLabelBytes = 20;

struct DialogControls {
    bool reduceModeChecked[kReduceModeButtons];
    int32_t gammaPosition;  // gamma = position / 10
    bool lineSpacingChecked[kLineSpacingButtons];
    bool centerHorizontally;
    bool centerVertically;
    bool useIntensityBit;
    int32_t audioSelection;  // list position = AudioFormat row; -1: none
    std::string comment;
};

// The controls' states for `settings`. Normalises settings.gamma to the
// tenth the trackbar shows; that write stands whether or not OK follows.
DialogControls InitialiseControls(OutputSettings& settings);

// OK: every field from the controls. Reserved bytes and the comment's bytes
// behind its new terminator stay as they are.
void ReadBackControls(const DialogControls& controls, OutputSettings& settings);

// The label beside the trackbar: " %1.1f" of position / 10.
std::array<char, kGammaLabelBytes> GammaLabelText(int32_t position);

}  // namespace kest
