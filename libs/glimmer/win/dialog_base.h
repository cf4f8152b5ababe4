// A small dialog class on the plain Win32 dialog manager: the part of a
// framework dialog the pop-up needs (initialisation, timers, a window
// procedure to override, end codes, modal and modeless use), with the calls
// that other threads may make marshalled to the window's own thread.
#pragma once

#include <windows.h>

#include <atomic>

namespace glimmer {

class DialogBase {
 public:
  DialogBase(HINSTANCE module, UINT templateId) : module_(module), templateId_(templateId) {}
  virtual ~DialogBase() = default;
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;

  // Runs the dialog with its own message loop on this thread until it is
  // ended; the end code, or -1 when the dialog could not be made.
  INT_PTR DoModal();
  // Creates the dialog modelessly on this thread, whose loop must run it.
  bool Create();

  // From any thread. Modal: ends the loop with this code (the call returns
  // at once when made from another thread).
  void EndDialog(INT_PTR code);
  // From any thread: destroys a modeless dialog's window on its own thread.
  bool DestroyWindow();

  // Null before initialisation and after the window is gone.
  HWND GetSafeHwnd() const { return hwnd_.load(); }
  bool OnWindowThread() const { return ::GetCurrentThreadId() == threadId_.load(); }

  UINT_PTR SetTimer(UINT_PTR id, UINT milliseconds) { return ::SetTimer(GetSafeHwnd(), id, milliseconds, nullptr); }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(GetSafeHwnd(), id); }

 protected:
  // Messages private to this class; a derived class starts at kFirstUserMessage.
  static constexpr UINT kEndMessage = WM_APP + 0x40;      // wParam: end code
  static constexpr UINT kDestroyMessage = WM_APP + 0x41;
  static constexpr UINT kFirstUserMessage = WM_APP + 0x50;

  // WM_INITDIALOG; TRUE lets the dialog manager set the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnTimer(UINT_PTR id) {}
  // Enter and Escape.
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // After the last message of the window (its handle is gone).
  virtual void OnWindowGone() {}

  // Every message of the dialog; returns TRUE when it was handled, as a
  // dialog procedure does. Derived classes pass what they do not handle on.
  virtual INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  // Answers a sent message with a value (the dialog procedure's way).
  INT_PTR Answer(LRESULT value);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE module_;
  UINT templateId_;
  std::atomic<HWND> hwnd_{nullptr};
  std::atomic<DWORD> threadId_{0};
};

}  // namespace glimmer
