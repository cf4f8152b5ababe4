#include "base/win/module_path.h"

namespace zu::win {

std::wstring ModuleFileName(HMODULE module) {
  wchar_t buf[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(module, buf, MAX_PATH);
  return std::wstring(buf, n);
}

std::wstring ModuleDirectory(HMODULE module) {
  std::wstring path = ModuleFileName(module);
  const auto slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

HMODULE CurrentModule() {
  HMODULE m = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CurrentModule), &m);
  return m;
}

}  // namespace zu::win
