// Draws the privacy-view-on pop-up and the multi-presenter call pop-up in
// each of the library's 33 languages through the real glimmer.dll and lays
// them out on one contact sheet PNG, each pair labelled with its language,
// its dictionary and what the caption check found.
//
// Each language's pop-up is started with a user UI language of that
// language, so the library chooses its dictionary as it does for a user;
// for the languages it carries but never chooses, the probe hands it that
// language's dictionary in place of the one it asked for (the label says so).
//
//   glimmer_contact_sheet [--dictionaries ID,ID,...] OUT.png [width height]
//   (default: all 33 dictionaries on a 1920 x 1080 screen)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/win/utf.h"
#include "libs/glimmer/bench/png_file.h"
#include "libs/glimmer/tests/win/caption_check.h"
#include "libs/glimmer/tests/win/dictionary_languages.h"
#include "libs/glimmer/tests/win/popup_probe.h"
#include "libs/glimmer/tests/win/popup_thread.h"

using namespace glimmer::testing;

namespace glimmer::testing {
HWND ModalPopup::window() const { return FindPopupWindow(threadId_); }
}  // namespace glimmer::testing

namespace {

constexpr uint32_t kSheet = 0xFF24282Eu;    // the sheet
constexpr uint32_t kDesktop = 0xFF4A78A8u;  // what the pop-ups are shown over
constexpr int kColumns = 4;
constexpr int kPad = 12;
constexpr int kLabelHeight = 62;
constexpr int kTitleHeight = 40;

struct Drawn {
  Frame frame;
  std::wstring verdict;  // what the caption check found
};

struct Cell {
  const DictionaryLanguage* language = nullptr;
  int asked = 0;  // the dictionary the library asked for
  std::vector<Drawn> popups;
};

class Sheet {
 public:
  Sheet(int width, int height) : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, kSheet) {}

  void Fill(int x, int y, int w, int h, uint32_t colour) {
    for (int j = std::max(0, y); j < std::min(height_, y + h); ++j)
      for (int i = std::max(0, x); i < std::min(width_, x + w); ++i) pixels_[static_cast<size_t>(j) * width_ + i] = colour;
  }
  void Put(const Frame& f, int x, int y) {
    for (int j = 0; j < f.size.cy; ++j)
      for (int i = 0; i < f.size.cx; ++i) {
        if (x + i < 0 || y + j < 0 || x + i >= width_ || y + j >= height_) continue;
        uint32_t& below = pixels_[static_cast<size_t>(y + j) * width_ + x + i];
        below = glimmer::tools::Over(f.At(i, j), f.alpha, below);
      }
  }
  void Text(const std::wstring& text, int x, int y, int w, float size, uint32_t colour) {
    Gdiplus::Bitmap canvas(width_, height_, width_ * 4, PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(pixels_.data()));
    Gdiplus::Graphics graphics(&canvas);
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    Gdiplus::FontFamily family(L"Segoe UI");
    Gdiplus::Font font(&family, size, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush brush{Gdiplus::Color(colour)};
    Gdiplus::StringFormat format;
    format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
    format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
    graphics.DrawString(text.c_str(), static_cast<INT>(text.size()), &font,
                        Gdiplus::RectF(static_cast<float>(x), static_cast<float>(y), static_cast<float>(w), size * 1.5f),
                        &format, &brush);
  }
  bool Save(const std::wstring& path) const { return glimmer::tools::SavePng(pixels_, width_, height_, path); }

 private:
  int width_, height_;
  std::vector<uint32_t> pixels_;
};

std::wstring Wide(const char* text) { return zu::win::FromUtf8(text); }

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> only;  // empty: every dictionary
  if (argc > 2 && std::string(argv[1]) == "--dictionaries") {
    for (const char* p = argv[2]; *p;) {
      char* end = nullptr;
      only.push_back(static_cast<int>(std::strtol(p, &end, 10)));
      if (end == p) break;
      p = *end == ',' ? end + 1 : end;
    }
    argc -= 2;
    argv += 2;
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s [--dictionaries ID,ID,...] OUT.png [width height]\n", argv[0]);
    return 2;
  }
  const std::wstring out = zu::win::FromUtf8(argv[1]);
  const int screenWidth = argc > 3 ? std::atoi(argv[2]) : 1920;
  const int screenHeight = argc > 3 ? std::atoi(argv[3]) : 1080;
  const std::pair<int, int> requests[] = {{4, 0}, {5, 2}};  // privacy view on, multi-presenter call

  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  int faults = 0;
  int status = 0;
  {
    std::vector<Cell> cells;
    PopupProbe probe;
    probe.SetScreen(screenWidth, screenHeight);
    for (const DictionaryLanguage& language : kDictionaryLanguages) {
      if (!only.empty() && std::find(only.begin(), only.end(), language.id) == only.end()) continue;
      Cell cell;
      cell.language = &language;
      probe.Reset();
      probe.SetUiLanguage(language.uiLanguage);
      probe.SetDictionary(language.id);
      ModalPopup popup;
      const auto asked = probe.Dictionaries();
      cell.asked = asked.empty() ? 0 : asked.front();
      for (auto [kind, value] : requests) {
        probe.Reset();
        const int result = Display(kind, value);
        const auto frames = probe.Frames();
        const auto texts = probe.Texts();
        if (result != OSD_SUCCESS || frames.empty() || texts.empty()) {
          std::fprintf(stderr, "%d %s: request %d/%d gave %d\n", language.id, language.tag, kind, value, result);
          status = 1;
          continue;
        }
        Drawn drawn;
        drawn.frame = frames.back();
        const CaptionFindings findings = CheckCaption(texts.back(), popup.window(), frames.back());
        const auto heights = probe.FontHeights();
        drawn.verdict = findings.Summary();
        if (!heights.empty()) drawn.verdict += L", " + std::to_wstring(heights.back()) + L" px";
        if (!findings.ok()) {
          ++faults;
          std::fprintf(stderr, "%d %s %d/%d: %s\n", language.id, language.tag, kind, value,
                       zu::win::ToUtf8(drawn.verdict).c_str());
        }
        cell.popups.push_back(std::move(drawn));
      }
      cells.push_back(std::move(cell));
    }
    probe.SetDictionary(0);

    // Cell size from the pop-up size.
    int popupWidth = 0, popupHeight = 0;
    for (const Cell& c : cells)
      for (const Drawn& d : c.popups) {
        popupWidth = std::max<int>(popupWidth, d.frame.size.cx);
        popupHeight = std::max<int>(popupHeight, d.frame.size.cy);
      }
    const int cellWidth = kPad + 2 * (popupWidth + kPad);
    const int cellHeight = kLabelHeight + popupHeight + 2 * kPad;
    const int columns = std::max(1, std::min<int>(kColumns, static_cast<int>(cells.size())));
    const int rows = (static_cast<int>(cells.size()) + columns - 1) / columns;
    Sheet sheet(columns * cellWidth + kPad, kTitleHeight + rows * cellHeight + kPad);
    wchar_t title[200];
    std::swprintf(title, 200, L"glimmer.dll: privacy view on and multi-presenter call in %ls, %dx%d screen",
                  only.empty() ? L"every dictionary" : L"some dictionaries", screenWidth, screenHeight);
    sheet.Text(title, kPad, 10, columns * cellWidth, 18, 0xFFFFFFFF);
    for (size_t i = 0; i < cells.size(); ++i) {
      const Cell& c = cells[i];
      const int x = kPad + static_cast<int>(i % columns) * cellWidth;
      const int y = kTitleHeight + static_cast<int>(i / columns) * cellHeight;
      wchar_t label[200];
      std::swprintf(label, 200, L"%d  %ls (%ls)", c.language->id, Wide(c.language->name).c_str(),
                    Wide(c.language->tag).c_str());
      sheet.Text(label, x, y, cellWidth - 2 * kPad, 15, 0xFFFFFFFF);
      if (c.asked == c.language->id) {
        std::swprintf(label, 200, L"UI language %04x: the library chooses %d", c.language->uiLanguage, c.asked);
      } else {
        std::swprintf(label, 200, L"UI language %04x: the library chooses %d; drawn from %d", c.language->uiLanguage,
                      c.asked, c.language->id);
      }
      sheet.Text(label, x, y + 20, cellWidth - 2 * kPad, 12, 0xFFB8C0CC);
      std::wstring verdicts;
      bool ok = true;
      for (const Drawn& d : c.popups) {
        verdicts += (verdicts.empty() ? L"" : L"  |  ") + d.verdict;
        ok &= d.verdict.rfind(L"ok", 0) == 0;
      }
      sheet.Text(verdicts, x, y + 38, cellWidth - 2 * kPad, 12, ok ? 0xFF7FD18Bu : 0xFFFF7A6Eu);
      sheet.Fill(x, y + kLabelHeight - kPad / 2, cellWidth - kPad, popupHeight + 2 * kPad, kDesktop);
      for (size_t p = 0; p < c.popups.size(); ++p) {
        sheet.Put(c.popups[p].frame, x + kPad / 2 + static_cast<int>(p) * (popupWidth + kPad),
                  y + kLabelHeight + kPad / 2);
      }
    }
    if (!sheet.Save(out)) {
      std::fprintf(stderr, "writing the sheet failed\n");
      status = 1;
    }
    std::printf("%zu languages, %d captions with faults\n", cells.size(), faults);
  }
  Gdiplus::GdiplusShutdown(token);
  return status;
}
