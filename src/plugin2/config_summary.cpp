#include "plugin2/config_summary.h"

#include <cmath>
#include <cstdio>

#include "plugin2/failure_message.h"
#include "sound/audio_format.h"

namespace kest::host2 {
namespace {

// The dialog's own words for each choice.
constexpr const char* kReduceNames[] = {"bit切捨", "2x2ディザ", "4x4ディザ", "2x2時間軸ディザ", "時間軸誤差拡散", "平面誤差拡散"};

std::string Gamma(double gamma) {
    char text[40];
    // The dialog moves in tenths; a record made elsewhere may hold more.
    const double tenths = gamma * 10.0;
    const bool wholeTenth = std::isfinite(tenths) && tenths == std::floor(tenths);
    std::snprintf(text, sizeof text, wholeTenth ? "%.1f" : "%.2f", gamma);
    return text;
}

}  // namespace

std::string ConfigSummary(const OutputSettings& settings) {
    const int reduce = settings.reduceMode < 6 ? settings.reduceMode : 0;
    std::string text = std::string(kReduceNames[reduce]) + " / ガンマ " + Gamma(settings.gamma) + " / " +
                       CompactLabel(SelectAudioFormat(settings.audioFormatIndex).label);
    if (settings.useIntensityBit) text += " / 輝度ビット";
    const bool across = settings.centerHorizontally != 0, down = settings.centerVertically != 0;
    if (across && down) text += " / センタリング(横・縦)";
    else if (across) text += " / センタリング(横)";
    else if (down) text += " / センタリング(縦)";
    if (settings.lineSpacing == static_cast<uint16_t>(LineSpacing::NoGap)) text += " / 行間 空けない";
    if (settings.lineSpacing == static_cast<uint16_t>(LineSpacing::Gap)) text += " / 行間 空ける";
    return text;
}

}  // namespace kest::host2
