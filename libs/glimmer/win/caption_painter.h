// Draws the pop-up's caption into a frame: white, centred, from the top of
// its box, at the largest size from the layout's font size down to half of
// it at which the whole text fits the box (all its ink inside it, no word
// split across lines). Only a text that fits at no size is trimmed. Each
// size is tried by drawing the text with room below the box and looking
// at its ink: the measures of laid-out text leave out what glyphs draw
// beyond their line (and Wine's outline paths stack every line on the first).
//
// Left-to-right captions are drawn with GDI+ string drawing. A caption
// that reads right to left is drawn with GDI's text output in right-to-left
// reading order: GDI orders and shapes the runs of bidirectional text on
// every platform the pop-up runs on, while GDI+ string drawing lays them
// out left to right on some (Wine's).
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <utility>

#include "libs/glimmer/frame_compose.h"
#include "libs/glimmer/win/gdiplus_include.h"

namespace glimmer {

struct CaptionRequest {
  std::wstring text;
  std::wstring face;
  int layoutSize = 0;  // the layout's font size, pixels
  Gdiplus::Rect box;   // caption box in frame coordinates
};

class CaptionPainter {
 public:
  // `memoryDc` holds the frame's bitmap, whose pixels `frame` are. False
  // when the text could not be drawn.
  bool Paint(HDC memoryDc, const FrameView& frame, const CaptionRequest& request);
  // New boxes: every size is to be found again. (A text drawn before in
  // the same boxes is drawn at once at the size found then; the dialog
  // keeps whole pictures for fade steps and repeated requests.)
  void ForgetLayout() { fittedSizes_.clear(); }

 private:
  // Finds the size the text fits at and draws it: the box's part of the
  // drawn text, or nothing when drawing failed.
  std::optional<PixelLayer> Fit(HDC memoryDc, const CaptionRequest& request);

  struct FittedSize {
    int size = 0;
    bool fits = false;  // false: fits at no size, drawn trimmed at this one
  };
  std::map<std::pair<std::wstring, std::wstring>, FittedSize> fittedSizes_;  // (text, face) in these boxes
};

}  // namespace glimmer
