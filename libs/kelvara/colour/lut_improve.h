// Shadow repair of a finished 16-bit ramp at 8-bit precision.
#pragma once

#include "libs/kelvara/calibration_source.h"
#include "libs/kelvara/cct_params.h"

namespace kelvara {

// Takes the high byte of every entry, repairs the ramp (data version 7: the
// straight-line redraw with the step stored in the calibration block, read
// again from the record's source; otherwise the shadow smoothing) and writes
// the 8-bit result back as value * 256. When the block cannot be read again
// the LUT is left unchanged. Always 0.
int LutImprove(const CctParams& params, Lut& lut, CalibrationSource& source);

}  // namespace kelvara
