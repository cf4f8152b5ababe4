// Writes real ICC display profiles for the tests: a v2.1 monitor RGB
// header, the tag table and the tag data, each tag 4-byte aligned.
#pragma once

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tintora::testing {

using Bytes = std::vector<uint8_t>;

inline uint32_t Sig(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8 | static_cast<uint8_t>(text[3]);
}

inline void PutBe32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
inline void PutBe16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
inline void PutS15Fixed16(Bytes& out, double v) {
  PutBe32(out, static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 65536.0))));
}
inline void SetBe32(Bytes& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Tag contents, type signature first.
inline Bytes XyzTag(double x, double y, double z) {
  Bytes t;
  PutBe32(t, Sig("XYZ "));
  PutBe32(t, 0);
  PutS15Fixed16(t, x);
  PutS15Fixed16(t, y);
  PutS15Fixed16(t, z);
  return t;
}

// A "vcgt" table of any shape; entries are taken per channel from `values`
// (16-bit entries big endian, 8-bit entries as the low byte).
inline Bytes VcgtTableTag(uint16_t channels, uint16_t count, uint16_t size, const std::vector<uint16_t>& values) {
  Bytes t;
  PutBe32(t, Sig("vcgt"));
  PutBe32(t, 0);
  PutBe32(t, 0);  // table
  PutBe16(t, channels);
  PutBe16(t, count);
  PutBe16(t, size);
  for (uint16_t v : values) {
    if (size == 2)
      PutBe16(t, v);
    else
      t.push_back(static_cast<uint8_t>(v));
  }
  return t;
}

inline Bytes VcgtTag(const uint16_t (&ramp)[3][256]) {
  std::vector<uint16_t> values;
  for (const auto& channel : ramp) values.insert(values.end(), channel, channel + 256);
  return VcgtTableTag(3, 256, 2, values);
}

// A "text" tag naming a second profile: two leading bytes, then the name.
inline Bytes ProfileReferenceTag(const std::string& name, std::string lead = "  ") {
  Bytes t;
  PutBe32(t, Sig("text"));
  PutBe32(t, 0);
  t.insert(t.end(), lead.begin(), lead.end());
  t.insert(t.end(), name.begin(), name.end());
  t.push_back(0);
  return t;
}

inline uint32_t GetBe32(const Bytes& in, size_t at) {
  return static_cast<uint32_t>(in[at]) << 24 | static_cast<uint32_t>(in[at + 1]) << 16 |
         static_cast<uint32_t>(in[at + 2]) << 8 | in[at + 3];
}

// Rewrites the tag-table entry of a built profile; false when it lists no
// such tag.
inline bool SetTagEntry(Bytes& profile, uint32_t signature, uint32_t offset, uint32_t size) {
  const uint32_t count = GetBe32(profile, 128);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t at = 132 + 12 * size_t{i};
    if (GetBe32(profile, at) != signature) continue;
    SetBe32(profile, at + 4, offset);
    SetBe32(profile, at + 8, size);
    return true;
  }
  return false;
}

class IccProfileBuilder {
 public:
  IccProfileBuilder& Tag(uint32_t signature, Bytes contents) {
    tags_[signature] = std::move(contents);
    return *this;
  }
  IccProfileBuilder& Tag(const char (&signature)[5], Bytes contents) { return Tag(Sig(signature), std::move(contents)); }
  IccProfileBuilder& Remove(const char (&signature)[5]) {
    tags_.erase(Sig(signature));
    return *this;
  }
  const std::map<uint32_t, Bytes>& tags() const { return tags_; }

  // A typical panel: sRGB-like primaries (D50), white, a gamma table.
  static IccProfileBuilder Panel() {
    IccProfileBuilder b;
    b.Tag("rXYZ", XyzTag(0.4361, 0.2225, 0.0139))
        .Tag("gXYZ", XyzTag(0.3851, 0.7169, 0.0971))
        .Tag("bXYZ", XyzTag(0.1431, 0.0606, 0.7141))
        .Tag("wtpt", XyzTag(0.9505, 1.0, 1.089));
    uint16_t ramp[3][256];
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 256; ++i) ramp[c][i] = static_cast<uint16_t>(i * 257 - c * (i / 4));
    b.Tag("vcgt", VcgtTag(ramp));
    return b;
  }

  Bytes Build() const {
    Bytes out(128, 0);
    SetBe32(out, 4, Sig("zutt"));      // preferred CMM
    SetBe32(out, 8, 0x02100000);       // version 2.1
    SetBe32(out, 12, Sig("mntr"));
    SetBe32(out, 16, Sig("RGB "));
    SetBe32(out, 20, Sig("XYZ "));
    const uint16_t date[6] = {2026, 1, 2, 3, 4, 5};
    for (int i = 0; i < 6; ++i) {
      out[24 + 2 * i] = static_cast<uint8_t>(date[i] >> 8);
      out[25 + 2 * i] = static_cast<uint8_t>(date[i]);
    }
    SetBe32(out, 36, Sig("acsp"));
    SetBe32(out, 40, Sig("MSFT"));
    Bytes illuminant;
    PutS15Fixed16(illuminant, 0.9642);
    PutS15Fixed16(illuminant, 1.0);
    PutS15Fixed16(illuminant, 0.8249);
    std::copy(illuminant.begin(), illuminant.end(), out.begin() + 68);
    SetBe32(out, 80, Sig("zutt"));  // creator

    PutBe32(out, static_cast<uint32_t>(tags_.size()));
    const size_t tableEnd = out.size() + 12 * tags_.size();
    size_t offset = tableEnd;
    Bytes data;
    for (const auto& [signature, contents] : tags_) {
      PutBe32(out, signature);
      PutBe32(out, static_cast<uint32_t>(offset));
      PutBe32(out, static_cast<uint32_t>(contents.size()));
      data.insert(data.end(), contents.begin(), contents.end());
      while (data.size() % 4) data.push_back(0);
      offset = tableEnd + data.size();
    }
    out.insert(out.end(), data.begin(), data.end());
    SetBe32(out, 0, static_cast<uint32_t>(out.size()));
    return out;
  }

 private:
  std::map<uint32_t, Bytes> tags_;
};

}  // namespace tintora::testing
