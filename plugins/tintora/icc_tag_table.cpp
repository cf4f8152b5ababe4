#include "plugins/tintora/icc_tag_table.h"

#include <algorithm>

#include "plugins/tintora/icc_tags.h"

namespace tintora::icc {
namespace {

// The system's "invalid data" code, as the colour system's own read
// failures of a profile report it.
constexpr int kInvalidData = 13;

uint32_t ReadBe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}

TagTable Broken(std::string problem) {
  TagTable table;
  table.problem = std::move(problem);
  return table;
}

std::string SizeText(uint64_t n) { return std::to_string(n) + " bytes"; }

}  // namespace

bool TagTable::Lists(uint32_t signature) const {
  return std::any_of(entries.begin(), entries.end(),
                     [signature](const TagTableEntry& e) { return e.signature == signature; });
}

TagTable ReadTagTable(uint64_t fileSize, const FileReader& read) {
  constexpr size_t kTableStart = kProfileHeaderSize + kTagCountSize;
  if (fileSize < kTableStart)
    return Broken("the file (" + SizeText(fileSize) + ") is too short for a profile header and tag count");
  uint8_t head[kTableStart];
  if (!read(0, sizeof head, head)) return Broken("the profile header cannot be read");

  const uint32_t profileSize = ReadBe32(head);
  if (profileSize > fileSize) return Broken("the file ends before the profile does");
  if (profileSize < kTableStart)
    return Broken("the profile's size (" + SizeText(profileSize) + ") ends inside its header");

  const uint32_t count = ReadBe32(head + kProfileHeaderSize);
  const uint64_t tableEnd = kTableStart + uint64_t{count} * kTagEntrySize;
  if (tableEnd > profileSize)
    return Broken("the tag table of " + std::to_string(count) + " tags runs past the profile's size (" +
                  SizeText(profileSize) + ")");

  // The whole table lies inside the profile, and so inside the file.
  std::vector<uint8_t> raw(static_cast<size_t>(tableEnd - kTableStart));
  if (!raw.empty() && !read(kTableStart, raw.size(), raw.data())) return Broken("the tag table cannot be read");

  TagTable table;
  table.profileSize = profileSize;
  table.entries.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = raw.data() + size_t{i} * kTagEntrySize;
    const TagTableEntry entry{ReadBe32(p), ReadBe32(p + 4), ReadBe32(p + 8)};
    const uint64_t end = uint64_t{entry.offset} + entry.size;
    const std::string where = "tag '" + SignatureText(entry.signature) + "' (offset " + std::to_string(entry.offset) +
                              ", " + SizeText(entry.size) + ")";
    if (end > fileSize) return Broken(where + " ends past the end of the file (" + SizeText(fileSize) + ")");
    if (end > profileSize) return Broken(where + " ends past the profile's size (" + SizeText(profileSize) + ")");
    table.entries.push_back(entry);
  }
  table.ok = true;
  return table;
}

ProfileTagSource::Lookup ListedTagSource::ReadTag(uint32_t signature, std::vector<uint8_t>* bytes, Error* error) {
  const Lookup lookup = inner_.ReadTag(signature, bytes, error);
  if (lookup != Lookup::kAbsent || !table_.Lists(signature)) return lookup;
  error->code = kInvalidData;
  error->text = "the tag table lists it, but it cannot be read";
  return Lookup::kFailed;
}

}  // namespace tintora::icc
