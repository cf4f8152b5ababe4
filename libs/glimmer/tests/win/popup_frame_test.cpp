// What the pop-up draws and when: frame contents read back from the
// library's own bitmap, layout per screen, the hold and fade, display
// changes, languages, and failing requests.
#include <gtest/gtest.h>

#include <algorithm>

#include "libs/glimmer/tests/win/popup_probe.h"
#include "libs/glimmer/tests/win/popup_thread.h"

namespace glimmer::testing {
namespace {

int Alpha(uint32_t p) { return p >> 24; }
int Red(uint32_t p) { return (p >> 16) & 0xFF; }
int Green(uint32_t p) { return (p >> 8) & 0xFF; }
int Blue(uint32_t p) { return p & 0xFF; }

// Counts pixels of a frame's rectangle that satisfy a predicate.
template <class Pred>
int Count(const Frame& f, int x0, int y0, int x1, int y1, Pred pred) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += pred(f.At(x, y)) ? 1 : 0;
  return n;
}

bool White(uint32_t p) { return Alpha(p) >= 240 && Red(p) >= 240 && Green(p) >= 240 && Blue(p) >= 240; }

class PopupFrames : public ::testing::Test {
 protected:
  void SetUp() override { probe_.SetScreen(1920, 1080); }
  PopupProbe probe_;
};

TEST_F(PopupFrames, PrivacyOnAtFullHdDrawsPlateIconAndWhiteEnglishCaption) {
  probe_.Reset();
  ModalPopup popup;
  ASSERT_EQ(Display(4, 0), OSD_SUCCESS);
  const auto frames = probe_.Frames();
  ASSERT_EQ(frames.size(), 1u);
  const Frame& f = frames[0];
  EXPECT_EQ(f.alpha, 255);
  EXPECT_EQ(f.size.cx, 220);
  EXPECT_EQ(f.size.cy, 221);
  EXPECT_EQ(f.position.x, 960 - 110);
  EXPECT_EQ(f.position.y, 540 + 160 - 110);
  ASSERT_EQ(f.pixels.size(), 220u * 221u);

  // The plate (made ready when the dialog starts), then the normal-size
  // icon (not a large screen).
  EXPECT_EQ(probe_.Images(), (std::vector<int>{131, 233}));
  const auto texts = probe_.Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, L"Orvale Private View - On");
  EXPECT_EQ(texts[0].box.X, 18);
  EXPECT_EQ(texts[0].box.Y, 156);
  EXPECT_EQ(texts[0].box.Width, 182);
  EXPECT_EQ(probe_.FontHeights(), (std::vector<int>{24}));

  // Outside box 1000 (the top-left 3 pixels) nothing is drawn.
  EXPECT_EQ(Count(f, 0, 0, 3, 221, [](uint32_t p) { return p != 0; }), 0);
  // Plate beside the icon: dark and translucent (about 237/255 of the plate's own alpha).
  const uint32_t plate = f.At(25, 100);
  EXPECT_GE(Alpha(plate), 200);
  EXPECT_LE(Alpha(plate), 230);
  EXPECT_LT(std::max({Red(plate), Green(plate), Blue(plate)}), 60);
  // Icon box (44, 20, 130): white outline and the blue veil of the eye.
  EXPECT_GT(Count(f, 44, 20, 174, 150, White), 200);
  EXPECT_GT(Count(f, 44, 20, 174, 150, [](uint32_t p) { return Blue(p) > Red(p) + 60; }), 500);
  // Caption box (18, 156, 182 x 43): white text on the plate.
  EXPECT_GT(Count(f, 18, 156, 200, 199, White), 100);
  EXPECT_EQ(Count(f, 18, 156, 200, 199, [](uint32_t p) { return Blue(p) > Red(p) + 60; }), 0);

  HWND window = popup.window();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(::IsWindowVisible(window));
  RECT r{};
  ::GetWindowRect(window, &r);
  EXPECT_EQ(r.right - r.left, 220);
  EXPECT_EQ(r.bottom - r.top, 221);
  const LONG_PTR ex = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_LAYERED);
  EXPECT_TRUE(ex & WS_EX_TOPMOST);
  EXPECT_TRUE(ex & WS_EX_TRANSPARENT);
  EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(ex & WS_EX_APPWINDOW);
}

TEST_F(PopupFrames, LibraryStringsCaptionTouchpadAndKeyboardWithTheLevel) {
  ModalPopup popup;
  probe_.Reset();
  ASSERT_EQ(Display(1, 2), OSD_SUCCESS);
  ASSERT_EQ(Display(1, 0), OSD_SUCCESS);
  ASSERT_EQ(Display(0, 0), OSD_SUCCESS);
  const auto texts = probe_.Texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0].text, L"\u63D0\u9AD8\u4EAE\u5EA6 2");      // string 105 and the level
  EXPECT_EQ(texts[1].text, L"\u95DC\u9589\u9375\u76E4\u80CC\u5149");  // string 104
  EXPECT_EQ(texts[2].text, L"Twinpad \u6A21\u5F0F");            // string 106
  // Images are decoded once per size; the plate was ready before.
  EXPECT_EQ(probe_.Images(), (std::vector<int>{132, 133, 134}));
}

TEST_F(PopupFrames, EachFrameStartsFromAClearBitmap) {
  // The frame bitmap is kept between frames: nothing of an earlier frame
  // (another icon and caption, the plate drawn over itself) may show through.
  ModalPopup popup;
  probe_.Reset();
  ASSERT_EQ(Display(4, 0), OSD_SUCCESS);
  ASSERT_EQ(Display(3, 1), OSD_SUCCESS);
  ASSERT_EQ(Display(4, 0), OSD_SUCCESS);
  const auto frames = probe_.Frames();
  ASSERT_EQ(frames.size(), 3u);
  ASSERT_FALSE(frames[0].pixels.empty());
  EXPECT_NE(frames[0].pixels, frames[1].pixels);
  EXPECT_EQ(frames[0].pixels, frames[2].pixels);
}

TEST_F(PopupFrames, ARepeatedRequestPushesItsKeptPictureWithoutDrawingIt) {
  // A hot key pressed again: the picture of its earlier request comes back
  // as it was, without the caption being drawn a second time.
  ModalPopup popup;
  probe_.Reset();
  ASSERT_EQ(Display(4, 0), OSD_SUCCESS);
  ASSERT_EQ(Display(4, 1), OSD_SUCCESS);
  ASSERT_EQ(Display(4, 0), OSD_SUCCESS);
  const auto frames = probe_.Frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[2].pixels, frames[0].pixels);
  EXPECT_EQ(frames[2].alpha, 255);
  const auto texts = probe_.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, L"Orvale Private View - On");
  EXPECT_EQ(texts[1].text, L"Orvale Private View - Off");
}

TEST_F(PopupFrames, HoldsTwoSecondsThenFadesInFourStepsAndHides) {
  ModalPopup popup;
  probe_.Reset();
  ASSERT_EQ(Display(3, 1), OSD_SUCCESS);
  ASSERT_TRUE(probe_.WaitForFrames(5, 4000));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the hiding tick

  const auto frames = probe_.Frames();
  ASSERT_EQ(frames.size(), 5u);
  std::vector<int> alphas;
  for (const Frame& f : frames) alphas.push_back(f.alpha);
  EXPECT_EQ(alphas, (std::vector<int>{255, 192, 129, 66, 3}));
  const double hold = frames[1].ms - frames[0].ms;
  EXPECT_GE(hold, 2000.0 + 20);  // hold, then the first 25 ms fade tick
  EXPECT_LE(hold, 2400.0);
  for (size_t i = 2; i < frames.size(); ++i) {
    const double step = frames[i].ms - frames[i - 1].ms;
    EXPECT_GE(step, 15.0) << i;
    EXPECT_LE(step, 120.0) << i;
  }
  // The same picture at each opacity.
  EXPECT_EQ(frames[1].pixels, frames[0].pixels);
  EXPECT_FALSE(::IsWindowVisible(popup.window()));
}

TEST_F(PopupFrames, ARequestDuringTheFadeStartsOverAtFullOpacity) {
  ModalPopup popup;
  probe_.Reset();
  ASSERT_EQ(Display(2, 0), OSD_SUCCESS);
  ASSERT_TRUE(probe_.WaitForFrames(3, 4000));  // 255, 192, 129
  const double again = probe_.Now();
  ASSERT_EQ(Display(2, 1), OSD_SUCCESS);
  ASSERT_TRUE(probe_.WaitForFrames(3 + 5, 4000));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const auto frames = probe_.Frames();
  std::vector<int> alphas;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (frames[i].ms >= again) alphas.push_back(frames[i].alpha);
  }
  EXPECT_EQ(alphas, (std::vector<int>{255, 192, 129, 66, 3}));
  const auto second = std::find_if(frames.begin(), frames.end(), [&](const Frame& f) { return f.ms >= again; });
  ASSERT_NE(second, frames.end());
  ASSERT_NE(second + 1, frames.end());
  EXPECT_GE((second + 1)->ms - second->ms, 2000.0);
  EXPECT_FALSE(::IsWindowVisible(popup.window()));
}

TEST_F(PopupFrames, AFailingRequestHidesAnEarlierPopupInsteadOfFreezingIt) {
  ModalPopup popup;
  ASSERT_EQ(Display(6, 1), OSD_SUCCESS);
  ASSERT_TRUE(::IsWindowVisible(popup.window()));
  probe_.Reset();
  EXPECT_EQ(Display(6, 7), OSD_UNKNOWN_VALUE);
  EXPECT_FALSE(::IsWindowVisible(popup.window()));
  std::this_thread::sleep_for(std::chrono::milliseconds(2300));
  EXPECT_TRUE(probe_.Frames().empty());  // no hold or fade left running
  EXPECT_FALSE(::IsWindowVisible(popup.window()));

  ASSERT_EQ(Display(6, 1), OSD_SUCCESS);
  EXPECT_TRUE(::IsWindowVisible(popup.window()));
  EXPECT_EQ(Display(70, 0), OSD_UNKNOWN_KIND);
  EXPECT_FALSE(::IsWindowVisible(popup.window()));
}

struct RescaleCase {
  int startWidth, startHeight, newWidth, newHeight;
  int width, height, font;
  int icon;  // the large or normal image of kind 4 value 0
};

TEST_F(PopupFrames, DisplayChangeRescalesFromTheStartBand) {
  const RescaleCase cases[] = {
      {1920, 1080, 2560, 1440, 348, 350, 38, 232},  // C = 2560/1920 + 0.25
      {2560, 1440, 1920, 1080, 390, 392, 42, 233},  // C = 0.75 - 0.04
      {1920, 1080, 1920, 1080, 220, 221, 24, 233},  // unchanged width
  };
  for (const RescaleCase& c : cases) {
    SCOPED_TRACE(c.startWidth);
    probe_.SetScreen(c.startWidth, c.startHeight);
    ModalPopup popup;
    ASSERT_EQ(Display(4, 0), OSD_SUCCESS);
    HWND window = popup.window();
    ASSERT_TRUE(::IsWindowVisible(window));

    probe_.SetScreen(c.newWidth, c.newHeight);
    probe_.Reset();
    ::SendMessageW(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(c.newWidth, c.newHeight));
    EXPECT_FALSE(::IsWindowVisible(window));  // hidden, timers stopped
    RECT r{};
    ::GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, c.width);
    EXPECT_EQ(r.bottom - r.top, c.height);
    EXPECT_EQ(r.left, c.newWidth / 2 - c.width / 2);

    ASSERT_EQ(Display(4, 0), OSD_SUCCESS);
    const auto frames = probe_.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size.cx, c.width);
    EXPECT_EQ(frames[0].size.cy, c.height);
    // The caption is tried at the layout's size first (and drawn smaller
    // when it does not fit its box there).
    ASSERT_FALSE(probe_.FontHeights().empty());
    EXPECT_EQ(probe_.FontHeights().front(), c.font);
    // The plate again for its new size, then the icon.
    EXPECT_EQ(probe_.Images(), (std::vector<int>{131, c.icon}));
  }
}

TEST_F(PopupFrames, OnlyRequestsShowTheWindow) {
  ModalPopup popup;
  HWND window = popup.window();
  ASSERT_NE(window, nullptr);
  // Whatever the dialog manager does once its loop runs, nothing is shown
  // before the first request; a failed one leaves the window hidden.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_EQ(Display(2, 9), OSD_UNKNOWN_VALUE);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(::IsWindowVisible(window));
  ::ShowWindow(window, SW_SHOWNORMAL);  // from outside, as a stray show would
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_EQ(Display(2, 1), OSD_SUCCESS);
  EXPECT_TRUE(::IsWindowVisible(window));
}

TEST_F(PopupFrames, DisplayChangeWhileIdleKeepsThePopupHidden) {
  ModalPopup popup;
  probe_.Reset();
  ::SendMessageW(popup.window(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(probe_.Frames().empty());
  EXPECT_EQ(Display(4, 1), OSD_SUCCESS);
}

TEST_F(PopupFrames, TheUiLanguageChoosesTheDictionary) {
  const std::pair<LANGID, const wchar_t*> cases[] = {
      {0x0411, L"Orvale \u30D7\u30E9\u30A4\u30D9\u30FC\u30C8 \u30D3\u30E5\u30FC - \u30AA\u30F3"},  // Japanese
      {0x0404, L"Orvale \u96B1\u79C1\u6AA2\u8996 - \u958B\u555F"},                                 // Taiwan
      {0x0804, L"Orvale \u9690\u79C1\u89C6\u56FE - \u5F00"},                                       // PRC
      {0x0407, L"Orvale Privatansicht - Ein"},                                                      // German
      {0x0413, L"Orvale Private View - On"},                                                        // Dutch: English
  };
  for (auto [language, text] : cases) {
    SCOPED_TRACE(language);
    probe_.SetUiLanguage(language);
    ModalPopup popup;
    probe_.Reset();
    ASSERT_EQ(Display(4, 0), OSD_SUCCESS);
    const auto texts = probe_.Texts();  // one per size tried; the last one shows
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back().text, text);
  }
}

TEST_F(PopupFrames, EveryEntryDrawsWithItsImages) {
  ModalPopup popup;
  const std::pair<int, int> entries[] = {{0, 1}, {0, 2}, {1, 1}, {2, 0}, {2, 1}, {2, 2}, {3, 0}, {3, 1}, {3, 2},
                                         {4, 1}, {5, 0}, {5, 1}, {5, 2}, {6, 0}, {6, 1}};
  for (auto [kind, value] : entries) {
    probe_.Reset();
    EXPECT_EQ(Display(kind, value), OSD_SUCCESS) << kind << "/" << value;
    const auto texts = probe_.Texts();  // one per size tried; the last one shows
    ASSERT_FALSE(texts.empty()) << kind << "/" << value;
    EXPECT_FALSE(texts.back().text.empty());
  }
}

}  // namespace
}  // namespace glimmer::testing
