#include "picture/picture_converter.h"

namespace kest {

PictureConverter SelectPictureConverter(uint16_t reduceMode) {
    switch (reduceMode) {
        default:
            return ConvertBitTruncate;
    }
}

}  // namespace kest
