// Every caption of every dictionary is drawn legibly by the real library
// with the test prefix's fonts: no character drawn as the missing-glyph
// box, all ink inside the caption box (nothing cut, nothing overflowing),
// and right-to-left texts laid out right to left.
#include <gtest/gtest.h>

#include "base/win/utf.h"
#include "libs/glimmer/tests/win/caption_check.h"
#include "libs/glimmer/tests/win/dictionary_languages.h"
#include "libs/glimmer/tests/win/popup_probe.h"
#include "libs/glimmer/tests/win/popup_thread.h"

namespace glimmer::testing {
namespace {

TEST(PopupLanguages, EveryCaptionOfEveryDictionaryDrawsLegibly) {
  ULONG_PTR token = 0;  // the recorded fonts outlive the pop-ups' own GDI+ sessions
  Gdiplus::GdiplusStartupInput input;
  ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
  {
    PopupProbe probe;
    probe.SetScreen(1920, 1080);
    const std::pair<int, int> entries[] = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 3}, {2, 0}, {2, 1}, {2, 2}, {3, 0},
                                           {3, 1}, {3, 2}, {4, 0}, {4, 1}, {5, 0}, {5, 1}, {5, 2}, {6, 0}, {6, 1}};
    for (const DictionaryLanguage& language : kDictionaryLanguages) {
      SCOPED_TRACE(std::to_string(language.id) + " " + language.tag);
      probe.SetUiLanguage(language.uiLanguage);
      probe.SetDictionary(language.id);
      ModalPopup popup;
      ASSERT_NE(popup.window(), nullptr);
      for (auto [kind, value] : entries) {
        probe.Reset();
        ASSERT_EQ(Display(kind, value), OSD_SUCCESS) << kind << "/" << value;
        const auto texts = probe.Texts();
        const auto frames = probe.Frames();
        ASSERT_FALSE(texts.empty()) << kind << "/" << value;
        ASSERT_FALSE(frames.empty()) << kind << "/" << value;
        const CaptionFindings findings = CheckCaption(texts.back(), popup.window(), frames.back());
        EXPECT_TRUE(findings.ok()) << kind << "/" << value << " \"" << zu::win::ToUtf8(texts.back().text)
                                   << "\": " << zu::win::ToUtf8(findings.Summary());
        // The dictionary texts of the right-to-left languages were checked for their order.
        const bool rightToLeftLanguage = language.id == 180 || language.id == 191;
        if (rightToLeftLanguage && kind >= 2) {
          EXPECT_TRUE(findings.rightToLeft) << kind << "/" << value;
        }
      }
    }
    probe.SetDictionary(0);
  }
  Gdiplus::GdiplusShutdown(token);
}

}  // namespace
}  // namespace glimmer::testing
