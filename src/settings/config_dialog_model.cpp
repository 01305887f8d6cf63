#include "settings/config_dialog_model.h"

#include <cstdio>
#include <cstring>

#include "sound/audio_format.h"

namespace kest {
namespace {

// Truncated toward zero, then clamped; NaN counts as below the range and a
// product beyond any integer as above it.
int32_t GammaPosition(double gamma) {
    const double tenths = gamma * 10.0;
    if (!(tenths >= kGammaPositionMin)) return kGammaPositionMin;
    if (tenths >= kGammaPositionMax) return kGammaPositionMax;
    return static_cast<int32_t>(tenths);
}

}  // namespace

DialogControls InitialiseControls(OutputSettings& settings) {
    DialogControls controls{};

    // Values outside 1-5 convert by bit truncation, so they show as button 0.
    const int reduce = settings.reduceMode < kReduceModeButtons ? settings.reduceMode : 0;
    controls.reduceModeChecked[reduce] = true;

    controls.gammaPosition = GammaPosition(settings.gamma);
    settings.gamma = controls.gammaPosition / 10.0;

    const int spacing = settings.lineSpacing < kLineSpacingButtons ? settings.lineSpacing : 0;
    controls.lineSpacingChecked[spacing] = true;

    controls.centerHorizontally = settings.centerHorizontally != 0;
    controls.centerVertically = settings.centerVertically != 0;
    controls.useIntensityBit = settings.useIntensityBit != 0;

    const int32_t row = settings.audioFormatIndex;
    controls.audioSelection = row >= 0 && row < kAudioFormatCount ? row : -1;

    // A blob may carry no terminator; the text is then its first 983 bytes,
    // as the export reads it.
    controls.comment.assign(settings.comment, CommentLength(settings));
    return controls;
}

void ReadBackControls(const DialogControls& controls, OutputSettings& settings) {
    // The last button is never asked: it is the one left when none of the
    // others is checked.
    int reduce = kReduceModeButtons - 1;
    for (int i = 0; i < kReduceModeButtons - 1; ++i) {
        if (controls.reduceModeChecked[i]) {
            reduce = i;
            break;
        }
    }
    settings.reduceMode = static_cast<uint16_t>(reduce);

    settings.gamma = controls.gammaPosition / 10.0;

    // One button of the group is always checked; should none be, Auto.
    int spacing = 0;
    for (int i = 0; i < kLineSpacingButtons; ++i) {
        if (controls.lineSpacingChecked[i]) {
            spacing = i;
            break;
        }
    }
    settings.lineSpacing = static_cast<uint16_t>(spacing);

    settings.centerHorizontally = controls.centerHorizontally ? 1 : 0;
    settings.centerVertically = controls.centerVertically ? 1 : 0;
    settings.useIntensityBit = controls.useIntensityBit ? 1 : 0;

    // The low 16 bits of the selection: no selection (-1) stays -1.
    settings.audioFormatIndex = static_cast<int16_t>(static_cast<uint16_t>(controls.audioSelection & 0xFFFF));

    std::size_t length = controls.comment.size() < kCommentBytes - 1 ? controls.comment.size() : kCommentBytes - 1;
    if (const void* end = std::memchr(controls.comment.data(), 0, length)) {
        length = static_cast<std::size_t>(static_cast<const char*>(end) - controls.comment.data());
    }
    std::memcpy(settings.comment, controls.comment.data(), length);
    settings.comment[length] = '\0';
}

std::array<char, kGammaLabelBytes> GammaLabelText(int32_t position) {
    std::array<char, kGammaLabelBytes> text{};
    std::snprintf(text.data(), text.size(), " %1.1f", position / 10.0);
    return text;
}

}  // namespace kest
