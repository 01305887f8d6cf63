// A PNG file of an 8-bit RGB picture, written without a compression library:
// the zlib stream holds stored blocks only, so any reader takes it and the
// host needs no DLL beside it.
#pragma once

#include <cstdint>
#include <vector>

namespace kest::wine {

// `rgb` holds `height` rows of `width` pixels, top row first, three bytes a
// pixel in the order red, green, blue. False when the file cannot be written.
bool WritePng(const char* path, int width, int height, const std::vector<uint8_t>& rgb);

}  // namespace kest::wine
