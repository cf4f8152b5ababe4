// The caller-owned record every Kelvara request works on, the LUT layout,
// the constant colour record, the factory target and the error codes.
//
// CctParams crosses the DLL boundary as a plain record: the caller
// allocates and zero-fills it and the library reads and writes it in place.
// Its layout is fixed; the assertions below keep it so.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvara {

// Three planar channels (red, green, blue) of 256 entries; full scale 65280
// (255 * 256), 8-bit values stored as value * 256.
inline constexpr int kLutChannels = 3;
inline constexpr int kLutEntries = 256;
inline constexpr int kLutSize = kLutChannels * kLutEntries;  // 768
inline constexpr uint16_t kLutFullScale = 65280;
using Lut = uint16_t[kLutChannels][kLutEntries];

// Red, green, blue gains, each in (0, 1]; the limiting channel is exactly 1.
using GainTriple = double[3];

// Library version reported by request 0: major 8, minor 8, build 0.
inline constexpr uint32_t kVersion = 0x80800;

}  // namespace kelvara

extern "C" {

struct CctParams {
  uint32_t version;        // library: request 0 only
  int32_t lastError;       // library: CCTAPI_ERRORCODE after requests 1-7
  double interval;         // caller: 0.5 warmest .. 1.0 default .. 1.5 coldest
  double nativeXyz[4][3];  // caller: XYZ of red, green, blue, white (ICC profile)
  double factoryXyz[4][3]; // library: the same measured at the factory
  int32_t hasFactoryData;  // library: a verified calibration block was imported
  uint16_t baseLut[3][256];  // caller: the panel's own gamma ramp
  uint16_t outLut[3][256];   // library: result of every LUT request
  double warmGain[3];
  double coldGain[3];
  double defGain[3];
  double readStrongGain[3];
  double readWeakGain[3];
  double RDLevels;         // caller: reading-mode steps for request 7
  double RDIndex;          // caller: selected step, 0 .. RDLevels - 1
  int32_t hasGammaLut;     // library: gammaLut holds a factory ramp
  uint16_t gammaLut[3][256];
  int32_t dataVersion;     // library: calibration block version, -1 when none opened
  int32_t iccType;         // library: 1 after request 1 and every LUT request
  int32_t useFile;         // caller: 1 reads the calibration block from a file
  const char* dataDir;     // caller: directory part of the file path (UTF-8)
  const char* dataFile;    // caller: file part, appended to dataDir as is
  int32_t method;          // caller: firmware data selector, 0 or 1
  int32_t lutApiType;      // caller: LutConvert output type (0, 2, 3 none; 1 sRGB)
  double brightness;       // caller: LutBrightCtrl factor, clamped to 0.4 .. 1.0
};

}  // extern "C"

static_assert(offsetof(CctParams, interval) == 8);
static_assert(offsetof(CctParams, nativeXyz) == 16);
static_assert(offsetof(CctParams, factoryXyz) == 112);
static_assert(offsetof(CctParams, hasFactoryData) == 208);
static_assert(offsetof(CctParams, baseLut) == 212);
static_assert(offsetof(CctParams, outLut) == 1748);
static_assert(offsetof(CctParams, warmGain) == 3288);
static_assert(offsetof(CctParams, readWeakGain) == 3384);
static_assert(offsetof(CctParams, RDLevels) == 3408);
static_assert(offsetof(CctParams, hasGammaLut) == 3424);
static_assert(offsetof(CctParams, gammaLut) == 3428);
static_assert(offsetof(CctParams, dataVersion) == 4964);
static_assert(offsetof(CctParams, dataDir) == 4976);
static_assert(offsetof(CctParams, method) == 4992);
static_assert(offsetof(CctParams, brightness) == 5000);
static_assert(sizeof(CctParams) == 5008);

namespace kelvara {

struct Chromaticity {
  double x;
  double y;
};

// Constant colour record, CIE 1931 chromaticities.
struct ColorConstants {
  Chromaticity readingFar{0.3779, 0.3923};
  Chromaticity readingNear{0.316103222, 0.343348174};
  Chromaticity defaultWhite{0.304670011, 0.319584911};
  Chromaticity theater{0.3418, 0.3757};
};

// Filled from the calibration block; versions below 4 supply nothing.
struct FactoryTarget {
  Chromaticity defaultWhite = ColorConstants{}.defaultWhite;
  double targetLuminance = 0;  // nits
  int32_t hasGammaRamp = 0;    // a factory gamma ramp exists
  Chromaticity factoryWhite{0, 0};
};

// Measured grey levels for GammaFit: drive levels 0, 42, 86, 128, 168, 210,
// 255 and, per channel (red, green, blue), the XYZ measured at each.
inline constexpr int kGreyLevels = 7;
struct GammaFitInput {
  int32_t levels[kGreyLevels] = {0, 42, 86, 128, 168, 210, 255};
  double xyz[3][kGreyLevels][3] = {};
  double exponent = 0;  // 0: the sRGB curve
};

// Results of the entry points.
enum CctResult : int32_t {
  kCctOk = 0,
  kCctBadRequest = -1,     // unrecognised request code; null record (CCTAPI_GV)
  kCctBadNativeXyz = -2,   // a nativeXyz triple is invalid
  kCctNoCalibrationFile = -3,
  kCctBadCalibrationFile = -4,
  kCctBadMethod = -5,
  kCctBadLutApiType = -6,
  kCctNullLut = -7,
};

// Request codes of CCTAPI.
enum CctRequest : int32_t {
  CCTAPI_GET_VERSION = 0,
  CCTAPI_INIT_GAIN = 1,
  CCTAPI_GET_LUT = 2,
  CCTAPI_THEATER_MODE = 3,
  CCTAPI_VIVID_MODE = 4,
  CCTAPI_READING_MODE_STRONG = 5,
  CCTAPI_READING_MODE_WEAK = 6,
  CCTAPI_READING_MODE_MULTI = 7,
};

// Library-wide error word: reset at the start of every CCTAPI call and of
// CCT_Init, set by the calibration data path, copied into lastError.
extern int32_t CCTAPI_ERRORCODE;

}  // namespace kelvara
