// The codec's exports of Kelvara.dll.
#include "libs/kelvara/codec/lut_codec.h"
#include "libs/kelvara/kelvara_api.h"

extern "C" {

int32_t LUT2BIOS(const uint16_t* lut, int32_t maxSize, uint8_t* out, int32_t capacity, int32_t* methodUsed) {
  return kelvara::codec::Lut2Bios(lut, maxSize, out, capacity, methodUsed);
}

// Reads the string only as far as its own size byte says (at most 255
// bytes); the caller's buffer must hold that many.
int32_t BIOS2LUT(uint16_t* lut, const uint8_t* str, int32_t count, uint32_t method) {
  return kelvara::codec::Bios2Lut(lut, str, count, method);
}

int32_t GetHfmInfor(int32_t* symbols, double* probabilities, int32_t* codeLengths, int32_t* codes, int32_t* count) {
  return kelvara::codec::GetHfmInfo(symbols, probabilities, codeLengths, codes, count);
}

int32_t ShowHfmVer() { return kelvara::codec::ShowHfmVersion(); }

}  // extern "C"
