#include "libs/glimmer/win/dialog_base.h"

namespace glimmer {
namespace {

// How long another thread waits for the window's thread to destroy its window.
constexpr UINT kCrossThreadTimeoutMs = 2000;

}  // namespace

INT_PTR DialogBase::DoModal() {
  threadId_.store(::GetCurrentThreadId());
  return ::DialogBoxParamW(module_, MAKEINTRESOURCEW(templateId_), nullptr, &DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool DialogBase::Create() {
  threadId_.store(::GetCurrentThreadId());
  return ::CreateDialogParamW(module_, MAKEINTRESOURCEW(templateId_), nullptr, &DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void DialogBase::EndDialog(INT_PTR code) {
  HWND hwnd = GetSafeHwnd();
  if (!hwnd) return;
  if (OnWindowThread()) {
    ::EndDialog(hwnd, code);
  } else {
    // The dialog manager's end flag belongs to the loop's thread: ask it.
    ::PostMessageW(hwnd, kEndMessage, static_cast<WPARAM>(code), 0);
  }
}

bool DialogBase::DestroyWindow() {
  HWND hwnd = GetSafeHwnd();
  if (!hwnd) return false;
  if (OnWindowThread()) return ::DestroyWindow(hwnd) != FALSE;
  // A window can only be destroyed by its own thread.
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(hwnd, kDestroyMessage, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, kCrossThreadTimeoutMs,
                               &result) != 0 &&
         result != 0;
}

INT_PTR DialogBase::Answer(LRESULT value) {
  if (HWND hwnd = GetSafeHwnd()) ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, value);
  return TRUE;
}

INT_PTR DialogBase::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_TIMER:
      OnTimer(wParam);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        OnOK();
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        return TRUE;
      }
      return FALSE;
    case kEndMessage:
      ::EndDialog(GetSafeHwnd(), static_cast<INT_PTR>(wParam));
      return TRUE;
    case kDestroyMessage:
      return Answer(::DestroyWindow(GetSafeHwnd()));
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK DialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogBase* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<DialogBase*>(lParam);
    ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_.store(hwnd);
  } else {
    self = reinterpret_cast<DialogBase*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (!self) return FALSE;  // messages before WM_INITDIALOG

  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->hwnd_.store(nullptr);
    self->OnWindowGone();  // may free the object: nothing after this
    return FALSE;
  }
  return self->WindowProc(message, wParam, lParam);
}

}  // namespace glimmer
