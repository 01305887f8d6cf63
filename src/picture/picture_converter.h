// The contract shared by the six colour-reduction converters, and the choice
// among them by reduceMode.
//
// A converter reads `picture` (24-bit BGR, bottom row first, rows padded to
// 4 bytes) and writes Pixel16 words, top row first, into `destination`
// (targetHeight rows of ((targetWidth + 3) / 4) * 4 words). Source row y,
// counted from the bottom, lands on destination row targetHeight - 1 - y;
// only min(sourceWidth, targetWidth) columns and min(sourceHeight,
// targetHeight) rows are written, the rest of the buffer keeps its content.
// Frame index 0 rebuilds the state's gamma table and clears the converter's
// carried state; the gamma argument is ignored on later frames. Targets are
// at most 512 x 512 and at least 1 x 1; the error diffusers, whose planes
// hold 512 x 512 pixels, convert no more than that whatever they are passed.
// Converters allocate nothing and cannot fail: what they carry from frame to
// frame is the PictureState of the run, which the caller owns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/picture_state.h"
#include "picture/pixel16.h"

namespace kest {

// One call's arguments.
struct PictureFrame {
    const uint8_t* picture;
    int32_t sourceWidth;
    int32_t sourceHeight;
    Pixel16* destination;
    int32_t targetWidth;
    int32_t targetHeight;
    int32_t frameIndex;  // 0-based within the run
    double gamma;
    int32_t useIntensityBit;
};

using PictureConverter = void (*)(PictureState& state, const PictureFrame& frame);

inline constexpr int32_t SourceRowStride(int32_t width) { return (width * 3 + 3) / 4 * 4; }
inline constexpr int32_t DestinationRowStride(int32_t width) { return (width + 3) / 4 * 4; }

// The geometry every converter shares: the rows and columns it converts (no
// more than `limit` of either), and where source row y, counted from the
// bottom, and the destination row it lands on begin.
struct PictureWalk {
    int32_t rows;
    int32_t columns;
    int32_t sourceStride;
    int32_t destinationStride;
    const PictureFrame& frame;

    explicit PictureWalk(const PictureFrame& f, int32_t limit = INT32_MAX)
        : rows(Least(f.sourceHeight, f.targetHeight, limit)),
          columns(Least(f.sourceWidth, f.targetWidth, limit)),
          sourceStride(SourceRowStride(f.sourceWidth)),
          destinationStride(DestinationRowStride(f.targetWidth)),
          frame(f) {}

    const uint8_t* In(int32_t y) const { return frame.picture + static_cast<std::ptrdiff_t>(y) * sourceStride; }
    Pixel16* Out(int32_t y) const {
        return frame.destination + static_cast<std::ptrdiff_t>(frame.targetHeight - 1 - y) * destinationStride;
    }

private:
    static int32_t Least(int32_t a, int32_t b, int32_t c) { return a < b ? (a < c ? a : c) : (b < c ? b : c); }
};

// reduceMode 0 (and every value outside 1-5): the top 5 bits of each channel.
void ConvertBitTruncate(PictureState& state, const PictureFrame& frame);
// 1: checkerboard of 0 and 4 added before truncation.
void ConvertDither2x2(PictureState& state, const PictureFrame& frame);
// 2: ordered 4 x 4 matrix of 0 .. 7 added before truncation.
void ConvertDither4x4(PictureState& state, const PictureFrame& frame);
// 3: checkerboard on odd frames, its inverse on even ones (frame 0 included).
void ConvertTemporalDither2x2(PictureState& state, const PictureFrame& frame);
// 4: 6-bit quantisation, each pixel's error carried to the same pixel of the
// next frame.
void ConvertTemporalErrorDiffusion(PictureState& state, const PictureFrame& frame);
// 5: 6-bit quantisation, errors spread within the picture over 12 neighbours.
void ConvertPlanarErrorDiffusion(PictureState& state, const PictureFrame& frame);

// 1-5 select their own converter; 0 and every other value bit truncation.
PictureConverter SelectPictureConverter(uint16_t reduceMode);

}  // namespace kest
