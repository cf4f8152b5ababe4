// Hot-key message to pop-up frame presented: the firmware's FN_2 message
// goes through the agent's real window procedure to Veilpane.dll, which
// switches the simulated panel and asks the real glimmer.dll for its pop-up;
// the time is taken when glimmer hands its first frame for that press to
// UpdateLayeredWindow (watched at glimmer's imports). Needs a notebook
// chassis and a panel-capable simulated ACPI device (bench/run-bench.sh).
//
//   hotkey_bench [--presses N]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "agent/agent_state.h"
#include "agent/event_listener.h"
#include "agent/plugin_loader.h"
#include "base/win/module_path.h"
#include "libs/glimmer/tests/win/popup_probe.h"
#include "logging/zu_logger.h"
#include "testing/win/temp_dir.h"

namespace {

// Waits until no frame has come for `quietMs` (the pop-up's animation for
// the last press is over), so the next press's first frame is its own.
void WaitForQuiet(const glimmer::testing::PopupProbe& probe, int quietMs) {
  size_t seen = probe.Frames().size();
  for (int i = 0; i < 500; ++i) {
    ::Sleep(quietMs);
    const size_t now = probe.Frames().size();
    if (now == seen) return;
    seen = now;
  }
}

// Waits for the first frame after the last Reset, pumping this thread's
// messages meanwhile (the listener window lives on this thread).
bool WaitForFrame(const glimmer::testing::PopupProbe& probe, int timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (::GetTickCount64() < deadline) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    if (probe.WaitForFrames(1, 1)) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  int presses = 200;
  if (argc == 3 && std::strcmp(argv[1], "--presses") == 0) presses = std::max(1, std::atoi(argv[2]));

  // The probe watches the loaded glimmer.dll, the one Veilpane's host gets.
  if (!::LoadLibraryW(L"glimmer.dll")) {
    std::printf("hot-key to pop-up: glimmer.dll not found\n");
    return 1;
  }
  glimmer::testing::PopupProbe probe;
  zu::testing::TempDir logFolder;
  auto* logger = new zu::ZuLogger("TarnService", logFolder.str());

  zu::PluginLoader loader(zu::win::ModuleDirectory() + L"\\", *logger, zu::Agent().services);
  if (!loader.LoadPlugin(L"Veilpane.dll") || zu::Agent().services.empty()) {
    std::printf("hot-key to pop-up: Veilpane.dll could not be loaded\n");
    return 1;
  }
  zu::IPlatformService* veilpane = nullptr;
  zu::Agent().services.ForEach([&](zu::ServiceEntry& e) { veilpane = e.service; });
  if (!veilpane->Init(logger) || !veilpane->Run() || veilpane->GetState() != zu::IN_SERVICE) {
    std::printf("hot-key to pop-up: Veilpane is not in service (no notebook chassis or no panel?)\n");
    return 1;
  }
  zu::ZuEventListener& listener = zu::ZuEventListener::Instance();
  if (listener.Initialize(logger) != 0) {
    std::printf("hot-key to pop-up: no listener window\n");
    return 1;
  }
  const HWND window = listener.window();
  const UINT firmware = zu::FirmwareMessage();

  // The pop-up thread enters the library some time after Init: press until
  // a first frame comes.
  bool ready = false;
  for (int i = 0; i < 50 && !ready; ++i) {
    probe.Reset();
    ::SendMessageW(window, firmware, 0x62, 0);
    ready = WaitForFrame(probe, 200);
  }
  if (!ready) {
    std::printf("hot-key to pop-up: no frame was ever presented; the log (%s):\n", logger->filePath().c_str());
    std::fflush(stdout);
    if (FILE* f = std::fopen(logger->filePath().c_str(), "r")) {
      char line[512];
      while (std::fgets(line, sizeof line, f)) std::fputs(line, stdout);
      std::fclose(f);
    }
    return 1;
  }

  std::vector<double> latencies;
  for (int i = 0; i < presses; ++i) {
    WaitForQuiet(probe, 30);
    probe.Reset();
    ::SendMessageW(window, firmware, 0x62, 0);
    if (!WaitForFrame(probe, 5000)) {
      std::printf("hot-key to pop-up: press %d presented no frame within 5 s\n", i + 1);
      return 1;
    }
    latencies.push_back(probe.Frames().front().ms);
  }
  std::sort(latencies.begin(), latencies.end());
  const size_t p99 = std::min(latencies.size() - 1, (latencies.size() * 99 + 99) / 100 - 1);
  std::printf("hot-key message to pop-up frame presented: median %.2f ms, 99th percentile %.2f ms, max %.2f ms"
              " over %zu presses\n",
              latencies[latencies.size() / 2], latencies[p99], latencies.back(), latencies.size());
  std::fflush(stdout);
  ::ExitProcess(0);  // the pop-up thread and the library stay to the end
}
