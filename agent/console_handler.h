// The agent's console control handler: Ctrl+C and closing the console end
// the agent; other control events are passed on.
#pragma once

#include <windows.h>

namespace zu {

BOOL WINAPI AgentConsoleControlHandler(DWORD controlType);

// Installs the handler once; later calls do nothing.
void InstallConsoleControlHandler();

}  // namespace zu
