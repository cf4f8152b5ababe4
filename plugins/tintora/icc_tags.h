// Decoders for the contents of the ICC profile tags the calibration reads.
//
// A tag's bytes start with its type signature and four reserved bytes, as
// the Windows Color System hands them out. All multi-byte numbers are big
// endian. Portable and bounds-checked: malformed bytes give an error, never
// a read outside the buffer.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "plugins/tintora/colour_space.h"

namespace tintora::icc {

constexpr uint32_t Signature(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8 | static_cast<uint32_t>(static_cast<uint8_t>(text[3]));
}

// The four characters of a signature ("rXYZ").
std::string SignatureText(uint32_t signature);

inline constexpr uint32_t kXyzType = Signature("XYZ ");
inline constexpr uint32_t kVcgtType = Signature("vcgt");
inline constexpr uint32_t kTextType = Signature("text");

enum class TagStatus {
  kOk,
  kUnknownType,  // the tag holds a type this decoder does not read
  kMalformed,    // the right type, but its contents do not fit
};

// Codes of a malformed tag, logged with its text.
enum TagError : int {
  kTagTooShort = 1,
  kTagUnsupportedShape = 2,
  kTagNoText = 3,
};

struct TagResult {
  TagStatus status = TagStatus::kOk;
  int errorCode = 0;
  std::string errorText;
};

// The type signature (first four bytes); 0 for fewer than four bytes.
uint32_t TagType(std::span<const uint8_t> tag);

// "XYZ " type: the first of its s15Fixed16 triples.
TagResult DecodeXyz(std::span<const uint8_t> tag, Xyz* out);

// "vcgt" type holding a table of 3 channels x 256 entries x 16 bits, the
// only shape the calibration data comes in; a formula or any other table
// shape is reported malformed, so no guessed ramp is ever programmed.
struct VcgtTable {
  uint16_t channels = 0;
  uint16_t entryCount = 0;
  uint16_t entrySize = 0;
  uint16_t entries[3][256] = {};
};
TagResult DecodeVcgt(std::span<const uint8_t> tag, VcgtTable* out);

// "text" type naming a second profile: the zero-terminated 8-bit text that
// starts at the third byte of the text data (or runs to the end of the tag).
TagResult DecodeProfileReference(std::span<const uint8_t> tag, std::string* name);

}  // namespace tintora::icc
