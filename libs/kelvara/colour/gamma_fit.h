// Reconstructs a factory gamma ramp from the grey levels measured at seven
// drive levels.
#pragma once

#include "libs/kelvara/cct_params.h"
#include "libs/kelvara/colour/lut_ops.h"

namespace kelvara {

inline constexpr int kGammaFitRejected = -1;

// Fills levels (interleaved by entry, 0 .. 255) with the drive level per
// channel that reproduces the target curve (input.exponent 0: sRGB, else
// that power) on the measured panel. Returns 0, or kGammaFitRejected when
// the drive levels do not rise from 0 to 255, a measurement is not finite or
// a full-drive value is not above 0 (the fit divides by those); levels are
// then unspecified.
int GammaFit(const GammaFitInput& input, Lut8& levels);

}  // namespace kelvara
