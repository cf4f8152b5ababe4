// The calibration flow: identify, read the profile, ask Kelvara for the
// corrected LUT, and load it into the graphics driver.
#include "libs/kelvara/kelvara_api.h"
#include "plugins/tintora/win/calibration_state.h"
#include "plugins/tintora/write_log.h"

namespace tintora {
namespace {

// Kelvara's output conversion without re-sampling, asked for first.
constexpr int32_t kLutNoConversion = 3;

constexpr const char* kInitStep = "InitColorCalibration";

// Logs the reason (from the given site), the result -1, and disables the
// calibration for good.
void FailCalibration(CalibrationState& state, int site, const char* reason) {
  WriteLog(kWriteLogError, "Tintora [%s][%d] %s", kInitStep, site, reason);
  TINTORA_LOG(kWriteLogInfo, kInitStep, "InitColorCalibration ret = %d", -1);
  state.CalibrationFailed = true;
}

}  // namespace

int getLUT(CalibrationState& state, int32_t lutApiType) {
  constexpr const char* kStep = "getLUT";
  CctParams& params = state.params;
  params.lutApiType = lutApiType;
  params.interval = 1.0;
  params.brightness = 1.0;
  params.RDLevels = 0;
  params.RDIndex = 0;
  if (const int32_t r = CCTAPI(kelvara::CCTAPI_INIT_GAIN, &params); r != 0) {
    TINTORA_LOG(kWriteLogError, kStep, "CCTAPI_INIT_GAIN ret = %d", r);
    return -1;
  }
  if (const int32_t r = CCTAPI(kelvara::CCTAPI_GET_LUT, &params); r != 0) {
    TINTORA_LOG(kWriteLogError, kStep, "CCTAPI_GET_LUT ret = %d", r);
    return -1;
  }
  for (int i = 0; i < 256; ++i)
    WriteLog(kWriteLogInfo, "Tintora QOV getLUT[%d]: %d %d %d", i, params.outLut[0][i], params.outLut[1][i],
             params.outLut[2][i]);
  return 0;
}

int InitColorCalibration(CalibrationState& state, zu::ILogger* logger) {
  std::scoped_lock hold(state.lock);
  SetWriteLogLogger(logger);
  state.params = CctParams{};
  state.calibrated = false;
  IdentifyPlatform(state);

  if (getColorDir(state) != 0) {
    FailCalibration(state, __LINE__, "getDisplayDevices fail");
    return 0;
  }
  state.productFolder = kProductFolder;
  if (getDisplayDevices(state) != 0) {
    FailCalibration(state, __LINE__, "getDisplayDevices fail");
    return 0;
  }
  if (parseICC(state) != 0) {
    FailCalibration(state, __LINE__, "parseICC fail");
    return 0;
  }
  if (getLUT(state, kLutNoConversion) != 0 || getLUT(state, state.GpuPath) != 0) {
    FailCalibration(state, __LINE__, "getLUT fail");
    return 0;
  }
  state.calibrated = true;
  TINTORA_LOG(kWriteLogInfo, kInitStep, "InitColorCalibration ret = %d", 0);
  return 0;
}

void DoColorCalibration(CalibrationState& state) {
  std::scoped_lock hold(state.lock);
  if (!state.calibrated || state.CalibrationFailed) return;
  SetGamma(state);
  TINTORA_LOG(kWriteLogInfo, "DoColorCalibration", "DoColorCalibration ret = %d", 0);
}

}  // namespace tintora
