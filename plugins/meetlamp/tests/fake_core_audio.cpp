#include "plugins/meetlamp/tests/fake_core_audio.h"

#include <objbase.h>
#include <propidl.h>
#include <propsys.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>

namespace meetlamp::fake {

using zu::win::ComPtr;

namespace {

constexpr PROPERTYKEY kFriendlyNameKey = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};

LPWSTR CoTaskCopy(const std::wstring& text) {
  auto* copy = static_cast<LPWSTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (copy) std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return copy;
}

template <class T>
bool RemoveOne(std::vector<ComPtr<T>>& list, T* item) {
  auto it = std::find_if(list.begin(), list.end(), [&](const ComPtr<T>& p) { return p.get() == item; });
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

template <class T>
HRESULT Answer(T* object, void** out) {
  *out = object;
  object->AddRef();
  return S_OK;
}

class FakePropertyStore final : public IPropertyStore {
 public:
  explicit FakePropertyStore(std::wstring name) : name_(std::move(name)) {}
  virtual ~FakePropertyStore() = default;
  FAKE_REFCOUNT_METHODS

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IPropertyStore)))
      return Answer(static_cast<IPropertyStore*>(this), object);
    *object = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override {
    if (index != 0) return E_INVALIDARG;
    *key = kFriendlyNameKey;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
    ::PropVariantInit(value);
    if (!IsEqualGUID(key.fmtid, kFriendlyNameKey.fmtid) || key.pid != kFriendlyNameKey.pid) return S_OK;
    value->vt = VT_LPWSTR;
    value->pwszVal = CoTaskCopy(name_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE Commit() override { return STG_E_ACCESSDENIED; }

 private:
  std::wstring name_;
};

class FakeCollection final : public IMMDeviceCollection {
 public:
  explicit FakeCollection(std::vector<ComPtr<FakeEndpoint>> devices) : devices_(std::move(devices)) {}
  virtual ~FakeCollection() = default;
  FAKE_REFCOUNT_METHODS

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IMMDeviceCollection)))
      return Answer(static_cast<IMMDeviceCollection*>(this), object);
    *object = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
    *count = static_cast<UINT>(devices_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override {
    if (index >= devices_.size()) return E_INVALIDARG;
    return Answer(static_cast<IMMDevice*>(devices_[index].get()), reinterpret_cast<void**>(device));
  }

 private:
  std::vector<ComPtr<FakeEndpoint>> devices_;
};

class FakeSessionEnumerator final : public IAudioSessionEnumerator {
 public:
  explicit FakeSessionEnumerator(std::vector<ComPtr<FakeSession>> sessions) : sessions_(std::move(sessions)) {}
  virtual ~FakeSessionEnumerator() = default;
  FAKE_REFCOUNT_METHODS

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IAudioSessionEnumerator)))
      return Answer(static_cast<IAudioSessionEnumerator*>(this), object);
    *object = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE GetCount(int* count) override {
    *count = static_cast<int>(sessions_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSession(int index, IAudioSessionControl** session) override {
    if (index < 0 || static_cast<size_t>(index) >= sessions_.size()) return E_INVALIDARG;
    return Answer(static_cast<IAudioSessionControl*>(sessions_[index].get()), reinterpret_cast<void**>(session));
  }

 private:
  std::vector<ComPtr<FakeSession>> sessions_;
};

}  // namespace

// ---- FakeSession -----------------------------------------------------------

HRESULT FakeSession::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IAudioSessionControl)) ||
      IsEqualIID(riid, __uuidof(IAudioSessionControl2)))
    return Answer(static_cast<IAudioSessionControl2*>(this), object);
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT FakeSession::GetState(AudioSessionState* state) {
  *state = state_;
  return S_OK;
}

HRESULT FakeSession::GetProcessId(DWORD* processId) {
  *processId = processId_;
  return S_OK;
}

HRESULT FakeSession::RegisterAudioSessionNotification(IAudioSessionEvents* events) {
  if (!events) return E_POINTER;
  {
    std::lock_guard lock(mutex_);
    events_.emplace_back(events);
  }
  world_->Remember(events);
  ++world_->counts.eventsRegistered;
  if (expiresWhileRegistering.exchange(false)) {
    JoinReporter();
    auto reported = std::make_shared<std::promise<void>>();
    std::future<void> done = reported->get_future();
    reporter_ = std::thread([this, reported] {
      ChangeState(AudioSessionStateExpired);
      reported->set_value();
    });
    done.wait_for(std::chrono::milliseconds(300));
  }
  return S_OK;
}

HRESULT FakeSession::UnregisterAudioSessionNotification(IAudioSessionEvents* events) {
  ComPtr<IAudioSessionEvents> keep(events);  // released after the list's lock
  {
    std::lock_guard lock(mutex_);
    if (!RemoveOne(events_, events)) return E_INVALIDARG;
  }
  ++world_->counts.eventsUnregistered;
  if (inCallback_ > 0) ++world_->counts.eventsUnregisteredInCallback;
  return S_OK;
}

void FakeSession::ChangeState(AudioSessionState state) {
  state_ = state;
  std::vector<ComPtr<IAudioSessionEvents>> events;
  {
    std::lock_guard lock(mutex_);
    events = events_;
  }
  ++inCallback_;
  for (const auto& e : events) e->OnStateChanged(state);
  --inCallback_;
}

size_t FakeSession::registeredEvents() const {
  std::lock_guard lock(mutex_);
  return events_.size();
}

// ---- FakeSessionManager ----------------------------------------------------

HRESULT FakeSessionManager::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IAudioSessionManager)) ||
      IsEqualIID(riid, __uuidof(IAudioSessionManager2)))
    return Answer(static_cast<IAudioSessionManager2*>(this), object);
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT FakeSessionManager::GetSessionEnumerator(IAudioSessionEnumerator** sessions) {
  if (FAILED(sessionEnumeratorResult.load())) return sessionEnumeratorResult;
  std::lock_guard lock(mutex_);
  *sessions = new FakeSessionEnumerator(sessions_);
  return S_OK;
}

HRESULT FakeSessionManager::RegisterSessionNotification(IAudioSessionNotification* notification) {
  if (!notification) return E_POINTER;
  {
    std::lock_guard lock(mutex_);
    notifications_.emplace_back(notification);
  }
  world_->Remember(notification);
  ++world_->counts.sessionNotificationRegistered;
  return S_OK;
}

HRESULT FakeSessionManager::UnregisterSessionNotification(IAudioSessionNotification* notification) {
  ComPtr<IAudioSessionNotification> keep(notification);
  {
    std::lock_guard lock(mutex_);
    if (!RemoveOne(notifications_, notification)) return E_INVALIDARG;
  }
  ++world_->counts.sessionNotificationUnregistered;
  return S_OK;
}

ComPtr<FakeSession> FakeSessionManager::CreateSession(DWORD processId, AudioSessionState state, bool systemSounds,
                                                      bool announce) {
  auto session = ComPtr<FakeSession>::Attach(new FakeSession(world_, processId, systemSounds, state));
  std::vector<ComPtr<IAudioSessionNotification>> notifications;
  {
    std::lock_guard lock(mutex_);
    sessions_.push_back(session);
    notifications = notifications_;
  }
  if (announce)
    for (const auto& n : notifications) n->OnSessionCreated(session.get());
  return session;
}

size_t FakeSessionManager::registeredNotifications() const {
  std::lock_guard lock(mutex_);
  return notifications_.size();
}

// ---- FakeEndpoint ----------------------------------------------------------

FakeEndpoint::FakeEndpoint(FakeCoreAudio* world, std::wstring id, EDataFlow flow, DWORD state)
    : world_(world),
      id_(std::move(id)),
      flow_(flow),
      state_(state),
      manager_(ComPtr<FakeSessionManager>::Attach(new FakeSessionManager(world))) {}

HRESULT FakeEndpoint::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IMMDevice)))
    return Answer(static_cast<IMMDevice*>(this), object);
  if (IsEqualIID(riid, __uuidof(IMMEndpoint))) return Answer(static_cast<IMMEndpoint*>(this), object);
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT FakeEndpoint::Activate(REFIID iid, DWORD, PROPVARIANT*, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (FAILED(activateResult.load())) return activateResult;
  if (activateGivesNull) return S_OK;
  return manager_->QueryInterface(iid, object);
}

HRESULT FakeEndpoint::OpenPropertyStore(DWORD, IPropertyStore** store) {
  if (!hasName) return E_FAIL;
  *store = new FakePropertyStore(L"Microphone " + id_.substr(id_.size() - 4, 2));
  return S_OK;
}

HRESULT FakeEndpoint::GetId(LPWSTR* id) {
  *id = CoTaskCopy(id_);
  return *id ? S_OK : E_OUTOFMEMORY;
}

HRESULT FakeEndpoint::GetState(DWORD* state) {
  *state = state_;
  return S_OK;
}

HRESULT FakeEndpoint::GetDataFlow(EDataFlow* flow) {
  *flow = flow_;
  return S_OK;
}

// ---- FakeEnumerator --------------------------------------------------------

HRESULT FakeEnumerator::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IMMDeviceEnumerator)))
    return Answer(static_cast<IMMDeviceEnumerator*>(this), object);
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT FakeEnumerator::EnumAudioEndpoints(EDataFlow flow, DWORD mask, IMMDeviceCollection** devices) {
  if (FAILED(world_->enumerationResult.load())) return world_->enumerationResult;
  std::vector<ComPtr<FakeEndpoint>> matching;
  for (auto& e : world_->Endpoints())
    if ((flow == eAll || e->flow() == flow) && (e->state() & mask)) matching.push_back(e);
  *devices = new FakeCollection(std::move(matching));
  return S_OK;
}

HRESULT FakeEnumerator::GetDevice(LPCWSTR id, IMMDevice** device) {
  *device = nullptr;
  ComPtr<FakeEndpoint> found = world_->Find(id);
  if (!found) return E_NOTFOUND;
  return Answer(static_cast<IMMDevice*>(found.get()), reinterpret_cast<void**>(device));
}

HRESULT FakeEnumerator::RegisterEndpointNotificationCallback(IMMNotificationClient* client) {
  if (!client) return E_POINTER;
  world_->RegisterClient(client);
  return S_OK;
}

HRESULT FakeEnumerator::UnregisterEndpointNotificationCallback(IMMNotificationClient* client) {
  return world_->UnregisterClient(client) ? S_OK : E_INVALIDARG;
}

// ---- FakeCoreAudio ---------------------------------------------------------

FakeCoreAudio::FakeCoreAudio() : enumerator_(ComPtr<FakeEnumerator>::Attach(new FakeEnumerator(this))) {}

FakeCoreAudio::~FakeCoreAudio() = default;

EnumeratorFactory FakeCoreAudio::Factory() {
  return [this](IMMDeviceEnumerator** out) -> HRESULT {
    *out = nullptr;
    if (FAILED(factoryResult.load())) return factoryResult;
    return Answer(static_cast<IMMDeviceEnumerator*>(enumerator_.get()), reinterpret_cast<void**>(out));
  };
}

GUID FakeCoreAudio::EndpointGuid(int n) {
  return GUID{0x3c4a0000u + static_cast<unsigned>(n), 0x1b2c, 0x4d5e, {0x8f, 0x90, 0xa1, 0xb2, 0xc3, 0xd4, 0xe5, 0xf6}};
}

std::wstring FakeCoreAudio::EndpointId(EDataFlow flow, int n) {
  const GUID g = EndpointGuid(n);
  wchar_t text[80];
  std::swprintf(text, 80, L"{0.0.%d.00000000}.{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                flow == eCapture ? 1 : 0, static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0],
                g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

ComPtr<FakeEndpoint> FakeCoreAudio::AddEndpoint(EDataFlow flow, int n, DWORD state) {
  auto endpoint = ComPtr<FakeEndpoint>::Attach(new FakeEndpoint(this, EndpointId(flow, n), flow, state));
  std::lock_guard lock(mutex_);
  endpoints_.push_back(endpoint);
  return endpoint;
}

void FakeCoreAudio::RemoveEndpoint(const std::wstring& id) {
  std::lock_guard lock(mutex_);
  std::erase_if(endpoints_, [&](const ComPtr<FakeEndpoint>& e) { return e->id() == id; });
}

void FakeCoreAudio::AnnounceAdded(const std::wstring& id) {
  std::vector<ComPtr<IMMNotificationClient>> clients;
  {
    std::lock_guard lock(mutex_);
    clients = clients_;
  }
  for (const auto& c : clients) c->OnDeviceAdded(id.c_str());
}

void FakeCoreAudio::AnnounceRemoved(const std::wstring& id) {
  std::vector<ComPtr<IMMNotificationClient>> clients;
  {
    std::lock_guard lock(mutex_);
    clients = clients_;
  }
  for (const auto& c : clients) c->OnDeviceRemoved(id.c_str());
}

void FakeCoreAudio::LateCallbacks() {
  std::vector<ComPtr<IUnknown>> seen;
  {
    std::lock_guard lock(mutex_);
    seen = seen_;
  }
  const std::wstring capture = EndpointId(eCapture, 90);
  auto session = ComPtr<FakeSession>::Attach(new FakeSession(this, 4242, false, AudioSessionStateActive));
  for (const auto& unknown : seen) {
    ComPtr<IMMNotificationClient> client;
    ComPtr<IAudioSessionNotification> notification;
    ComPtr<IAudioSessionEvents> events;
    if (SUCCEEDED(unknown.As(client))) {
      client->OnDeviceAdded(capture.c_str());
      client->OnDeviceRemoved(capture.c_str());
    } else if (SUCCEEDED(unknown.As(notification))) {
      notification->OnSessionCreated(session.get());
    } else if (SUCCEEDED(unknown.As(events))) {
      events->OnStateChanged(AudioSessionStateActive);
      events->OnStateChanged(AudioSessionStateInactive);
      events->OnStateChanged(AudioSessionStateExpired);
    }
  }
}

LONG FakeCoreAudio::ForeignCallbackRefs() {
  std::vector<IUnknown*> seen;
  {
    std::lock_guard lock(mutex_);
    for (const auto& s : seen_) seen.push_back(s.get());
  }
  LONG foreign = 0;
  for (IUnknown* s : seen) {
    s->AddRef();
    foreign += static_cast<LONG>(s->Release()) - 1;  // the fake's own is the 1
  }
  return foreign;
}

std::vector<ComPtr<IUnknown>> FakeCoreAudio::Seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

size_t FakeCoreAudio::registeredClients() const {
  std::lock_guard lock(mutex_);
  return clients_.size();
}

std::vector<ComPtr<FakeEndpoint>> FakeCoreAudio::Endpoints() {
  std::lock_guard lock(mutex_);
  return endpoints_;
}

ComPtr<FakeEndpoint> FakeCoreAudio::Find(const std::wstring& id) {
  std::lock_guard lock(mutex_);
  for (const auto& e : endpoints_)
    if (e->id() == id) return e;
  return {};
}

void FakeCoreAudio::RegisterClient(IMMNotificationClient* client) {
  {
    std::lock_guard lock(mutex_);
    clients_.emplace_back(client);
  }
  Remember(client);
  ++counts.endpointRegistered;
}

bool FakeCoreAudio::UnregisterClient(IMMNotificationClient* client) {
  ComPtr<IMMNotificationClient> keep(client);
  {
    std::lock_guard lock(mutex_);
    if (!RemoveOne(clients_, client)) return false;
  }
  ++counts.endpointUnregistered;
  return true;
}

void FakeCoreAudio::Remember(IUnknown* callback) {
  ComPtr<IUnknown> identity;
  callback->QueryInterface(__uuidof(IUnknown), identity.put_void());
  std::lock_guard lock(mutex_);
  for (const auto& s : seen_)
    if (s.get() == identity.get()) return;
  seen_.push_back(std::move(identity));
}

}  // namespace meetlamp::fake
