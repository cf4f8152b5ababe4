// Checks a caption the pop-up drew for what makes it illegible, by drawing
// texts again exactly as the library drew it (same drawer, font, format):
// - characters drawn as the font's missing-glyph box;
// - ink outside the caption box (1002): a text that is cut or overflows;
// - a text that starts in a right-to-left script whose first word is not at
//   the right end of its line in the pop-up's frame (laid out left-to-right).
#pragma once

#include <windows.h>

#include <string>

#include "libs/glimmer/tests/win/popup_probe.h"

namespace glimmer::testing {

struct CaptionFindings {
  std::wstring missingGlyphs;  // each character drawn as the missing-glyph box
  bool cut = false;            // ink outside the caption box
  std::wstring cutDetail;
  bool rightToLeft = false;    // the text starts in a right-to-left script
  bool laidOutLeftToRight = false;
  std::wstring orderDetail;

  bool ok() const { return missingGlyphs.empty() && !cut && !laidOutLeftToRight; }
  // "ok", or the faults in a few words.
  std::wstring Summary() const;
};

// `drawn`: the caption as the probe recorded it; `popup`: the pop-up's
// window (for its caption box); `frame`: the frame it was drawn into.
CaptionFindings CheckCaption(const DrawnText& drawn, HWND popup, const Frame& frame);

}  // namespace glimmer::testing
