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

}  // namespace zu::service
