#include "logging/event_source.h"

#include "base/win/unique_hkey.h"

namespace zu {
namespace {
constexpr const wchar_t* kEventSourceKey = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TarnService";
}

LSTATUS InstallEventSource(const std::wstring& messageFile) {
  win::UniqueHkey key;
  LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, key.put(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  const auto bytes = static_cast<DWORD>((messageFile.size() + 1) * sizeof(wchar_t));
  status = ::RegSetValueExW(key.get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(messageFile.c_str()), bytes);
  if (status != ERROR_SUCCESS) return status;
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  return ::RegSetValueExW(key.get(), L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                          sizeof types);
}

LSTATUS RemoveEventSource() {
  const LSTATUS status = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace zu
