#include "tools/simlaptop/simaudio/standin/sessions.h"

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/simlaptop/simaudio/standin/com_object.h"
#include "tools/simlaptop/simaudio/standin/notifier.h"

namespace zu::simaudio {

namespace {

class SessionControl final : public ComObject<IAudioSessionControl2> {
 public:
  explicit SessionControl(const Session& session) : session_(session) {}

  HRESULT STDMETHODCALLTYPE GetState(AudioSessionState* state) override {
    if (!state) return E_POINTER;
    Notifier* n = Notifier::Get();
    *state = static_cast<AudioSessionState>(n ? n->table().SessionState(session_.key) : kExpired);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR* name) override { return TaskString(L"", name); }
  HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetIconPath(LPWSTR* path) override { return TaskString(L"", path); }
  HRESULT STDMETHODCALLTYPE SetIconPath(LPCWSTR, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetGroupingParam(GUID* grouping) override {
    if (!grouping) return E_POINTER;
    *grouping = GUID_NULL;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetGroupingParam(LPCGUID, LPCGUID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RegisterAudioSessionNotification(IAudioSessionEvents* events) override {
    Notifier* n = Notifier::Get();
    if (!events) return E_POINTER;
    return n ? n->RegisterSessionEvents(this, session_.key, events) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE UnregisterAudioSessionNotification(IAudioSessionEvents* events) override {
    Notifier* n = Notifier::Get();
    return n ? n->Unregister(RegistrationKind::kSessionEvents, this, events,
                             "IAudioSessionControl::UnregisterAudioSessionNotification")
             : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE GetSessionIdentifier(LPWSTR* id) override {
    return TaskString(L"simaudio|session|" + std::to_wstring(session_.key.slot), id);
  }
  HRESULT STDMETHODCALLTYPE GetSessionInstanceIdentifier(LPWSTR* id) override {
    return TaskString(L"simaudio|session|" + std::to_wstring(session_.key.slot) + L"|" +
                          std::to_wstring(session_.key.generation),
                      id);
  }
  HRESULT STDMETHODCALLTYPE GetProcessId(DWORD* processId) override {
    if (!processId) return E_POINTER;
    *processId = session_.owner.id;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsSystemSoundsSession() override { return session_.systemSounds ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetDuckingPreference(BOOL) override { return S_OK; }

 private:
  void* Find(REFIID iid) override {
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IAudioSessionControl)) ||
        IsEqualIID(iid, __uuidof(IAudioSessionControl2)))
      return static_cast<IAudioSessionControl2*>(this);
    return nullptr;
  }

  const Session session_;
};

class SessionEnumerator final : public ComObject<IAudioSessionEnumerator> {
 public:
  explicit SessionEnumerator(std::vector<Session> sessions) : sessions_(std::move(sessions)) {}

  HRESULT STDMETHODCALLTYPE GetCount(int* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<int>(sessions_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSession(int index, IAudioSessionControl** session) override {
    if (!session) return E_POINTER;
    *session = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= sessions_.size()) return E_INVALIDARG;
    *session = NewSessionControl(sessions_[index]);
    return S_OK;
  }

 private:
  void* Find(REFIID iid) override {
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IAudioSessionEnumerator)))
      return static_cast<IAudioSessionEnumerator*>(this);
    return nullptr;
  }

  const std::vector<Session> sessions_;
};

class SessionManager final : public ComObject<IAudioSessionManager2> {
 public:
  explicit SessionManager(Key endpoint) : endpoint_(endpoint) {}

  HRESULT STDMETHODCALLTYPE GetAudioSessionControl(LPCGUID, DWORD, IAudioSessionControl**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetSimpleAudioVolume(LPCGUID, DWORD, ISimpleAudioVolume**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSessionEnumerator(IAudioSessionEnumerator** sessions) override {
    if (!sessions) return E_POINTER;
    *sessions = nullptr;
    Notifier* n = Notifier::Get();
    if (!n) return E_FAIL;
    if (!n->table().GetEndpoint(endpoint_)) return AUDCLNT_E_DEVICE_INVALIDATED;
    enumerated_->store(true);
    *sessions = new SessionEnumerator(n->table().Sessions(endpoint_));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RegisterSessionNotification(IAudioSessionNotification* notification) override {
    Notifier* n = Notifier::Get();
    if (!notification) return E_POINTER;
    return n ? n->RegisterSessionNotification(this, endpoint_, enumerated_, notification) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE UnregisterSessionNotification(IAudioSessionNotification* notification) override {
    Notifier* n = Notifier::Get();
    return n ? n->Unregister(RegistrationKind::kSessionNotification, this, notification,
                             "IAudioSessionManager2::UnregisterSessionNotification")
             : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE RegisterDuckNotification(LPCWSTR, IAudioVolumeDuckNotification*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UnregisterDuckNotification(IAudioVolumeDuckNotification*) override { return E_NOTIMPL; }

 private:
  void* Find(REFIID iid) override {
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IAudioSessionManager)) ||
        IsEqualIID(iid, __uuidof(IAudioSessionManager2)))
      return static_cast<IAudioSessionManager2*>(this);
    return nullptr;
  }

  const Key endpoint_;
  // Shared with its registrations, which may outlive this object.
  const std::shared_ptr<std::atomic<bool>> enumerated_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace

IAudioSessionControl* NewSessionControl(const Session& session) { return new SessionControl(session); }

IAudioSessionManager2* NewSessionManager(Key endpoint) { return new SessionManager(endpoint); }

}  // namespace zu::simaudio
