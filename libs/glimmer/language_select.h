// Which string dictionary the user's UI language selects.
#pragma once

#include <cstdint>

namespace glimmer {

inline constexpr int kFirstDictionary = 180;
inline constexpr int kLastDictionary = 212;
inline constexpr int kEnglishDictionary = 186;

// languageId: a Windows language identifier (primary language in the low
// 10 bits, sublanguage above). Returns a dictionary resource id.
int DictionaryForLanguage(uint16_t languageId);

}  // namespace glimmer
