#include "libs/kelvara/codec/lut_codec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "libs/kelvara/codec/debug_trace.h"
#include "libs/kelvara/codec/huffman_tree.h"

namespace kelvara::codec {
namespace {

// Size that makes a method lose the comparison when its string cannot be
// built.
constexpr int kUnbuildable = 10000;

constexpr const char* kHuffmanVersion = "v1.0.0_20181005";

int StepAt(const DeltaLut& delta, int channel, int position) { return delta[channel * kLutEntries + position]; }

}  // namespace

DeltaLut ToDeltaLut(const uint16_t* lut) {
  DeltaLut delta{};
  for (int c = 0; c < kLutChannels; ++c) {
    const uint16_t* ch = lut + c * kLutEntries;
    delta[c * kLutEntries] = ch[0] / 256;
    for (int i = 1; i < kLutEntries; ++i) delta[c * kLutEntries + i] = ch[i] / 256 - ch[i - 1] / 256;
  }
  return delta;
}

bool ToLut(const DeltaLut& delta, uint16_t* lut) {
  uint16_t result[kLutSize];
  for (int c = 0; c < kLutChannels; ++c) {
    if (StepAt(delta, c, 0) != 0) return false;
    int level = 0;
    for (int i = 0; i < kLutEntries; ++i) {
      level += StepAt(delta, c, i);
      if (level < 0 || level > 255) return false;
      result[c * kLutEntries + i] = static_cast<uint16_t>(level * 256);
    }
    if (level != 255) return false;
  }
  std::memcpy(lut, result, sizeof result);
  return true;
}

std::optional<std::vector<uint8_t>> EncodeHuffmanV1(const DeltaLut& delta) {
  DebugTrace(L"\n=== Get Huffman Table v1 ===\n");
  auto root = BuildHuffmanTree(kHuffmanV1);
  const Codebook book = BuildCodebook(*root);

  DebugTrace(L"\n=== Encode ===\n");
  std::vector<uint8_t> bits;
  bits.reserve(kLutSize * 2);
  for (int32_t step : delta) {
    auto code = book.find(step);
    if (code == book.end()) {
      std::printf("Not found %d in codebook!!!\n", step);
      std::printf("Encode() failed!!!\n");
      return std::nullopt;
    }
    bits.insert(bits.end(), code->second.begin(), code->second.end());
  }

  DebugTrace(L"\n=== Convert to Bios String ===\n");
  const int bytes = static_cast<int>((bits.size() + 7) / 8);
  const int lastBits = bits.size() % 8 ? static_cast<int>(bits.size() % 8) : 8;
  std::printf("# of byte used: %d\n", bytes);
  std::printf("# of bit used in last byte: %d\n", lastBits);
  if (bytes > kMaxHuffmanPayload) {
    std::printf("String size(%d) after encoded is out of max range %d", bytes, kMaxHuffmanPayload);
    return std::nullopt;
  }
  std::vector<uint8_t> str(bytes + 2, 0);
  str[0] = static_cast<uint8_t>(bytes + 2);
  str[1] = static_cast<uint8_t>(0x10 | (lastBits & 0x0F));
  for (size_t k = 0; k < bits.size(); ++k) str[2 + k / 8] |= static_cast<uint8_t>(bits[k] << (k % 8));
  return str;
}

std::optional<std::vector<uint8_t>> EncodePositionLists(const DeltaLut& delta) {
  // groups[g][c]: positions of channel c whose step is 0 (g = 0) or g + 1.
  std::vector<uint8_t> groups[kMaxPositionStep][kLutChannels];
  int largest = 0;
  for (int c = 0; c < kLutChannels; ++c) {
    // The string has no room for a first step; the decoder sets it to 0.
    if (StepAt(delta, c, 0) != 0) {
      std::printf("PositionLists: channel %d starts at %d, not 0\n", c, StepAt(delta, c, 0));
      return std::nullopt;
    }
    for (int pos = 1; pos < kLutEntries; ++pos) {
      const int step = StepAt(delta, c, pos);
      if (step < 0 || step > kMaxPositionStep) {
        std::printf("PositionLists: step %d at [%d][%d] is out of range 0..%d\n", step, c, pos, kMaxPositionStep);
        return std::nullopt;
      }
      largest = std::max(largest, step);
      if (step == 1) continue;
      groups[step == 0 ? 0 : step - 1][c].push_back(static_cast<uint8_t>(pos));
    }
  }
  // Group 0 is always written, so a ramp without any step of 2 or more
  // (even a flat one) still says where its steps of 0 are.
  const int groupCount = std::max(largest, 1);
  std::vector<uint8_t> str(1, 0);
  for (int g = 0; g < groupCount; ++g) {
    for (int c = 0; c < kLutChannels; ++c) str.push_back(static_cast<uint8_t>(std::min<size_t>(groups[g][c].size(), 255)));
    for (int c = 0; c < kLutChannels; ++c) str.insert(str.end(), groups[g][c].begin(), groups[g][c].end());
  }
  // One size byte cannot describe a longer string.
  if (str.size() > kMaxStringSize) {
    std::printf("PositionLists: string size(%d) is out of max range %d\n", static_cast<int>(str.size()),
                kMaxStringSize);
    return std::nullopt;
  }
  str[0] = static_cast<uint8_t>(str.size());
  return str;
}

bool DecodeHuffmanV1(const uint8_t* str, int32_t maxSymbols, DeltaLut* delta) {
  DebugTrace(L"\n=== Get Huffman Table v1 ===\n");
  DebugTrace(L"\n=== Convert from Bios String ===\n");
  const int size = str[0];
  if (size < 2) {
    std::printf("HuffmanV1: string size %d is shorter than its header\n", size);
    return false;
  }
  if (str[1] >> 4 != 1) {
    std::printf("HuffmanV1: unknown table version %d\n", str[1] >> 4);
    return false;
  }
  const int lastBits = str[1] & 0x0F;
  const int payload = size - 2;
  if (lastBits > 8 || (lastBits != 0 && payload == 0)) {
    std::printf("HuffmanV1: %d bits used in the last of %d bytes\n", lastBits, payload);
    return false;
  }
  const size_t bitCount = static_cast<size_t>(payload) * 8 - (lastBits ? 8 - lastBits : 0);
  const int symbolLimit = std::clamp<int32_t>(maxSymbols, 0, kLutSize);

  auto root = BuildHuffmanTree(kHuffmanV1);
  DebugTrace(L"\n=== Decode ===\n");
  DeltaLut out;
  out.fill(1);
  int symbols = 0;
  const HuffmanNode* node = root.get();
  for (size_t k = 0; k < bitCount; ++k) {
    const int bit = str[2 + k / 8] >> (k % 8) & 1;
    node = bit == node->rightBit ? node->right.get() : node->left.get();
    if (!node->IsLeaf()) continue;
    if (symbols >= symbolLimit) {
      std::printf("HuffmanV1: more than %d symbols\n", symbolLimit);
      return false;
    }
    out[symbols++] = node->symbol;
    node = root.get();
  }
  *delta = out;
  return true;
}

bool DecodePositionLists(const uint8_t* str, DeltaLut* delta) {
  const int size = str[0];
  if (size < 1) {
    std::printf("PositionLists: string size 0\n");
    return false;
  }
  DeltaLut out;
  out.fill(1);
  int at = 1;
  for (int g = 0; at < size; ++g) {
    if (g >= kMaxPositionStep || size - at < kLutChannels) {
      std::printf("PositionLists: malformed group %d at byte %d of %d\n", g, at, size);
      return false;
    }
    const int counts[kLutChannels] = {str[at], str[at + 1], str[at + 2]};
    at += kLutChannels;
    if (counts[0] + counts[1] + counts[2] > size - at) {
      std::printf("PositionLists: group %d runs past the string's %d bytes\n", g, size);
      return false;
    }
    const int step = g == 0 ? 0 : g + 1;
    for (int c = 0; c < kLutChannels; ++c)
      for (int n = 0; n < counts[c]; ++n) out[c * kLutEntries + str[at++]] = step;
  }
  for (int c = 0; c < kLutChannels; ++c) out[c * kLutEntries] = 0;
  *delta = out;
  return true;
}

int32_t Lut2Bios(const uint16_t* lut, int32_t maxSize, uint8_t* out, int32_t capacity, int32_t* methodUsed) {
  if (!lut || !methodUsed) return -1;
  *methodUsed = kMethodPositionLists;
  const DeltaLut delta = ToDeltaLut(lut);
  if (delta[0] != 0) return -1;
  // Refuse ramps that neither decoder would bring back, rather than write a
  // string the firmware side then rejects.
  uint16_t check[kLutSize];
  if (!ToLut(delta, check)) {
    std::printf("LUT2BIOS: not a full ramp from 0 to %d\n", kLutFullScale);
    return -1;
  }

  const auto positions = EncodePositionLists(delta);
  const int positionsSize = positions ? static_cast<int>(positions->size()) : kUnbuildable;
  const auto huffman = EncodeHuffmanV1(delta);

  const std::vector<uint8_t>* chosen = nullptr;
  if (!positions) {
    if (!huffman) return -1;
    chosen = &*huffman;
    *methodUsed = kMethodHuffmanV1;
  } else if (huffman && static_cast<int>(huffman->size()) < positionsSize) {
    chosen = &*huffman;
    *methodUsed = kMethodHuffmanV1;
  } else {
    chosen = &*positions;
    *methodUsed = kMethodPositionLists;
  }

  const int size = static_cast<int>(chosen->size());
  if (size > maxSize) return size;
  if (!out || capacity < size) return -1;
  std::memcpy(out, chosen->data(), chosen->size());
  return 0;
}

int32_t Bios2Lut(uint16_t* lut, const uint8_t* str, int32_t count, uint32_t method) {
  if (!lut || !str || count != kLutSize) return -1;
  DeltaLut delta;
  bool decoded = false;
  if (method == kMethodHuffmanV1)
    decoded = DecodeHuffmanV1(str, count, &delta);
  else if (method == kMethodPositionLists)
    decoded = DecodePositionLists(str, &delta);
  if (!decoded) return -1;
  // ToLut checks the first steps, entry 0 and entry 255 and writes nothing
  // on failure.
  return ToLut(delta, lut) ? 0 : -1;
}

int32_t GetHfmInfo(int32_t* symbols, double* probabilities, int32_t* codeLengths, int32_t* codes, int32_t* count) {
  if (!count) return -1;
  if (!symbols || !probabilities || !codeLengths || !codes) {
    *count = 0;
    return -1;
  }
  for (int i = 0; i < kHuffmanSymbolCount; ++i) {
    symbols[i] = kHuffmanV1[i].symbol;
    probabilities[i] = kHuffmanV1[i].probability;
  }
  auto root = BuildHuffmanTree(kHuffmanV1);
  const Codebook book = BuildCodebook(*root);
  for (int i = 0; i < kHuffmanSymbolCount; ++i) {
    const auto& code = book.at(symbols[i]);
    int32_t value = 0;
    for (uint8_t bit : code) value = value << 1 | bit;
    codeLengths[i] = static_cast<int32_t>(code.size());
    codes[i] = value;
  }
  *count = kHuffmanSymbolCount;
  return 0;
}

int32_t ShowHfmVersion() { return std::printf("Huffman kernel version: %s\n", kHuffmanVersion); }

}  // namespace kelvara::codec
