#include "tools/simlaptop/osd_record.h"

#include <fstream>
#include <sstream>

namespace zu::simosd {

std::vector<Entry> ReadRecord(const std::filesystem::path& file) {
  std::vector<Entry> entries;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    Entry entry;
    words >> entry.op;
    if (entry.op == "start") words >> entry.mode;
    if (entry.op == "display") words >> entry.kind >> entry.value >> entry.result;
    if (!entry.op.empty()) entries.push_back(entry);
  }
  return entries;
}

std::vector<std::pair<int32_t, int32_t>> ShownRequests(const std::vector<Entry>& entries) {
  std::vector<std::pair<int32_t, int32_t>> shown;
  for (const Entry& e : entries)
    if (e.op == "display" && e.result == 0) shown.emplace_back(e.kind, e.value);
  return shown;
}

size_t CountOf(const std::vector<Entry>& entries, const std::string& op) {
  size_t n = 0;
  for (const Entry& e : entries) n += e.op == op;
  return n;
}

}  // namespace zu::simosd
