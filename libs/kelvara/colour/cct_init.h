// Gain initialisation: solves the default, warm, cold and reading-mode gains
// of a record from the factory measurements when the calibration block
// provides them, else from the panel's ICC primaries.
#pragma once

#include <cstdint>

#include "libs/kelvara/calibration_source.h"
#include "libs/kelvara/cct_params.h"

namespace kelvara {

// 0, -2 (nativeXyz invalid), -5 (method not 0 or 1), or the calibration
// path's error word (-3, -4 for a calibration file).
int32_t CCT_Init(CctParams& params, CalibrationSource& source);

// True when every nativeXyz triple is usable: finite, X > 0, Y > 0, Z >= 0,
// and Z > 0 for blue and white.
bool ValidNativeXyz(const double (&xyz)[4][3]);

}  // namespace kelvara
