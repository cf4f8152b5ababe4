#include "plugins/meetlamp/win/audio_callbacks.h"

namespace meetlamp {

bool CallbackGate::Enter() {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  ++inside_;
  return true;
}

void CallbackGate::Leave() {
  std::lock_guard lock(mutex_);
  if (--inside_ == 0) idle_.notify_all();
}

void CallbackGate::Close() {
  std::unique_lock lock(mutex_);
  closed_ = true;
  idle_.wait(lock, [this] { return inside_ == 0; });
}

HRESULT AudioDeviceNotification::OnDeviceAdded(LPCWSTR endpointId) {
  if (!endpointId) return S_OK;
  if (GatePass pass(gate_.get()); pass) monitor_->OnDeviceAdded(endpointId);
  return S_OK;
}

HRESULT AudioDeviceNotification::OnDeviceRemoved(LPCWSTR endpointId) {
  if (!endpointId) return S_OK;
  if (GatePass pass(gate_.get()); pass) monitor_->OnDeviceRemoved(endpointId);
  return S_OK;
}

HRESULT MeetingAudioSessionNotification::OnSessionCreated(IAudioSessionControl* session) {
  if (!session) return S_OK;
  if (GatePass pass(gate_.get()); pass) monitor_->OnSessionCreated(session);
  return S_OK;
}

HRESULT MeetingAudioSessionEvents::OnStateChanged(AudioSessionState newState) {
  if (GatePass pass(gate_.get()); pass) monitor_->OnAudioStateChanged(processId_, newState, this);
  return S_OK;
}

}  // namespace meetlamp
