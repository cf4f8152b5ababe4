// Registry set-up for tests: create keys and values, remove whole trees.
// Tests that share a key declare a CTest RESOURCE_LOCK on it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/win/unique_hkey.h"

namespace zu::testing {

inline void DeleteTree(HKEY root, const std::wstring& path) { ::RegDeleteTreeW(root, path.c_str()); }

inline win::UniqueHkey CreateKey(HKEY root, const std::wstring& path) {
  win::UniqueHkey key;
  ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                    nullptr);
  return key;
}

inline LSTATUS SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                        const void* data, DWORD size) {
  auto key = CreateKey(root, path);
  if (!key) return ERROR_ACCESS_DENIED;
  return ::RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
}

inline LSTATUS SetDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value) {
  return SetValue(root, path, name, REG_DWORD, &value, sizeof value);
}

inline LSTATUS DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name) {
  return ::RegDeleteKeyValueW(root, path.c_str(), name.c_str());
}

// Reads any value's raw bytes; false when absent.
inline bool GetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD* type,
                     std::vector<BYTE>* data) {
  DWORD size = 0;
  if (::RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, type, nullptr, &size) !=
      ERROR_SUCCESS)
    return false;
  data->resize(size);
  return ::RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, type, data->data(),
                        &size) == ERROR_SUCCESS;
}

inline bool GetDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD* value) {
  DWORD size = sizeof *value;
  return ::RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, value, &size) ==
         ERROR_SUCCESS;
}

}  // namespace zu::testing
