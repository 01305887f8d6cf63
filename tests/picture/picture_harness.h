// Runs a converter into a buffer pre-filled with a marker word, so that the
// words it must not touch can be told apart, and reads the words back in
// their big-endian byte order.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "base/cpu_features.h"
#include "picture/converter_reference.h"
#include "picture/picture_converter.h"
#include "picture/pixel16.h"

namespace kest::testing {

inline constexpr Pixel16 kUntouched = 0xA5C3;

struct Target {
    int32_t width, height;
    std::vector<Pixel16> words;  // height rows of DestinationRowStride(width)

    Target(int32_t w, int32_t h)
        : width(w), height(h), words(static_cast<std::size_t>(DestinationRowStride(w)) * h) {
        for (Pixel16& word : words) StorePixel16(&word, kUntouched);
    }
    // Destination row `row` (0 = top), column `x`.
    Pixel16 At(int32_t row, int32_t x) const {
        return LoadPixel16(&words[static_cast<std::size_t>(row) * DestinationRowStride(width) + x]);
    }
    // Row counted from the bottom, as the converters count source rows.
    Pixel16 FromBottom(int32_t y, int32_t x) const { return At(height - 1 - y, x); }
};

struct Source {
    int32_t width, height;
    std::vector<uint8_t> bytes;  // 24-bit BGR, bottom row first, rows padded to 4 bytes

    uint8_t* Pixel(int32_t y, int32_t x) {
        return &bytes[static_cast<std::size_t>(y) * SourceRowStride(width) + 3 * x];
    }
};

inline Source FlatSource(int32_t width, int32_t height, uint8_t blue, uint8_t green, uint8_t red) {
    Source s{width, height, std::vector<uint8_t>(static_cast<std::size_t>(SourceRowStride(width)) * height)};
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = s.Pixel(y, x);
            p[0] = blue, p[1] = green, p[2] = red;
        }
    return s;
}

inline Source RandomSource(int32_t width, int32_t height, std::mt19937& random) {
    Source s{width, height, std::vector<uint8_t>(static_cast<std::size_t>(SourceRowStride(width)) * height)};
    for (uint8_t& byte : s.bytes) byte = static_cast<uint8_t>(random());
    return s;
}

// The state a converter run from here carries from call to call, one for
// each converter and tier, as one export has one: frame index 0 starts it
// afresh, later frames go on from the last call.
inline PictureState& StateOf(PictureConverter convert, SimdTier tier) {
    static std::map<std::pair<PictureConverter, SimdTier>, std::unique_ptr<PictureState>> states;
    std::unique_ptr<PictureState>& state = states[{convert, tier}];
    if (!state) {
        state = std::make_unique<PictureState>();
        state->tier = tier;
    }
    return *state;
}

inline void Convert(PictureConverter convert, const Source& source, Target& target, int32_t frameIndex,
                    double gamma = 1.0, int32_t useIntensityBit = 0, SimdTier tier = DetectedSimdTier()) {
    convert(StateOf(convert, tier), {source.bytes.data(), source.width, source.height, target.words.data(),
                                     target.width, target.height, frameIndex, gamma, useIntensityBit});
}

// The one word of a converted 1 x 1 picture.
inline Pixel16 ConvertPixel(PictureConverter convert, uint8_t blue, uint8_t green, uint8_t red, int32_t frameIndex,
                            double gamma = 1.0, int32_t useIntensityBit = 0) {
    Target target(1, 1);
    Convert(convert, FlatSource(1, 1, blue, green, red), target, frameIndex, gamma, useIntensityBit);
    return target.At(0, 0);
}

}  // namespace kest::testing
