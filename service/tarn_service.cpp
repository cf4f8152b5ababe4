#include "service/tarn_service.h"

#include <wtsapi32.h>

#include <cstdio>

#include "base/win/utf.h"
#include "logging/zu_logger.h"
#include "service/service_identity.h"

namespace zu::service {
namespace {

DWORD WINAPI ControlHandler(DWORD control, DWORD eventType, void* /*eventData*/, void* /*context*/) {
  return TheService().OnControl(control, eventType);
}

// The logger makes only the last folder level; a fresh system may lack the
// base, and without it the service would log nothing at all.
void EnsureLogBase() { ::CreateDirectoryW(win::FromUtf8(kServiceLogBase).c_str(), nullptr); }

}  // namespace

TarnService::TarnService() : broker_(agents_) {}

TarnService::TarnService(std::wstring agentDirectory) : agents_(std::move(agentDirectory)), broker_(agents_) {}

void TarnService::Run() {
  {
    std::lock_guard lock(statusMutex_);
    statusHandle_ = ::RegisterServiceCtrlHandlerExW(kServiceName, &ControlHandler, nullptr);
  }
  if (!statusHandle_) {
    std::printf("RegisterServiceCtrlHandler() failed (%d)\n", static_cast<int>(::GetLastError()));
    std::fflush(stdout);
    return;
  }
  ReportStatus(SERVICE_START_PENDING, NextCheckpoint(), kStartWaitHint);

  stopEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  {
    std::lock_guard lock(statusMutex_);
    acceptedControls_ = kRunningControls;
  }
  if (stopEvent_) {
    ReportStatus(SERVICE_RUNNING, 0, 0);
    EnsureLogBase();
    broker_.AttachLogger(std::make_shared<ZuLogger>("TarnService", kServiceLogBase));
    broker_.StartAgent();
    ::WaitForSingleObject(stopEvent_.get(), INFINITE);
  }
  ReportStatus(SERVICE_STOPPED, 0, 0);
}

DWORD TarnService::OnControl(DWORD control, DWORD eventType) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      broker_.Shutdown();  // ends the agent and releases the logger
      ReportStatus(SERVICE_STOP_PENDING, NextCheckpoint(), 0);
      ReportStatus(SERVICE_STOP_PENDING, NextCheckpoint(), 0);
      // Signalled last: once the service main reports "stopped" the process
      // may end, and a status report still on its way from here would lose
      // the answer to this control (the caller sees 1053 and the service
      // manager keeps the service half-stopped).
      if (stopEvent_) ::SetEvent(stopEvent_.get());
      break;
    case SERVICE_CONTROL_SESSIONCHANGE:
      if (eventType == WTS_SESSION_LOGON)
        broker_.OnSessionLogon();
      else if (eventType == WTS_SESSION_LOGOFF)
        broker_.OnSessionLogoff();
      break;
    default:
      break;
  }
  return NO_ERROR;
}

DWORD TarnService::NextCheckpoint() {
  std::lock_guard lock(statusMutex_);
  return checkpoint_++;
}

void TarnService::ReportStatus(DWORD state, DWORD checkpoint, DWORD waitHint) {
  std::lock_guard lock(statusMutex_);
  // Once "stopped" is out, no later report may revive the service in the
  // service manager's eyes.
  if (stoppedReported_ || !statusHandle_) return;
  SERVICE_STATUS status{};
  status.dwServiceType = kServiceType;
  status.dwCurrentState = state;
  status.dwControlsAccepted = acceptedControls_;
  status.dwWin32ExitCode = NO_ERROR;
  status.dwServiceSpecificExitCode = 0;
  status.dwCheckPoint = checkpoint;
  status.dwWaitHint = waitHint;
  ::SetServiceStatus(statusHandle_, &status);
  if (state == SERVICE_STOPPED) stoppedReported_ = true;
}

TarnService& TheService() {
  static TarnService* const service = new TarnService();  // never destroyed, see the header
  return *service;
}

void WINAPI ServiceMain(DWORD /*argc*/, LPWSTR* /*argv*/) { TheService().Run(); }

}  // namespace zu::service
