#pragma once

#include <cstdint>

namespace kest {

// One frame's audio payload; the bytes stay valid until the next frame.
struct AudioBytes {
    const uint8_t* bytes;
    int32_t count;
};

// A 4-bit ADPCM code waiting for its partner. Codes are packed two to a byte,
// the earlier one in the low nibble, also across frame boundaries.
struct PendingCode {
    bool waiting = false;
    uint8_t code = 0;
};

}  // namespace kest
