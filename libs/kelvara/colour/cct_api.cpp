#include "libs/kelvara/colour/cct_api.h"

#include <cstdio>
#include <string>

#include "libs/kelvara/colour/cct_init.h"
#include "libs/kelvara/colour/debug_dump.h"
#include "libs/kelvara/codec/debug_trace.h"
#include "libs/kelvara/colour/lut_improve.h"
#include "libs/kelvara/colour/lut_ops.h"
#include "libs/kelvara/colour/mode_luts.h"

namespace kelvara {

namespace {

constexpr const char* kRequestNames[] = {
    "CCTAPI_GET_VERSION",  "CCTAPI_INIT_GAIN",           "CCTAPI_GET_LUT",
    "CCTAPI_THEATER_MODE", "CCTAPI_VIVID_MODE",          "CCTAPI_READING_MODE_STRONG",
    "CCTAPI_READING_MODE_WEAK", "CCTAPI_READING_MODE_MULTI",
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

void TraceLine(const std::string& text) { DebugTrace(Wide(text).c_str()); }

// Builds the mode's LUT into outLut.
void BuildModeLut(int32_t request, CctParams& params) {
  switch (request) {
    case CCTAPI_GET_LUT:
      if (ColourTemperatureLut(params) != 0) {
        std::printf("; QOV: Invalid interval(%f), lut not changed!!!\n", params.interval);
      }
      break;
    case CCTAPI_THEATER_MODE: TheaterLut(params); break;
    case CCTAPI_VIVID_MODE: VividLut(params); break;
    case CCTAPI_READING_MODE_STRONG: ApplyGains(SourceLut(params), params.readStrongGain, params.outLut); break;
    case CCTAPI_READING_MODE_WEAK: ApplyGains(SourceLut(params), params.readWeakGain, params.outLut); break;
    case CCTAPI_READING_MODE_MULTI:
      if (const uint32_t warnings = SteppedReadingLut(params)) {
        std::printf("; QOV: RDIndex(%f) of RDLevels(%f) out of range, clamped W(%d)\n", params.RDIndex,
                    params.RDLevels, static_cast<int>(warnings));
      }
      break;
  }
}

// Shadow repair, brightness and conversion of outLut, shared by codes 2 .. 7.
int32_t CommonTail(int32_t request, CctParams& params, const CctEnvironment& env, DebugDump& dump) {
  params.iccType = 1;
  const std::string name = kRequestNames[request];
  const std::string first =
      request == CCTAPI_GET_LUT ? name + " (lut before LutImprove())" : name + " (before LutImprove())";
  dump.WriteLut(first.c_str(), params.outLut);
  LutImprove(params, params.outLut, env.calibration);
  dump.WriteLut("CCTAPI_GET_LUT (lut after LutImprove())", params.outLut);
  LutBrightCtrl(params.outLut, params.brightness);
  dump.WriteLut("CCTAPI_GET_LUT (lut after LutBrightCtrl())", params.outLut);
  const int32_t result = LutConvert(params.lutApiType, &params.outLut, &params.outLut);
  dump.WriteLut("CCTAPI_GET_LUT (lut after LutConvert())", params.outLut);
  return result;
}

}  // namespace

int32_t RunCctApi(int32_t request, CctParams* params, const CctEnvironment& env) {
  CCTAPI_ERRORCODE = kCctOk;
  DebugTrace(L"; QOV: Enter CCTAPI()\n");
  DebugDump dump(env.debugDumpPath, DebugDump::Start::kRecreate);
  if (params == nullptr || request < CCTAPI_GET_VERSION || request > CCTAPI_READING_MODE_MULTI) {
    TraceLine("; QOV: Invalid request(" + std::to_string(request) + ")!!!\n");
    DebugTrace(L"; QOV: Exit  CCTAPI()\n");
    return kCctBadRequest;
  }
  const std::string name = kRequestNames[request];
  TraceLine("; QOV: Enter " + name + "\n");
  int32_t result = kCctOk;
  if (request == CCTAPI_GET_VERSION) {
    params->version = kVersion;
  } else {
    if (request == CCTAPI_INIT_GAIN) {
      result = CCT_Init(*params, env.calibration);
      std::printf("CCT_Init  result = %d\n", result);
      params->iccType = 1;
    } else {
      BuildModeLut(request, *params);
      result = CommonTail(request, *params, env, dump);
    }
    dump.WriteRecord(name.c_str(), *params);
    params->lastError = CCTAPI_ERRORCODE;
  }
  TraceLine("; QOV: Exit  " + name + "\n");
  DebugTrace(L"; QOV: Exit  CCTAPI()\n");
  return result;
}

int32_t RunCctApiGv(int32_t request, CctParams* params, const uint16_t* inputCurve, const CctEnvironment& env) {
  if (params == nullptr) return kCctBadRequest;
  DebugTrace(L"; QOV: Enter CCTAPI_GV()\n");
  std::string name;
  Lut vivid;
  const Lut* curve = nullptr;
  if (request == CCTAPI_GV_VIVID_MODE) {
    name = "CCTAPI_GV_VIVID_MODE";
    VividInputCurve(vivid);
    curve = &vivid;
  } else if (request >= kGvFirstMode && request <= kGvLastMode) {
    name = "CCTAPI_GV_MODE_" + std::to_string(request);
    curve = reinterpret_cast<const Lut*>(inputCurve);
  } else {
    DebugTrace(L"; QOV: Invalid Mode!!!\n");
    DebugTrace(L"; QOV: Exit  CCTAPI_GV()\n");
    return kCctBadRequest;
  }
  TraceLine("; QOV: " + name + "\n");
  int32_t result = kCctNullLut;
  if (curve == nullptr) {
    std::printf("; QOV: Null input pointer \"inputCurve\"!!!\n");
  } else {
    DebugDump dump(env.debugDumpPath, DebugDump::Start::kAppend);
    GetGvModeLut(*params, *curve, env.calibration);
    dump.WriteLut((name + " (lut after GetGvModeLut())").c_str(), params->outLut);
    result = LutConvert(params->lutApiType, &params->outLut, &params->outLut);
    dump.WriteLut((name + " (lut after LutConvert())").c_str(), params->outLut);
    dump.WriteRecord(name.c_str(), *params, curve);
  }
  DebugTrace(L"; QOV: Exit  CCTAPI_GV()\n");
  return result;
}

}  // namespace kelvara
