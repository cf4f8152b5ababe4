// Service start to agent window, and agent death to the broker's new agent
// window, for an installed and stopped service "TarnService". Stops the
// service at the end.
//
//   service_bench [--deaths N]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr const wchar_t* kWindowClass = L"ZuServiceEventListener";

double Elapsed(LARGE_INTEGER from) {
  LARGE_INTEGER now, frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The process id of the agent window's owner, 0 when there is none.
DWORD AgentProcess() {
  HWND window = ::FindWindowW(kWindowClass, nullptr);
  DWORD pid = 0;
  if (window) ::GetWindowThreadProcessId(window, &pid);
  return pid;
}

// Waits for an agent window owned by a process other than `previous`.
DWORD WaitForAgent(DWORD previous, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (::GetTickCount64() < deadline) {
    const DWORD pid = AgentProcess();
    if (pid != 0 && pid != previous) return pid;
    ::Sleep(1);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int deaths = 3;
  if (argc == 3 && std::strcmp(argv[1], "--deaths") == 0) deaths = std::max(1, std::atoi(argv[2]));

  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? ::OpenServiceW(manager, L"TarnService", SERVICE_START | SERVICE_STOP) : nullptr;
  if (!service) {
    std::printf("service bench: TarnService is not installed (error %lu)\n", ::GetLastError());
    return 1;
  }
  if (AgentProcess() != 0) {
    std::printf("service bench: an agent is already running; stop the service first\n");
    return 1;
  }

  int result = 0;
  LARGE_INTEGER t0;
  ::QueryPerformanceCounter(&t0);
  if (!::StartServiceW(service, 0, nullptr)) {
    std::printf("service bench: StartService failed (error %lu)\n", ::GetLastError());
    return 1;
  }
  DWORD agent = WaitForAgent(0, 20000);
  if (agent == 0) {
    std::printf("service start to agent window: no window within 20 s\n");
    result = 1;
  } else {
    std::printf("service start to agent window: %.0f ms\n", Elapsed(t0) * 1e3);
  }

  std::vector<double> restarts;
  for (int i = 0; i < deaths && agent != 0; ++i) {
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, agent);
    if (!process) break;
    LARGE_INTEGER death;
    ::TerminateProcess(process, 1);
    ::WaitForSingleObject(process, 5000);
    ::QueryPerformanceCounter(&death);
    ::CloseHandle(process);
    agent = WaitForAgent(agent, 20000);
    if (agent == 0) {
      std::printf("agent death to new agent window: no new agent within 20 s\n");
      result = 1;
      break;
    }
    restarts.push_back(Elapsed(death) * 1e3);
  }
  if (!restarts.empty()) {
    std::sort(restarts.begin(), restarts.end());
    std::printf("agent death to new agent window: median %.0f ms, min %.0f ms, max %.0f ms over %zu deaths"
                " (3000 ms of it is the broker's deliberate delay)\n",
                restarts[restarts.size() / 2], restarts.front(), restarts.back(), restarts.size());
  }

  SERVICE_STATUS status;
  ::ControlService(service, SERVICE_CONTROL_STOP, &status);
  ::CloseServiceHandle(service);
  ::CloseServiceHandle(manager);
  return result;
}
