// Test side of the recording stand-in of the pop-up library
// (osd_recorder/glimmer.dll): where it writes and how to read it back.
//
// The stand-in has the library's three plain exports. Each call appends one
// line to the file named by the environment variable ZU_OSD_RECORD of the
// process that loaded it (nothing when the variable is unset):
//   start modal | start modeless   OSDStart (a modal start blocks until OSDEnd)
//   end                            OSDEnd that ended a running pop-up
//   display <kind> <value> <result>  OSDDisplay with the OSD_RESULT it answered
// Like the real library it answers OSD_FAILED while no pop-up runs and
// OSD_UNKNOWN_KIND for kinds outside 0..6.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace zu::simosd {

inline constexpr const wchar_t* kRecordVariable = L"ZU_OSD_RECORD";
// The stand-in's folder below the build's bin folder; its file is glimmer.dll.
inline constexpr const wchar_t* kRecorderFolder = L"osd_recorder";

struct Entry {
  std::string op;      // "start", "end" or "display"
  std::string mode;    // start: "modal" or "modeless"
  int32_t kind = 0;    // display only
  int32_t value = 0;   // display only
  int32_t result = 0;  // display only: the OSD_RESULT answered
  bool operator==(const Entry&) const = default;
  // Written as the record line, for test failure messages.
  friend std::ostream& operator<<(std::ostream& out, const Entry& e) {
    out << e.op;
    if (e.op == "start") out << ' ' << e.mode;
    if (e.op == "display") out << ' ' << e.kind << ' ' << e.value << ' ' << e.result;
    return out;
  }
};

// Every line of a record file, in order (empty when the file is missing).
std::vector<Entry> ReadRecord(const std::filesystem::path& file);

// The (kind, value) pairs of the display requests that were shown.
std::vector<std::pair<int32_t, int32_t>> ShownRequests(const std::vector<Entry>& entries);

size_t CountOf(const std::vector<Entry>& entries, const std::string& op);

}  // namespace zu::simosd
