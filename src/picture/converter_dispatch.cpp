#include "picture/picture_converter.h"
#include "settings/output_settings.h"

namespace kest {

PictureConverter SelectPictureConverter(uint16_t reduceMode) {
    switch (static_cast<ReduceMode>(reduceMode)) {
        case ReduceMode::Dither2x2: return ConvertDither2x2;
        case ReduceMode::Dither4x4: return ConvertDither4x4;
        case ReduceMode::TemporalDither2x2: return ConvertTemporalDither2x2;
        case ReduceMode::TemporalErrorDiffusion: return ConvertTemporalErrorDiffusion;
        case ReduceMode::PlanarErrorDiffusion: return ConvertPlanarErrorDiffusion;
        case ReduceMode::BitTruncate: break;
    }
    return ConvertBitTruncate;
}

}  // namespace kest
