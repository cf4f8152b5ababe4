// install, query, describe, disable, enable, delete and dacl.
#include <windows.h>

#include <aclapi.h>

#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "logging/event_source.h"
#include "service/sc_handle.h"
#include "service/service_commands.h"
#include "service/service_identity.h"

namespace zu::service {
namespace {

int LastError() { return static_cast<int>(::GetLastError()); }

UniqueScHandle OpenManager() {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) std::printf("OpenSCManager failed (%d)\n", LastError());
  return manager;
}

UniqueScHandle OpenTheService(const UniqueScHandle& manager, DWORD access) {
  UniqueScHandle service(::OpenServiceW(manager.get(), kServiceName, access));
  if (!service) std::printf("OpenService failed (%d)\n", LastError());
  return service;
}

// Opens the manager and the service, printing what failed.
UniqueScHandle OpenForCommand(DWORD access) {
  UniqueScHandle manager = OpenManager();
  if (!manager) return {};
  return OpenTheService(manager, access);
}

void ChangeStartType(DWORD startType, const char* success) {
  UniqueScHandle service = OpenForCommand(SERVICE_CHANGE_CONFIG);
  if (!service) return;
  if (!::ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr)) {
    std::printf("ChangeServiceConfig failed (%d)\n", LastError());
    return;
  }
  std::printf("%s", success);
}

// Size query, allocation, second call: the pattern of every variable-size
// service query. False (with the error left in GetLastError) on failure.
template <class Query>
bool QueryVariable(Query query, std::vector<BYTE>* buffer) {
  DWORD needed = 0;
  if (query(nullptr, 0, &needed) || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  buffer->assign(needed, 0);
  return query(buffer->data(), needed, &needed);
}

const wchar_t* OrEmpty(const wchar_t* s) { return s ? s : L""; }

std::wstring ActionText(const SC_ACTION& action) {
  const std::wstring after = L" after " + std::to_wstring(action.Delay) + L" ms";
  switch (action.Type) {
    case SC_ACTION_NONE: return L"none";
    case SC_ACTION_RESTART: return L"restart" + after;
    case SC_ACTION_REBOOT: return L"reboot" + after;
    case SC_ACTION_RUN_COMMAND: return L"run command" + after;
    default: return L"action " + std::to_wstring(static_cast<int>(action.Type)) + after;
  }
}

}  // namespace

void InstallService() {
  wchar_t ownPath[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, ownPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {  // a cut path would name another file
    std::printf("Cannot install service (%d)\n", length ? static_cast<int>(ERROR_INSUFFICIENT_BUFFER) : LastError());
    return;
  }
  UniqueScHandle manager = OpenManager();
  if (!manager) return;

  // Quoted, so that a path with spaces ("C:\Program Files\...") cannot be
  // read as a shorter program name followed by arguments.
  const std::wstring binaryPath = L"\"" + std::wstring(ownPath, length) + L"\"";
  UniqueScHandle service(::CreateServiceW(manager.get(), kServiceName, kServiceDisplayName, SERVICE_ALL_ACCESS,
                                          kServiceType, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                          binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!service) {
    std::printf("CreateService failed (%d)\n", LastError());
    return;
  }
  std::printf("Service installed successfully\n");
  // The service is installed either way; without these a crashed service
  // stays down until the next boot or a start by hand.
  if (!SetFailureActions(service.get())) std::printf("ChangeServiceConfig2 failed (%d)\n", LastError());
  // Event Viewer finds the texts of our records in this program.
  InstallEventSource(std::wstring(ownPath, length));
}

void QueryService() {
  UniqueScHandle service = OpenForCommand(SERVICE_QUERY_CONFIG);
  if (!service) return;

  std::vector<BYTE> configBuffer;
  if (!QueryVariable(
          [&](BYTE* buf, DWORD size, DWORD* needed) {
            return ::QueryServiceConfigW(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buf), size,
                                         needed) != FALSE;
          },
          &configBuffer)) {
    std::printf("QueryServiceConfig failed (%d)", LastError());
    return;
  }
  std::vector<BYTE> descriptionBuffer;
  if (!QueryVariable(
          [&](BYTE* buf, DWORD size, DWORD* needed) {
            return ::QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, buf, size, needed) != FALSE;
          },
          &descriptionBuffer)) {
    std::printf("QueryServiceConfig2 failed (%d)", LastError());
    return;
  }
  // A service manager that keeps no failure actions (Wine's answers 124)
  // must not hide the rest of the configuration.
  std::vector<BYTE> failureBuffer;
  const bool haveFailure = QueryVariable(
      [&](BYTE* buf, DWORD size, DWORD* needed) {
        return ::QueryServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, buf, size, needed) != FALSE;
      },
      &failureBuffer);
  const int failureError = haveFailure ? 0 : LastError();
  const auto* config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(configBuffer.data());
  const auto* description = reinterpret_cast<const SERVICE_DESCRIPTIONW*>(descriptionBuffer.data());

  std::wprintf(L"%ls configuration: \n", kServiceName);
  std::wprintf(L"  Type: 0x%x\n", static_cast<unsigned>(config->dwServiceType));
  std::wprintf(L"  Start Type: 0x%x\n", static_cast<unsigned>(config->dwStartType));
  std::wprintf(L"  Error Control: 0x%x\n", static_cast<unsigned>(config->dwErrorControl));
  std::wprintf(L"  Binary path: %ls\n", OrEmpty(config->lpBinaryPathName));
  std::wprintf(L"  Account: %ls\n", OrEmpty(config->lpServiceStartName));
  if (*OrEmpty(description->lpDescription)) std::wprintf(L"  Description: %ls\n", description->lpDescription);
  if (*OrEmpty(config->lpLoadOrderGroup)) std::wprintf(L"  Load order group: %ls\n", config->lpLoadOrderGroup);
  if (config->dwTagId != 0) std::wprintf(L"  Tag ID: %d\n", static_cast<int>(config->dwTagId));
  if (*OrEmpty(config->lpDependencies)) std::wprintf(L"  Dependencies: %ls\n", config->lpDependencies);
  if (!haveFailure) {
    std::wprintf(L"  Failure actions: QueryServiceConfig2 failed (%d)\n", failureError);
    return;
  }
  const auto* failure = reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(failureBuffer.data());
  if (failure->cActions != 0 && failure->lpsaActions) {
    std::wstring actions;
    for (DWORD i = 0; i < failure->cActions; ++i) actions += (i ? L", " : L"") + ActionText(failure->lpsaActions[i]);
    std::wprintf(L"  Failure actions: %ls\n", actions.c_str());
    std::wprintf(L"  Failure reset period: %u s\n", static_cast<unsigned>(failure->dwResetPeriod));
  }
}

void DescribeService() {
  UniqueScHandle service = OpenForCommand(SERVICE_CHANGE_CONFIG);
  if (!service) return;
  SERVICE_DESCRIPTIONW description{const_cast<LPWSTR>(kServiceDescription)};
  if (!::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &description)) {
    std::printf("ChangeServiceConfig2 failed\n");
    return;
  }
  std::printf("Service description updated successfully.\n");
}

void DisableService() { ChangeStartType(SERVICE_DISABLED, "Service disabled successfully.\n"); }

void EnableService() { ChangeStartType(SERVICE_DEMAND_START, "Service enabled successfully.\n"); }

void DeleteTheService() {
  UniqueScHandle service = OpenForCommand(DELETE);
  if (!service) return;
  if (!::DeleteService(service.get())) {
    std::printf("DeleteService failed (%d)\n", LastError());
    return;
  }
  std::printf("Service deleted successfully\n");
  RemoveEventSource();
}

DWORD MergeAccessEntry(PACL old, TRUSTEE_W& trustee, DWORD rights, PACL* merged) {
  EXPLICIT_ACCESSW access{};
  access.grfAccessPermissions = rights;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  access.Trustee = trustee;
  *merged = nullptr;
  return ::SetEntriesInAclW(1, &access, old, merged);
}

void GrantServiceAccess(SC_HANDLE service, TRUSTEE_W& trustee) {
  // The service's current DACL.
  SECURITY_DESCRIPTOR probe{};
  DWORD needed = 0;
  if (::QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, &probe, 0, &needed) ||
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    std::printf("QueryServiceObjectSecurity failed (%d)\n", LastError());
    return;
  }
  struct HeapBlock {
    void* p;
    ~HeapBlock() {
      if (p) ::HeapFree(::GetProcessHeap(), 0, p);
    }
  } current{::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, needed)};
  if (!current.p) {
    std::printf("HeapAlloc failed\n");
    return;
  }
  if (!::QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, current.p, needed, &needed)) {
    std::printf("QueryServiceObjectSecurity failed (%d)\n", LastError());
    return;
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL oldDacl = nullptr;
  if (!::GetSecurityDescriptorDacl(current.p, &present, &oldDacl, &defaulted)) {
    std::printf("GetSecurityDescriptorDacl failed(%d)\n", LastError());
    return;
  }

  PACL newDacl = nullptr;
  if (const DWORD error = MergeAccessEntry(oldDacl, trustee, kGuestServiceRights, &newDacl);
      error != ERROR_SUCCESS) {
    std::printf("SetEntriesInAcl failed(%d)\n", static_cast<int>(error));
    return;
  }
  std::unique_ptr<ACL, decltype(&::LocalFree)> ownedDacl(newDacl, &::LocalFree);

  SECURITY_DESCRIPTOR updated{};
  if (!::InitializeSecurityDescriptor(&updated, SECURITY_DESCRIPTOR_REVISION)) {
    std::printf("InitializeSecurityDescriptor failed(%d)\n", LastError());
    return;
  }
  if (!::SetSecurityDescriptorDacl(&updated, TRUE, newDacl, FALSE)) {
    std::printf("SetSecurityDescriptorDacl failed(%d)\n", LastError());
    return;
  }
  if (!::SetServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, &updated)) {
    std::printf("SetServiceObjectSecurity failed(%d)\n", LastError());
    return;
  }
  std::printf("Service DACL updated successfully\n");
}

void GrantGuestAccess() {
  UniqueScHandle service = OpenForCommand(READ_CONTROL | WRITE_DAC);
  if (!service) return;
  TRUSTEE_W guest{};
  ::BuildTrusteeWithNameW(&guest, const_cast<LPWSTR>(L"GUEST"));
  GrantServiceAccess(service.get(), guest);
}

void RunCommand(CommandWord word) {
  switch (word) {
    case CommandWord::kInstall: InstallService(); break;
    case CommandWord::kQuery: QueryService(); break;
    case CommandWord::kDescribe: DescribeService(); break;
    case CommandWord::kDisable: DisableService(); break;
    case CommandWord::kEnable: EnableService(); break;
    case CommandWord::kDelete: DeleteTheService(); break;
    case CommandWord::kStart: StartTheService(); break;
    case CommandWord::kDacl: GrantGuestAccess(); break;
    case CommandWord::kStop: StopTheService(); break;
  }
  std::fflush(stdout);
}

}  // namespace zu::service
