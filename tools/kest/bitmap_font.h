// A small bitmap font built into the tool, for labels drawn into pictures:
// printable ASCII in 5 x 8 cells, drawn at a whole-number scale. Any other
// byte is drawn as '?'.
#pragma once

#include <cstdint>
#include <string>

#include "player_screen.h"

namespace kest::tool {

int32_t TextWidth(const std::string& text, int32_t scale);
int32_t TextHeight(int32_t scale);
// Draws `text` with its top-left corner at (x, y); what falls outside the
// image is left out.
void DrawText(RgbImage& image, int32_t x, int32_t y, const std::string& text, int32_t scale, const uint8_t (&rgb)[3]);

}  // namespace kest::tool
