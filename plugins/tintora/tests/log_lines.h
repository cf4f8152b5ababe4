// Reading the calibration's log lines in tests: the logging-site number is
// dropped, so "Tintora [parseICC][123] text" reads "Tintora [parseICC] text".
#pragma once

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "testing/recording_logger.h"

namespace tintora::testing {

inline std::string WithoutSite(const std::string& line) {
  static const std::regex site(R"(^(Tintora \[[^\]]*\])\[\d+\] )");
  return std::regex_replace(line, site, "$1 ", std::regex_constants::format_first_only);
}

struct LogLine {
  int level;
  std::string text;
  bool operator==(const LogLine&) const = default;
};

inline std::vector<LogLine> Lines(const zu::testing::RecordingLogger& log) {
  std::vector<LogLine> lines;
  for (const auto& call : log.calls()) lines.push_back({call.level, WithoutSite(call.message)});
  return lines;
}

inline std::vector<std::string> Texts(const zu::testing::RecordingLogger& log) {
  std::vector<std::string> texts;
  for (const auto& call : log.calls()) texts.push_back(WithoutSite(call.message));
  return texts;
}

inline bool Has(const zu::testing::RecordingLogger& log, const std::string& text) {
  const auto texts = Texts(log);
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

inline size_t IndexOf(const std::vector<std::string>& texts, const std::string& text) {
  return static_cast<size_t>(std::find(texts.begin(), texts.end(), text) - texts.begin());
}

}  // namespace tintora::testing
