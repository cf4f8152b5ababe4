// The pop-up never takes activation or the keyboard focus from the window
// the user is working in: not when its dialog starts, not when a request
// shows it, not while it fades.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "libs/glimmer/tests/win/popup_probe.h"
#include "libs/glimmer/tests/win/popup_thread.h"

namespace glimmer::testing {
namespace {

// A plain application window on a thread of its own with its message loop,
// made the foreground window with the keyboard focus: what the user types into.
class UserWindow {
 public:
  UserWindow() {
    thread_ = std::thread([this] {
      WNDCLASSW cls{};
      cls.lpfnWndProc = ::DefWindowProcW;
      cls.hInstance = ::GetModuleHandleW(nullptr);
      cls.lpszClassName = L"GlimmerTestUserWindow";
      ::RegisterClassW(&cls);
      HWND hwnd = ::CreateWindowExW(0, cls.lpszClassName, L"editor", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400,
                                    300, nullptr, nullptr, cls.hInstance, nullptr);
      threadId_ = ::GetCurrentThreadId();
      if (hwnd) {
        ::SetForegroundWindow(hwnd);
        ::SetFocus(hwnd);
      }
      hwnd_ = hwnd;
      MSG msg;
      while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
      if (hwnd) ::DestroyWindow(hwnd);
      ::UnregisterClassW(cls.lpszClassName, cls.hInstance);
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!hwnd_ && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ~UserWindow() {
    while (!threadId_) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
  }

  HWND hwnd() const { return hwnd_; }
  // The window keeps the foreground, its thread's activation and its focus.
  // For failure messages.
  std::string Who() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(threadId_, &info);
    char text[160];
    std::snprintf(text, sizeof text, ": foreground %p, active %p, focus %p, user's window %p",
                  static_cast<void*>(::GetForegroundWindow()), static_cast<void*>(info.hwndActive),
                  static_cast<void*>(info.hwndFocus), static_cast<void*>(hwnd_.load()));
    return text;
  }
  bool InFront() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return ::GetForegroundWindow() == hwnd_ && ::GetGUIThreadInfo(threadId_, &info) && info.hwndActive == hwnd_ &&
           info.hwndFocus == hwnd_;
  }

 private:
  std::thread thread_;
  std::atomic<DWORD> threadId_{0};
  std::atomic<HWND> hwnd_{nullptr};
};

TEST(PopupActivation, TheUsersWindowKeepsTheForegroundThroughStartRequestsAndFade) {
  PopupProbe probe;
  probe.SetScreen(1920, 1080);
  UserWindow user;
  ASSERT_NE(user.hwnd(), nullptr);
  ASSERT_TRUE(user.InFront());

  ModalPopup popup;
  ASSERT_NE(popup.window(), nullptr);
  // The dialog manager's work after initialisation and at its loop's first idle.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(user.InFront()) << "after the start" << user.Who();

  probe.Reset();
  ASSERT_EQ(Display(4, 0), OSD_SUCCESS);
  ASSERT_TRUE(::IsWindowVisible(popup.window()));
  EXPECT_TRUE(user.InFront()) << "after a request" << user.Who();
  ASSERT_EQ(Display(3, 1), OSD_SUCCESS);
  EXPECT_TRUE(user.InFront()) << "after a second request" << user.Who();

  // Through the hold and every fade step to the hidden pop-up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  bool keptFront = true;
  while (probe.Frames().size() < 6 && std::chrono::steady_clock::now() < deadline) {
    keptFront &= user.InFront();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(probe.Frames().size(), 6u);  // two requests, four fade steps
  EXPECT_FALSE(::IsWindowVisible(popup.window()));
  EXPECT_TRUE(keptFront && user.InFront()) << "through the fade" << user.Who();

  // Nor does a restart, as after a display change.
  EXPECT_EQ(OSDEnd(), 1);
  ASSERT_TRUE(popup.WaitEnded(5000));
  ModalPopup restarted;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(user.InFront()) << "after a restart" << user.Who();
}

}  // namespace
}  // namespace glimmer::testing
