// Caption direction and the words a line break keeps whole.
#include <gtest/gtest.h>

#include <string>

#include "libs/glimmer/caption_text.h"

namespace glimmer {
namespace {

TEST(CaptionText, TheFirstStrongLetterGivesTheDirection) {
  EXPECT_TRUE(ReadsRightToLeft(u"\u05EA\u05E6\u05D5\u05D2\u05D4 Orvale"));      // Hebrew first
  EXPECT_TRUE(ReadsRightToLeft(u"\u0639\u0631\u0636 Orvale"));                  // Arabic first
  EXPECT_TRUE(ReadsRightToLeft(u"- 3 \u05D0"));                                 // neutrals and digits skipped
  EXPECT_TRUE(ReadsRightToLeft(u"\u064B\u0660 \u0628"));                        // a mark, an Arabic digit, then a letter
  EXPECT_FALSE(ReadsRightToLeft(u"Orvale \u05EA\u05E6\u05D5\u05D2\u05D4"));     // Latin first
  EXPECT_FALSE(ReadsRightToLeft(u"Orvale \u0E21\u0E38\u0E21"));                 // Thai
  EXPECT_FALSE(ReadsRightToLeft(u"\u00C9tat \u0627"));                          // accented Latin
  EXPECT_FALSE(ReadsRightToLeft(u"\u041A\u043E\u043D \u05D0"));                 // Cyrillic
  EXPECT_FALSE(ReadsRightToLeft(u"\u300C\u96B1\u79C1\u300D \u05D0"));           // CJK after CJK punctuation
  EXPECT_FALSE(ReadsRightToLeft(u"123 - "));                                    // no letter at all
  EXPECT_FALSE(ReadsRightToLeft(u""));
}

TEST(CaptionText, WordsSplitAtSpacesAndAfterHyphensExceptInScriptsThatBreakAnywhere) {
  auto words = [](std::u16string_view text) {
    std::u16string joined;
    for (std::u16string_view w : WordsKeptWhole(text)) joined += std::u16string(w) + u"|";
    return joined;
  };
  EXPECT_EQ(words(u"AI Noise-Canceling Speaker Off"), u"AI|Noise-|Canceling|Speaker|Off|");
  EXPECT_EQ(words(u"  Orvale  - On "), u"Orvale|-|On|");
  // Thai and Chinese runs may break anywhere; the Latin words beside them may not.
  EXPECT_EQ(words(u"Orvale \u0E21\u0E38\u0E21\u0E21\u0E2D\u0E07 - \u0E40\u0E1B\u0E34\u0E14"), u"Orvale|-|");
  EXPECT_EQ(words(u"Orvale \u9690\u79C1\u89C6\u56FE - \u5F00"), u"Orvale|-|");
  // Korean keeps its words whole, as the other space-separated scripts.
  EXPECT_EQ(words(u"\uD504\uB77C\uC774\uBE57 \uBDF0"), u"\uD504\uB77C\uC774\uBE57|\uBDF0|");
  EXPECT_EQ(words(u""), u"");
}

}  // namespace
}  // namespace glimmer
