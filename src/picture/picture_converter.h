// The contract shared by the six colour-reduction converters, and the choice
// among them by reduceMode.
//
// A converter reads `picture` (24-bit BGR, bottom row first, rows padded to
// 4 bytes) and writes Pixel16 words, top row first, into `destination`
// (targetHeight rows of ((targetWidth + 3) / 4) * 4 words). Source row y,
// counted from the bottom, lands on destination row targetHeight - 1 - y;
// only min(sourceWidth, targetWidth) columns and min(sourceHeight,
// targetHeight) rows are written, the rest of the buffer keeps its content.
// Frame index 0 rebuilds the gamma table and clears the converter's carried
// state; the gamma argument is ignored on later frames. Targets are at most
// 512 x 512 and at least 1 x 1; the error diffusers, whose planes hold
// 512 x 512 pixels, convert no more than that whatever they are passed.
// Converters allocate nothing and cannot fail.
#pragma once

#include <cstdint>

#include "picture/pixel16.h"

namespace kest {

using PictureConverter = void (*)(const uint8_t* picture, int32_t sourceWidth, int32_t sourceHeight,
                                  Pixel16* destination, int32_t targetWidth, int32_t targetHeight,
                                  int32_t frameIndex, double gamma, int32_t useIntensityBit);

inline constexpr int32_t kMaxPictureSide = 512;

inline constexpr int32_t SourceRowStride(int32_t width) { return (width * 3 + 3) / 4 * 4; }
inline constexpr int32_t DestinationRowStride(int32_t width) { return (width + 3) / 4 * 4; }

// reduceMode 0 (and every value outside 1-5): the top 5 bits of each channel.
void ConvertBitTruncate(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t, double, int32_t);
// 1: checkerboard of 0 and 4 added before truncation.
void ConvertDither2x2(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t, double, int32_t);
// 2: ordered 4 x 4 matrix of 0 .. 7 added before truncation.
void ConvertDither4x4(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t, double, int32_t);
// 3: checkerboard on odd frames, its inverse on even ones (frame 0 included).
void ConvertTemporalDither2x2(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t, double,
                              int32_t);
// 4: 6-bit quantisation, each pixel's error carried to the same pixel of the
// next frame.
void ConvertTemporalErrorDiffusion(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t, double,
                                   int32_t);
// 5: 6-bit quantisation, errors spread within the picture over 12 neighbours.
void ConvertPlanarErrorDiffusion(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t, double,
                                 int32_t);

// 1-5 select their own converter; 0 and every other value bit truncation.
PictureConverter SelectPictureConverter(uint16_t reduceMode);

// The plain forms, a pixel at a time straight from the rules, kept as the
// reference that the converters above must equal word for word. They share
// the gamma table and dither matrix with the fast forms but carry their own
// error planes.
void ConvertBitTruncateReference(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t, double,
                                 int32_t);
void ConvertDither2x2Reference(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t, double,
                               int32_t);
void ConvertDither4x4Reference(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t, double,
                               int32_t);
void ConvertTemporalDither2x2Reference(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t,
                                       double, int32_t);
void ConvertTemporalErrorDiffusionReference(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t,
                                            double, int32_t);
void ConvertPlanarErrorDiffusionReference(const uint8_t*, int32_t, int32_t, Pixel16*, int32_t, int32_t, int32_t,
                                          double, int32_t);
PictureConverter SelectReferenceConverter(uint16_t reduceMode);

}  // namespace kest
