// ConfigureTarnService: runs as LocalSystem after InstallServices, before the
// service is started. It finishes the registration the ServiceInstall table
// cannot express, so that the service ends up as "zuservice install" makes it:
//   - the binary path quoted, so that "C:\Program Files\..." cannot be read as
//     the program "C:\Program" followed by arguments (some installer engines
//     write it bare);
//   - the failure actions: restart after 5 s, again after 5 s, then nothing,
//     the count reset after a day.
// A service that is not there at all (its registration failed, for example
// because another service already carries its display name), or one that
// runs another program than the one just installed, ends the installation
// with an error, which rolls everything back. CustomActionData holds the
// installed zuservice.exe's full path.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

#include "packaging/setup_actions/msi_messages.h"
#include "service/sc_handle.h"
#include "service/service_identity.h"

namespace zu::setup {
namespace {

using service::kServiceDisplayName;
using service::kServiceName;
using service::UniqueScHandle;

// Why a service of this name could not have been created, as far as the
// service control manager can tell.
std::wstring RegistrationFailure(SC_HANDLE manager, DWORD openError) {
  std::wstring text = L"The service TarnService could not be registered: it is not known to the service "
                      L"control manager " + ErrorText(openError) + L".";
  wchar_t owner[257] = {};
  DWORD size = 257;
  if (::GetServiceKeyNameW(manager, kServiceDisplayName, owner, &size) && _wcsicmp(owner, kServiceName) != 0) {
    text += L" Its display name \"TarnService\" is already used by the service \"" + std::wstring(owner) +
            L"\"; remove or rename that service and run the installation again.";
  }
  return text;
}

std::wstring BinaryPath(SC_HANDLE service, DWORD* error) {
  DWORD needed = 0;
  ::QueryServiceConfigW(service, nullptr, 0, &needed);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    *error = ::GetLastError();
    return {};
  }
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(service, config, needed, &needed)) {
    *error = ::GetLastError();
    return {};
  }
  *error = ERROR_SUCCESS;
  return config->lpBinaryPathName ? config->lpBinaryPathName : L"";
}

std::wstring Unquoted(const std::wstring& path) {
  if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') return path.substr(1, path.size() - 2);
  return path;
}

std::wstring CustomActionData(MSIHANDLE install) {
  DWORD size = 0;
  wchar_t empty[1] = {};
  if (::MsiGetPropertyW(install, L"CustomActionData", empty, &size) != ERROR_MORE_DATA) return {};
  std::wstring value(size + 1, L'\0');
  size = static_cast<DWORD>(value.size());
  if (::MsiGetPropertyW(install, L"CustomActionData", value.data(), &size) != ERROR_SUCCESS) return {};
  value.resize(size);
  return value;
}

bool QuotePath(MSIHANDLE install, SC_HANDLE service, const std::wstring& program) {
  DWORD error = ERROR_SUCCESS;
  const std::wstring path = BinaryPath(service, &error);
  if (error != ERROR_SUCCESS) {
    ReportError(install, L"The configuration of the service TarnService could not be read " + ErrorText(error) + L".");
    return false;
  }
  if (_wcsicmp(Unquoted(path).c_str(), program.c_str()) != 0) {
    ReportError(install, L"The service TarnService runs " + path + L", not the installed " + program +
                             L"; it could not be replaced. Stop and delete it (zuservice stop, zuservice delete) "
                             L"and run the installation again.");
    return false;
  }
  if (path.front() == L'"') {
    LogInfo(install, L"TarnService: binary path " + path);
    return true;
  }
  const std::wstring quoted = L"\"" + path + L"\"";
  if (!::ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, quoted.c_str(),
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
    ReportError(install, L"The binary path of the service TarnService could not be quoted " +
                             ErrorText(::GetLastError()) + L".");
    return false;
  }
  LogInfo(install, L"TarnService: binary path " + quoted + L" (quoted)");
  return true;
}

bool SetFailureActions(MSIHANDLE install, SC_HANDLE service) {
  if (!service::SetFailureActions(service)) {
    ReportError(install, L"The failure actions of the service TarnService could not be set " +
                             ErrorText(::GetLastError()) + L".");
    return false;
  }
  LogInfo(install, L"TarnService: failure actions: restart after " + std::to_wstring(service::kRestartAfterFailureMs) +
                   L" ms, restart after " + std::to_wstring(service::kRestartAfterFailureMs) +
                   L" ms, then none; reset after " + std::to_wstring(service::kFailureResetSeconds) + L" s");
  return true;
}

}  // namespace
}  // namespace zu::setup

extern "C" __declspec(dllexport) UINT __stdcall ConfigureTarnService(MSIHANDLE install) {
  using namespace zu::setup;
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    ReportError(install, L"The service control manager could not be opened " + ErrorText(::GetLastError()) + L".");
    return ERROR_INSTALL_FAILURE;
  }
  // SERVICE_START: a restart action may only be set through a handle that may start the service.
  UniqueScHandle service(
      ::OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG | SERVICE_START));
  if (!service) {
    ReportError(install, RegistrationFailure(manager.get(), ::GetLastError()));
    return ERROR_INSTALL_FAILURE;
  }
  const std::wstring program = CustomActionData(install);
  if (program.empty()) {
    ReportError(install, L"The set-up of the service TarnService was not told the installed program's path.");
    return ERROR_INSTALL_FAILURE;
  }
  if (!QuotePath(install, service.get(), program) || !SetFailureActions(install, service.get())) return ERROR_INSTALL_FAILURE;
  return ERROR_SUCCESS;
}
