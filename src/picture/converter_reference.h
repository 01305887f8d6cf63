// The plain forms of the six converters, a pixel at a time straight from the
// rules, kept as the reference that the converters of picture_converter.h
// must equal word for word. Tests, benchmarks and the tool link them; the
// module does not.
#pragma once

#include "picture/picture_converter.h"

namespace kest {

void ConvertBitTruncateReference(PictureState& state, const PictureFrame& frame);
void ConvertDither2x2Reference(PictureState& state, const PictureFrame& frame);
void ConvertDither4x4Reference(PictureState& state, const PictureFrame& frame);
void ConvertTemporalDither2x2Reference(PictureState& state, const PictureFrame& frame);
void ConvertTemporalErrorDiffusionReference(PictureState& state, const PictureFrame& frame);
void ConvertPlanarErrorDiffusionReference(PictureState& state, const PictureFrame& frame);
PictureConverter SelectReferenceConverter(uint16_t reduceMode);

}  // namespace kest
