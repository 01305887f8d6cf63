#include "plugin2/config_summary.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kest::host2 {
namespace {

OutputSettings Record(uint16_t reduce, double gamma, int16_t audio, int32_t intensity, int32_t across, int32_t down,
                      uint16_t spacing) {
    OutputSettings s;
    std::memset(&s, 0, sizeof s);
    s.reduceMode = reduce;
    s.gamma = gamma;
    s.audioFormatIndex = audio;
    s.useIntensityBit = intensity;
    s.centerHorizontally = across;
    s.centerVertically = down;
    s.lineSpacing = spacing;
    return s;
}

TEST(ConfigSummary, NamesWhatTheExportWillDo) {
    const struct {
        OutputSettings settings;
        const char* text;
    } cases[] = {
        {Record(0, 1.0, 0, 0, 0, 0, 0), "bit切捨 / ガンマ 1.0 / ADPCM 15.6kHz Mono"},
        {Record(5, 1.0, 0, 0, 0, 0, 0), "平面誤差拡散 / ガンマ 1.0 / ADPCM 15.6kHz Mono"},
        // Runs of spaces in the list's texts are made single.
        {Record(1, 0.5, 2, 0, 0, 0, 0), "2x2ディザ / ガンマ 0.5 / ADPCM 7.8kHz Mono"},
        {Record(5, 1.8, 5, 1, 1, 1, 1),
         "平面誤差拡散 / ガンマ 1.8 / PCM 48.0 kHz Stereo / 輝度ビット / センタリング(横・縦) / 行間 空けない"},
        {Record(3, 2.2, 16, 0, 1, 0, 2), "2x2時間軸ディザ / ガンマ 2.2 / PCM 16.0 kHz Mono / センタリング(横) / 行間 空ける"},
        {Record(4, 3.0, 9, 0, 0, 7, 0), "時間軸誤差拡散 / ガンマ 3.0 / PCM 22.05kHz Stereo / センタリング(縦)"},
        // A record not made by the dialog: values as the export reads them.
        {Record(9, 2.99, 40, 0, 0, 0, 7), "bit切捨 / ガンマ 2.99 / ADPCM 15.6kHz Mono"},
        {Record(2, 1.0, -1, 0, 0, 0, 0), "4x4ディザ / ガンマ 1.0 / ADPCM 15.6kHz Mono"},
    };
    for (const auto& c : cases) EXPECT_EQ(ConfigSummary(c.settings), c.text);
}

}  // namespace
}  // namespace kest::host2
