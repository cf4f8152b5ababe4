#include "libs/glimmer/win/osd_export.h"

#include <windows.h>

#include <atomic>
#include <new>
#include <utility>

#include "base/win/module_path.h"
#include "libs/glimmer/win/library_state.h"
#include "libs/glimmer/win/osd_dialog.h"

using glimmer::COSDDlg;

namespace {

// Guards every CExport's dialog pointer together with taking a reference on
// what it points to, so a display request never meets a freed dialog while
// another thread ends it.
SRWLOCK g_dialogPointer = SRWLOCK_INIT;

std::atomic<bool> g_detaching{false};

// The library's own instance for the plain exports.
CExport g_export;

// Ends one dialog that is no longer anyone's active pop-up; returns 1 when
// it was running.
int32_t EndDialogObject(COSDDlg* dialog) {
  const glimmer::RunMode previous = dialog->ExchangeRunMode(glimmer::kRunEnded);
  if (g_detaching.load()) {
    // The library is being unloaded, under the loader lock: no window calls
    // and no GDI+ shutdown now, so the dialog is left as it is.
    return previous != glimmer::kRunEnded ? 1 : 0;
  }
  int32_t result = 0;
  if (previous == glimmer::kRunModal) {
    // A loop whose window does not exist yet ends itself on initialisation.
    if (::IsWindow(dialog->GetSafeHwnd())) dialog->EndDialog(1);
    result = 1;
  } else if (previous == glimmer::kRunModeless) {
    dialog->DestroyWindow();
    result = 1;
  }
  dialog->Release();
  return result;
}

}  // namespace

namespace glimmer {
void MarkLibraryDetaching() { g_detaching.store(true); }
}  // namespace glimmer

CExport::CExport(const CExport& other) : m_dialog(other.AcquireDialog()) {}

CExport& CExport::operator=(const CExport& other) {
  if (this == &other) return *this;
  COSDDlg* taken = other.AcquireDialog();
  ::AcquireSRWLockExclusive(&g_dialogPointer);
  COSDDlg* previous = std::exchange(m_dialog, taken);
  ::ReleaseSRWLockExclusive(&g_dialogPointer);
  if (previous) previous->Release();
  return *this;
}

CExport::~CExport() { EndOSD(); }

COSDDlg* CExport::AcquireDialog() const {
  ::AcquireSRWLockShared(&g_dialogPointer);
  COSDDlg* dialog = m_dialog;
  if (dialog) dialog->AddRef();
  ::ReleaseSRWLockShared(&g_dialogPointer);
  return dialog;
}

int64_t CExport::InitializeOSD() {
  EndOSD();
  COSDDlg* dialog = new (std::nothrow) COSDDlg(zu::win::CurrentModule(), glimmer::kRunModeless);
  if (!dialog) return -1;
  if (!dialog->CreateModeless()) {
    ::MessageBoxW(nullptr, L"Error creating Dialog", nullptr, MB_OK | MB_ICONERROR);
    dialog->Release();
    return -1;
  }
  // Shown with its first frame: a layered window without one shows nothing.
  // The creation reference becomes this instance's.
  ::AcquireSRWLockExclusive(&g_dialogPointer);
  COSDDlg* previous = std::exchange(m_dialog, dialog);
  ::ReleaseSRWLockExclusive(&g_dialogPointer);
  if (previous) EndDialogObject(previous);
  return 1;
}

int64_t CExport::StartOSD() {
  EndOSD();
  COSDDlg* dialog = new (std::nothrow) COSDDlg(zu::win::CurrentModule(), glimmer::kRunModal);
  if (!dialog) return -1;
  dialog->AddRef();  // this instance's reference; the creation one stays with the loop
  ::AcquireSRWLockExclusive(&g_dialogPointer);
  COSDDlg* previous = std::exchange(m_dialog, dialog);
  ::ReleaseSRWLockExclusive(&g_dialogPointer);
  if (previous) EndDialogObject(previous);

  const INT_PTR code = dialog->DoModal();

  // Ended some other way than EndOSD: it is no longer the active pop-up.
  bool stillRegistered = false;
  ::AcquireSRWLockExclusive(&g_dialogPointer);
  if (m_dialog == dialog) {
    m_dialog = nullptr;
    stillRegistered = true;
  }
  ::ReleaseSRWLockExclusive(&g_dialogPointer);
  dialog->ExchangeRunMode(glimmer::kRunEnded);
  if (stillRegistered) dialog->Release();
  dialog->Release();
  return code;
}

int32_t CExport::EndOSD() {
  ::AcquireSRWLockExclusive(&g_dialogPointer);
  COSDDlg* dialog = std::exchange(m_dialog, nullptr);
  ::ReleaseSRWLockExclusive(&g_dialogPointer);
  return dialog ? EndDialogObject(dialog) : 0;
}

OSD_RESULT CExport::DisplayOSD(const OSDData_t& request) {
  COSDDlg* dialog = AcquireDialog();
  if (!dialog) return OSD_FAILED;
  const OSD_RESULT result = dialog->runMode() == glimmer::kRunEnded ? OSD_FAILED : dialog->ShowRequest(request);
  dialog->Release();
  return result;
}

// The dialog manager needs no process-wide set-up before these run, so the
// plain exports go straight to the library's instance.
int64_t OSDStart(int32_t modeless) {
  return (modeless & 0xFF) != 0 ? g_export.InitializeOSD() : g_export.StartOSD();
}

int32_t OSDEnd() { return g_export.EndOSD(); }

int32_t OSDDisplay(const OSDData_t* request) {
  return request ? g_export.DisplayOSD(*request) : OSD_FAILED;
}
