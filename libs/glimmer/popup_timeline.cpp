#include "libs/glimmer/popup_timeline.h"

namespace glimmer {

void PopupTimeline::BeginRequest() {
  state_.exchange(kPopupIdle);
  opacity_.exchange(kFullOpacity);
}

void PopupTimeline::Shown() { state_.exchange(kPopupShown); }

void PopupTimeline::HoldOver() { state_.exchange(kPopupFading); }

PopupTimeline::FadeTick PopupTimeline::NextFadeTick() {
  const int lowered = opacity_.fetch_sub(kFadeDecrement) - kFadeDecrement;
  if (lowered <= 0) {
    state_.exchange(kPopupIdle);
    opacity_.exchange(kFullOpacity);
    return {true, 0};
  }
  return {false, lowered};
}

bool PopupTimeline::VisibleBeforeDisplayChange() const {
  const int32_t s = state_.load();
  return s == kPopupShown || s == kPopupFading;
}

bool PopupTimeline::ResetAfterDisplayChange() { return state_.exchange(kPopupIdle) != kPopupIdle; }

}  // namespace glimmer
