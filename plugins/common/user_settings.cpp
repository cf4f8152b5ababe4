#include "plugins/common/user_settings.h"

#include <stdexcept>

namespace zu {

SettingsKey OpenUserSettingsKey(const std::wstring& subkey) {
  static constexpr const wchar_t* kParent = L"SOFTWARE\\Orvale\\TarnService";
  constexpr REGSAM kParentAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;  // 0x2001F

  SettingsKey s;
  const LSTATUS opened = ::RegOpenKeyExW(HKEY_CURRENT_USER, kParent, 0, kParentAccess, s.parent.put());
  if (opened == ERROR_FILE_NOT_FOUND || opened == ERROR_NO_MATCH) {
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kParent, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          s.parent.put(), nullptr) != ERROR_SUCCESS)
      throw std::runtime_error("Create parent key error");
  } else if (opened != ERROR_SUCCESS) {
    throw std::runtime_error("OpenKey error");
  }
  if (::RegCreateKeyExW(s.parent.get(), subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        s.key.put(), nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("CreateKey error");
  return s;
}

}  // namespace zu
