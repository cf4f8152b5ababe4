// The COM objects through which Core Audio reports to the monitor: endpoint
// changes (AudioDeviceNotification), new sessions on a watched endpoint
// (MeetingAudioSessionNotification) and one session's state changes
// (MeetingAudioSessionEvents).
//
// Core Audio keeps its own references on these objects and may call them on
// its notification threads at any time, also while or after the monitor
// shuts down. Every callback therefore passes the monitor's CallbackGate
// first: once the gate is closed the callback returns at once, and closing
// waits for the callbacks already inside. The objects themselves live as
// long as anyone holds a reference, so a late call never reaches freed code
// or a freed monitor.
#pragma once

#include <windows.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "plugins/common/loggable.h"
#include "plugins/meetlamp/win/audio_session_monitor.h"

namespace meetlamp {

class CallbackGate {
 public:
  // True when the callback may reach the monitor; it must call Leave then.
  // False once the gate is closed.
  bool Enter();
  void Leave();
  // Turns every later Enter away and waits until the callbacks inside have
  // left. Must not be called from a callback (it would wait for itself).
  void Close();

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  uint32_t inside_ = 0;
  bool closed_ = false;
};

// One pass through the gate for the length of a callback.
class GatePass {
 public:
  explicit GatePass(CallbackGate* gate) : gate_(gate && gate->Enter() ? gate : nullptr) {}
  ~GatePass() {
    if (gate_) gate_->Leave();
  }
  GatePass(const GatePass&) = delete;
  GatePass& operator=(const GatePass&) = delete;
  explicit operator bool() const { return gate_ != nullptr; }

 private:
  CallbackGate* gate_;
};

// IUnknown for an object with one interface: a count that starts at 1 and
// changes with interlocked operations; the object deletes itself at 0.
template <class Derived, class Interface>
class SingleInterfaceObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(Interface))) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete static_cast<Derived*>(this);
    return static_cast<ULONG>(left);
  }

 protected:
  SingleInterfaceObject() = default;
  ~SingleInterfaceObject() = default;

 private:
  LONG refs_ = 1;
};

class AudioDeviceNotification final : public SingleInterfaceObject<AudioDeviceNotification, IMMNotificationClient> {
 public:
  AudioDeviceNotification(IMeetLampEventReceiver* monitor, std::shared_ptr<CallbackGate> gate)
      : monitor_(monitor), gate_(std::move(gate)) {}

  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR endpointId) override;
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR endpointId) override;
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

 private:
  friend class SingleInterfaceObject<AudioDeviceNotification, IMMNotificationClient>;
  ~AudioDeviceNotification() = default;

  IMeetLampEventReceiver* monitor_;
  std::shared_ptr<CallbackGate> gate_;
};

class MeetingAudioSessionNotification final
    : public SingleInterfaceObject<MeetingAudioSessionNotification, IAudioSessionNotification>,
      public zu::ILoggable {
 public:
  MeetingAudioSessionNotification(AudioSessionMonitor* monitor, zu::ILogger* hostLogger,
                                  std::shared_ptr<CallbackGate> gate)
      : monitor_(monitor), gate_(std::move(gate)) {
    logger = hostLogger;
  }

  std::string GetLogTag() override { return "MeetingAudioSessionNotification"; }

  HRESULT STDMETHODCALLTYPE OnSessionCreated(IAudioSessionControl* session) override;

 private:
  friend class SingleInterfaceObject<MeetingAudioSessionNotification, IAudioSessionNotification>;
  ~MeetingAudioSessionNotification() = default;

  AudioSessionMonitor* monitor_;
  std::shared_ptr<CallbackGate> gate_;
};

class MeetingAudioSessionEvents final : public SingleInterfaceObject<MeetingAudioSessionEvents, IAudioSessionEvents> {
 public:
  MeetingAudioSessionEvents(DWORD processId, IMeetLampEventReceiver* monitor, std::shared_ptr<CallbackGate> gate)
      : processId_(processId), monitor_(monitor), gate_(std::move(gate)) {}

  DWORD processId() const { return processId_; }

  HRESULT STDMETHODCALLTYPE OnDisplayNameChanged(LPCWSTR, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnIconPathChanged(LPCWSTR, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnSimpleVolumeChanged(float, BOOL, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnChannelVolumeChanged(DWORD, float*, DWORD, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnGroupingParamChanged(LPCGUID, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStateChanged(AudioSessionState newState) override;
  HRESULT STDMETHODCALLTYPE OnSessionDisconnected(AudioSessionDisconnectReason) override { return S_OK; }

 private:
  friend class SingleInterfaceObject<MeetingAudioSessionEvents, IAudioSessionEvents>;
  ~MeetingAudioSessionEvents() = default;

  const DWORD processId_;
  IMeetLampEventReceiver* monitor_;
  std::shared_ptr<CallbackGate> gate_;
};

}  // namespace meetlamp
