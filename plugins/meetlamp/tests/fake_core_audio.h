// Core Audio for tests: real COM objects behind IMMDeviceEnumerator,
// IMMDeviceCollection, IMMDevice/IMMEndpoint, IPropertyStore,
// IAudioSessionManager2, IAudioSessionEnumerator and IAudioSessionControl2,
// handed to the monitor through its enumerator factory. Test threads add
// and remove endpoints, create sessions and change their state; the fake
// calls the registered callbacks on the calling thread, as Core Audio's
// notification threads would, and counts every registration.
#pragma once

#include <windows.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/win/com_ptr.h"
#include "plugins/meetlamp/win/audio_session_monitor.h"

namespace meetlamp::fake {

class FakeCoreAudio;

// Reference counting shared by the fakes; `refs()` is the current count.
class RefCount {
 public:
  ULONG Add() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  LONG Drop() { return ::InterlockedDecrement(&refs_); }
  LONG refs() const { return refs_; }

 private:
  volatile LONG refs_ = 1;
};

#define FAKE_REFCOUNT_METHODS                                                       \
  ULONG STDMETHODCALLTYPE AddRef() override { return count_.Add(); }                \
  ULONG STDMETHODCALLTYPE Release() override {                                      \
    const LONG left = count_.Drop();                                                \
    if (left == 0) delete this;                                                     \
    return static_cast<ULONG>(left);                                                \
  }                                                                                 \
  LONG refs() const { return count_.refs(); }                                       \
                                                                                    \
 private:                                                                           \
  RefCount count_;                                                                  \
                                                                                    \
 public:

// How many registrations of each kind were made and undone.
struct Counts {
  std::atomic<int> endpointRegistered{0}, endpointUnregistered{0};
  std::atomic<int> sessionNotificationRegistered{0}, sessionNotificationUnregistered{0};
  std::atomic<int> eventsRegistered{0}, eventsUnregistered{0};
  // Unregistrations of a session's events made while that session was
  // inside one of its own callbacks.
  std::atomic<int> eventsUnregisteredInCallback{0};
};

class FakeSession final : public IAudioSessionControl2 {
 public:
  FakeSession(FakeCoreAudio* world, DWORD processId, bool systemSounds, AudioSessionState state)
      : world_(world), processId_(processId), systemSounds_(systemSounds), state_(state) {}
  virtual ~FakeSession() { JoinReporter(); }
  FAKE_REFCOUNT_METHODS

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  // IAudioSessionControl
  HRESULT STDMETHODCALLTYPE GetState(AudioSessionState* state) override;
  HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIconPath(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetIconPath(LPCWSTR, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetGroupingParam(GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetGroupingParam(LPCGUID, LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterAudioSessionNotification(IAudioSessionEvents* events) override;
  HRESULT STDMETHODCALLTYPE UnregisterAudioSessionNotification(IAudioSessionEvents* events) override;
  // IAudioSessionControl2
  HRESULT STDMETHODCALLTYPE GetSessionIdentifier(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSessionInstanceIdentifier(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetProcessId(DWORD* processId) override;
  HRESULT STDMETHODCALLTYPE IsSystemSoundsSession() override { return systemSounds_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetDuckingPreference(BOOL) override { return E_NOTIMPL; }

  // Sets the state and reports it to every registered events object, on
  // the calling thread.
  void ChangeState(AudioSessionState state);
  DWORD processId() const { return processId_; }
  size_t registeredEvents() const;

  // The next registration starts another thread (a Core Audio notification
  // thread) that reports the expiry at once; the registration returns when
  // that report is done or after 300 ms, whichever comes first.
  std::atomic<bool> expiresWhileRegistering{false};
  void JoinReporter() {
    if (reporter_.joinable()) reporter_.join();
  }

 private:
  FakeCoreAudio* world_;
  const DWORD processId_;
  const bool systemSounds_;
  std::atomic<AudioSessionState> state_;
  std::atomic<int> inCallback_{0};
  mutable std::mutex mutex_;
  std::vector<zu::win::ComPtr<IAudioSessionEvents>> events_;
  std::thread reporter_;
};

class FakeSessionManager final : public IAudioSessionManager2 {
 public:
  explicit FakeSessionManager(FakeCoreAudio* world) : world_(world) {}
  virtual ~FakeSessionManager() = default;
  FAKE_REFCOUNT_METHODS

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE GetAudioSessionControl(LPCGUID, DWORD, IAudioSessionControl**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetSimpleAudioVolume(LPCGUID, DWORD, ISimpleAudioVolume**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSessionEnumerator(IAudioSessionEnumerator** sessions) override;
  HRESULT STDMETHODCALLTYPE RegisterSessionNotification(IAudioSessionNotification* notification) override;
  HRESULT STDMETHODCALLTYPE UnregisterSessionNotification(IAudioSessionNotification* notification) override;
  HRESULT STDMETHODCALLTYPE RegisterDuckNotification(LPCWSTR, IAudioVolumeDuckNotification*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UnregisterDuckNotification(IAudioVolumeDuckNotification*) override { return E_NOTIMPL; }

  // A session on this endpoint; with `announce`, reported to every
  // registered session notification (on the calling thread).
  zu::win::ComPtr<FakeSession> CreateSession(DWORD processId, AudioSessionState state = AudioSessionStateInactive,
                                             bool systemSounds = false, bool announce = true);
  size_t registeredNotifications() const;

  // Failures a driver can produce.
  std::atomic<HRESULT> sessionEnumeratorResult{S_OK};

 private:
  FakeCoreAudio* world_;
  mutable std::mutex mutex_;
  std::vector<zu::win::ComPtr<FakeSession>> sessions_;
  std::vector<zu::win::ComPtr<IAudioSessionNotification>> notifications_;
};

// A device and its IMMEndpoint in one object, as Core Audio's are.
class FakeEndpoint final : public IMMDevice, public IMMEndpoint {
 public:
  FakeEndpoint(FakeCoreAudio* world, std::wstring id, EDataFlow flow, DWORD state);
  virtual ~FakeEndpoint() = default;
  FAKE_REFCOUNT_METHODS

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  // IMMDevice
  HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* params, void** object) override;
  HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override;
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override;
  // IMMEndpoint
  HRESULT STDMETHODCALLTYPE GetDataFlow(EDataFlow* flow) override;

  const std::wstring& id() const { return id_; }
  EDataFlow flow() const { return flow_; }
  DWORD state() const { return state_; }
  FakeSessionManager* manager() const { return manager_.get(); }

  // What the device answers: Activate's result (a disabled device refuses),
  // S_OK with no object (a misbehaving driver), a nameless device.
  std::atomic<HRESULT> activateResult{S_OK};
  std::atomic<bool> activateGivesNull{false};
  std::atomic<bool> hasName{true};

 private:
  FakeCoreAudio* world_;
  const std::wstring id_;
  const EDataFlow flow_;
  const DWORD state_;
  zu::win::ComPtr<FakeSessionManager> manager_;
};

class FakeEnumerator final : public IMMDeviceEnumerator {
 public:
  explicit FakeEnumerator(FakeCoreAudio* world) : world_(world) {}
  virtual ~FakeEnumerator() = default;
  FAKE_REFCOUNT_METHODS

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask, IMMDeviceCollection** devices) override;
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow, ERole, IMMDevice**) override { return E_NOTFOUND; }
  HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override;
  HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient* client) override;
  HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override;

 private:
  FakeCoreAudio* world_;
};

// The machine's audio: endpoints, the one enumerator, the registered
// endpoint callbacks and what was registered.
class FakeCoreAudio {
 public:
  FakeCoreAudio();
  ~FakeCoreAudio();
  FakeCoreAudio(const FakeCoreAudio&) = delete;
  FakeCoreAudio& operator=(const FakeCoreAudio&) = delete;

  // The factory to hand to the monitor.
  EnumeratorFactory Factory();
  // The factory fails with this result instead.
  std::atomic<HRESULT> factoryResult{S_OK};
  std::atomic<HRESULT> enumerationResult{S_OK};

  // "{0.0.1.00000000}.{<guid>}" for a capture, "{0.0.0.00000000}.{<guid>}"
  // for a render endpoint; `n` makes the GUID.
  static std::wstring EndpointId(EDataFlow flow, int n);
  static GUID EndpointGuid(int n);

  // Present from now on (enumeration and GetDevice); not announced.
  zu::win::ComPtr<FakeEndpoint> AddEndpoint(EDataFlow flow, int n, DWORD state = DEVICE_STATE_ACTIVE);
  // Gone from enumeration and GetDevice; not announced.
  void RemoveEndpoint(const std::wstring& id);
  // Reports to every registered endpoint callback, on the calling thread.
  void AnnounceAdded(const std::wstring& id);
  void AnnounceRemoved(const std::wstring& id);

  // Calls every callback object that was ever registered with the fake,
  // registered still or not: what a late delivery from Core Audio does.
  void LateCallbacks();

  // References on the monitor's callback objects, other than those the fake
  // keeps for LateCallbacks, summed over every object ever registered.
  LONG ForeignCallbackRefs();
  // Every callback object ever registered (as IUnknown), in order.
  std::vector<zu::win::ComPtr<IUnknown>> Seen() const;

  FakeEnumerator* enumerator() const { return enumerator_.get(); }
  size_t registeredClients() const;
  Counts counts;

  // ---- used by the fake objects ----
  std::vector<zu::win::ComPtr<FakeEndpoint>> Endpoints();
  zu::win::ComPtr<FakeEndpoint> Find(const std::wstring& id);
  void RegisterClient(IMMNotificationClient* client);
  bool UnregisterClient(IMMNotificationClient* client);
  void Remember(IUnknown* callback);

 private:
  mutable std::mutex mutex_;
  zu::win::ComPtr<FakeEnumerator> enumerator_;
  std::vector<zu::win::ComPtr<FakeEndpoint>> endpoints_;
  std::vector<zu::win::ComPtr<IMMNotificationClient>> clients_;
  // Every callback object ever registered, kept so that late calls and
  // reference counts can be checked after the monitor let go.
  std::vector<zu::win::ComPtr<IUnknown>> seen_;
};

}  // namespace meetlamp::fake
