// The management words of zuservice's command line.
#pragma once

#include <optional>
#include <string_view>

namespace zu::service {

// In the order they are tested against the first argument.
enum class CommandWord {
  kInstall,
  kQuery,
  kDescribe,
  kDisable,
  kEnable,
  kDelete,
  kStart,
  kDacl,
  kStop,
};

// The word the argument names, compared without regard to ASCII case; none
// for anything else, in which case the program runs as the service.
std::optional<CommandWord> ParseCommandWord(std::wstring_view argument);

}  // namespace zu::service
