#include "libs/glimmer/language_select.h"

namespace glimmer {

int DictionaryForLanguage(uint16_t languageId) {
  const int primary = languageId & 0x3FF;
  const int sub = languageId >> 10;
  switch (primary) {
    case 0x01: return 180;  // Arabic
    case 0x04:              // Chinese
      if (sub == 1 || sub == 3 || sub == 5) return 209;  // Taiwan, Hong Kong, Macao: traditional
      if (sub == 2 || sub == 4) return 204;              // PRC, Singapore: simplified
      return kEnglishDictionary;
    case 0x07: return 189;  // German
    case 0x0A: return 206;  // Spanish
    case 0x0C: return 188;  // French
    case 0x10: return 194;  // Italian
    case 0x11: return 195;  // Japanese
    case 0x12: return 196;  // Korean
    case 0x16: return 201;  // Portuguese
    case 0x19: return 203;  // Russian
    default: return kEnglishDictionary;
  }
}

}  // namespace glimmer
