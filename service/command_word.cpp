#include "service/command_word.h"

#include <array>
#include <utility>

namespace zu::service {
namespace {

constexpr std::array<std::pair<std::wstring_view, CommandWord>, 9> kWords = {{
    {L"install", CommandWord::kInstall},
    {L"query", CommandWord::kQuery},
    {L"describe", CommandWord::kDescribe},
    {L"disable", CommandWord::kDisable},
    {L"enable", CommandWord::kEnable},
    {L"delete", CommandWord::kDelete},
    {L"start", CommandWord::kStart},
    {L"dacl", CommandWord::kDacl},
    {L"stop", CommandWord::kStop},
}};

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view lowerWord) {
  if (a.size() != lowerWord.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != lowerWord[i]) return false;
  return true;
}

}  // namespace

std::optional<CommandWord> ParseCommandWord(std::wstring_view argument) {
  for (const auto& [word, command] : kWords)
    if (EqualsIgnoringCase(argument, word)) return command;
  return std::nullopt;
}

}  // namespace zu::service
