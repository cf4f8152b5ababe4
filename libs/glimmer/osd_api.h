// The pop-up library's boundary as its callers see it: the request record,
// the result codes and the three plain exports, looked up by name.
// Free of <windows.h> so the plug-ins' portable code can use it too.
#pragma once

#include <cstdint>

// One display request, passed by pointer and copied by the library.
struct OSDData_t {
  int32_t kind;          // what changed (OSD_KIND)
  int32_t value;         // the new setting
  uint8_t reserved[8];   // copied with the request, never read; set to 0
};
static_assert(sizeof(OSDData_t) == 16, "OSDData_t crosses the library boundary");

enum OSD_KIND : int32_t {
  OSD_KIND_TOUCHPAD = 0,            // 0, 1, 2: touchpad modes
  OSD_KIND_KEYBOARD_BACKLIGHT = 1,  // 0 off, 1 to 3 brightness level
  OSD_KIND_FAN_MODE = 2,            // 0 standard, 1 whisper, 2 performance
  OSD_KIND_STATUS_LIGHT = 3,        // 0 auto, 1 on, 2 off
  OSD_KIND_PRIVACY_VIEW = 4,        // 0 on, 1 off
  OSD_KIND_NOISE_MIC = 5,           // 0 off, 1 single presenter, 2 multiple presenters
  OSD_KIND_NOISE_SPEAKER = 6,       // 0 off, 1 on
};

enum OSD_RESULT : int32_t {
  OSD_SUCCESS = 0,        // the pop-up is drawn and shown
  OSD_FAILED = 1,         // no pop-up window is active, or drawing failed
  OSD_UNKNOWN_VALUE = 2,  // known kind, value without an entry; nothing drawn
  OSD_UNKNOWN_KIND = 3,   // kind outside 0 to 6; nothing drawn
};

namespace glimmer {

// Run mode of a pop-up dialog.
enum RunMode : int32_t {
  kRunEnded = 0,
  kRunModal = 1,     // owns a blocking message loop on the thread in OSDStart
  kRunModeless = 2,  // the caller's own message loop runs the window
};

// Export names and signatures (x64 has a single calling convention).
inline constexpr const char kOSDStartExport[] = "OSDStart";
inline constexpr const char kOSDEndExport[] = "OSDEnd";
inline constexpr const char kOSDDisplayExport[] = "OSDDisplay";
inline constexpr const wchar_t kLibraryFileName[] = L"glimmer.dll";

// modeless: only the low byte is read. Modal: returns when the dialog ends
// (1 after OSDEnd), -1 when the dialog cannot be made.
using OSDStartFn = int64_t (*)(int32_t modeless);
// 1 when a dialog was ended, 0 when there was none.
using OSDEndFn = int32_t (*)();
// An OSD_RESULT.
using OSDDisplayFn = int32_t (*)(const OSDData_t* request);

}  // namespace glimmer
