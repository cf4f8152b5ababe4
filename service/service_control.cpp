// start and stop: ask the service control manager and wait for the outcome.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "service/pending_wait.h"
#include "service/sc_handle.h"
#include "service/service_commands.h"
#include "service/service_identity.h"

namespace zu::service {
namespace {

constexpr ULONGLONG kStopTimeoutMs = 30000;

int LastError() { return static_cast<int>(::GetLastError()); }

bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
  DWORD needed = 0;
  if (::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(status), sizeof *status,
                             &needed))
    return true;
  std::printf("QueryServiceStatusEx failed (%d)\n", LastError());
  return false;
}

// Stops the running services that depend on ours, each within what is left
// of 30 seconds. Best effort: the outcome is not reported.
void StopDependentServices(SC_HANDLE manager, SC_HANDLE service) {
  DWORD needed = 0, count = 0;
  if (::EnumDependentServicesW(service, SERVICE_ACTIVE, nullptr, 0, &needed, &count)) return;  // none
  if (::GetLastError() != ERROR_MORE_DATA) return;

  std::vector<BYTE> buffer(needed, 0);
  auto* dependents = reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data());
  if (!::EnumDependentServicesW(service, SERVICE_ACTIVE, dependents, needed, &needed, &count)) return;

  const ULONGLONG began = ::GetTickCount64();
  for (DWORD i = 0; i < count; ++i) {
    UniqueScHandle dependent(
        ::OpenServiceW(manager, dependents[i].lpServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!dependent) continue;
    SERVICE_STATUS_PROCESS status{};
    if (!::ControlService(dependent.get(), SERVICE_CONTROL_STOP, reinterpret_cast<SERVICE_STATUS*>(&status)))
      continue;
    while (status.dwCurrentState != SERVICE_STOPPED) {
      ::Sleep(StopPollInterval(status.dwWaitHint));
      DWORD size = 0;
      if (!::QueryServiceStatusEx(dependent.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                  sizeof status, &size))
        break;
      if (::GetTickCount64() - began > kStopTimeoutMs) break;
    }
  }
}

}  // namespace

void StartTheService() {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    std::printf("OpenSCManager failed (%d)\n", LastError());
    return;
  }
  UniqueScHandle service(::OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
  if (!service) {
    std::printf("OpenService failed (%d)\n", LastError());
    return;
  }

  SERVICE_STATUS_PROCESS status{};
  if (!QueryStatus(service.get(), &status)) return;
  if (status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != SERVICE_STOP_PENDING) {
    std::printf("Cannot start the service because it is already running\n");
    return;
  }

  // Let a stop in progress finish first.
  CheckpointWatch stopping(status.dwCheckPoint, ::GetTickCount64());
  while (status.dwCurrentState == SERVICE_STOP_PENDING) {
    ::Sleep(PendingPollInterval(status.dwWaitHint));
    if (!QueryStatus(service.get(), &status)) return;
    if (status.dwCurrentState != SERVICE_STOP_PENDING) break;
    if (!stopping.Progressing(status.dwCheckPoint, status.dwWaitHint, ::GetTickCount64())) {
      std::printf("Timeout waiting for service to stop\n");
      return;
    }
  }

  if (!::StartServiceW(service.get(), 0, nullptr)) {
    std::printf("StartService failed (%d)\n", LastError());
    return;
  }
  std::printf("Service start pending...\n");
  if (!QueryStatus(service.get(), &status)) return;

  CheckpointWatch starting(status.dwCheckPoint, ::GetTickCount64());
  while (status.dwCurrentState == SERVICE_START_PENDING) {
    ::Sleep(PendingPollInterval(status.dwWaitHint));
    if (!QueryStatus(service.get(), &status)) break;
    if (status.dwCurrentState != SERVICE_START_PENDING) break;
    if (!starting.Progressing(status.dwCheckPoint, status.dwWaitHint, ::GetTickCount64())) break;
  }

  if (status.dwCurrentState == SERVICE_RUNNING) {
    std::printf("Service started successfully.\n");
  } else {
    std::printf("Service not started. \n");
    std::printf("  Current State: %d\n", static_cast<int>(status.dwCurrentState));
    std::printf("  Exit Code: %d\n", static_cast<int>(status.dwWin32ExitCode));
    std::printf("  Check Point: %d\n", static_cast<int>(status.dwCheckPoint));
    std::printf("  Wait Hint: %d\n", static_cast<int>(status.dwWaitHint));
  }
}

void StopTheService() {
  const ULONGLONG began = ::GetTickCount64();
  auto timedOut = [&] { return ::GetTickCount64() - began > kStopTimeoutMs; };

  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    std::printf("OpenSCManager failed (%d)\n", LastError());
    return;
  }
  UniqueScHandle service(
      ::OpenServiceW(manager.get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS));
  if (!service) {
    std::printf("OpenService failed (%d)\n", LastError());
    return;
  }

  SERVICE_STATUS_PROCESS status{};
  if (!QueryStatus(service.get(), &status)) return;
  if (status.dwCurrentState == SERVICE_STOPPED) {
    std::printf("Service is already stopped.\n");
    return;
  }
  while (status.dwCurrentState == SERVICE_STOP_PENDING) {
    std::printf("Service stop pending...\n");
    ::Sleep(PendingPollInterval(status.dwWaitHint));
    if (!QueryStatus(service.get(), &status)) return;
    if (status.dwCurrentState == SERVICE_STOPPED) {
      std::printf("Service stopped successfully.\n");
      return;
    }
    if (timedOut()) {
      std::printf("Service stop timed out.\n");
      return;
    }
  }

  StopDependentServices(manager.get(), service.get());

  if (!::ControlService(service.get(), SERVICE_CONTROL_STOP, reinterpret_cast<SERVICE_STATUS*>(&status))) {
    std::printf("ControlService failed (%d)\n", LastError());
    return;
  }
  while (status.dwCurrentState != SERVICE_STOPPED) {
    ::Sleep(StopPollInterval(status.dwWaitHint));
    if (!QueryStatus(service.get(), &status)) return;
    if (status.dwCurrentState == SERVICE_STOPPED) break;
    if (timedOut()) {
      std::printf("Wait timed out\n");
      return;
    }
  }
  std::printf("Service stopped successfully\n");
}

}  // namespace zu::service
