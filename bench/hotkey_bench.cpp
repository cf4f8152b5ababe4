// Hot-key message to pop-up frame presented: the firmware's FN_2 message
// goes through the agent's real window procedure to Veilpane.dll, which
// switches the simulated panel and asks the real glimmer.dll for its pop-up;
// the time is taken when UpdateLayeredWindow returns from glimmer's first
// frame for that press (watched at glimmer's imports). Needs a notebook
// chassis and a panel-capable simulated ACPI device (bench/run-bench.sh).
//
// Where the time goes is printed as well: marks taken at Veilpane's and
// glimmer's imports split every press into the mode written to the user's
// key, the panel set through the device, the request handed to the pop-up's
// thread, its arrival there, the frame drawn and the frame presented.
//
//   hotkey_bench [--presses N]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "agent/agent_state.h"
#include "agent/event_listener.h"
#include "agent/plugin_loader.h"
#include "base/win/module_path.h"
#include "libs/glimmer/tests/win/popup_probe.h"
#include "logging/zu_logger.h"
#include "testing/win/iat_hook.h"
#include "testing/win/temp_dir.h"

namespace {

// The steps of one press, in order; each mark is the first time its import
// was reached after the press.
enum Mark { kModeWritten, kPanelSet, kRequestSent, kRequestReceived, kFrameDrawn, kFramePresented, kMarkCount };
constexpr const char* kStepNames[kMarkCount] = {
    "mode written to the user's key", "panel set through the device", "request handed to the pop-up's thread",
    "request received on that thread", "frame drawn", "frame presented (UpdateLayeredWindow)"};

LARGE_INTEGER g_frequency;
std::atomic<int64_t> g_press{0};
std::atomic<int64_t> g_marks[kMarkCount];

int64_t Ticks() {
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return t.QuadPart;
}
double Ms(int64_t ticks) { return static_cast<double>(ticks) * 1e3 / static_cast<double>(g_frequency.QuadPart); }

void Arm() {
  for (auto& m : g_marks) m.store(0);
  g_press.store(Ticks());
}
void Reach(Mark mark) {
  int64_t none = 0;
  g_marks[mark].compare_exchange_strong(none, Ticks());
}

decltype(&::RegSetValueExW) g_regSetValue;
decltype(&::DeviceIoControl) g_deviceIoControl;
decltype(&::SendMessageTimeoutW) g_sendMessageTimeout;
decltype(&::KillTimer) g_killTimer;
decltype(&::UpdateLayeredWindow) g_updateLayeredWindow;

LSTATUS WINAPI MarkRegSetValue(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
  const LSTATUS result = g_regSetValue(key, name, reserved, type, data, size);
  Reach(kModeWritten);
  return result;
}
BOOL WINAPI MarkDeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                                DWORD* returned, OVERLAPPED* overlapped) {
  const BOOL result = g_deviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
  Reach(kPanelSet);
  return result;
}
LRESULT WINAPI MarkSendMessageTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                      UINT timeout, PDWORD_PTR result) {
  Reach(kRequestSent);
  return g_sendMessageTimeout(window, message, wParam, lParam, flags, timeout, result);
}
// The pop-up's thread stops the last request's timers first.
BOOL WINAPI MarkKillTimer(HWND window, UINT_PTR id) {
  Reach(kRequestReceived);
  return g_killTimer(window, id);
}
BOOL WINAPI MarkUpdateLayeredWindow(HWND hwnd, HDC dst, POINT* position, SIZE* size, HDC src, POINT* srcPos,
                                    COLORREF key, BLENDFUNCTION* blend, DWORD flags) {
  Reach(kFrameDrawn);
  const BOOL result = g_updateLayeredWindow(hwnd, dst, position, size, src, srcPos, key, blend, flags);
  Reach(kFramePresented);
  return result;
}

template <class Fn>
std::unique_ptr<zu::testing::IatHook> Hook(const wchar_t* module, const char* dll, const char* name, Fn replacement,
                                           Fn& original) {
  auto hook = std::make_unique<zu::testing::IatHook>(::GetModuleHandleW(module), dll, name,
                                                     reinterpret_cast<void*>(replacement));
  if (hook->installed()) original = hook->original<Fn>();
  else std::printf("hot-key to pop-up: %ls imports no %s; its step is not marked\n", module, name);
  return hook;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

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

// Waits for a mark of the current press (the pop-up's thread sets it).
bool WaitForMark(Mark mark, int timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (!g_marks[mark].load()) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(1);
  }
  return true;
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
  probe.CopyPixels(false);  // a copy of every frame would be timed too
  ::QueryPerformanceFrequency(&g_frequency);
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
  listener.SetDebugLines(logger->debug());  // as the agent does
  if (listener.Initialize(logger) != 0) {
    std::printf("hot-key to pop-up: no listener window\n");
    return 1;
  }
  const HWND window = listener.window();
  const UINT firmware = zu::FirmwareMessage();

  // Chained over the probe's own hooks (installed first).
  std::vector<std::unique_ptr<zu::testing::IatHook>> marks;
  marks.push_back(Hook(L"Veilpane.dll", "ADVAPI32.dll", "RegSetValueExW", &MarkRegSetValue, g_regSetValue));
  marks.push_back(Hook(L"Veilpane.dll", "KERNEL32.dll", "DeviceIoControl", &MarkDeviceIoControl, g_deviceIoControl));
  marks.push_back(
      Hook(L"glimmer.dll", "USER32.dll", "SendMessageTimeoutW", &MarkSendMessageTimeout, g_sendMessageTimeout));
  marks.push_back(Hook(L"glimmer.dll", "USER32.dll", "KillTimer", &MarkKillTimer, g_killTimer));
  marks.push_back(
      Hook(L"glimmer.dll", "USER32.dll", "UpdateLayeredWindow", &MarkUpdateLayeredWindow, g_updateLayeredWindow));
  if (!g_updateLayeredWindow) return 1;

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
  std::vector<double> afterPanel;  // from the panel set to the frame presented: the pop-up's own part
  std::vector<double> steps[kMarkCount];
  SIZE frameSize{};
  for (int i = 0; i < presses; ++i) {
    WaitForQuiet(probe, 30);
    probe.Reset();
    Arm();
    ::SendMessageW(window, firmware, 0x62, 0);
    if (!WaitForFrame(probe, 5000) || !WaitForMark(kFramePresented, 5000)) {
      std::printf("hot-key to pop-up: press %d presented no frame within 5 s\n", i + 1);
      return 1;
    }
    frameSize = probe.Frames().front().size;
    const int64_t press = g_press.load();
    latencies.push_back(Ms(g_marks[kFramePresented].load() - press));
    if (g_marks[kPanelSet].load()) afterPanel.push_back(Ms(g_marks[kFramePresented].load() - g_marks[kPanelSet].load()));
    int64_t previous = press;
    for (int m = 0; m < kMarkCount; ++m) {
      const int64_t at = g_marks[m].load();
      if (!at) continue;  // not reached (an import not found): its time goes to the next step
      steps[m].push_back(Ms(at - previous));
      previous = at;
    }
  }
  std::printf("@ ours frame_samples_ms");
  for (double ms : latencies) std::printf(" %.3f", ms);
  std::printf("\n@ ours frame_own_samples_ms");
  for (double ms : afterPanel) std::printf(" %.3f", ms);
  std::printf("\n");
  std::sort(latencies.begin(), latencies.end());
  const size_t p99 = std::min(latencies.size() - 1, (latencies.size() * 99 + 99) / 100 - 1);
  std::printf("ours: hot-key message to pop-up frame presented (%ldx%ld): median %.2f ms, 99th percentile %.2f ms,"
              " max %.2f ms over %zu presses\n",
              frameSize.cx, frameSize.cy, latencies[latencies.size() / 2], latencies[p99], latencies.back(),
              latencies.size());
  std::printf("  where the time goes (median of each step):\n");
  for (int m = 0; m < kMarkCount; ++m)
    if (!steps[m].empty()) std::printf("    %-42s %6.3f ms\n", kStepNames[m], Median(steps[m]));
  std::printf("@ ours frame_median_ms %.3f\n@ ours frame_p99_ms %.3f\n@ ours frame_size %ld %ld\n",
              latencies[latencies.size() / 2], latencies[p99], frameSize.cx, frameSize.cy);
  std::fflush(stdout);
  ::ExitProcess(0);  // the pop-up thread and the library stay to the end
}
