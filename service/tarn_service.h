// The Windows service TarnService: its service main, control handler and
// status reports, around the agent broker.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>

#include "base/win/unique_handle.h"
#include "service/agent_broker.h"
#include "service/agent_process.h"

namespace zu::service {

// Where the service's log folder "TarnService" is made.
inline constexpr const char* kServiceLogBase = "C:\\Windows\\Log";

class TarnService {
 public:
  static constexpr DWORD kStartWaitHint = 3000;
  // Controls accepted while the start is pending, and from then on.
  static constexpr DWORD kStartingControls = SERVICE_ACCEPT_SESSIONCHANGE;
  static constexpr DWORD kRunningControls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SESSIONCHANGE;

  TarnService();
  // The agent program in another directory (ends with a backslash).
  explicit TarnService(std::wstring agentDirectory);
  TarnService(const TarnService&) = delete;
  TarnService& operator=(const TarnService&) = delete;

  // The body of the service main: report, start the agent, wait for stop.
  void Run();
  // What the control handler does with a control; always NO_ERROR.
  DWORD OnControl(DWORD control, DWORD eventType);

  AgentBroker& broker() { return broker_; }

 private:
  void ReportStatus(DWORD state, DWORD checkpoint, DWORD waitHint);
  DWORD NextCheckpoint();

  WinAgentSystem agents_;
  AgentBroker broker_;

  std::mutex statusMutex_;  // reports come from the main and the dispatcher thread
  SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
  DWORD acceptedControls_ = kStartingControls;
  DWORD checkpoint_ = 1;
  bool stoppedReported_ = false;
  win::UniqueHandle stopEvent_;
};

// The service of this process; it lives until the process ends, since the
// thread pool may still hold exit notifications that point at its broker.
TarnService& TheService();

// The entry handed to StartServiceCtrlDispatcherW.
void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);

}  // namespace zu::service
