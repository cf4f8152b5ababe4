#include "libs/glimmer/xml_check.h"

#include <cstdint>
#include <vector>

namespace glimmer {
namespace {

// Decodes the UTF-8 sequence at s[i]; false for malformed, overlong,
// surrogate or out-of-range sequences.
bool DecodeUtf8(std::string_view s, size_t& i, uint32_t& cp) {
  const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t lead = b(i);
  int extra;
  if (lead < 0x80) {
    cp = lead;
    ++i;
    return true;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    cp = lead & 0x07;
  } else {
    return false;
  }
  if (i + extra >= s.size()) return false;  // cut short
  for (int k = 1; k <= extra; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    return false;
  }
  i += extra + 1;
  return true;
}

// XML's Char production.
bool IsXmlChar(uint32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
         (cp >= 0x10000 && cp <= 0x10FFFF);
}

bool ValidText(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    uint32_t cp;
    if (!DecodeUtf8(s, i, cp) || !IsXmlChar(cp)) return false;
  }
  return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsNameStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u >= 0x80;
}
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}

  bool Document() {
    if (Starts("<?xml") && pos_ + 5 < s_.size() && IsSpace(s_[pos_ + 5])) {
      if (!SkipPast("?>")) return false;
    }
    if (!Misc()) return false;
    if (!Starts("<") || !Element()) return false;
    return Misc() && pos_ == s_.size();
  }

 private:
  bool Starts(std::string_view t) const { return s_.substr(pos_, t.size()) == t; }
  bool SkipPast(std::string_view t) {
    const size_t end = s_.find(t, pos_);
    if (end == std::string_view::npos) return false;
    pos_ = end + t.size();
    return true;
  }
  void SkipSpace() {
    while (pos_ < s_.size() && IsSpace(s_[pos_])) ++pos_;
  }

  bool Name(std::string_view* out) {
    const size_t start = pos_;
    if (pos_ >= s_.size() || !IsNameStart(s_[pos_])) return false;
    while (pos_ < s_.size() && IsNameChar(s_[pos_])) ++pos_;
    *out = s_.substr(start, pos_ - start);
    return true;
  }

  // After '&': a predefined entity or a character reference, then ';'.
  bool Reference() {
    ++pos_;
    const size_t semicolon = s_.find(';', pos_);
    if (semicolon == std::string_view::npos) return false;
    const std::string_view ref = s_.substr(pos_, semicolon - pos_);
    pos_ = semicolon + 1;
    if (ref == "amp" || ref == "lt" || ref == "gt" || ref == "quot" || ref == "apos") return true;
    if (ref.size() < 2 || ref[0] != '#') return false;
    const bool hex = ref[1] == 'x';
    const std::string_view digits = ref.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t cp = 0;
    for (char c : digits) {
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return false;
      cp = cp * (hex ? 16 : 10) + d;
    }
    return IsXmlChar(cp);
  }

  // Comments, processing instructions and white space.
  bool Misc() {
    for (;;) {
      SkipSpace();
      if (Starts("<!--")) {
        if (!Comment()) return false;
      } else if (Starts("<?")) {
        if (!Pi()) return false;
      } else {
        return true;  // "<!DOCTYPE" and anything else is for the caller to refuse
      }
    }
  }

  bool Comment() {
    pos_ += 4;
    const size_t end = s_.find("--", pos_);
    if (end == std::string_view::npos || s_.substr(end, 3) != "-->") return false;
    pos_ = end + 3;
    return true;
  }

  bool Pi() {
    pos_ += 2;
    std::string_view target;
    if (!Name(&target)) return false;
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l') {
      return false;  // the declaration is only allowed first
    }
    return SkipPast("?>");
  }

  bool AttributeValue() {
    if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) return false;
    const char quote = s_[pos_++];
    while (pos_ < s_.size() && s_[pos_] != quote) {
      if (s_[pos_] == '<') return false;
      if (s_[pos_] == '&') {
        if (!Reference()) return false;
      } else {
        ++pos_;
      }
    }
    if (pos_ >= s_.size()) return false;
    ++pos_;
    return true;
  }

  // At '<' of a start tag: the element and all its content.
  bool Element() {
    std::vector<std::string_view> open;
    for (;;) {
      // A start tag.
      ++pos_;
      std::string_view name;
      if (!Name(&name)) return false;
      bool empty = false;
      for (;;) {
        const size_t before = pos_;
        SkipSpace();
        if (Starts("/>")) {
          pos_ += 2;
          empty = true;
          break;
        }
        if (Starts(">")) {
          ++pos_;
          break;
        }
        std::string_view attribute;
        if (pos_ == before || !Name(&attribute)) return false;  // attributes are separated by space
        SkipSpace();
        if (!Starts("=")) return false;
        ++pos_;
        SkipSpace();
        if (!AttributeValue()) return false;
      }
      if (!empty) open.push_back(name);
      // Content until the next start tag, or the end of the root.
      for (;;) {
        if (open.empty()) return true;
        if (pos_ >= s_.size()) return false;
        const char c = s_[pos_];
        if (c == '<') {
          if (Starts("</")) {
            pos_ += 2;
            std::string_view end;
            if (!Name(&end) || end != open.back()) return false;
            SkipSpace();
            if (!Starts(">")) return false;
            ++pos_;
            open.pop_back();
          } else if (Starts("<!--")) {
            if (!Comment()) return false;
          } else if (Starts("<![CDATA[")) {
            pos_ += 9;
            if (!SkipPast("]]>")) return false;
          } else if (Starts("<?")) {
            if (!Pi()) return false;
          } else if (Starts("<!")) {
            return false;
          } else {
            break;  // a child element
          }
        } else if (c == '&') {
          if (!Reference()) return false;
        } else if (Starts("]]>")) {
          return false;
        } else {
          ++pos_;
        }
      }
    }
  }

  std::string_view s_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<std::string> DocumentAsUtf8(std::string_view bytes) {
  const auto b = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
  if (bytes.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) return std::string(bytes.substr(3));
  bool utf16 = false, bigEndian = false;
  size_t start = 0;
  if (bytes.size() >= 2 && ((b(0) == 0xFF && b(1) == 0xFE) || (b(0) == 0xFE && b(1) == 0xFF))) {
    utf16 = true;
    bigEndian = b(0) == 0xFE;
    start = 2;
  } else if (bytes.size() >= 2 && ((b(0) == '<' && b(1) == 0) || (b(0) == 0 && b(1) == '<'))) {
    utf16 = true;
    bigEndian = b(0) == 0;
  }
  if (!utf16) return std::string(bytes);
  if ((bytes.size() - start) % 2 != 0) return std::nullopt;

  std::string out;
  out.reserve(bytes.size());
  const auto unit = [&](size_t k) -> uint32_t {
    return bigEndian ? (b(k) << 8) | b(k + 1) : (b(k + 1) << 8) | b(k);
  };
  for (size_t k = start; k < bytes.size(); k += 2) {
    uint32_t cp = unit(k);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (k + 3 >= bytes.size()) return std::nullopt;
      const uint32_t low = unit(k + 2);
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      k += 2;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return std::nullopt;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

bool IsWellFormedXml(std::string_view utf8) {
  if (!ValidText(utf8)) return false;
  return Scanner(utf8).Document();
}

}  // namespace glimmer
