#include "libs/glimmer/win/osd_dialog.h"

#include <cstring>
#include <memory>
#include <string>

#include "base/win/utf.h"
#include "libs/glimmer/caption_text.h"
#include "libs/glimmer/frame_compose.h"
#include "libs/glimmer/language_select.h"
#include "libs/glimmer/request_table.h"
#include "libs/glimmer/win/resource_ids.h"
#include "libs/glimmer/win/resource_image.h"

namespace glimmer {
namespace {

// How long a display request from another thread waits for the pop-up's
// thread before it gives up (a frame takes a few milliseconds).
constexpr UINT kRequestTimeoutMs = 2000;

// The background plate is drawn at this opacity.
constexpr float kPlateOpacity = 237.0f / 255.0f;

// The screen's scale, taken once per process on first use.
double ProcessDisplayScale() {
  static const double scale = [] {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return DisplayScaleFromDpi(dpi);
  }();
  return scale;
}

// A request crosses to the window's thread by value: kind and value in
// wParam, the reserved bytes in lParam.
WPARAM PackKindValue(const OSDData_t& r) {
  return (static_cast<WPARAM>(static_cast<uint32_t>(r.kind)) << 32) | static_cast<uint32_t>(r.value);
}
OSDData_t Unpack(WPARAM wParam, LPARAM lParam) {
  OSDData_t r{};
  r.kind = static_cast<int32_t>(static_cast<uint32_t>(wParam >> 32));
  r.value = static_cast<int32_t>(static_cast<uint32_t>(wParam));
  std::memcpy(r.reserved, &lParam, sizeof r.reserved);
  return r;
}
LPARAM PackReserved(const OSDData_t& r) {
  LPARAM l = 0;
  std::memcpy(&l, r.reserved, sizeof r.reserved);
  return l;
}

RECT ScreenRect(HWND hwnd) {
  RECT r{};
  if (hwnd) ::GetWindowRect(hwnd, &r);
  return r;
}

Gdiplus::Rect Relative(const RECT& r, const RECT& origin) {
  return Gdiplus::Rect(r.left - origin.left, r.top - origin.top, r.right - r.left, r.bottom - r.top);
}

// Owners for the GDI objects of one frame.
struct WindowDc {
  HWND hwnd;
  HDC dc;
  explicit WindowDc(HWND h) : hwnd(h), dc(::GetDC(h)) {}
  ~WindowDc() {
    if (dc) ::ReleaseDC(hwnd, dc);
  }
};
// The text of a library string (kinds 0 and 1), or empty.
std::wstring LibraryString(HINSTANCE module, int id) {
  if (id == 0) return {};
  const wchar_t* text = nullptr;
  const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 && text ? std::wstring(text, length) : std::wstring();
}

}  // namespace

COSDDlg::COSDDlg(HINSTANCE module, RunMode mode) : DialogBase(module, IDD_OSD), module_(module), runMode_(mode) {
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr) != Gdiplus::Ok) gdiplusToken_ = 0;
}

COSDDlg::~COSDDlg() {
  if (gdiplusToken_) Gdiplus::GdiplusShutdown(gdiplusToken_);
}

void COSDDlg::Release() {
  if (refs_.fetch_sub(1) == 1) delete this;
}

BOOL COSDDlg::OnInitDialog() {
  DialogBase::OnInitDialog();
  HWND hwnd = GetSafeHwnd();
  // The template does not set the layered bit, so toggling it sets it; a
  // tool window has no taskbar button. The pop-up is never activated: the
  // user's window keeps the foreground and the keyboard focus.
  LONG_PTR exStyle = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  exStyle ^= WS_EX_LAYERED;
  exStyle = (exStyle & ~static_cast<LONG_PTR>(WS_EX_APPWINDOW)) | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
  ::SetWindowLongPtrW(hwnd, GWL_EXSTYLE, exStyle);
  ::SetProcessDPIAware();
  {
    CriticalSection::Lock hold(lock_);
    startWidth_ = ::GetSystemMetrics(SM_CXSCREEN);
    startHeight_ = ::GetSystemMetrics(SM_CYSCREEN);
  }
  Layout(false);
  LoadDictionary(DictionaryForLanguage(::GetUserDefaultUILanguage()));
  // The library's end may have come before this window existed.
  if (runMode() == kRunEnded) EndDialog(1);
  // A layered window shows nothing until its first frame. FALSE: the
  // dialog manager sets no focus, which would activate the pop-up.
  return FALSE;
}

void COSDDlg::Layout(bool rescale) {
  HWND hwnd = GetSafeHwnd();
  CriticalSection::Lock hold(lock_);
  const LayoutRequest request{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), startWidth_,
                              ProcessDisplayScale(), rescale};
  layout_ = ComputeLayout(request);
  layers_.clear();  // the boxes may have new sizes
  pictures_.clear();
  caption_.ForgetLayout();
  const PixelRect& w = layout_.window;
  ::SetWindowPos(hwnd, nullptr, w.x, w.y, w.width, w.height, SWP_NOZORDER | SWP_NOACTIVATE);
  auto place = [hwnd](int id, const PixelRect& r) {
    ::SetWindowPos(::GetDlgItem(hwnd, id), nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  place(IDC_OSD_PLATE, layout_.plate);
  place(IDC_OSD_ICON, layout_.icon);
  place(IDC_OSD_TEXT, layout_.text);
  // Every request draws the plate: have it ready before the first one.
  Layer(kPlateImage, layout_.plate.width, layout_.plate.height, kPlateOpacity);
}

void COSDDlg::LoadDictionary(int id) {
  DisplayTexts texts = LoadDictionaryResource(module_, id);
  CriticalSection::Lock hold(lock_);
  dictionary_ = std::move(texts);
  face_ = zu::win::FromUtf8(CaptionFace(id));
  pictures_.clear();  // the captions may have changed
}

const COSDDlg::KeptPicture* COSDDlg::FindPicture(int width, int height) const {
  for (const KeptPicture& p : pictures_) {
    if (p.kind == current_.kind && p.value == current_.value && p.width == width && p.height == height) return &p;
  }
  return nullptr;
}

void COSDDlg::KeepPicture(int width, int height, const uint32_t* pixels) {
  std::erase_if(pictures_, [&](const KeptPicture& p) { return p.kind == current_.kind && p.value == current_.value; });
  if (pictures_.size() >= kKeptPictures) pictures_.pop_back();
  KeptPicture picture{current_.kind, current_.value, width, height, {}};
  picture.pixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
  pictures_.push_front(std::move(picture));
}

OSD_RESULT COSDDlg::ShowRequest(const OSDData_t& request) {
  HWND hwnd = GetSafeHwnd();
  if (!hwnd || runMode() == kRunEnded) return OSD_FAILED;
  if (OnWindowThread()) return ShowOnWindowThread(request);
  DWORD_PTR result = OSD_FAILED;
  if (!::SendMessageTimeoutW(hwnd, kShowMessage, PackKindValue(request), PackReserved(request),
                             SMTO_BLOCK | SMTO_ABORTIFHUNG, kRequestTimeoutMs, &result)) {
    return OSD_FAILED;
  }
  return static_cast<OSD_RESULT>(result);
}

OSD_RESULT COSDDlg::ShowOnWindowThread(const OSDData_t& request) {
  if (!GetSafeHwnd() || runMode() == kRunEnded) return OSD_FAILED;
  {
    CriticalSection::Lock hold(lock_);
    current_ = request;
  }
  StopTimers();
  timeline_.BeginRequest();
  const int result = Render(kFullOpacity);
  if (result != 0) {
    // Nothing may stay frozen on screen from an earlier request whose
    // timers were just stopped.
    Hide();
    return static_cast<OSD_RESULT>(result);
  }
  SetTimer(kHoldTimerId, kHoldMilliseconds);
  timeline_.Shown();
  Show();
  return OSD_SUCCESS;
}

void COSDDlg::StopTimers() {
  KillTimer(kFadeTimerId);
  KillTimer(kHoldTimerId);
}

void COSDDlg::Hide() { ::ShowWindow(GetSafeHwnd(), SW_HIDE); }

void COSDDlg::Show() {
  showing_ = true;
  ::ShowWindow(GetSafeHwnd(), SW_SHOWNOACTIVATE);
  showing_ = false;
}

void COSDDlg::OnTimer(UINT_PTR id) {
  if (id == kHoldTimerId) {
    KillTimer(kHoldTimerId);
    SetTimer(kFadeTimerId, kFadeStepMilliseconds);
    timeline_.HoldOver();
  } else if (id == kFadeTimerId) {
    const PopupTimeline::FadeTick tick = timeline_.NextFadeTick();
    if (tick.hide) {
      KillTimer(kFadeTimerId);
      Hide();
    } else {
      Render(tick.opacity);
    }
  }
}

INT_PTR COSDDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kShowMessage:
      return Answer(ShowOnWindowThread(Unpack(wParam, lParam)));
    case WM_WINDOWPOSCHANGING: {
      // The dialog manager shows a dialog after its initialisation and again
      // when its loop first goes idle, which could bring back a pop-up a
      // failed request has just hidden: only requests show the window, and
      // no move or show ever activates it.
      auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
      if (!showing_ && (position->flags & SWP_SHOWWINDOW)) position->flags &= ~SWP_SHOWWINDOW;
      position->flags |= SWP_NOACTIVATE;
      break;
    }
    case WM_MOUSEACTIVATE:
      return Answer(MA_NOACTIVATE);
    case WM_DISPLAYCHANGE: {
      if (timeline_.VisibleBeforeDisplayChange()) Hide();
      Layout(true);
      if (timeline_.ResetAfterDisplayChange()) StopTimers();
      break;
    }
    default:
      break;
  }
  return DialogBase::WindowProc(message, wParam, lParam);
}

bool COSDDlg::CreateModeless() {
  AddRef();  // the window's own reference, dropped when the window is gone
  windowHoldsReference_ = true;
  if (Create()) return true;
  windowHoldsReference_ = false;
  Release();
  return false;
}

void COSDDlg::OnWindowGone() {
  runMode_.exchange(kRunEnded);
  if (windowHoldsReference_) Release();  // may be the last reference
}

const PixelLayer* COSDDlg::Layer(int id, int width, int height, float opacity) {
  if (width <= 0 || height <= 0) return nullptr;
  const auto key = std::make_tuple(id, width, height);
  if (auto found = layers_.find(key); found != layers_.end()) return &found->second;

  ResourceImage image = ResourceImage::Load(module_, id);
  if (!image) return nullptr;
  Gdiplus::Bitmap scaled(width, height, PixelFormat32bppPARGB);
  {
    Gdiplus::Graphics graphics(&scaled);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);
    // The opacity scales alpha through a colour matrix.
    Gdiplus::ColorMatrix matrix = {{{1, 0, 0, 0, 0},
                                    {0, 1, 0, 0, 0},
                                    {0, 0, 1, 0, 0},
                                    {0, 0, 0, opacity, 0},
                                    {0, 0, 0, 0, 1}}};
    Gdiplus::ImageAttributes attributes;
    attributes.SetColorMatrix(&matrix);
    attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);  // no dark fringe at the edges
    if (graphics.DrawImage(image.get(), Gdiplus::Rect(0, 0, width, height), 0, 0, image.get()->GetWidth(),
                           image.get()->GetHeight(), Gdiplus::UnitPixel, &attributes) != Gdiplus::Ok) {
      return nullptr;
    }
  }
  PixelLayer layer;
  layer.width = width;
  layer.height = height;
  layer.pixels.resize(static_cast<size_t>(width) * height);
  Gdiplus::BitmapData data{};
  data.Width = width;
  data.Height = height;
  data.Stride = width * 4;
  data.PixelFormat = PixelFormat32bppPARGB;
  data.Scan0 = layer.pixels.data();
  Gdiplus::Rect all(0, 0, width, height);
  if (scaled.LockBits(&all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf, PixelFormat32bppPARGB,
                      &data) != Gdiplus::Ok) {
    return nullptr;
  }
  scaled.UnlockBits(&data);
  return &layers_.emplace(key, std::move(layer)).first->second;
}

bool COSDDlg::Compose(const RequestLookup& entry, const RECT& window, const RECT& plateBox, const RECT& iconBox,
                      const RECT& textBox, HDC memoryDc, uint32_t* bits) {
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  // The plate and the icon, scaled to their boxes, then the caption.
  const Gdiplus::Rect plateRect = Relative(plateBox, window);
  const Gdiplus::Rect iconRect = Relative(iconBox, window);
  const PixelLayer* plate = Layer(kPlateImage, plateRect.Width, plateRect.Height, kPlateOpacity);
  const PixelLayer* icon = Layer(layout_.largeScreen ? entry.content.largeImage : entry.content.normalImage,
                                 iconRect.Width, iconRect.Height, 1.0f);
  bool failed = !plate || !icon;
  const FrameView frame{bits, width, height};
  if (plate) BlendOver(frame, *plate, plateRect.X, plateRect.Y);
  if (icon) BlendOver(frame, *icon, iconRect.X, iconRect.Y);
  // Caption: the dictionary's text for the key, else the library string.
  std::wstring text;
  if (entry.content.textKey) {
    auto found = dictionary_.find(entry.content.textKey);
    if (found != dictionary_.end()) text = found->second;
  } else {
    text = LibraryString(module_, entry.content.stringId);
  }
  for (char c : CaptionSuffix(entry.content, current_.value)) text.push_back(static_cast<wchar_t>(c));
  if (!text.empty()) {
    CaptionRequest caption;
    caption.text = std::move(text);
    caption.face = face_;
    caption.layoutSize = static_cast<int>(layout_.fontSize);
    caption.box = Relative(textBox, window);
    failed |= !caption_.Paint(memoryDc, frame, caption);
  }

  return !failed;
}

int COSDDlg::Render(int opacity) {
  CriticalSection::Lock hold(lock_);
  HWND hwnd = GetSafeHwnd();
  if (!hwnd || !gdiplusToken_) return OSD_FAILED;

  const RECT window = ScreenRect(hwnd);
  const RECT plateBox = ScreenRect(::GetDlgItem(hwnd, IDC_OSD_PLATE));
  const RECT iconBox = ScreenRect(::GetDlgItem(hwnd, IDC_OSD_ICON));
  const RECT textBox = ScreenRect(::GetDlgItem(hwnd, IDC_OSD_TEXT));

  const RequestLookup entry = LookupRequest(current_.kind, current_.value);
  if (entry.result != OSD_SUCCESS) return entry.result;

  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  if (width <= 0 || height <= 0) return OSD_FAILED;

  WindowDc windowDc(hwnd);
  const KeptPicture* kept = FindPicture(width, height);
  if (!windowDc.dc || !surface_.Prepare(windowDc.dc, width, height, /*clear=*/!kept)) return OSD_FAILED;
  HDC memoryDc = surface_.dc();
  void* bits = surface_.pixels();
  bool failed = false;
  if (kept) {
    std::memcpy(bits, kept->pixels.data(), kept->pixels.size() * sizeof(uint32_t));
  } else {
    failed = !Compose(entry, window, plateBox, iconBox, textBox, memoryDc, static_cast<uint32_t*>(bits));
    if (!failed) KeepPicture(width, height, static_cast<const uint32_t*>(bits));
  }

  // Push the frame: per-pixel alpha, the opacity as constant alpha.
  POINT destination{window.left, window.top};
  SIZE size{width, height};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(opacity), AC_SRC_ALPHA};
  if (!::UpdateLayeredWindow(hwnd, nullptr, &destination, &size, memoryDc, &source, 0, &blend, ULW_ALPHA)) {
    failed = true;
  }
  return failed ? OSD_FAILED : OSD_SUCCESS;
}

}  // namespace glimmer
