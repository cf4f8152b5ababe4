// simhotkey and its in-process helper delivering the firmware message and
// system messages to a window of another thread or process.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/win/module_path.h"
#include "base/win/unique_handle.h"
#include "tools/simlaptop/sim_hotkey.h"

namespace zu::simlaptop {
namespace {

constexpr const wchar_t* kTestClass = L"SimHotkeyTestWindow";

// A window of its own class on a thread with a message loop, recording what
// it receives.
class RecordingWindow {
 public:
  struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };

  RecordingWindow() {
    thread_ = std::thread([this] { Loop(); });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return window_ != nullptr || failed_; });
  }
  ~RecordingWindow() {
    if (window_) ::PostMessageW(window_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  bool ready() const { return window_ != nullptr; }

  // Waits until a message other than the set-up ones has arrived.
  std::vector<Message> WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(5), [&] { return received_.size() >= count; });
    return received_;
  }

 private:
  static constexpr UINT kFirstWatched = WM_USER;

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<RecordingWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && self->Watched(message)) {
      {
        std::lock_guard lock(self->mutex_);
        self->received_.push_back({message, wParam, lParam});
      }
      self->changed_.notify_all();
      return 0x5A;
    }
    if (message == WM_CLOSE) {
      ::DestroyWindow(hwnd);
      return 0;
    }
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }

  bool Watched(UINT message) const {
    return message == WM_POWERBROADCAST || message == WM_WTSSESSION_CHANGE || message == WM_DISPLAYCHANGE ||
           message == WM_HOTKEY || message >= 0xC000;
  }

  void Loop() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kTestClass;
    ::RegisterClassExW(&wc);
    HWND hwnd = ::CreateWindowExW(0, kTestClass, kTestClass, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (hwnd) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    {
      std::lock_guard lock(mutex_);
      window_ = hwnd;
      failed_ = hwnd == nullptr;
    }
    changed_.notify_all();
    MSG msg;
    while (hwnd && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::UnregisterClassW(kTestClass, wc.hInstance);
  }

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  HWND window_ = nullptr;
  bool failed_ = false;
  std::vector<Message> received_;
};

struct ToolRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string out;
};

// Runs simhotkey.exe (beside this program) and collects its standard output.
ToolRun SimHotkey(const std::wstring& args) {
  ToolRun run;
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  win::UniqueHandle readEnd, writeEnd;
  if (!::CreatePipe(readEnd.put(), writeEnd.put(), &sa, 0)) return run;
  ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd.get();
  si.hStdError = writeEnd.get();
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  const std::wstring exe = win::ModuleDirectory() + L"simhotkey.exe";
  std::wstring commandLine = L"\"" + exe + L"\" " + args;
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    return run;
  win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  writeEnd.reset();
  char buffer[256];
  DWORD got = 0;
  while (::ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got) run.out.append(buffer, got);
  // A process start under Wine on a busy machine can take seconds; the exit
  // code is only read once the tool has ended (CTest's timeout bounds it).
  ::WaitForSingleObject(process.get(), 60000);
  ::GetExitCodeProcess(process.get(), &run.exitCode);
  return run;
}

TEST(SimHotkey, PostsTheFirmwareMessageWithTheCode) {
  RecordingWindow window;
  ASSERT_TRUE(window.ready());
  const ToolRun run = SimHotkey(L"--class SimHotkeyTestWindow firmware 0x62");
  EXPECT_EQ(run.exitCode, 0u) << run.out;
  const auto got = window.WaitFor(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].message, ::RegisterWindowMessageW(L"ACPI Notification through VortaHotkey from BIOS"));
  EXPECT_EQ(got[0].wParam, 0x62u);
  EXPECT_EQ(got[0].lParam, 0);
}

TEST(SimHotkey, SendsSystemMessagesAndReportsTheResult) {
  RecordingWindow window;
  ASSERT_TRUE(window.ready());
  ToolRun run = SimHotkey(L"--class SimHotkeyTestWindow --send message WM_POWERBROADCAST 7");
  EXPECT_EQ(run.exitCode, 0u) << run.out;
  EXPECT_NE(run.out.find("result 0x5a"), std::string::npos) << run.out;
  run = SimHotkey(L"--class SimHotkeyTestWindow message WM_WTSSESSION_CHANGE 8 0x1234");
  EXPECT_EQ(run.exitCode, 0u) << run.out;
  run = SimHotkey(L"--class SimHotkeyTestWindow --send message registered:SimHotkeyTestMessage 1 -1");
  EXPECT_EQ(run.exitCode, 0u) << run.out;

  const auto got = window.WaitFor(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].message, static_cast<UINT>(WM_POWERBROADCAST));
  EXPECT_EQ(got[0].wParam, 7u);
  EXPECT_EQ(got[1].message, static_cast<UINT>(WM_WTSSESSION_CHANGE));
  EXPECT_EQ(got[1].wParam, 8u);
  EXPECT_EQ(got[1].lParam, 0x1234);
  EXPECT_EQ(got[2].message, ::RegisterWindowMessageW(L"SimHotkeyTestMessage"));
  EXPECT_EQ(got[2].lParam, -1);
}

TEST(SimHotkey, InProcessHelperWaitsForTheWindow) {
  std::unique_ptr<RecordingWindow> window;
  std::thread late([&] {
    ::Sleep(200);
    window = std::make_unique<RecordingWindow>();
  });
  const auto result = simhotkey::Deliver(simhotkey::FirmwareMessage(), 0x9D, 0, simhotkey::Delivery::kSend, 3000,
                                         3000, kTestClass);
  late.join();
  EXPECT_TRUE(result.windowFound);
  EXPECT_TRUE(result.delivered);
  EXPECT_EQ(result.value, 0x5A);
  const auto got = window->WaitFor(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].wParam, 0x9Du);
}

TEST(SimHotkey, ReportsMissingWindowAndBadArguments) {
  EXPECT_EQ(SimHotkey(L"--class NoSuchWindowClass firmware 0x61").exitCode, 3u);
  EXPECT_FALSE(simhotkey::Deliver(WM_DISPLAYCHANGE, 0, 0, simhotkey::Delivery::kPost, 0, 0, L"NoSuchWindowClass")
                   .windowFound);
  EXPECT_EQ(SimHotkey(L"firmware").exitCode, 2u);
  EXPECT_EQ(SimHotkey(L"firmware 0xZZ").exitCode, 2u);
  EXPECT_EQ(SimHotkey(L"message WM_NOSUCH 1").exitCode, 2u);
  EXPECT_EQ(SimHotkey(L"--wait").exitCode, 2u);
}

}  // namespace
}  // namespace zu::simlaptop
