// Watches glimmer.dll at its system boundaries by redirecting some of its
// imports: the screen metrics and UI language it is given (stand-ins for a
// real display and user), and the frames, images, fonts and texts it hands
// to the system. The frames are copied out of the library's own bitmap.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "libs/glimmer/win/gdiplus_include.h"
#include "testing/win/iat_hook.h"

namespace glimmer::testing {

struct Frame {
  double ms = 0;     // since the probe's mark
  int alpha = 0;     // constant alpha of the update
  POINT position{};  // where the window was put
  SIZE size{};
  std::vector<uint32_t> pixels;  // premultiplied BGRA, top-down

  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * size.cx + x]; }
};

// A text the library drew, with what it drew it with, so that a test can
// draw other texts the same way: GDI+ string drawing (copies of the font
// and format, the text rendering hint) or GDI's DrawTextW (the font's
// description and the format flags).
struct DrawnText {
  enum class Drawer { kGdiPlus, kGdi };
  Drawer drawer = Drawer::kGdiPlus;
  std::wstring text;
  Gdiplus::RectF box;  // the layout box it was drawn in
  std::shared_ptr<Gdiplus::GpFont> font;
  std::shared_ptr<Gdiplus::GpStringFormat> format;  // null: the default format
  Gdiplus::TextRenderingHint hint = Gdiplus::TextRenderingHintSystemDefault;
  LOGFONTW logFont{};
  UINT drawTextFormat = 0;
};

class PopupProbe {
 public:
  PopupProbe();
  ~PopupProbe();
  PopupProbe(const PopupProbe&) = delete;
  PopupProbe& operator=(const PopupProbe&) = delete;

  // Screen size the library sees (0: the real one).
  void SetScreen(int width, int height);
  void SetDpi(int dpi);
  void SetUiLanguage(LANGID language);
  // The string dictionary the library gets whichever it asks for (0: the
  // one it asks for), so dictionaries no UI language selects can be drawn.
  void SetDictionary(int id);
  // Whether frames keep a copy of their pixels (on by default). Timings turn
  // it off: a fresh copy of a large frame costs more than drawing it.
  void CopyPixels(bool copy);

  // Forgets what was recorded and restarts the clock.
  void Reset();
  double Now() const;

  std::vector<Frame> Frames() const;
  std::vector<int> Images() const;  // PNG ids looked up, in order
  std::vector<int> Dictionaries() const;  // dictionary ids asked for, in order
  std::vector<DrawnText> Texts() const;
  std::vector<int> FontHeights() const;
  // Waits until at least `count` frames were pushed.
  bool WaitForFrames(size_t count, int timeoutMs) const;

 private:
  std::vector<std::unique_ptr<zu::testing::IatHook>> hooks_;
};

// The pop-up's window (dialog class) on a thread, or null.
HWND FindPopupWindow(DWORD threadId);

}  // namespace glimmer::testing
