// The ICC profile's header size and tag table, checked against the file
// before any tag is read.
//
// The colour system passes over a tag-table entry that points outside the
// file as if the tag were absent, which would turn a broken profile into one
// "without vcgt" and program a made-up ramp. So the table is read and
// checked here first: the tag count against the header's size and the file
// size, every entry's offset and offset + size against both, in 64-bit
// arithmetic so that no sum wraps. Portable; all numbers are big endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plugins/tintora/profile_tags.h"

namespace tintora::icc {

inline constexpr size_t kProfileHeaderSize = 128;
inline constexpr size_t kTagCountSize = 4;
inline constexpr size_t kTagEntrySize = 12;  // signature, offset, size

struct TagTableEntry {
  uint32_t signature = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
};

struct TagTable {
  bool ok = false;
  std::string problem;  // what is wrong, when not ok
  uint32_t profileSize = 0;
  std::vector<TagTableEntry> entries;

  bool Lists(uint32_t signature) const;
};

// Reads `size` bytes at `offset` of the file into `out`; false on failure.
using FileReader = std::function<bool(uint64_t offset, size_t size, uint8_t* out)>;

// Reads the header's size, the tag count and the entries of a file of
// `fileSize` bytes; reads only inside the file, and nothing past a count the
// file cannot hold.
TagTable ReadTagTable(uint64_t fileSize, const FileReader& read);

// Serves the tags of another source, and reports a tag that the checked
// table lists but the source calls absent as unreadable, not as missing.
class ListedTagSource final : public ProfileTagSource {
 public:
  ListedTagSource(ProfileTagSource& inner, const TagTable& table) : inner_(inner), table_(table) {}
  Lookup ReadTag(uint32_t signature, std::vector<uint8_t>* bytes, Error* error) override;

 private:
  ProfileTagSource& inner_;
  const TagTable& table_;
};

}  // namespace tintora::icc
