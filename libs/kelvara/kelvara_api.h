// Exports of Kelvara.dll, by their plain names. Tintora links the import
// library; other callers may bind them by name.
#pragma once

#include <cstdint>

#include "libs/kelvara/cct_params.h"

#if defined(_WIN32) && defined(KELVARA_BUILD)
#define KELVARA_API __declspec(dllexport)
#elif defined(_WIN32)
#define KELVARA_API __declspec(dllimport)
#else
#define KELVARA_API
#endif

extern "C" {

// Colour-temperature requests on a caller-owned record (request codes in
// cct_params.h). Returns 0 or a negative CctResult.
KELVARA_API int32_t CCTAPI(int32_t request, CctParams* params);

// The same through a caller-supplied input curve (768 entries, read-only);
// codes 3 and 21..25.
KELVARA_API int32_t CCTAPI_GV(int32_t request, CctParams* params, const uint16_t* inputCurve);

// Firmware gamma-string codec (method 0 HuffmanV1, 1 PositionLists).
// LUT2BIOS: 0 when the shorter string was written (method in *methodUsed),
// its size when that exceeds maxSize (nothing written), -1 on failure.
// BIOS2LUT: 0 or -1 (lut untouched); count must be 768. The string carries
// its own size in its first byte and nothing past the bytes that byte covers
// is read (at most 255), so the buffer must hold that many.
KELVARA_API int32_t LUT2BIOS(const uint16_t* lut, int32_t maxSize, uint8_t* out, int32_t capacity,
                             int32_t* methodUsed);
KELVARA_API int32_t BIOS2LUT(uint16_t* lut, const uint8_t* str, int32_t count, uint32_t method);
KELVARA_API int32_t GetHfmInfor(int32_t* symbols, double* probabilities, int32_t* codeLengths, int32_t* codes,
                                int32_t* count);
KELVARA_API int32_t ShowHfmVer();

}  // extern "C"
