// The exported entry points: the request logic with the platform's
// calibration source (firmware device, monitors' EDID, calibration file) and
// the fixed debug-dump file.
#include <exception>

#include "libs/kelvara/calibration_source.h"
#include "libs/kelvara/colour/cct_api.h"
#include "libs/kelvara/kelvara_api.h"

namespace {

// Dumps are written only while this file exists.
constexpr wchar_t kDebugDumpPath[] = L"C:\\ProgramData\\Orvale\\Kelvara\\CCTDebug.txt";

}  // namespace

extern "C" KELVARA_API int32_t CCTAPI(int32_t request, CctParams* params) {
  try {
    return kelvara::RunCctApi(request, params, {kelvara::SystemCalibrationSource(), kDebugDumpPath});
  } catch (const std::exception&) {
    return kelvara::kCctBadRequest;  // nothing may cross the library boundary
  }
}

extern "C" KELVARA_API int32_t CCTAPI_GV(int32_t request, CctParams* params, const uint16_t* inputCurve) {
  try {
    return kelvara::RunCctApiGv(request, params, inputCurve, {kelvara::SystemCalibrationSource(), kDebugDumpPath});
  } catch (const std::exception&) {
    return kelvara::kCctBadRequest;
  }
}
