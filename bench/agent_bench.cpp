// The agent's costs, printed as figures:
//   - dispatch: one firmware message through the real window procedure to
//     four loaded services (the signed recording plug-in, quiet), with the
//     window procedure's debug line filtered out at the information level;
//   - log line: one information line written and flushed by the logger;
//   - idle CPU and private memory of the real zueventapp.exe with the four
//     services loaded and left UNKNOWN, beside the smallest windowed program
//     (floor_window.exe) measured the same way at the same time, with the
//     private memory of both broken down by module;
//   - the same for the real agent with meetlamp.dll and Veilpane.dll in
//     service and the real pop-up library (notebook chassis, simulated
//     device with both features).
// Lines starting with "@ ours" or "@ floor" carry the figures for
// bench/run-bench.sh's table.
//
//   agent_bench [--idle-seconds N] [--messages N]
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "agent/agent_state.h"
#include "agent/event_listener.h"
#include "agent/event_table.h"
#include "agent/plugin_loader.h"
#include "agent/tests/plugin_folder.h"
#include "base/win/module_path.h"
#include "base/win/unique_handle.h"
#include "bench/process_memory.h"
#include "logging/zu_logger.h"
#include "testing/win/temp_dir.h"
#include "tools/simlaptop/agent_run.h"

namespace {

using zu::testing::PluginFolder;
using zu::testing::PluginVariant;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return t;
}

// The four services of the load list, each a copy of the recording plug-in.
void AddFourServices(PluginFolder& folder, const std::string& behaviour) {
  for (const wchar_t* name : zu::kPluginLoadList) {
    folder.Add(PluginVariant::kGood, name);
    std::wstring stem(name);
    folder.SetBehaviour(stem.substr(0, stem.size() - 4), behaviour);
  }
}

uint64_t CpuTime100ns(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  auto value = [](FILETIME f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  return value(kernel) + value(user);
}

// The process clock under Wine counts whole ticks of 10 ms.
constexpr uint64_t kTick100ns = 100000;

// A process the benchmark watches while it idles.
struct Watched {
  Watched(const char* w, const char* description, const char* keySuffix, std::wstring path)
      : who(w), what(description), key(keySuffix), program(std::move(path)) {}
  const char* who;  // "ours" or "floor"
  const char* what;
  const char* key;  // suffix of its figures' keys ("" or "_inservice")
  std::wstring program;
  HANDLE process = nullptr;
  bool breakdown = true;
  zu::bench::MemoryFigures memory;
  std::vector<zu::bench::MemoryShare> shares;
  uint64_t cpuBefore = 0;
  long long kernelTicksBefore = -1;
};

void TakeMemory(Watched& w) {
  w.memory = zu::bench::MemoryOf(w.process);
  if (w.breakdown) w.shares = zu::bench::PrivateMemoryByModule(w.process, w.program);
  w.cpuBefore = CpuTime100ns(w.process);
  w.kernelTicksBefore = zu::bench::LinuxCpuTicks(w.program);
}

// Leaves the processes idle for `seconds`, then prints each one's memory
// (taken before) and the CPU it used meanwhile.
void IdleAndReport(std::vector<Watched*> watched, int seconds) {
  const LARGE_INTEGER t0 = Now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double wall = Seconds(t0, Now());
  for (Watched* w : watched) {
    const uint64_t reported = CpuTime100ns(w->process) - w->cpuBefore;
    const long long kernelAfter = zu::bench::LinuxCpuTicks(w->program);
    // The kernel's own count where it can be read, else Wine's.
    const bool kernel = w->kernelTicksBefore >= 0 && kernelAfter >= w->kernelTicksBefore;
    const uint64_t ticks = kernel ? static_cast<uint64_t>(kernelAfter - w->kernelTicksBefore)
                                  : (reported + kTick100ns / 2) / kTick100ns;
    const uint64_t used = kernel ? ticks * kTick100ns : reported;
    std::printf("%s: %s idle over %.1f s: %llu ticks (%.1f ms) of CPU = %.3f %% of one core (%s; GetProcessTimes: %.1f ms)\n",
                w->who, w->what, wall, static_cast<unsigned long long>(ticks), used / 1e4, 100.0 * (used / 1e7) / wall,
                kernel ? "the Linux kernel's count" : "Wine's count", reported / 1e4);
    std::printf("@ %s idle%s_ticks %llu\n", w->who, w->key, static_cast<unsigned long long>(ticks));
    if (!w->memory.ok) {
      std::printf("%s: %s memory: not available (error %lu)\n", w->who, w->what, ::GetLastError());
      continue;
    }
    std::printf("%s: %s private memory after start %.1f MiB, working set %.1f MiB\n", w->who, w->what,
                w->memory.privateMiB, w->memory.workingSetMiB);
    if (w->breakdown)
      std::printf("  resident private memory by module: %s\n", zu::bench::DescribeShares(w->shares).c_str());
    std::printf("@ %s memory%s_mib %.2f\n@ %s workingset%s_mib %.2f\n", w->who, w->key, w->memory.privateMiB, w->who,
                w->key, w->memory.workingSetMiB);
  }
}

HANDLE Launch(const std::wstring& program, const std::wstring& folder) {
  std::wstring commandLine = L"\"" + program + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        folder.c_str(), &startup, &info)) {
    std::printf("could not start %ls (error %lu)\n", program.c_str(), ::GetLastError());
    return nullptr;
  }
  ::CloseHandle(info.hThread);
  return info.hProcess;
}

HWND WindowOf(const wchar_t* windowClass, DWORD processId) {
  for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, windowClass, nullptr));) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (owner == processId) return w;
  }
  return nullptr;
}

// The process of the agent window whose program is `program`, or null.
HANDLE AgentProcessOf(const std::wstring& program) {
  for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, zu::kListenerWindowClass, nullptr));) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, owner);
    if (!process) continue;
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (::QueryFullProcessImageNameW(process, 0, image, &size) && _wcsicmp(image, program.c_str()) == 0) return process;
    ::CloseHandle(process);
  }
  return nullptr;
}

// The real agent with four services that stay UNKNOWN, beside the floor: the
// smallest windowed program. Both are measured the same way at the same time.
bool MeasureIdleAgent(int idleSeconds) {
  PluginFolder folder;
  folder.AddAgent();
  AddFourServices(folder, "stay-unknown quiet");
  Watched agent{"ours", "agent, four services UNKNOWN,", "", (folder.path() / L"zueventapp.exe").wstring()};
  Watched floor{"floor", "smallest windowed program,", "", zu::win::ModuleDirectory() + L"\\floor_window.exe"};
  zu::win::UniqueHandle agentProcess(Launch(agent.program, folder.path().wstring()));
  zu::win::UniqueHandle floorProcess(Launch(floor.program, zu::win::ModuleDirectory()));
  if (!agentProcess || !floorProcess) return false;
  agent.process = agentProcess.get();
  floor.process = floorProcess.get();

  // Up when all four libraries are attached and both windows exist.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  bool up = false;
  while (!up && std::chrono::steady_clock::now() < deadline) {
    size_t attached = 0;
    for (const auto& line : folder.Trace())
      if (line.find(" Init") != std::string::npos) ++attached;
    up = attached >= 4 && WindowOf(zu::kListenerWindowClass, ::GetProcessId(agent.process)) &&
         WindowOf(L"ZuBenchFloorWindow", ::GetProcessId(floor.process));
    if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!up) {
    std::printf("idle agent: the four services or the floor's window were not up within 30 s\n");
    ::TerminateProcess(agent.process, 1);
    ::TerminateProcess(floor.process, 1);
    return false;
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));  // start-up work settles
  TakeMemory(agent);
  TakeMemory(floor);
  IdleAndReport({&agent, &floor}, idleSeconds);
  ::TerminateProcess(agent.process, 0);
  ::TerminateProcess(floor.process, 0);
  ::WaitForSingleObject(agent.process, 5000);
  ::WaitForSingleObject(floor.process, 5000);
  return true;
}

// The real agent with meetlamp.dll and Veilpane.dll in service and the real
// pop-up library: needs a notebook chassis and the simulated device with the
// LED and the panel (bench/run-bench.sh).
bool MeasureAgentInService(int idleSeconds) {
  zu::simagent::AgentRun run({L"meetlamp.dll", L"Veilpane.dll"}, zu::simagent::PopupLibrary::kReal);
  if (!run.Start()) {
    std::printf("agent in service: %s\n", run.error().c_str());
    return false;
  }
  for (const char* line : {"MeetLampService: state change INIT -> IN_SERVICE", "Veilpane: state change INIT -> IN_SERVICE"}) {
    if (!run.WaitForLog(line)) {
      std::printf("agent in service: \"%s\" was not logged within 15 s (no notebook chassis or no device?)\n", line);
      return false;
    }
  }
  const std::wstring program = (run.folder() / L"zueventapp.exe").wstring();
  zu::win::UniqueHandle process(AgentProcessOf(program));
  if (!process) {
    std::printf("agent in service: the agent's process was not found\n");
    return false;
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));  // the pop-up threads enter the library
  Watched agent{"ours", "agent, meetlamp and Veilpane in service,", "_inservice", program};
  agent.process = process.get();
  TakeMemory(agent);
  IdleAndReport({&agent}, idleSeconds);
  run.Stop();
  return true;
}

// The machine is shared: a figure per operation is the median of a few
// rounds, so one round under a passing load does not decide it.
constexpr int kRounds = 7;

template <class F>
double MedianRound(int count, F&& run) {
  std::vector<double> perOperation;
  for (int r = 0; r < kRounds; ++r) {
    const LARGE_INTEGER t0 = Now();
    run(count);
    perOperation.push_back(Seconds(t0, Now()) / count);
  }
  std::sort(perOperation.begin(), perOperation.end());
  return perOperation[perOperation.size() / 2];
}

bool MeasureDispatch(int messages) {
  zu::testing::TempDir logFolder;
  // Information level unless the machine setting "debug" is 1: the window
  // procedure's debug line is formatted and filtered, as in the field.
  auto* logger = new zu::ZuLogger("TarnService", logFolder.str());
  if (logger->debug()) std::printf("dispatch: note: the machine setting \"debug\" is on, debug lines are written\n");

  PluginFolder folder;
  AddFourServices(folder, "quiet");
  zu::PluginLoader loader(folder.directory(), *logger, zu::Agent().services);
  loader.LoadAll();
  if (zu::Agent().services.size() != 4) {
    std::printf("dispatch: %zu of 4 services loaded\n", zu::Agent().services.size());
    return false;
  }
  zu::ZuEventListener& listener = zu::ZuEventListener::Instance();
  listener.SetDebugLines(logger->debug());  // as the agent does
  if (listener.Initialize(logger) != 0 || !listener.window()) {
    std::printf("dispatch: the listener window could not be created\n");
    return false;
  }
  const HWND window = listener.window();
  const UINT firmware = zu::FirmwareMessage();
  for (int i = 0; i < 1000; ++i) ::SendMessageW(window, firmware, 0x62, 0);  // warm-up

  const double perMessage =
      MedianRound(messages, [&](int n) { for (int i = 0; i < n; ++i) ::SendMessageW(window, firmware, 0x62, 0); });
  std::printf("ours: dispatch per message to four services: %.2f us (median of %d rounds of %d messages)\n",
              perMessage * 1e6, kRounds, messages);
  std::printf("@ ours dispatch_us %.3f\n", perMessage * 1e6);
  // Where it goes: the window procedure's parts, each timed alone.
  const bool debugLines = listener.debugLines();
  const double debugLine = !debugLines ? 0.0 : MedianRound(messages, [&](int n) {
    for (int i = 0; i < n; ++i) logger->Log(zu::kLogDebug, "ZuEventApp", zu::WndProcLine(firmware, 0x62, 0x62));
  });
  const double services = MedianRound(messages, [&](int n) {
    for (int i = 0; i < n; ++i) zu::Agent().services.Dispatch([](zu::ServiceEntry& e) { e.service->onEvent(0x62); });
  });
  const double defaults = MedianRound(messages, [&](int n) {
    for (int i = 0; i < n; ++i) ::DefWindowProcW(window, firmware, 0x62, 0);
  });
  std::printf("  where it goes: debug line %.2f us (%s), the four services' onEvent through the service list %.2f us,"
              " default window procedure %.2f us, the rest (delivery, translation) %.2f us\n",
              debugLine * 1e6, debugLines ? "formatted and written" : "not formatted: \"debug\" is off",
              services * 1e6, defaults * 1e6, (perMessage - debugLine - services - defaults) * 1e6);

  // The logger flushes every line; this is the cost of one, for the line
  // the floor appends ("... [info] Bench: log line cost 1234").
  const int lines = messages / 4;
  const std::string message = "log line cost 1234";
  const double perLine =
      MedianRound(lines, [&](int n) { for (int i = 0; i < n; ++i) logger->Log(zu::kLogInfo, "Bench", message); });
  std::printf("ours: log line written and flushed: %.2f us (median of %d rounds of %d lines)\n", perLine * 1e6,
              kRounds, lines);
  std::printf("@ ours logline_us %.3f\n", perLine * 1e6);
  ::DestroyWindow(window);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int idleSeconds = 10;
  int messages = 20000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--idle-seconds") == 0) idleSeconds = std::atoi(argv[i + 1]);
    else if (std::strcmp(argv[i], "--messages") == 0) messages = std::atoi(argv[i + 1]);
  }
  if (::FindWindowW(zu::kListenerWindowClass, nullptr)) {
    std::printf("agent bench: another agent is running in this prefix; stop it first\n");
    return 1;
  }
  // The idle agent first: the bench's own listener window has the same class.
  const bool idle = MeasureIdleAgent(idleSeconds > 0 ? idleSeconds : 10);
  const bool inService = MeasureAgentInService(idleSeconds > 0 ? idleSeconds : 10);
  const bool dispatch = MeasureDispatch(messages > 0 ? messages : 20000);
  std::fflush(stdout);
  // Loaded plug-in libraries stay; end without running their detach order.
  ::ExitProcess(idle && inService && dispatch ? 0 : 1);
}
