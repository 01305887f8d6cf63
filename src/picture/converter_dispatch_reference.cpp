#include "picture/converter_reference.h"
#include "settings/output_settings.h"

namespace kest {

PictureConverter SelectReferenceConverter(uint16_t reduceMode) {
    switch (static_cast<ReduceMode>(reduceMode)) {
        case ReduceMode::Dither2x2: return ConvertDither2x2Reference;
        case ReduceMode::Dither4x4: return ConvertDither4x4Reference;
        case ReduceMode::TemporalDither2x2: return ConvertTemporalDither2x2Reference;
        case ReduceMode::TemporalErrorDiffusion: return ConvertTemporalErrorDiffusionReference;
        case ReduceMode::PlanarErrorDiffusion: return ConvertPlanarErrorDiffusionReference;
        case ReduceMode::BitTruncate: break;
    }
    return ConvertBitTruncateReference;
}

}  // namespace kest
