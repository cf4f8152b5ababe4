// Dictionary selection by UI language.
#include <gtest/gtest.h>

#include "libs/glimmer/language_select.h"

namespace glimmer {
namespace {

TEST(LanguageSelect, SelectableLanguagesAndTheEnglishFallback) {
  const std::pair<uint16_t, int> cases[] = {
      {0x0401, 180},  // Arabic (Saudi Arabia)
      {0x0C01, 180},  // Arabic (Egypt)
      {0x0404, 209},  // Chinese (Taiwan)
      {0x0C04, 209},  // Chinese (Hong Kong)
      {0x1404, 209},  // Chinese (Macao)
      {0x0804, 204},  // Chinese (PRC)
      {0x1004, 204},  // Chinese (Singapore)
      {0x0004, 186},  // Chinese, neutral sublanguage
      {0x7C04, 186},  // Chinese (traditional, neutral)
      {0x0407, 189}, {0x0807, 189},  // German
      {0x040A, 206}, {0x080A, 206}, {0x0C0A, 206},  // Spanish: traditional, Mexico, modern
      {0x040C, 188},  // French
      {0x0410, 194},  // Italian
      {0x0411, 195},  // Japanese
      {0x0412, 196},  // Korean
      {0x0416, 201}, {0x0816, 201},  // Portuguese: Brazil and Portugal alike
      {0x0419, 203},  // Russian
      {0x0409, 186}, {0x0809, 186},  // English
      {0x0413, 186},  // Dutch: English
      {0x041F, 186},  // Turkish: carried, never selected
      {0x0000, 186},
  };
  for (auto [language, dictionary] : cases) {
    EXPECT_EQ(DictionaryForLanguage(language), dictionary) << std::hex << language;
  }
}

TEST(LanguageSelect, PrimaryLanguageIsTheLowTenBits) {
  // Any sublanguage of Japanese (primary 0x11) is Japanese.
  EXPECT_EQ(DictionaryForLanguage(0xFC11), 195);
  // 0x0604 has the low byte of Chinese but primary language 0x204.
  EXPECT_EQ(DictionaryForLanguage(0x0604 | 0x0200), 186);
}

}  // namespace
}  // namespace glimmer
