// The exported class of glimmer.dll. The library holds one global instance,
// on which the plain exports OSDStart, OSDEnd and OSDDisplay work.
#pragma once

#include <cstdint>

#include "libs/glimmer/osd_api.h"

#ifdef GLIMMER_BUILDING
#define GLIMMER_API __declspec(dllexport)
#else
#define GLIMMER_API __declspec(dllimport)
#endif

namespace glimmer {
class COSDDlg;
}

class GLIMMER_API CExport {
 public:
  CExport() = default;
  // Copies refer to the same dialog.
  CExport(const CExport& other);
  CExport& operator=(const CExport& other);
  // Ends the dialog.
  virtual ~CExport();

  // Ends any current dialog, then creates a modeless one on this thread
  // (shown with its first request): 1, or -1 when its window cannot be
  // created.
  int64_t InitializeOSD();
  // Ends any current dialog, then creates a modal one and runs it on this
  // thread: its end code (1 after EndOSD), or -1.
  int64_t StartOSD();
  // Ends the dialog: 1 when a running one was ended, else 0. Afterwards
  // there is no dialog.
  int32_t EndOSD();
  // Shows a request on the dialog; OSD_FAILED without a running dialog.
  OSD_RESULT DisplayOSD(const OSDData_t& request);

 private:
  // Takes a reference on the dialog, or null.
  glimmer::COSDDlg* AcquireDialog() const;

  glimmer::COSDDlg* m_dialog = nullptr;  // the active pop-up dialog, null when none
};

extern "C" {
// modeless: low byte only.
GLIMMER_API int64_t OSDStart(int32_t modeless);
GLIMMER_API int32_t OSDEnd();
GLIMMER_API int32_t OSDDisplay(const OSDData_t* request);
}
