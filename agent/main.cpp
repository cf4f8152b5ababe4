// zueventapp: the event agent of the user's session.
#include <windows.h>

#include <cstdio>
#include <string>

#include "agent/agent_state.h"
#include "agent/app_data.h"
#include "agent/console_handler.h"
#include "agent/event_listener.h"
#include "agent/supervisor_thread.h"
#include "base/text.h"
#include "base/win/utf.h"
#include "logging/zu_logger.h"

int main() {
  using namespace zu;
  AgentState& agent = Agent();

  const std::wstring dataFolder = GetAppDataPath(L"Orvale");
  // Owned by the process for its whole life; plug-ins log through it.
  auto* logger = new ZuLogger("TarnService", win::ToUtf8(dataFolder));
  agent.logger = logger;

  InstallConsoleControlHandler();

  // Plug-in loading runs from here on, alongside the window's set-up.
  HANDLE thread = ::CreateThread(nullptr, 0, SupervisorThreadMain, nullptr, 0, nullptr);
  if (thread)
    agent.supervisorThread = thread;
  else
    logger->LogAndReport(kLogError, "ZuEventApp",
                         "CreateThread failed for the supervisor, GetLastError = " + Dec(::GetLastError()));

  ZuEventListener& listener = ZuEventListener::Instance();
  listener.SetDebugLines(logger->debug());
  listener.Initialize(logger);
  if (listener.window()) {
    MSG message;
    // GetMessageW returns -1 on failure; stop then too rather than spin.
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  // The supervisor thread may still be running plug-in code: end the process
  // without running static destructors under it. Log lines are on disk
  // already (every one is flushed).
  std::fflush(stdout);
  ::ExitProcess(0);
}
