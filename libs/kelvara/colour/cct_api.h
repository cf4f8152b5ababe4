// The request logic behind the CCTAPI and CCTAPI_GV exports. The exports pass
// the platform's calibration source and the fixed debug-dump file.
#pragma once

#include <cstdint>
#include <filesystem>

#include "libs/kelvara/calibration_source.h"
#include "libs/kelvara/cct_params.h"

namespace kelvara {

struct CctEnvironment {
  CalibrationSource& calibration;
  std::filesystem::path debugDumpPath;  // written only when the file exists
};

// Codes of CCTAPI_GV.
inline constexpr int32_t CCTAPI_GV_VIVID_MODE = 3;
inline constexpr int32_t kGvFirstMode = 21;
inline constexpr int32_t kGvLastMode = 25;

// Request codes 0 .. 7 (cct_params.h); others give -1 without touching the
// record, as does a null record.
int32_t RunCctApi(int32_t request, CctParams* params, const CctEnvironment& env);

// Codes 3 (the library's vivid curve) and 21 .. 25 (the caller's 768-entry
// input curve); others and a null record give -1, a missing input curve for
// codes 21 .. 25 gives -7.
int32_t RunCctApiGv(int32_t request, CctParams* params, const uint16_t* inputCurve, const CctEnvironment& env);

}  // namespace kelvara
