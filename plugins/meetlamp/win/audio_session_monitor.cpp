#include "plugins/meetlamp/win/audio_session_monitor.h"

#include <objbase.h>
#include <propidl.h>
#include <propsys.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <string_view>
#include <system_error>
#include <utility>

#include "agent/event_codes.h"
#include "libs/glimmer/osd_api.h"
#include "plugins/meetlamp/win/audio_callbacks.h"

namespace meetlamp {

using zu::win::ComPtr;

namespace {

// PKEY_Device_FriendlyName; mingw-w64 ships no library defining it.
constexpr PROPERTYKEY kFriendlyNameKey = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};

std::string IdForLog(const wchar_t* id) {
  return LowBytes(std::u16string_view(reinterpret_cast<const char16_t*>(id), std::wcslen(id)));
}

// The braced GUID after the endpoint id's prefix. An id too short to hold
// one is refused rather than read past its end.
HRESULT EndpointGuid(const wchar_t* id, GUID* guid) {
  *guid = GUID{};
  if (std::wcslen(id) <= kEndpointGuidOffset) return E_INVALIDARG;
  return ::CLSIDFromString(id + kEndpointGuidOffset, guid);
}

// Whether the device's property store opens and names it.
HRESULT ReadFriendlyName(IMMDevice* device) {
  ComPtr<IPropertyStore> store;
  HRESULT hr = device->OpenPropertyStore(STGM_READ, store.put());
  if (FAILED(hr)) return hr;
  if (!store) return E_POINTER;
  PROPVARIANT name;
  ::PropVariantInit(&name);
  hr = store->GetValue(kFriendlyNameKey, &name);
  ::PropVariantClear(&name);
  return hr;
}

template <class T>
HRESULT Activate(IMMDevice* device, ComPtr<T>& out) {
  HRESULT hr = device->Activate(__uuidof(T), CLSCTX_ALL, nullptr, out.put_void());
  if (SUCCEEDED(hr) && !out) hr = E_POINTER;
  return hr;
}

void UnregisterSession(const TrackedSession& session) {
  if (session.control && session.events) session.control->UnregisterAudioSessionNotification(session.events.get());
}

}  // namespace

HRESULT CreateSystemEnumerator(IMMDeviceEnumerator** enumerator) {
  return ::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IMMDeviceEnumerator),
                            reinterpret_cast<void**>(enumerator));
}

AudioSessionMonitor::AudioSessionMonitor(zu::ILogger* hostLogger, EnumeratorFactory enumeratorFactory)
    : led_(*this), enumeratorFactory_(std::move(enumeratorFactory)), lock_(*this) {
  logger = hostLogger;
  gate_ = std::make_shared<CallbackGate>();
  led_.osd().Start();
}

AudioSessionMonitor::~AudioSessionMonitor() {
  Shutdown();
  // When the lock could not be had, Shutdown left the lists; they go now
  // (their registrations stay, but the closed gate keeps callbacks away).
  expired_.clear();
  sessions_.clear();
  endpoints_.clear();
  pending_.clear();
}

void AudioSessionMonitor::InitAudioSessionManager() {
  LogDebug("InitAudioSessionManager, PID = " + std::to_string(::GetCurrentProcessId()) +
           ", TID = " + std::to_string(::GetCurrentThreadId()));
  const HRESULT coInit = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (coInit != S_OK) {
    // S_FALSE still counts as an initialisation that needs its pair.
    if (SUCCEEDED(coInit)) ::CoUninitialize();
    throw ServiceError("Unable to call CoInitializeEx");
  }
  comThread_ = ::GetCurrentThreadId();

  ComPtr<IMMDeviceEnumerator> enumerator;
  HRESULT hr = enumeratorFactory_ ? enumeratorFactory_(enumerator.put()) : E_NOINTERFACE;
  if (SUCCEEDED(hr) && !enumerator) hr = E_POINTER;

  std::vector<std::unique_ptr<EndpointEntry>> found;
  if (SUCCEEDED(hr)) {
    std::vector<ComPtr<IMMDevice>> kept;
    ComPtr<IMMDeviceCollection> collection;
    HRESULT enumerated = enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATEMASK_ALL, collection.put());
    if (SUCCEEDED(enumerated) && !collection) enumerated = E_POINTER;
    UINT count = 0;
    if (SUCCEEDED(enumerated)) enumerated = collection->GetCount(&count);
    for (UINT i = 0; SUCCEEDED(enumerated) && i < count; ++i) {
      ComPtr<IMMDevice> device;
      if (FAILED(collection->Item(i, device.put())) || !device) continue;
      if (FAILED(ReadFriendlyName(device.get()))) continue;
      kept.push_back(std::move(device));
    }

    enumerator_ = enumerator;
    deviceNotification_ = ComPtr<AudioDeviceNotification>::Attach(new AudioDeviceNotification(this, gate_));
    enumerator_->RegisterEndpointNotificationCallback(deviceNotification_.get());

    if (SUCCEEDED(enumerated)) {
      for (const auto& device : kept) {
        LPWSTR id = nullptr;
        if (FAILED(device->GetId(&id)) || !id) {
          ::CoTaskMemFree(id);
          LogWarning("Unable to get device ID");
          continue;
        }
        GUID guid;
        const HRESULT parsed = EndpointGuid(id, &guid);
        ::CoTaskMemFree(id);
        if (FAILED(parsed)) {
          // Without its GUID the endpoint's removal could not be recognised.
          LogWarning("Unable to get endpoint GUID, " + std::to_string(parsed));
          continue;
        }
        ComPtr<IAudioSessionManager2> manager;
        if (FAILED(Activate(device.get(), manager))) {
          LogWarning("Unable to get IAudioSessionManager2");
          continue;
        }
        auto entry = std::make_unique<EndpointEntry>();
        entry->guid = guid;
        entry->manager = std::move(manager);
        found.push_back(std::move(entry));
      }
      LogInfo("Numbers of capture endpoints: " + std::to_string(found.size()));
    }
  }

  sessionNotification_ =
      ComPtr<MeetingAudioSessionNotification>::Attach(new MeetingAudioSessionNotification(this, logger, gate_));

  // The managers stay referenced here while their sessions are entered:
  // an endpoint removed meanwhile drops out of endpoints_ only.
  std::vector<ComPtr<IAudioSessionManager2>> managers;
  {
    MonitorLockHold lock(lock_);
    if (!lock.held()) return;
    for (auto& entry : found) {
      managers.push_back(entry->manager);
      endpoints_.push_back(std::move(entry));
    }
  }

  for (const auto& manager : managers) {
    ComPtr<IAudioSessionEnumerator> sessions;
    int count = 0;
    if (SUCCEEDED(manager->GetSessionEnumerator(sessions.put())) && sessions &&
        SUCCEEDED(sessions->GetCount(&count))) {
      for (int i = 0; i < count; ++i) {
        ComPtr<IAudioSessionControl> control;
        ComPtr<IAudioSessionControl2> control2;
        if (FAILED(sessions->GetSession(i, control.put())) || !control) break;
        if (FAILED(control.As(control2)) || !control2) break;
        if (control2->IsSystemSoundsSession() == S_OK) continue;
        DWORD processId = 0;
        if (FAILED(control2->GetProcessId(&processId))) continue;
        auto events = ComPtr<MeetingAudioSessionEvents>::Attach(new MeetingAudioSessionEvents(processId, this, gate_));
        // Registered and entered under one hold, as for a new session: a
        // state change reported at once waits for the entry, so an expiry
        // cannot slip in before it and leave the entry behind for good.
        MonitorLockHold lock(lock_);
        if (!lock.held()) continue;
        control->RegisterAudioSessionNotification(events.get());
        EnterSession(processId, std::move(control), std::move(control2), std::move(events));
      }
    }
    manager->RegisterSessionNotification(sessionNotification_.get());

    // An endpoint removed while its sessions were entered missed this
    // registration when its entry was dropped: undo it here.
    bool stillWatched = false;
    {
      MonitorLockHold lock(lock_);
      if (!lock.held()) continue;
      for (const auto& entry : endpoints_) stillWatched = stillWatched || entry->manager.get() == manager.get();
    }
    if (!stillWatched) manager->UnregisterSessionNotification(sessionNotification_.get());
  }
}

void AudioSessionMonitor::EnterSession(DWORD processId, ComPtr<IAudioSessionControl> control,
                                       ComPtr<IAudioSessionControl2> control2,
                                       ComPtr<MeetingAudioSessionEvents> events) {
  std::unique_ptr<SessionEntry>& entry = sessions_[processId];
  if (!entry) entry = std::make_unique<SessionEntry>();
  entry->sessions.push_back({std::move(control), std::move(control2), std::move(events)});
}

PresenceState AudioSessionMonitor::ComputePresence() {
  // A process is in a call while any of its live sessions is active: a
  // program with a session on each of two microphones may be using either.
  for (const auto& [processId, entry] : sessions_) {
    for (const TrackedSession& session : entry->sessions) {
      AudioSessionState state = AudioSessionStateInactive;
      if (session.control && SUCCEEDED(session.control->GetState(&state)) && state == AudioSessionStateActive)
        return 1;
    }
  }
  return 0;
}

void AudioSessionMonitor::ProcessPendingDevices() {
  {
    MonitorLockHold lock(lock_);
    if (!lock.held()) return;
    if (!shutDown_)
      for (const auto& id : pending_) OnDeviceAddedBottom(*id);
    pending_.clear();
  }
  ReleaseExpiredSessions();
}

void AudioSessionMonitor::OnDeviceAddedBottom(const std::wstring& endpointId) {
  const std::string line = "OnDeviceAddedBottom, DeviceID = " + IdForLog(endpointId.c_str());
  auto fail = [&](const char* what, HRESULT hr) { LogError(line + what + std::to_string(hr)); };

  GUID guid;
  if (HRESULT hr = EndpointGuid(endpointId.c_str(), &guid); FAILED(hr)) return fail(", unable to get endpoint GUID, ", hr);

  ComPtr<IMMDevice> device;
  HRESULT hr = enumerator_ ? enumerator_->GetDevice(endpointId.c_str(), device.put()) : E_POINTER;
  if (SUCCEEDED(hr) && !device) hr = E_POINTER;
  if (FAILED(hr)) return fail(", unable to get device ", hr);

  if (hr = ReadFriendlyName(device.get()); FAILED(hr)) return fail(", unable to get device name ", hr);

  ComPtr<IMMEndpoint> endpoint;
  hr = device.As(endpoint);
  if (SUCCEEDED(hr) && !endpoint) hr = E_POINTER;
  if (FAILED(hr)) return fail(", unable to query IMMEndpoint interface ", hr);

  EDataFlow flow = eRender;
  if (hr = endpoint->GetDataFlow(&flow); FAILED(hr)) return fail(", unable to get dataflow ", hr);
  if (flow != eCapture) {
    LogDebug(line + ", non-capture device");
    return;
  }

  ComPtr<IAudioSessionManager2> manager;
  if (hr = Activate(device.get(), manager); FAILED(hr)) return fail(", unable to get IAudioSessionManager2 ", hr);

  if (hr = manager->RegisterSessionNotification(sessionNotification_.get()); FAILED(hr))
    return fail(", unable to register session notification ", hr);

  // Core Audio delivers new sessions only once their manager has been
  // asked for a session enumerator.
  ComPtr<IAudioSessionEnumerator> sessions;
  hr = manager->GetSessionEnumerator(sessions.put());
  if (SUCCEEDED(hr) && !sessions) hr = E_POINTER;
  if (FAILED(hr)) {
    manager->UnregisterSessionNotification(sessionNotification_.get());
    return fail(", unable to get session enumerator ", hr);
  }

  auto entry = std::make_unique<EndpointEntry>();
  entry->guid = guid;
  entry->manager = std::move(manager);
  endpoints_.push_back(std::move(entry));
  LogInfo(line);
}

void AudioSessionMonitor::OnSessionCreated(IAudioSessionControl* session) {
  if (!session) return;
  ComPtr<IAudioSessionControl2> control2;
  ComPtr<IAudioSessionControl> control(session);
  if (FAILED(control.As(control2)) || !control2) return;
  if (control2->IsSystemSoundsSession() == S_OK) return;
  DWORD processId = 0;
  if (FAILED(control2->GetProcessId(&processId))) return;

  {
    // Registered only once the entry can be made: a registration made
    // without the lock could not be undone inside this callback.
    MonitorLockHold lock(lock_);
    if (lock.held() && !shutDown_) {
      auto events = ComPtr<MeetingAudioSessionEvents>::Attach(new MeetingAudioSessionEvents(processId, this, gate_));
      control->RegisterAudioSessionNotification(events.get());
      EnterSession(processId, std::move(control), std::move(control2), std::move(events));
    }
  }
  if (sessionNotification_)
    sessionNotification_->LogInfo("PID(" + std::to_string(processId) + ") created a new audio session");
}

void AudioSessionMonitor::OnAudioStateChanged(DWORD processId, AudioSessionState newState,
                                              IAudioSessionEvents* reporter) {
  LogInfo("audio state changed: PID(" + std::to_string(processId) + "), new state = " + SessionStateName(newState));
  if (newState == AudioSessionStateInactive || newState == AudioSessionStateActive) {
    MonitorLockHold lock(lock_);
    if (!lock.held()) return;
    const PresenceState presence = newState == AudioSessionStateActive ? 1 : ComputePresence();
    if (presence != led_.lastPresence()) {
      led_.ApplyLedRule(presence);
      led_.set_lastPresence(presence);
    }
    return;
  }

  LogDebug("remove session");
  MonitorLockHold lock(lock_);
  if (!lock.held()) return;
  auto it = sessions_.find(processId);
  if (it == sessions_.end()) return;
  // Only the reporting session leaves: the process's other sessions go on
  // reporting, and its presence comes from them.
  std::vector<TrackedSession>& live = it->second->sessions;
  auto session = std::find_if(live.begin(), live.end(), [&](const TrackedSession& s) {
    return static_cast<IAudioSessionEvents*>(s.events.get()) == reporter;
  });
  if (session == live.end()) return;
  // Released later by a lock holder outside this callback: a session's
  // events must not be unregistered (nor freed) from its own callback.
  expired_.push_back(std::move(*session));
  live.erase(session);
  if (live.empty()) sessions_.erase(it);
}

void AudioSessionMonitor::OnDeviceAdded(LPCWSTR endpointId) {
  if (!endpointId) return;
  MonitorLockHold lock(lock_);
  if (!lock.held()) return;
  if (!shutDown_) pending_.push_back(std::make_unique<std::wstring>(endpointId));
}

void AudioSessionMonitor::OnDeviceRemoved(LPCWSTR endpointId) {
  if (!endpointId) return;
  const std::string line = "OnDeviceRemoved, DeviceID = " + IdForLog(endpointId);
  GUID guid;
  if (HRESULT hr = EndpointGuid(endpointId, &guid); FAILED(hr)) {
    LogWarning(line + ", unable to get endpoint GUID, " + std::to_string(hr));
    return;
  }
  std::unique_ptr<EndpointEntry> removed;
  {
    MonitorLockHold lock(lock_);
    if (!lock.held()) return;
    for (auto it = endpoints_.begin(); it != endpoints_.end(); ++it) {
      if (IsEqualGUID((*it)->guid, guid)) {
        removed = std::move(*it);
        endpoints_.erase(it);
        break;
      }
    }
  }
  if (!removed) {
    LogInfo(line + ", ignored");
    return;
  }
  // Outside the lock: a session callback of this manager may be waiting
  // for it while Core Audio finishes that callback before unregistering.
  if (removed->manager) removed->manager->UnregisterSessionNotification(sessionNotification_.get());
  LogInfo(line + ", removed");
}

void AudioSessionMonitor::ReleaseExpiredSessions() {
  std::vector<TrackedSession> expired;
  {
    MonitorLockHold lock(lock_);
    if (!lock.held()) return;
    expired.swap(expired_);
  }
  for (const TrackedSession& session : expired) UnregisterSession(session);
}

void AudioSessionMonitor::Shutdown() {
  // First the callbacks: those inside finish, later ones are turned away.
  // Not under the lock, which a callback inside may be waiting for.
  gate_->Close();

  std::vector<std::unique_ptr<EndpointEntry>> endpoints;
  std::map<DWORD, std::unique_ptr<SessionEntry>> sessions;
  std::vector<TrackedSession> expired;
  {
    MonitorLockHold lock(lock_);
    if (!lock.held() || shutDown_) return;
    shutDown_ = true;
    endpoints.swap(endpoints_);
    sessions.swap(sessions_);
    expired.swap(expired_);
    pending_.clear();
  }

  // Unregistering may wait for Core Audio's callbacks, so again without the
  // lock; the gate already keeps them away from the monitor.
  if (enumerator_ && deviceNotification_) enumerator_->UnregisterEndpointNotificationCallback(deviceNotification_.get());
  for (const auto& entry : endpoints)
    if (entry->manager && sessionNotification_) entry->manager->UnregisterSessionNotification(sessionNotification_.get());
  for (const auto& [processId, entry] : sessions)
    for (const TrackedSession& session : entry->sessions) UnregisterSession(session);
  for (const TrackedSession& session : expired) UnregisterSession(session);

  expired.clear();
  sessions.clear();
  endpoints.clear();
  deviceNotification_.reset();
  sessionNotification_.reset();
  enumerator_.reset();
  if (comThread_ != 0 && comThread_ == ::GetCurrentThreadId()) {
    ::CoUninitialize();
    comThread_ = 0;
  }
  led_.osd().End();
}

std::vector<DWORD> AudioSessionMonitor::TrackedProcessIds() {
  std::vector<DWORD> ids;
  MonitorLockHold lock(lock_);
  if (!lock.held()) return ids;
  for (const auto& [processId, entry] : sessions_) ids.push_back(processId);
  return ids;
}

std::vector<GUID> AudioSessionMonitor::EndpointGuids() {
  std::vector<GUID> guids;
  MonitorLockHold lock(lock_);
  if (!lock.held()) return guids;
  for (const auto& entry : endpoints_) guids.push_back(entry->guid);
  return guids;
}

size_t AudioSessionMonitor::PendingDeviceCount() {
  MonitorLockHold lock(lock_);
  return lock.held() ? pending_.size() : 0;
}

// ---- LED control ----

void AudioSessionMonitor::StartLedControl() {
  MonitorLockHold lock(lock_);
  if (!lock.held()) return;
  led_.set_lastPresence(ComputePresence());
  // Written back so that the value exists after the first start.
  led_.WriteMode();
  led_.ApplyLedRule(led_.lastPresence());
}

void AudioSessionMonitor::SetMode(LedMode newMode) {
  {
    MonitorLockHold lock(lock_);
    if (!lock.held() || shutDown_) return;
    led_.set_mode(newMode);
    // A mode that cannot be stored stays in force; the next unlock writes it again.
    led_.WriteMode();
    led_.ApplyLedRule(led_.lastPresence());
  }
  // Shown after the lock is let go: the pop-up runs on its own thread, and
  // Core Audio's callbacks need not wait for it.
  led_.osd().Show(OSD_KIND_STATUS_LIGHT, newMode);
}

void AudioSessionMonitor::HandleEvent(uint32_t eventCode) {
  // Through the callbacks' gate: Shutdown (Release) waits for an event in
  // flight, since the host unloads the library once Release returns, and
  // turns later ones away.
  GatePass pass(gate_.get());
  if (!pass) return;
  switch (eventCode) {
    case zu::FN_1: {
      LogDebug("ZuEventType::FN_1");
      // Only this thread (the agent's window thread) changes the mode, so
      // the next one can be read here and set by SetMode under its own hold,
      // which lets the lock go before the pop-up is shown.
      LedMode next = Auto;
      {
        MonitorLockHold lock(lock_);
        if (!lock.held() || shutDown_) return;
        next = NextLedMode(led_.mode());
      }
      SetMode(next);
      break;
    }
    case zu::SESSION_LOCK:
    case zu::SESSION_END: {
      LogDebug(eventCode == zu::SESSION_LOCK ? "ZuEventType::SESSION_LOCK" : "ZuEventType::SESSION_END");
      MonitorLockHold lock(lock_);
      if (!lock.held() || shutDown_) return;
      // The last applied presence stays: unlocking restores the LED from it.
      led_.SetLed(false);
      break;
    }
    case zu::SESSION_UNLOCK: {
      LogDebug("ZuEventType::SESSION_UNLOCK");
      MonitorLockHold lock(lock_);
      if (!lock.held() || shutDown_) return;
      led_.WriteMode();
      led_.ApplyLedRule(led_.lastPresence());
      break;
    }
    case zu::DISPLAY_CHANGE: {
      {
        MonitorLockHold lock(lock_);
        if (!lock.held() || shutDown_) return;
      }
      // The pop-up lays itself out for the display it starts on. Shutdown
      // ends it only after this event has left the gate, so the thread
      // started here never outlives Release.
      try {
        led_.osd().Restart();
      } catch (const std::exception& e) {
        LogError(std::string("no pop-ups: ") + e.what());
      }
      break;
    }
    default:
      break;
  }
  // Sessions that expired since the last heartbeat are released here too:
  // this thread is outside any Core Audio callback and holds no lock.
  ReleaseExpiredSessions();
}

LedMode AudioSessionMonitor::mode() {
  MonitorLockHold lock(lock_);
  return lock.held() ? led_.mode() : Auto;
}

PresenceState AudioSessionMonitor::lastPresence() {
  MonitorLockHold lock(lock_);
  return lock.held() ? led_.lastPresence() : 0;
}

}  // namespace meetlamp
