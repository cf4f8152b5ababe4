// UTF-16 <-> UTF-8 conversion. Stateless, so any thread may call it.
#pragma once

#include <string>
#include <string_view>

namespace zu::win {

std::string ToUtf8(std::wstring_view wide);
std::wstring FromUtf8(std::string_view utf8);

}  // namespace zu::win
