// How close a picture is to another of the same size: PSNR over the three
// 8-bit channels, and SSIM of the luma (BT.601 weights) with the usual 11 x 11
// Gaussian window (sigma 1.5) and constants (0.01 and 0.03 of 255, squared).
#pragma once

#include "player_screen.h"

namespace kest::tool {

// In dB; infinity for identical pictures.
double Psnr(const RgbImage& a, const RgbImage& b);
// 1 for identical pictures.
double Ssim(const RgbImage& a, const RgbImage& b);

}  // namespace kest::tool
