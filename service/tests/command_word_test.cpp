#include "service/command_word.h"

#include <gtest/gtest.h>

namespace zu::service {
namespace {

TEST(CommandWord, NineWordsInAnyCase) {
  const std::pair<const wchar_t*, CommandWord> cases[] = {
      {L"install", CommandWord::kInstall}, {L"INSTALL", CommandWord::kInstall}, {L"Query", CommandWord::kQuery},
      {L"describe", CommandWord::kDescribe}, {L"diSable", CommandWord::kDisable}, {L"ENABLE", CommandWord::kEnable},
      {L"delete", CommandWord::kDelete},     {L"Start", CommandWord::kStart},     {L"DACL", CommandWord::kDacl},
      {L"stop", CommandWord::kStop},
  };
  for (const auto& [text, word] : cases) {
    auto parsed = ParseCommandWord(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_EQ(*parsed, word);
  }
}

TEST(CommandWord, AnythingElseRunsTheService) {
  for (const wchar_t* text : {L"", L"instal", L"installs", L" stop", L"stop ", L"-install", L"/start", L"st\u00d6p",
                              L"\u0130nstall"}) {
    EXPECT_FALSE(ParseCommandWord(text).has_value()) << static_cast<int>(text[0]);
  }
}

}  // namespace
}  // namespace zu::service
