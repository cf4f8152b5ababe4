// The firmware gamma-string codec: a LUT (3 x 256 entries, full scale 65280)
// stored as its 8-bit steps in at most 255 bytes.
//
// Method 0 (HuffmanV1): the 768 steps Huffman-coded with the fixed table,
//   size byte (payload + 2), 0x10 | bits used in the last payload byte,
//   payload packed least significant bit first.
// Method 1 (PositionLists): size byte (everything, itself included), then
//   groups of three counts (red, green, blue) and those positions; group 0
//   lists steps of 0, group g >= 1 steps of g + 1; every other step is 1.
//
// A string carries no length besides its own size byte: decoders read that
// byte first and never look past the bytes it covers (at most 255).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "libs/kelvara/cct_params.h"

namespace kelvara::codec {

// Steps of a LUT at 8-bit precision, planar like the LUT: step[c][0] is the
// channel's first 8-bit value, step[c][i] the rise from entry i - 1 to i.
using DeltaLut = std::array<int32_t, kLutSize>;

enum CodecMethod : int32_t {
  kMethodHuffmanV1 = 0,
  kMethodPositionLists = 1,
};

inline constexpr int kMaxStringSize = 255;     // what one size byte can say
inline constexpr int kMaxHuffmanPayload = 253;
inline constexpr int kMaxPositionStep = 7;     // groups 0 .. 6

DeltaLut ToDeltaLut(const uint16_t* lut);

// Running sum per channel, times 256. False, with `lut` untouched, unless
// the steps make a full ramp: every channel starts with a step of 0, stays
// within 0 .. 255 and ends at 255 (entry 65280).
bool ToLut(const DeltaLut& delta, uint16_t* lut);

// Null when a step has no code or the payload exceeds 253 bytes.
std::optional<std::vector<uint8_t>> EncodeHuffmanV1(const DeltaLut& delta);
// Null when a step lies outside 0 .. 7, a channel does not start with a step
// of 0, or the string would exceed 255 bytes.
std::optional<std::vector<uint8_t>> EncodePositionLists(const DeltaLut& delta);

// Decoders fill `delta` (steps not in the string are 1); false on any
// malformed string. `maxSymbols` bounds the Huffman symbols (at most 768).
bool DecodeHuffmanV1(const uint8_t* str, int32_t maxSymbols, DeltaLut* delta);
bool DecodePositionLists(const uint8_t* str, DeltaLut* delta);

// The exported operations (see kelvara_api.h).
int32_t Lut2Bios(const uint16_t* lut, int32_t maxSize, uint8_t* out, int32_t capacity, int32_t* methodUsed);
int32_t Bios2Lut(uint16_t* lut, const uint8_t* str, int32_t count, uint32_t method);
int32_t GetHfmInfo(int32_t* symbols, double* probabilities, int32_t* codeLengths, int32_t* codes, int32_t* count);
int32_t ShowHfmVersion();

}  // namespace kelvara::codec
