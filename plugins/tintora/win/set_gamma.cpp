// Hands the calibrated ramp to the back-end of the platform's graphics.
#include "plugins/tintora/profile_name.h"
#include "plugins/tintora/win/calibration_state.h"
#include "plugins/tintora/write_log.h"

namespace tintora {

int SetGamma(CalibrationState& state) {
  int result = -1;
  if (state.GpuPath == kGpuIntel)
    result = Intel_SetGamma(state);
  else if (state.GpuPath == kGpuAmd)
    result = AMD_SetGamma(state);
  if (result != 0) TINTORA_LOG(kWriteLogError, "SetGamma", "Common_SetGamma is not support now");
  return result;
}

}  // namespace tintora
