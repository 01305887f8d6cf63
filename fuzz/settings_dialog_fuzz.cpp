// Any settings blob through the dialog: opening it and pressing OK must give
// a record whose every field is one the dialog can produce, and the bytes
// the dialog does not own must come through unchanged.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/config_dialog_model.h"
#include "settings/output_settings.h"
#include "sound/audio_format.h"

namespace {

#define CHECK(condition)                                                                \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace kest;
    OutputSettings record{};
    std::memcpy(&record, data, std::min(size, sizeof record));
    const OutputSettings before = record;

    const DialogControls controls = InitialiseControls(record);
    // Opening changes the gamma only, to a tenth within 0.1 - 3.0.
    CHECK(std::memcmp(&record, &before, offsetof(OutputSettings, gamma)) == 0);
    const std::size_t afterGamma = offsetof(OutputSettings, comment);
    CHECK(std::memcmp(reinterpret_cast<const uint8_t*>(&record) + afterGamma,
                      reinterpret_cast<const uint8_t*>(&before) + afterGamma, sizeof record - afterGamma) == 0);
    CHECK(controls.gammaPosition >= kGammaPositionMin && controls.gammaPosition <= kGammaPositionMax);
    CHECK(record.gamma == controls.gammaPosition / 10.0);
    int reduceChecked = 0, spacingChecked = 0;
    for (bool b : controls.reduceModeChecked) reduceChecked += b;
    for (bool b : controls.lineSpacingChecked) spacingChecked += b;
    CHECK(reduceChecked == 1 && spacingChecked == 1);
    CHECK(controls.audioSelection >= -1 && controls.audioSelection < kAudioFormatCount);
    CHECK(controls.comment.size() <= kCommentBytes - 1);
    const char label0 = GammaLabelText(controls.gammaPosition)[0];
    CHECK(label0 == ' ');

    const OutputSettings opened = record;
    ReadBackControls(controls, record);
    CHECK(record.reduceMode <= 5);
    CHECK(record.lineSpacing <= 2);
    CHECK(record.useIntensityBit == 0 || record.useIntensityBit == 1);
    CHECK(record.centerHorizontally == 0 || record.centerHorizontally == 1);
    CHECK(record.centerVertically == 0 || record.centerVertically == 1);
    CHECK(std::isfinite(record.gamma) && record.gamma >= 0.1 && record.gamma <= 3.0);
    CHECK(record.audioFormatIndex >= -1 && record.audioFormatIndex < kAudioFormatCount);
    CHECK(std::memchr(record.comment, 0, kCommentBytes) != nullptr);
    CHECK(std::memcmp(record.reserved, before.reserved, sizeof record.reserved) == 0);
    // OK without changes keeps every value the dialog could show.
    CHECK(record.gamma == opened.gamma);
    CHECK(std::memcmp(record.comment, opened.comment, CommentLength(opened)) == 0);

    // A second opening shows exactly what the first OK stored.
    OutputSettings again = record;
    const DialogControls second = InitialiseControls(again);
    CHECK(std::memcmp(&again, &record, sizeof record) == 0);
    CHECK(second.gammaPosition == controls.gammaPosition && second.audioSelection == controls.audioSelection &&
          second.comment == controls.comment);
    return 0;
}
