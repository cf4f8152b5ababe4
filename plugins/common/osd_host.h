// The plug-in side of the on-screen display library (glimmer.dll).
//
// A hardware plug-in owns one OsdHost. Start it in Init, show pop-ups from
// any thread, restart it on the display-change event and end it in Release
// (never from DllMain):
//
//   zu::OsdHost osd_;
//   bool Init(ILogger* l) override { ...; osd_.Start(); }
//   void onEvent(uint32_t e) override {
//     if (e == kDisplayChange) osd_.Restart();
//     else if (e == kPrivacyKey) osd_.Show(OSD_KIND_PRIVACY_VIEW, mode);
//   }
//   void Release() override { osd_.End(); ... }
//
// Start loads "glimmer.dll" by name (one more reference each time; the
// library is never unloaded) and runs the pop-up's modal loop (OSDStart) on
// a UI thread of its own. End calls OSDEnd and waits for that thread. Every
// operation may be called in any order and from any thread: Start on a
// running host ends it first, End on an ended host does nothing, Restart is
// End then Start, Show on an ended host simply answers OSD_FAILED.
//
// The library has one pop-up per process: when two plug-ins start their
// hosts, the later start takes the pop-up over and both show through it.
// A host whose UI thread has already been superseded does not end the
// pop-up the other host still uses.
//
// The UI thread holds a reference on the plug-in's own module while it
// runs, so the plug-in cannot be unloaded under it; a plug-in that is
// released properly has no thread left by the time it detaches.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "base/win/unique_handle.h"
#include "libs/glimmer/osd_api.h"

namespace zu {

class OsdHost {
 public:
  OsdHost() = default;
  // Ends a pop-up that is still running.
  ~OsdHost();
  OsdHost(const OsdHost&) = delete;
  OsdHost& operator=(const OsdHost&) = delete;

  // Loads the library and starts the UI thread (ending a running one first),
  // then writes " StartOSD." to standard output. When the library cannot be
  // loaded the thread ends at once and pop-ups are simply not shown.
  // Throws std::system_error (resource_unavailable_try_again) when no thread
  // can be created.
  void Start();

  // Ends the pop-up and waits for the UI thread; when the library is loaded
  // writes " EndOSD." to standard output. False only when the UI thread did
  // not finish within a few seconds (it is then left to itself).
  bool End();

  // End, then Start: the reaction to a display change.
  void Restart();

  // Shows a pop-up; the library's answer, or OSD_FAILED when the library is
  // not loaded or lacks the export.
  OSD_RESULT Show(int32_t kind, int32_t value);
  OSD_RESULT Show(const OSDData_t& request);

  // The UI thread is still inside the pop-up's loop.
  bool IsRunning() const;

 private:
  void StartLocked();
  bool EndLocked();

  mutable std::mutex lifecycle_;        // Start, End, Restart one at a time
  win::UniqueHandle thread_;            // the UI thread, guarded by lifecycle_
  std::atomic<HMODULE> library_{nullptr};  // never freed
};

}  // namespace zu
