// Any bytes as the contents of the six profile tags: decoding stays inside
// each tag, and the pass either succeeds or fails cleanly. The same bytes as
// a whole profile file: the tag-table check reads only inside the file and
// accepts only entries inside the profile's size.
//
// Input: one byte of flags (bit t: tag t present), one byte per tag of which
// the low bit chooses whether the right type signature is put in front, then
// the tags' bodies separated by the byte sequence "|#|".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "plugins/tintora/icc_tag_table.h"
#include "plugins/tintora/icc_tags.h"
#include "plugins/tintora/profile_tags.h"

namespace {

using tintora::ProfileTagSource;

constexpr const char* kTags[6] = {"rXYZ", "gXYZ", "bXYZ", "wtpt", "vcgt", "cmgm"};
constexpr const char* kTypes[6] = {"XYZ ", "XYZ ", "XYZ ", "XYZ ", "vcgt", "text"};

uint32_t Sig4(const char* s) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24 | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8 | static_cast<uint8_t>(s[3]);
}

class Source final : public ProfileTagSource {
 public:
  std::map<uint32_t, std::vector<uint8_t>> tags;
  Lookup ReadTag(uint32_t signature, std::vector<uint8_t>* bytes, Error*) override {
    auto it = tags.find(signature);
    if (it == tags.end()) return Lookup::kAbsent;
    *bytes = it->second;
    return Lookup::kFound;
  }
};

void CheckAsProfileFile(const uint8_t* data, size_t size) {
  const tintora::icc::TagTable table =
      tintora::icc::ReadTagTable(size, [data, size](uint64_t offset, size_t count, uint8_t* out) {
        if (offset > size || count > size - offset) std::abort();
        std::memcpy(out, data + offset, count);
        return true;
      });
  if (!table.ok) return;
  if (table.profileSize > size) std::abort();
  for (const auto& entry : table.entries)
    if (uint64_t{entry.offset} + entry.size > table.profileSize) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckAsProfileFile(data, size);
  if (size < 7) return 0;
  const uint8_t present = data[0];
  const uint8_t* typed = data + 1;
  std::vector<std::vector<uint8_t>> bodies(1);
  for (size_t i = 7; i < size; ++i) {
    if (i + 2 < size && data[i] == '|' && data[i + 1] == '#' && data[i + 2] == '|') {
      bodies.emplace_back();
      i += 2;
      continue;
    }
    bodies.back().push_back(data[i]);
  }

  Source source;
  for (int t = 0; t < 6; ++t) {
    if (!(present & (1 << t))) continue;
    std::vector<uint8_t> tag;
    if (typed[t] & 1) {
      tag.assign(kTypes[t], kTypes[t] + 4);
      tag.insert(tag.end(), 4, 0);
    }
    if (static_cast<size_t>(t) < bodies.size()) tag.insert(tag.end(), bodies[t].begin(), bodies[t].end());
    source.tags[Sig4(kTags[t])] = std::move(tag);
  }

  // Each decoder on each tag, whatever its type.
  for (const auto& [signature, tag] : source.tags) {
    tintora::Xyz xyz;
    tintora::icc::VcgtTable table;
    std::string name;
    tintora::icc::DecodeXyz(tag, &xyz);
    tintora::icc::DecodeVcgt(tag, &table);
    tintora::icc::DecodeProfileReference(tag, &name);
    if (!name.empty() && name.size() + 10 > tag.size()) std::abort();
  }

  CctParams params{};
  std::string second;
  const int result = tintora::ReadProfileTags(source, params, [&second](const std::string& n) { second = n; });
  if (result != 0 && result != -1) std::abort();
  // Without a "vcgt" tag the pass gives the identity ramp.
  if (result == 0 && !source.tags.count(Sig4("vcgt")))
    for (int i = 0; i < 256; ++i)
      if (params.baseLut[1][i] != i * 256) std::abort();
  return 0;
}
