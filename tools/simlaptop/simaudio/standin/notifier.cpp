#include "tools/simlaptop/simaudio/standin/notifier.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "tools/simlaptop/simaudio/standin/sessions.h"

namespace zu::simaudio {

namespace {

// How long an unregistration waits for a callback in flight before it
// reports the client as stuck rather than hang with it.
constexpr auto kInFlightWait = std::chrono::seconds(10);
// The session thread looks for ended owners at least this often.
constexpr DWORD kReapPeriodMs = 1000;

struct ThreadStart {
  std::function<void()> run;
};

DWORD WINAPI ThreadMain(void* parameter) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
  start->run();
  return 0;
}

bool StartThread(std::function<void()> run) {
  auto* start = new ThreadStart{std::move(run)};
  HANDLE thread = ::CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
  if (!thread) {
    delete start;
    return false;
  }
  ::CloseHandle(thread);
  return true;
}

}  // namespace

Notifier* Notifier::Get() {
  static Notifier* notifier = [] () -> Notifier* {
    std::string error;
    std::unique_ptr<Table> table = Table::Open(&error);
    if (!table) {
      std::fprintf(stderr, "simaudio: no audio table: %s\n", error.c_str());
      return nullptr;
    }
    // The notification threads run to the process's end: the library stays.
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(&Notifier::Get), &self);
    return new Notifier(std::move(table));
  }();
  return notifier;
}

Notifier::Notifier(std::unique_ptr<Table> table) : table_(std::move(table)) {
  // Subscribed before the first registration can be made, so that no change
  // after it is missed.
  for (Channel channel : {Channel::kEndpoints, Channel::kSessions}) {
    std::string error;
    std::optional<Table::Subscription> subscription = table_->Subscribe(&error);
    if (!subscription) {
      table_->RecordViolation("no notification thread: " + error);
      continue;
    }
    auto owned = std::make_shared<Table::Subscription>(std::move(*subscription));
    if (!StartThread([this, channel, owned] { Run(channel, std::move(*owned)); }))
      table_->RecordViolation("no notification thread: CreateThread failed");
  }
}

HRESULT Notifier::Add(std::shared_ptr<Registration> registration) {
  if (!registration->callback) return E_POINTER;
  registration->callback->AddRef();
  registration->since = table_->Head();
  std::lock_guard lock(mutex_);
  registrations_.push_back(std::move(registration));
  return S_OK;
}

HRESULT Notifier::RegisterEndpointClient(IMMNotificationClient* client) {
  auto r = std::make_shared<Registration>();
  r->kind = RegistrationKind::kEndpointClient;
  r->owner = nullptr;
  r->callback = client;
  return Add(std::move(r));
}

HRESULT Notifier::RegisterSessionNotification(const void* manager, Key endpoint,
                                              std::shared_ptr<std::atomic<bool>> enumerated,
                                              IAudioSessionNotification* notification) {
  auto r = std::make_shared<Registration>();
  r->kind = RegistrationKind::kSessionNotification;
  r->owner = manager;
  r->callback = notification;
  r->key = endpoint;
  r->enumerated = std::move(enumerated);
  return Add(std::move(r));
}

HRESULT Notifier::RegisterSessionEvents(const void* control, Key session, IAudioSessionEvents* events) {
  auto r = std::make_shared<Registration>();
  r->kind = RegistrationKind::kSessionEvents;
  r->owner = control;
  r->callback = events;
  r->key = session;
  return Add(std::move(r));
}

HRESULT Notifier::Unregister(RegistrationKind kind, const void* owner, IUnknown* callback, const char* method) {
  if (!callback) return E_POINTER;
  std::unique_lock lock(mutex_);
  auto it = std::find_if(registrations_.begin(), registrations_.end(), [&](const auto& r) {
    return r->kind == kind && r->callback == callback && (kind == RegistrationKind::kEndpointClient || r->owner == owner);
  });
  if (it == registrations_.end()) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  std::shared_ptr<Registration> r = *it;
  registrations_.erase(it);
  r->removed = true;
  if (r->inFlight > 0 && r->thread == ::GetCurrentThreadId()) {
    r->releaseAfterCall = true;
    lock.unlock();
    table_->RecordViolation(std::string(method) +
                            " called from inside a callback of the same registration: on Windows it waits for that "
                            "callback to return and so never returns");
    return HRESULT_FROM_WIN32(ERROR_POSSIBLE_DEADLOCK);
  }
  if (!idle_.wait_for(lock, kInFlightWait, [&] { return r->inFlight == 0; })) {
    r->releaseAfterCall = true;
    lock.unlock();
    table_->RecordViolation(std::string(method) + " waited 10 s for a callback in flight that did not return");
    return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
  }
  IUnknown* released = std::exchange(r->callback, nullptr);
  lock.unlock();
  released->Release();
  return S_OK;
}

template <class Match, class Call>
void Notifier::ForEach(Match match, Call call) {
  std::vector<std::shared_ptr<Registration>> targets;
  {
    std::lock_guard lock(mutex_);
    for (const auto& r : registrations_)
      if (match(*r)) targets.push_back(r);
  }
  const DWORD me = ::GetCurrentThreadId();
  for (const auto& r : targets) {
    {
      std::lock_guard lock(mutex_);
      if (r->removed) continue;
      ++r->inFlight;
      r->thread = me;
    }
    call(r->callback);
    IUnknown* release = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (--r->inFlight == 0) {
        r->thread = 0;
        if (r->releaseAfterCall) release = std::exchange(r->callback, nullptr);
      }
    }
    idle_.notify_all();
    if (release) release->Release();
  }
}

void Notifier::Deliver(Channel channel, const Change& change) {
  auto since = [&](const Registration& r) { return r.since <= change.seq; };
  if (channel == Channel::kEndpoints) {
    auto endpointClient = [&](const Registration& r) { return r.kind == RegistrationKind::kEndpointClient && since(r); };
    const wchar_t* id = change.endpointId;
    switch (change.kind) {
      case ChangeKind::kEndpointAdded:
        ForEach(endpointClient, [&](IUnknown* c) { static_cast<IMMNotificationClient*>(c)->OnDeviceAdded(id); });
        break;
      case ChangeKind::kEndpointRemoved:
        ForEach(endpointClient, [&](IUnknown* c) { static_cast<IMMNotificationClient*>(c)->OnDeviceRemoved(id); });
        break;
      case ChangeKind::kEndpointState:
        ForEach(endpointClient,
                [&](IUnknown* c) { static_cast<IMMNotificationClient*>(c)->OnDeviceStateChanged(id, change.value); });
        break;
      default:
        break;
    }
    return;
  }
  switch (change.kind) {
    case ChangeKind::kSessionCreated: {
      const std::optional<Session> session = table_->GetSession(change.session);
      if (!session) return;  // gone, and its slot taken again
      ForEach(
          [&](const Registration& r) {
            return r.kind == RegistrationKind::kSessionNotification && r.key == change.endpoint && since(r) &&
                   r.enumerated && r.enumerated->load();
          },
          [&](IUnknown* c) {
            // Core Audio keeps the control only for the call: a client that
            // wants it takes its own reference.
            IAudioSessionControl* control = NewSessionControl(*session);
            static_cast<IAudioSessionNotification*>(c)->OnSessionCreated(control);
            control->Release();
          });
      break;
    }
    case ChangeKind::kSessionState:
    case ChangeKind::kSessionDisconnected:
      ForEach(
          [&](const Registration& r) {
            return r.kind == RegistrationKind::kSessionEvents && r.key == change.session && since(r);
          },
          [&](IUnknown* c) {
            auto* events = static_cast<IAudioSessionEvents*>(c);
            if (change.kind == ChangeKind::kSessionState)
              events->OnStateChanged(static_cast<AudioSessionState>(change.value));
            else
              events->OnSessionDisconnected(static_cast<AudioSessionDisconnectReason>(change.value));
          });
      break;
    default:
      break;
  }
}

void Notifier::Run(Channel channel, Table::Subscription subscription) {
  uint64_t next = table_->Head();
  std::map<std::pair<uint32_t, uint64_t>, win::UniqueHandle> owners;  // session channel only
  ULONGLONG lastReap = ::GetTickCount64();
  std::vector<Change> changes;
  for (;;) {
    std::vector<HANDLE> handles{subscription.wake.get()};
    for (const auto& [identity, handle] : owners)
      if (handles.size() < MAXIMUM_WAIT_OBJECTS) handles.push_back(handle.get());
    const DWORD woke = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                                channel == Channel::kSessions ? kReapPeriodMs : INFINITE);
    if (channel == Channel::kSessions) {
      const bool ownerEnded = woke > WAIT_OBJECT_0 && woke < WAIT_OBJECT_0 + handles.size();
      if (ownerEnded || ::GetTickCount64() - lastReap >= kReapPeriodMs) {
        // An ended owner whose sessions cannot be ended yet must not spin this loop.
        if (table_->ReapDeadProcesses() == 0 && ownerEnded) ::Sleep(50);
        lastReap = ::GetTickCount64();
      }
    }

    if (!table_->ReadChanges(&next, &changes))
      table_->RecordViolation("a notification thread fell more than the log's length behind: changes were lost");
    for (const Change& change : changes) Deliver(channel, change);
    table_->MarkHandled(subscription.key, next);

    if (channel == Channel::kSessions) {
      // Watch the processes that own live sessions, ours excepted.
      std::map<std::pair<uint32_t, uint64_t>, win::UniqueHandle> watched;
      const ProcessIdentity me = ProcessIdentity::Current();
      for (const Session& s : table_->AllSessions()) {
        const auto identity = std::make_pair(s.owner.id, s.owner.start);
        if (s.owner.id == me.id || watched.count(identity)) continue;
        auto known = owners.find(identity);
        if (known != owners.end()) {
          watched.emplace(identity, std::move(known->second));
          continue;
        }
        win::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, s.owner.id));
        if (process) watched.emplace(identity, std::move(process));
      }
      owners = std::move(watched);
    }
  }
}

}  // namespace zu::simaudio
