// The agent's worker thread: loads the plug-ins, then supervises them.
#pragma once

#include <windows.h>

#include <string>

#include "agent/service_list.h"
#include "agent/stop_signal.h"

namespace zu {

class ILogger;

// Loads kPluginLoadList from `pluginDirectory` into `services`, then runs
// the supervision with real sleeps until `stop` is requested. Returns
// the thread result (0 after a teardown, 0xFFFFFFFF when nothing loaded).
DWORD RunSupervisor(const std::wstring& pluginDirectory, ILogger* logger, ServiceList& services,
                    const StopSignal& stop);

// Thread entry of the agent: RunSupervisor on the agent's own directory and
// process-wide state, after making sure the console handler is installed.
DWORD WINAPI SupervisorThreadMain(LPVOID);

}  // namespace zu
