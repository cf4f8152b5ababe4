// Per-user plug-in settings under HKCU\SOFTWARE\Orvale\TarnService\<subkey>.
#pragma once

#include <string>

#include "logging/settings_key.h"

namespace zu {

// Opens HKCU\SOFTWARE\Orvale\TarnService for reading and writing (0x2001F),
// creating it when it does not exist yet, then creates or opens `subkey`
// with full access. Throws std::runtime_error "OpenKey error" (the open failed
// for another reason), "Create parent key error" or "CreateKey error".
SettingsKey OpenUserSettingsKey(const std::wstring& subkey);

}  // namespace zu
