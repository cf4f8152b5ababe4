#include "libs/glimmer/tests/win/popup_probe.h"

#include <cstring>
#include <thread>

namespace glimmer::testing {
namespace {

struct State {
  std::mutex mutex;
  int screenWidth = 0, screenHeight = 0, dpi = 0;
  LANGID language = 0;
  int dictionary = 0;
  bool copyPixels = true;
  LARGE_INTEGER mark{}, frequency{};
  std::vector<Frame> frames;
  std::vector<int> images;
  std::vector<int> dictionaries;
  std::vector<DrawnText> texts;
  std::vector<int> fontHeights;

  decltype(&::UpdateLayeredWindow) updateLayeredWindow = nullptr;
  decltype(&::GetSystemMetrics) getSystemMetrics = nullptr;
  decltype(&::GetDeviceCaps) getDeviceCaps = nullptr;
  decltype(&::GetUserDefaultUILanguage) getUserDefaultUiLanguage = nullptr;
  decltype(&::FindResourceW) findResource = nullptr;
  decltype(&::CreateFontW) createFont = nullptr;
  decltype(&Gdiplus::DllExports::GdipDrawString) drawString = nullptr;
  decltype(&::DrawTextW) drawText = nullptr;
};

State& S() {
  static State state;
  return state;
}

double Elapsed() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return (now.QuadPart - S().mark.QuadPart) * 1000.0 / S().frequency.QuadPart;
}

BOOL WINAPI HookUpdateLayeredWindow(HWND hwnd, HDC dst, POINT* position, SIZE* size, HDC src, POINT* srcPos,
                                    COLORREF key, BLENDFUNCTION* blend, DWORD flags) {
  Frame frame;
  frame.ms = Elapsed();
  frame.alpha = blend ? blend->SourceConstantAlpha : -1;
  if (position) frame.position = *position;
  if (size) frame.size = *size;
  DIBSECTION dib{};
  HGDIOBJ bitmap = src ? ::GetCurrentObject(src, OBJ_BITMAP) : nullptr;
  if (S().copyPixels && bitmap && ::GetObjectW(bitmap, sizeof dib, &dib) == sizeof dib && dib.dsBm.bmBits &&
      dib.dsBm.bmBitsPixel == 32 && size && dib.dsBm.bmWidth == size->cx) {
    const auto* bits = static_cast<const uint32_t*>(dib.dsBm.bmBits);
    frame.pixels.assign(bits, bits + static_cast<size_t>(dib.dsBm.bmWidth) * std::abs(dib.dsBm.bmHeight));
  }
  {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().frames.push_back(std::move(frame));
  }
  return S().updateLayeredWindow(hwnd, dst, position, size, src, srcPos, key, blend, flags);
}

int WINAPI HookGetSystemMetrics(int index) {
  if (index == SM_CXSCREEN && S().screenWidth) return S().screenWidth;
  if (index == SM_CYSCREEN && S().screenHeight) return S().screenHeight;
  return S().getSystemMetrics(index);
}

int WINAPI HookGetDeviceCaps(HDC dc, int index) {
  if ((index == LOGPIXELSX || index == LOGPIXELSY) && S().dpi) return S().dpi;
  return S().getDeviceCaps(dc, index);
}

LANGID WINAPI HookGetUserDefaultUiLanguage() {
  return S().language ? S().language : S().getUserDefaultUiLanguage();
}

int ResourceNumber(LPCWSTR name) { return static_cast<int>(reinterpret_cast<uintptr_t>(name)); }

HRSRC WINAPI HookFindResource(HMODULE module, LPCWSTR name, LPCWSTR type) {
  if (IS_INTRESOURCE(name) && !IS_INTRESOURCE(type) && std::wcscmp(type, L"PNG") == 0) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().images.push_back(ResourceNumber(name));
  }
  if (IS_INTRESOURCE(name) && IS_INTRESOURCE(type) && ResourceNumber(type) == 256) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().dictionaries.push_back(ResourceNumber(name));
    if (S().dictionary) name = MAKEINTRESOURCEW(S().dictionary);
  }
  return S().findResource(module, name, type);
}

HFONT WINAPI HookCreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                            DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                            DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCWSTR face) {
  {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().fontHeights.push_back(height);
  }
  return S().createFont(height, width, escapement, orientation, weight, italic, underline, strikeOut, charSet,
                        outPrecision, clipPrecision, quality, pitchAndFamily, face);
}

Gdiplus::GpStatus WINGDIPAPI HookDrawString(Gdiplus::GpGraphics* graphics, const WCHAR* text, INT length,
                                            const Gdiplus::GpFont* font, const Gdiplus::RectF* box,
                                            const Gdiplus::GpStringFormat* format, const Gdiplus::GpBrush* brush) {
  {
    std::lock_guard<std::mutex> lock(S().mutex);
    DrawnText drawn;
    drawn.text = length < 0 ? std::wstring(text) : std::wstring(text, length);
    if (box) drawn.box = *box;
    Gdiplus::GpFont* fontCopy = nullptr;
    if (font && Gdiplus::DllExports::GdipCloneFont(const_cast<Gdiplus::GpFont*>(font), &fontCopy) == Gdiplus::Ok) {
      drawn.font.reset(fontCopy, &Gdiplus::DllExports::GdipDeleteFont);
    }
    Gdiplus::GpStringFormat* formatCopy = nullptr;
    if (format && Gdiplus::DllExports::GdipCloneStringFormat(format, &formatCopy) == Gdiplus::Ok) {
      drawn.format.reset(formatCopy, &Gdiplus::DllExports::GdipDeleteStringFormat);
    }
    if (graphics) Gdiplus::DllExports::GdipGetTextRenderingHint(graphics, &drawn.hint);
    S().texts.push_back(std::move(drawn));
  }
  return S().drawString(graphics, text, length, font, box, format, brush);
}

int WINAPI HookDrawText(HDC dc, LPCWSTR text, int length, LPRECT rect, UINT format) {
  if (!(format & DT_CALCRECT) && text) {
    DrawnText drawn;
    drawn.drawer = DrawnText::Drawer::kGdi;
    drawn.text = length < 0 ? std::wstring(text) : std::wstring(text, length);
    if (rect) {
      drawn.box = Gdiplus::RectF(static_cast<Gdiplus::REAL>(rect->left), static_cast<Gdiplus::REAL>(rect->top),
                                 static_cast<Gdiplus::REAL>(rect->right - rect->left),
                                 static_cast<Gdiplus::REAL>(rect->bottom - rect->top));
    }
    if (HGDIOBJ font = ::GetCurrentObject(dc, OBJ_FONT)) ::GetObjectW(font, sizeof drawn.logFont, &drawn.logFont);
    drawn.drawTextFormat = format;
    std::lock_guard<std::mutex> lock(S().mutex);
    S().texts.push_back(std::move(drawn));
  }
  return S().drawText(dc, text, length, rect, format);
}

template <class Fn>
void Hook(std::vector<std::unique_ptr<zu::testing::IatHook>>& hooks, const char* dll, const char* name,
          void* replacement, Fn& original) {
  auto hook = std::make_unique<zu::testing::IatHook>(::GetModuleHandleW(L"glimmer.dll"), dll, name, replacement);
  if (hook->installed()) original = hook->original<Fn>();
  hooks.push_back(std::move(hook));
}

}  // namespace

PopupProbe::PopupProbe() {
  ::QueryPerformanceFrequency(&S().frequency);
  Reset();
  State& s = S();
  Hook(hooks_, "user32.dll", "UpdateLayeredWindow", reinterpret_cast<void*>(&HookUpdateLayeredWindow),
       s.updateLayeredWindow);
  Hook(hooks_, "user32.dll", "GetSystemMetrics", reinterpret_cast<void*>(&HookGetSystemMetrics), s.getSystemMetrics);
  Hook(hooks_, "gdi32.dll", "GetDeviceCaps", reinterpret_cast<void*>(&HookGetDeviceCaps), s.getDeviceCaps);
  Hook(hooks_, "kernel32.dll", "GetUserDefaultUILanguage", reinterpret_cast<void*>(&HookGetUserDefaultUiLanguage),
       s.getUserDefaultUiLanguage);
  Hook(hooks_, "kernel32.dll", "FindResourceW", reinterpret_cast<void*>(&HookFindResource), s.findResource);
  Hook(hooks_, "gdi32.dll", "CreateFontW", reinterpret_cast<void*>(&HookCreateFont), s.createFont);
  Hook(hooks_, "gdiplus.dll", "GdipDrawString", reinterpret_cast<void*>(&HookDrawString), s.drawString);
  Hook(hooks_, "user32.dll", "DrawTextW", reinterpret_cast<void*>(&HookDrawText), s.drawText);
  for (const auto& h : hooks_) {
    if (!h->installed()) ::OutputDebugStringW(L"popup probe: an import was not found");
  }
}

PopupProbe::~PopupProbe() {
  SetScreen(0, 0);
  SetDpi(0);
  SetUiLanguage(0);
  SetDictionary(0);
  CopyPixels(true);
  hooks_.clear();
}

void PopupProbe::SetScreen(int width, int height) {
  S().screenWidth = width;
  S().screenHeight = height;
}
void PopupProbe::SetDpi(int dpi) { S().dpi = dpi; }
void PopupProbe::SetUiLanguage(LANGID language) { S().language = language; }
void PopupProbe::SetDictionary(int id) { S().dictionary = id; }
void PopupProbe::CopyPixels(bool copy) { S().copyPixels = copy; }

void PopupProbe::Reset() {
  std::lock_guard<std::mutex> lock(S().mutex);
  ::QueryPerformanceCounter(&S().mark);
  S().frames.clear();
  S().images.clear();
  S().dictionaries.clear();
  S().texts.clear();
  S().fontHeights.clear();
}

double PopupProbe::Now() const { return Elapsed(); }

std::vector<Frame> PopupProbe::Frames() const {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().frames;
}
std::vector<int> PopupProbe::Images() const {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().images;
}
std::vector<int> PopupProbe::Dictionaries() const {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().dictionaries;
}
std::vector<DrawnText> PopupProbe::Texts() const {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().texts;
}
std::vector<int> PopupProbe::FontHeights() const {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().fontHeights;
}

bool PopupProbe::WaitForFrames(size_t count, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard<std::mutex> lock(S().mutex);
      if (S().frames.size() >= count) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

HWND FindPopupWindow(DWORD threadId) {
  HWND found = nullptr;
  ::EnumThreadWindows(
      threadId,
      [](HWND hwnd, LPARAM out) -> BOOL {
        wchar_t cls[16] = {};
        ::GetClassNameW(hwnd, cls, 16);
        if (std::wcscmp(cls, L"#32770") != 0) return TRUE;
        *reinterpret_cast<HWND*>(out) = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace glimmer::testing
