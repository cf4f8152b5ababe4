// The library's 33 string dictionaries with their language and the user UI
// language that stands for it, for drawing every language's pop-up.
#pragma once

#include <windows.h>

namespace glimmer::testing {

struct DictionaryLanguage {
  int id;             // resource id of the dictionary
  const char* tag;    // language tag
  const char* name;
  LANGID uiLanguage;  // a user UI language of that language
};

inline constexpr DictionaryLanguage kDictionaryLanguages[] = {
    {180, "ar-SA", "Arabic", 0x0401},
    {181, "cs-CZ", "Czech", 0x0405},
    {182, "da-DK", "Danish", 0x0406},
    {183, "nl-NL", "Dutch (1)", 0x0413},
    {184, "nl-BE", "Dutch (2)", 0x0813},
    {185, "en-US", "English (1)", 0x0409},
    {186, "en-US", "English", 0x0409},
    {187, "fi-FI", "Finnish", 0x040B},
    {188, "fr-FR", "French", 0x040C},
    {189, "de-DE", "German", 0x0407},
    {190, "el-GR", "Greek", 0x0408},
    {191, "he-IL", "Hebrew", 0x040D},
    {192, "hu-HU", "Hungarian", 0x040E},
    {193, "id-ID", "Indonesian", 0x0421},
    {194, "it-IT", "Italian", 0x0410},
    {195, "ja-JP", "Japanese", 0x0411},
    {196, "ko-KR", "Korean", 0x0412},
    {197, "es-419", "Latin-American Spanish", 0x580A},
    {198, "nb-NO", "Norwegian", 0x0414},
    {199, "pl-PL", "Polish", 0x0415},
    {200, "pt-BR", "Brazilian Portuguese", 0x0416},
    {201, "pt-PT", "Portuguese", 0x0816},
    {202, "ro-RO", "Romanian", 0x0418},
    {203, "ru-RU", "Russian", 0x0419},
    {204, "zh-CN", "Simplified Chinese", 0x0804},
    {205, "sk-SK", "Slovak", 0x041B},
    {206, "es-ES", "Spanish", 0x0C0A},
    {207, "sv-SE", "Swedish", 0x041D},
    {208, "th-TH", "Thai", 0x041E},
    {209, "zh-TW", "Traditional Chinese", 0x0404},
    {210, "tr-TR", "Turkish", 0x041F},
    {211, "uk-UA", "Ukrainian", 0x0422},
    {212, "vi-VN", "Vietnamese", 0x042A},
};

}  // namespace glimmer::testing
