// The pop-up: a layered, topmost, click-through tool window built from
// dialog template 1080. Each request draws the background plate, the icon
// and the caption into an off-screen bitmap, pushes it to the window, holds
// it for two seconds and fades it out.
//
// Frames: every frame (request or fade step) is composed into an off-screen
// bitmap and pushed in one update. The bitmap is kept while the window keeps
// its size (see frame_surface.h). The images are decoded from the
// resources and scaled to their boxes once per layout and kept, since
// decoding and scaling the plate alone takes tens of milliseconds under
// Wine's GDI+ while a frame should take a few. The last few pictures drawn
// are kept as well, by request: a fade step, or a hot key pressed again,
// only changes the constant alpha of the update, and composing a picture
// (the blend, the font and the caption through GDI+) takes most of a
// request's time.
//
// Threads: the window, its timers and every frame belong to the thread that
// created the dialog. A request from another thread is handed to that
// thread in one synchronous message (Win32 timers belong to their window's
// thread, and a cross-thread window update that waited for the drawing lock
// could deadlock); the caller gets the same result as if it had drawn.
//
// Lifetime: reference counted. The exported API holds one reference while
// the dialog is its active pop-up, a display request holds one for its
// duration, and the modal loop or a modeless window holds one while it runs.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "libs/glimmer/frame_compose.h"
#include "libs/glimmer/osd_api.h"
#include "libs/glimmer/popup_layout.h"
#include "libs/glimmer/popup_timeline.h"
#include "libs/glimmer/request_table.h"
#include "libs/glimmer/win/caption_painter.h"
#include "libs/glimmer/win/critical_section.h"
#include "libs/glimmer/win/dialog_base.h"
#include "libs/glimmer/win/frame_surface.h"
#include "libs/glimmer/win/xml_dictionary.h"

namespace glimmer {

class COSDDlg final : public DialogBase {
 public:
  // Creates a dialog object with one reference. Without GDI+ (its start-up
  // failed) every request answers OSD_FAILED.
  COSDDlg(HINSTANCE module, RunMode mode);

  void AddRef() { refs_.fetch_add(1); }
  // Modeless: creates the window on this thread; the window holds a
  // reference until it is destroyed.
  bool CreateModeless();
  void Release();

  RunMode runMode() const { return static_cast<RunMode>(runMode_.load()); }
  // Atomically sets the run mode and returns the previous one.
  RunMode ExchangeRunMode(RunMode mode) { return static_cast<RunMode>(runMode_.exchange(mode)); }

  // The display request, from any thread.
  OSD_RESULT ShowRequest(const OSDData_t& request);

 protected:
  BOOL OnInitDialog() override;
  void OnTimer(UINT_PTR id) override;
  // Enter and Escape never end the pop-up: only the library's end does.
  void OnOK() override {}
  void OnCancel() override {}
  void OnWindowGone() override;
  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  static constexpr UINT kShowMessage = kFirstUserMessage;  // wParam: kind and value; lParam: reserved bytes

  ~COSDDlg() override;

  OSD_RESULT ShowOnWindowThread(const OSDData_t& request);
  void Layout(bool rescale);
  void LoadDictionary(int id);
  int Render(int opacity);
  // Draws the request's picture (plate, icon, caption) into the cleared
  // frame bitmap; false when an image or the caption could not be drawn.
  bool Compose(const RequestLookup& entry, const RECT& window, const RECT& plateBox, const RECT& iconBox,
               const RECT& textBox, HDC memoryDc, uint32_t* bits);
  // An image decoded and scaled to a box once, at an opacity; null when the
  // image is missing or cannot be drawn. Kept until the layout changes.
  const PixelLayer* Layer(int id, int width, int height, float opacity);
  void Hide();
  void Show();  // the only way the window is shown
  void StopTimers();

  HINSTANCE module_;
  std::atomic<int32_t> runMode_;
  std::atomic<long> refs_{1};
  ULONG_PTR gdiplusToken_ = 0;
  bool windowHoldsReference_ = false;
  bool showing_ = false;  // on the window's thread: a request is showing the window

  PopupTimeline timeline_;
  CriticalSection lock_;  // held while a frame is drawn or the layout changes

  // Guarded by lock_.
  int startWidth_ = 0;
  int startHeight_ = 0;
  PopupLayout layout_;
  DisplayTexts dictionary_;
  OSDData_t current_{};
  std::map<std::tuple<int, int, int>, PixelLayer> layers_;  // (image, width, height)
  // Pictures of the last requests drawn without a failure, the latest
  // first; cleared with the layers.
  struct KeptPicture {
    int32_t kind = 0;
    int32_t value = 0;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
  };
  static constexpr size_t kKeptPictures = 3;  // the most values a plug-in cycles through
  const KeptPicture* FindPicture(int width, int height) const;
  void KeepPicture(int width, int height, const uint32_t* pixels);
  std::deque<KeptPicture> pictures_;
  std::wstring face_ = L"Segoe UI";  // the caption font of the dictionary's script
  CaptionPainter caption_;
  FrameSurface surface_;
};

}  // namespace glimmer
