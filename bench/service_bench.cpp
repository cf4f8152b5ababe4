// Service start to agent window, and agent death to the broker's new agent
// window, for an installed and stopped service "TarnService"; beside it the
// floor: the smallest service that starts a windowed program
// (floor_service.exe, installed from this program's folder as
// "ZuBenchFloorService" for the run and deleted afterwards). The two are
// started and stopped in turn, so both meet the same load. Leaves both
// services stopped.
//
//   service_bench [--starts N] [--deaths N]
//
// Lines starting with "@ ours" or "@ floor" carry the figures for
// bench/run-bench.sh's table.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/win/module_path.h"

namespace {

constexpr const wchar_t* kAgentWindowClass = L"ZuServiceEventListener";
constexpr const wchar_t* kFloorService = L"ZuBenchFloorService";
constexpr const wchar_t* kFloorWindowClass = L"ZuBenchFloorWindow";

double Elapsed(LARGE_INTEGER from) {
  LARGE_INTEGER now, frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The process id of the window's owner, 0 when there is none.
DWORD WindowProcess(const wchar_t* windowClass) {
  HWND window = ::FindWindowW(windowClass, nullptr);
  DWORD pid = 0;
  if (window) ::GetWindowThreadProcessId(window, &pid);
  return pid;
}

// Waits for a window of the class owned by a process other than `previous`.
DWORD WaitForWindow(const wchar_t* windowClass, DWORD previous, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (::GetTickCount64() < deadline) {
    const DWORD pid = WindowProcess(windowClass);
    if (pid != 0 && pid != previous) return pid;
    ::Sleep(1);
  }
  return 0;
}

bool WaitForState(SC_HANDLE service, DWORD state, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  SERVICE_STATUS status{};
  while (::QueryServiceStatus(service, &status)) {
    if (status.dwCurrentState == state) return true;
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(5);
  }
  return false;
}

// Stops the service and waits until it has stopped and its window is gone.
bool StopAndWait(SC_HANDLE service, const wchar_t* windowClass) {
  SERVICE_STATUS status{};
  ::ControlService(service, SERVICE_CONTROL_STOP, &status);
  if (!WaitForState(service, SERVICE_STOPPED, 15000)) return false;
  const ULONGLONG deadline = ::GetTickCount64() + 10000;
  while (WindowProcess(windowClass) != 0) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(5);
  }
  return true;
}

// StartService to the first window of the class; -1 when none came.
double TimeStart(SC_HANDLE service, const wchar_t* windowClass, DWORD* windowOwner) {
  LARGE_INTEGER t0;
  ::QueryPerformanceCounter(&t0);
  if (!::StartServiceW(service, 0, nullptr)) {
    std::printf("service bench: StartService failed (error %lu)\n", ::GetLastError());
    return -1;
  }
  *windowOwner = WaitForWindow(windowClass, 0, 20000);
  return *windowOwner ? Elapsed(t0) * 1e3 : -1;
}

SC_HANDLE InstallFloor(SC_HANDLE manager) {
  if (SC_HANDLE old = ::OpenServiceW(manager, kFloorService, SERVICE_STOP | DELETE | SERVICE_QUERY_STATUS)) {
    StopAndWait(old, kFloorWindowClass);
    ::DeleteService(old);
    ::CloseServiceHandle(old);
  }
  const std::wstring path = L"\"" + zu::win::ModuleDirectory() + L"\\floor_service.exe\"";
  SC_HANDLE service = ::CreateServiceW(manager, kFloorService, kFloorService,
                                       SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  if (!service) std::printf("service bench: the floor service could not be installed (error %lu)\n", ::GetLastError());
  return service;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int starts = 5, deaths = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--starts") == 0) starts = std::max(1, std::atoi(argv[i + 1]));
    else if (std::strcmp(argv[i], "--deaths") == 0) deaths = std::max(0, std::atoi(argv[i + 1]));
  }

  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
  SC_HANDLE service =
      manager ? ::OpenServiceW(manager, L"TarnService", SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS) : nullptr;
  if (!service) {
    std::printf("service bench: TarnService is not installed (error %lu)\n", ::GetLastError());
    return 1;
  }
  // An automatic service starts with the session: begin from stopped.
  if (!StopAndWait(service, kAgentWindowClass)) {
    std::printf("service bench: the service did not stop, or an agent is still running\n");
    return 1;
  }
  SC_HANDLE floor = InstallFloor(manager);
  if (!floor) return 1;

  int result = 0;
  std::vector<double> ours, floors;
  for (int i = 0; i < starts && result == 0; ++i) {
    DWORD owner = 0;
    const double oursMs = TimeStart(service, kAgentWindowClass, &owner);
    if (oursMs < 0 || !StopAndWait(service, kAgentWindowClass)) {
      std::printf("service start to agent window: no window within 20 s, or the service did not stop\n");
      result = 1;
      break;
    }
    const double floorMs = TimeStart(floor, kFloorWindowClass, &owner);
    if (floorMs < 0 || !StopAndWait(floor, kFloorWindowClass)) {
      std::printf("floor service start to window: no window within 20 s, or the service did not stop\n");
      result = 1;
      break;
    }
    ours.push_back(oursMs);
    floors.push_back(floorMs);
  }
  if (!ours.empty()) {
    std::printf("ours: service start to agent window: median %.0f ms (%.0f-%.0f ms) over %zu starts\n", Median(ours),
                *std::min_element(ours.begin(), ours.end()), *std::max_element(ours.begin(), ours.end()),
                ours.size());
    std::printf("floor: smallest service start to its program's window: median %.0f ms (%.0f-%.0f ms) over %zu"
                " starts\n",
                Median(floors), *std::min_element(floors.begin(), floors.end()),
                *std::max_element(floors.begin(), floors.end()), floors.size());
    std::printf("@ ours service_start_ms %.1f\n@ floor service_start_ms %.1f\n", Median(ours), Median(floors));
  }

  // The broker's restarts, with the service running.
  DWORD agent = 0;
  if (result == 0 && deaths > 0 && TimeStart(service, kAgentWindowClass, &agent) < 0) result = 1;
  std::vector<double> restarts;
  for (int i = 0; i < deaths && agent != 0; ++i) {
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, agent);
    if (!process) break;
    LARGE_INTEGER death;
    ::TerminateProcess(process, 1);
    ::WaitForSingleObject(process, 5000);
    ::QueryPerformanceCounter(&death);
    ::CloseHandle(process);
    agent = WaitForWindow(kAgentWindowClass, agent, 20000);
    if (agent == 0) {
      std::printf("agent death to new agent window: no new agent within 20 s\n");
      result = 1;
      break;
    }
    restarts.push_back(Elapsed(death) * 1e3);
  }
  if (!restarts.empty()) {
    std::printf("ours: agent death to new agent window: median %.0f ms (%.0f-%.0f ms) over %zu deaths"
                " (3000 ms of it is the broker's deliberate delay)\n",
                Median(restarts), *std::min_element(restarts.begin(), restarts.end()),
                *std::max_element(restarts.begin(), restarts.end()), restarts.size());
    std::printf("@ ours restart_ms %.1f\n", Median(restarts));
  }
  StopAndWait(service, kAgentWindowClass);

  ::DeleteService(floor);
  ::CloseServiceHandle(floor);
  ::CloseServiceHandle(service);
  ::CloseServiceHandle(manager);
  return result;
}
