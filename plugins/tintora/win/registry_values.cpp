#include "plugins/tintora/win/registry_values.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/win/unique_hkey.h"
#include "plugins/tintora/write_log.h"

namespace tintora {
namespace {

// Opens the key and checks the value's type; logs the first failure as the
// given step. The value's size in bytes goes to *size.
bool OpenValue(const char* step, const std::wstring& keyPath, const std::wstring& valueName, DWORD wantedType,
               zu::win::UniqueHkey* key, DWORD* size) {
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key->put()) != ERROR_SUCCESS) {
    TINTORA_LOG(kWriteLogError, step, "Could not open registry key");
    return false;
  }
  DWORD type = 0;
  if (::RegQueryValueExW(key->get(), valueName.c_str(), nullptr, &type, nullptr, size) != ERROR_SUCCESS) {
    TINTORA_LOG(kWriteLogError, step, "Could not read registry value");
    return false;
  }
  if (type != wantedType) {
    TINTORA_LOG(kWriteLogError, step, "Incorrect registry value type");
    return false;
  }
  return true;
}

}  // namespace

std::wstring ReadRegValueSZ(const std::wstring& keyPath, const std::wstring& valueName) {
  constexpr const char* kStep = "ReadRegValueSZ";
  zu::win::UniqueHkey key;
  DWORD size = 0;
  if (!OpenValue(kStep, keyPath, valueName, REG_SZ, &key, &size)) return {};
  // One character more than the data holds, so that text stored without its
  // terminating zero still ends.
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
  DWORD read = size;
  if (::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()),
                         &read) != ERROR_SUCCESS) {
    TINTORA_LOG(kWriteLogError, kStep, "Could not read registry value");
    return {};
  }
  return std::wstring(text.data());
}

bool ReadRegValueBinary(const std::wstring& keyPath, const std::wstring& valueName,
                        uint8_t (&buffer)[kEdidBufferSize]) {
  constexpr const char* kStep = "ReadRegValueBinary";
  zu::win::UniqueHkey key;
  DWORD size = 0;
  if (!OpenValue(kStep, keyPath, valueName, REG_BINARY, &key, &size)) return false;
  std::vector<uint8_t> data(size);
  DWORD read = size;
  if (::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, data.data(), &read) != ERROR_SUCCESS) {
    TINTORA_LOG(kWriteLogError, kStep, "Could not read registry value");
    return false;
  }
  std::memcpy(buffer, data.data(), std::min<size_t>(read, kEdidBufferSize));
  return true;
}

}  // namespace tintora
