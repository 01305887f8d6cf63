// The vector kernels of the fast planar form, one per instruction set, and
// the job they share. The caller lays out each frame in the lane buffers
// (planar_wavefront.cpp); a kernel converts every step of it and leaves the
// words behind.
#pragma once

#include <cstdint>

#include "base/cpu_features.h"
#include "picture/picture_state.h"
#include "picture/planar_wavefront_geometry.h"

namespace kest {

struct WavefrontJob {
    WavefrontGeometry geometry;
    // Each channel's error array at step 0 (64-byte aligned), rows below it
    // reaching back into the lead.
    int16_t* errors[3];
    // Per step g, g mod period: all ones in the lanes whose position takes
    // the value carried in the input instead of the one converted; during
    // the first borderSteps, the border rows' lanes in `borderMasks` too.
    const int16_t* periodMasks;
    const int16_t* borderMasks;
    // Lane j's input triple of step g at lanesIn[j] + 3 g; its word, once
    // the step is done, at lanesOut[j] + 2 g. Both point into the same lane
    // buffer: a word never lands on an input not yet read.
    uint8_t* lanesIn[kWavefrontMaxLanes];
    uint8_t* lanesOut[kWavefrontMaxLanes];
    int16_t useIntensityBit;  // 0 or 1
};

struct PictureFrame;
using WavefrontKernel = void (*)(const WavefrontJob& job);
// The gamma look-up of n bytes, where a tier has a fast one (else null).
using GammaRow = void (*)(const uint8_t* in, uint8_t* out, int32_t n, const uint8_t* table);

// One frame with the kernel of `lanes` lanes: the lane buffers filled, the
// kernel run, the words copied out. The state's planes are brought up to
// date only when a frame needs what the last one left in them.
void ConvertPlanarWavefront(PictureState& state, const PictureFrame& frame, int32_t lanes, WavefrontKernel kernel,
                            GammaRow gammaRow = nullptr);
// Frame index 0, once the gamma table is built.
void StartPlanarWavefrontRun(PictureState& state);
// Copies the errors of the last frame converted here into the planes.
void SettlePlanarWavefront(PictureState& state);

void RunWavefrontSse2(const WavefrontJob& job);
#if defined(__x86_64__)
void RunWavefrontAvx2(const WavefrontJob& job);
void GammaRowAvx2(const uint8_t* in, uint8_t* out, int32_t n, const uint8_t* table);
void RunWavefrontAvx512(const WavefrontJob& job);
void GammaRowAvx512(const uint8_t* in, uint8_t* out, int32_t n, const uint8_t* table);
#endif

// The lanes of each tier's kernel.
inline constexpr int32_t kSse2Lanes = 8;
inline constexpr int32_t kAvx2Lanes = 16;
inline constexpr int32_t kAvx512Lanes = 32;

}  // namespace kest
