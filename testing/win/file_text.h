// Whole-file reads for checking what a program wrote, and writes for
// preparing what it finds.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace zu::testing {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file's content with `text`, byte for byte.
inline void WriteTextFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline std::vector<std::string> ReadLines(const std::filesystem::path& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The text after "] [<level>] " of a default-format spdlog line, or "" when
// the line does not have that shape.
inline std::string LineText(const std::string& line, std::string* level = nullptr) {
  // [date time] [logger] [level] text
  size_t p = 0;
  for (int i = 0; i < 3; ++i) {
    p = line.find("] ", p);
    if (p == std::string::npos) return {};
    if (i == 2 && level) {
      const size_t open = line.rfind('[', p);
      *level = line.substr(open + 1, p - open - 1);
    }
    p += 2;
  }
  return line.substr(p);
}

}  // namespace zu::testing
