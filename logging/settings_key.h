// The machine settings key HKLM\SOFTWARE\Orvale\TarnService, read by both
// programs and provisioned at installation (neither program writes it).
#pragma once

#include <windows.h>

#include "base/win/unique_hkey.h"

namespace zu {

inline constexpr const wchar_t* kOrvaleKeyPath = L"SOFTWARE\\Orvale";
inline constexpr const wchar_t* kServiceSubkey = L"TarnService";

// The parent key and the subkey values are read from; both handles close
// when the object goes away.
struct SettingsKey {
  win::UniqueHkey parent;
  win::UniqueHkey key;

  // Reads a 4-byte value into *value (preset to 0); the registry type is not
  // checked. Returns the registry status, ERROR_SUCCESS on success.
  LSTATUS ReadDword(const wchar_t* name, DWORD* value) const;
  // Writes a REG_DWORD value (used by the per-user plug-in keys).
  LSTATUS WriteDword(const wchar_t* name, DWORD value) const;
};

// Opens HKLM\SOFTWARE\Orvale for reading, then opens or creates its subkey
// "TarnService". Throws std::runtime_error "OpenKey error" or "CreateKey error".
SettingsKey OpenSettingsKey();

}  // namespace zu
