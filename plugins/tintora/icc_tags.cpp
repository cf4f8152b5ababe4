#include "plugins/tintora/icc_tags.h"

namespace tintora::icc {
namespace {

constexpr size_t kTagHeaderSize = 8;  // type signature, reserved

uint32_t ReadBe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}

uint16_t ReadBe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

double S15Fixed16(const uint8_t* p) { return static_cast<int32_t>(ReadBe32(p)) / 65536.0; }

TagResult Unknown(uint32_t type) {
  return {TagStatus::kUnknownType, 0, "tag type '" + SignatureText(type) + "'"};
}

TagResult Malformed(int code, std::string text) { return {TagStatus::kMalformed, code, std::move(text)}; }

}  // namespace

std::string SignatureText(uint32_t signature) {
  std::string text(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>(signature >> (24 - 8 * i));
    text[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return text;
}

uint32_t TagType(std::span<const uint8_t> tag) { return tag.size() < 4 ? 0 : ReadBe32(tag.data()); }

TagResult DecodeXyz(std::span<const uint8_t> tag, Xyz* out) {
  const uint32_t type = TagType(tag);
  if (type != kXyzType) return Unknown(type);
  if (tag.size() < kTagHeaderSize + 12) return Malformed(kTagTooShort, "XYZ tag holds no XYZ number");
  const uint8_t* p = tag.data() + kTagHeaderSize;
  *out = {S15Fixed16(p), S15Fixed16(p + 4), S15Fixed16(p + 8)};
  return {};
}

TagResult DecodeVcgt(std::span<const uint8_t> tag, VcgtTable* out) {
  constexpr size_t kGammaTypeOffset = 8;
  constexpr size_t kTableHeaderOffset = 12;  // channels, entry count, entry size
  constexpr size_t kTableDataOffset = 18;
  constexpr uint32_t kTableGamma = 0;

  const uint32_t type = TagType(tag);
  if (type != kVcgtType) return Unknown(type);
  if (tag.size() < kTableDataOffset) return Malformed(kTagTooShort, "vcgt tag is too short");
  const uint8_t* p = tag.data();
  if (ReadBe32(p + kGammaTypeOffset) != kTableGamma) return Malformed(kTagUnsupportedShape, "vcgt tag is no table");
  out->channels = ReadBe16(p + kTableHeaderOffset);
  out->entryCount = ReadBe16(p + kTableHeaderOffset + 2);
  out->entrySize = ReadBe16(p + kTableHeaderOffset + 4);
  if (out->channels != 3 || out->entryCount != 256 || out->entrySize != 2)
    return Malformed(kTagUnsupportedShape, "vcgt table is " + std::to_string(out->channels) + " x " +
                                               std::to_string(out->entryCount) + " x " +
                                               std::to_string(out->entrySize * 8) + " bits, not 3 x 256 x 16");
  if (tag.size() < kTableDataOffset + 3 * 256 * 2) return Malformed(kTagTooShort, "vcgt table is cut short");
  const uint8_t* data = p + kTableDataOffset;
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) out->entries[c][i] = ReadBe16(data + 2 * (c * 256 + i));
  return {};
}

TagResult DecodeProfileReference(std::span<const uint8_t> tag, std::string* name) {
  constexpr size_t kNameOffset = kTagHeaderSize + 2;
  const uint32_t type = TagType(tag);
  if (type != kTextType) return Unknown(type);
  if (tag.size() <= kNameOffset) return Malformed(kTagNoText, "text tag holds no name");
  name->clear();
  for (size_t i = kNameOffset; i < tag.size() && tag[i] != 0; ++i) *name += static_cast<char>(tag[i]);
  return {};
}

}  // namespace tintora::icc
