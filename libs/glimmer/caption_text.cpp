#include "libs/glimmer/caption_text.h"

namespace glimmer {
namespace {

bool Between(char16_t c, char16_t first, char16_t last) { return c >= first && c <= last; }

// Combining marks and digits inside the right-to-left blocks: no strong direction.
bool WeakInRightToLeftBlock(char16_t c) {
  return Between(c, 0x0591, 0x05C7) ||  // Hebrew points and accents
         Between(c, 0x0610, 0x061A) || Between(c, 0x064B, 0x065F) || c == 0x0670 ||
         Between(c, 0x06D6, 0x06ED) ||  // Arabic marks
         Between(c, 0x0660, 0x0669) || Between(c, 0x06F0, 0x06F9) ||  // Arabic-Indic digits
         Between(c, 0x0600, 0x0605) || c == 0x060C || c == 0x061B || c == 0x061F;  // signs, punctuation
}

bool RightToLeftBlock(char16_t c) {
  return Between(c, 0x0590, 0x08FF) ||  // Hebrew, Arabic, Syriac, Thaana, NKo, Samaritan, Mandaic
         Between(c, 0xFB1D, 0xFDFF) ||  // Hebrew and Arabic presentation forms
         Between(c, 0xFE70, 0xFEFF);
}

// Letters of the left-to-right scripts: Latin, Greek, Cyrillic and the
// rest of the alphabets, Thai, kana, CJK ideographs, Hangul.
bool LeftToRightLetter(char16_t c) {
  if (Between(c, u'A', u'Z') || Between(c, u'a', u'z')) return true;
  if (c < 0x00C0 || c == 0x00D7 || c == 0x00F7) return false;
  if (Between(c, 0x0300, 0x036F)) return false;   // combining marks
  if (Between(c, 0x2000, 0x2BFF)) return false;   // punctuation, symbols, arrows
  if (Between(c, 0x3000, 0x303F)) return false;   // CJK punctuation
  if (Between(c, 0xFF00, 0xFF20)) return false;   // full-width punctuation and digits
  if (Between(c, 0xD800, 0xDFFF) || Between(c, 0xE000, 0xF8FF)) return false;
  return !RightToLeftBlock(c);
}

bool BreaksBetweenLetters(char16_t c) {
  return Between(c, 0x0E00, 0x0EFF) ||  // Thai, Lao
         Between(c, 0x1000, 0x109F) ||  // Myanmar
         Between(c, 0x1780, 0x17FF) ||  // Khmer
         Between(c, 0x3040, 0x30FF) ||  // kana
         Between(c, 0x3400, 0x4DBF) || Between(c, 0x4E00, 0x9FFF) || Between(c, 0xF900, 0xFAFF);  // ideographs
}

}  // namespace

bool ReadsRightToLeft(std::u16string_view text) {
  for (char16_t c : text) {
    if (RightToLeftBlock(c) && !WeakInRightToLeftBlock(c)) return true;
    if (LeftToRightLetter(c)) return false;
  }
  return false;
}

std::vector<std::u16string_view> WordsKeptWhole(std::u16string_view text) {
  std::vector<std::u16string_view> words;
  size_t start = 0;
  bool breakable = false;
  auto finish = [&](size_t end) {
    if (end > start && !breakable) words.push_back(text.substr(start, end - start));
    start = end;
    breakable = false;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u' ' || c == u'\t' || c == u'\n') {
      finish(i);
      start = i + 1;
    } else if (c == u'-' || c == 0x2010) {
      finish(i + 1);  // the hyphen stays with the word before it
    } else if (BreaksBetweenLetters(c)) {
      breakable = true;
    }
  }
  finish(text.size());
  return words;
}

const char* CaptionFace(int dictionaryId) {
  switch (dictionaryId) {
    case 195: return "Yu Gothic UI";           // Japanese
    case 196: return "Malgun Gothic";          // Korean
    case 204: return "Microsoft YaHei UI";     // Simplified Chinese
    case 209: return "Microsoft JhengHei UI";  // Traditional Chinese
    default: return "Segoe UI";
  }
}

std::vector<int> CaptionSizes(int layoutSize) {
  std::vector<int> sizes;
  const int smallest = layoutSize > 1 ? (layoutSize + 1) / 2 : 1;
  for (int size = layoutSize > 1 ? layoutSize : 1; size >= smallest; --size) sizes.push_back(size);
  return sizes;
}

}  // namespace glimmer
