#include "logging/settings_key.h"

#include <stdexcept>

namespace zu {

LSTATUS SettingsKey::ReadDword(const wchar_t* name, DWORD* value) const {
  *value = 0;
  DWORD size = sizeof(DWORD);
  DWORD type = 0;
  return ::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
}

LSTATUS SettingsKey::WriteDword(const wchar_t* name, DWORD value) const {
  return ::RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

SettingsKey OpenSettingsKey() {
  SettingsKey s;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOrvaleKeyPath, 0, KEY_READ, s.parent.put()) != ERROR_SUCCESS)
    throw std::runtime_error("OpenKey error");
  DWORD disposition = 0;
  if (::RegCreateKeyExW(s.parent.get(), kServiceSubkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr,
                        s.key.put(), &disposition) != ERROR_SUCCESS)
    throw std::runtime_error("CreateKey error");
  return s;
}

}  // namespace zu
