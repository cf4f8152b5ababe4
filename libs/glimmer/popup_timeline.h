// The pop-up's life after a request: shown at full opacity, held, then
// faded out in steps, with the state readable from any thread.
//
// The window code owns the timers and the drawing; this class only keeps
// the state and the opacity and says what to do next.
#pragma once

#include <atomic>
#include <cstdint>

namespace glimmer {

enum PopupState : int32_t {
  kPopupIdle = 0,    // hidden
  kPopupShown = 1,   // waiting for the hold time
  kPopupFading = 2,
};

inline constexpr unsigned kHoldTimerId = 1;
inline constexpr unsigned kFadeTimerId = 2;
inline constexpr unsigned kHoldMilliseconds = 2000;
inline constexpr unsigned kFadeStepMilliseconds = 25;
inline constexpr int kFullOpacity = 255;
inline constexpr int kFadeDecrement = 63;

class PopupTimeline {
 public:
  struct FadeTick {
    bool hide;    // the last tick: stop the fade timer and hide the window
    int opacity;  // otherwise draw at this opacity
  };

  // A new request: idle at full opacity until it is drawn.
  void BeginRequest();
  // The request was drawn and the window shown.
  void Shown();
  // The hold is over: the fade begins.
  void HoldOver();
  // One fade timer tick.
  FadeTick NextFadeTick();
  // A display change: the caller hides the window when it was visible, lays
  // out again, and stops the timers when a hold or fade was running.
  bool VisibleBeforeDisplayChange() const;
  bool ResetAfterDisplayChange();  // true when timers must stop

  PopupState state() const { return static_cast<PopupState>(state_.load()); }
  int opacity() const { return opacity_.load(); }

 private:
  std::atomic<int32_t> state_{kPopupIdle};
  std::atomic<int32_t> opacity_{kFullOpacity};
};

}  // namespace glimmer
