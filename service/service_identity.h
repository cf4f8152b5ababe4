// Who the service is to the service control manager.
#pragma once

#include <windows.h>

namespace zu::service {

// The type TarnService has always been installed and reported with, 0x20.
// That value is SERVICE_WIN32_SHARE_PROCESS, although the process hosts only
// this service; "query" shows it and installed systems carry it, so it stays.
inline constexpr DWORD kServiceType = SERVICE_WIN32_SHARE_PROCESS;

inline constexpr const wchar_t* kServiceName = L"TarnService";
inline constexpr const wchar_t* kServiceDisplayName = L"TarnService";
inline constexpr const wchar_t* kServiceDescription = L"This is a test description";

// What the service manager does when the service process ends without
// reporting "stopped" (a crash): restart it after five seconds, once more
// after another five, then leave it; a day without failures starts the count
// again. The installer package gives the installed service the same values.
inline constexpr DWORD kRestartAfterFailureMs = 5000;
inline constexpr DWORD kFailureResetSeconds = 86400;

// Gives the service those failure actions. False (with the error left in
// GetLastError) on failure. Inline, since the installer's set-up actions
// link none of the service's code.
inline bool SetFailureActions(SC_HANDLE service) {
  SC_ACTION actions[] = {
      {SC_ACTION_RESTART, kRestartAfterFailureMs},
      {SC_ACTION_RESTART, kRestartAfterFailureMs},
      {SC_ACTION_NONE, 0},
  };
  SERVICE_FAILURE_ACTIONSW failure{};
  failure.dwResetPeriod = kFailureResetSeconds;
  failure.cActions = static_cast<DWORD>(sizeof actions / sizeof actions[0]);
  failure.lpsaActions = actions;
  return ::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) != FALSE;
}

}  // namespace zu::service
