#include "tools/simlaptop/simaudio/sim_audio_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>

namespace zu::simaudio {

namespace {

constexpr uint32_t kMagic = 0x5a534155;  // "ZSAU"
constexpr uint32_t kVersion = 1;
constexpr DWORD kLockWaitMs = 5000;
constexpr size_t kViolationSlots = 8;
constexpr size_t kViolationChars = 240;
constexpr const wchar_t* kMutexName = L"Global\\ZuSimAudio.Lock";
constexpr const wchar_t* kMappingName = L"Global\\ZuSimAudio.Table.1";

// AudioSessionDisconnectReason DisconnectReasonDeviceRemoval.
constexpr uint32_t kDeviceRemoval = 0;

std::wstring WakeName(uint32_t generation) { return L"Global\\ZuSimAudio.Wake." + std::to_wstring(generation); }

std::wstring TablePath() {
  wchar_t data[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"ProgramData", data, MAX_PATH);
  std::wstring folder = (n > 0 && n < MAX_PATH) ? std::wstring(data, n) : L"C:\\ProgramData";
  folder += L"\\ZuSimAudio";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\table.bin";
}

template <size_t N>
void CopyText(wchar_t (&to)[N], const std::wstring& from) {
  const size_t n = std::min(from.size(), N - 1);
  std::wmemcpy(to, from.data(), n);
  to[n] = L'\0';
}

template <size_t N>
std::wstring Text(const wchar_t (&from)[N]) {
  return std::wstring(from, wcsnlen(from, N));
}

std::string LastErrorText(const char* what) { return std::string(what) + " failed, error " + std::to_string(::GetLastError()); }

}  // namespace

struct Table::Layout {
  struct EndpointSlot {
    uint32_t used;
    uint32_t generation;
    uint32_t flow;
    uint32_t state;
    wchar_t id[kIdChars];
    wchar_t name[kNameChars];
  };
  struct SessionSlot {
    uint32_t used;  // 0 free; an expired session keeps its slot until it is taken again
    uint32_t generation;
    Key endpoint;
    uint32_t ownerId;
    uint32_t systemSounds;
    uint64_t ownerStart;
    uint32_t state;
    uint32_t reserved;
  };
  struct SubscriberSlot {
    uint32_t used;
    uint32_t generation;
    uint32_t processId;
    uint32_t reserved;
    uint64_t processStart;
    uint64_t handled;  // changes before this one are handled
  };
  uint32_t magic;
  uint32_t version;
  uint32_t size;
  uint32_t nextGeneration;
  uint64_t head;
  uint32_t violationCount;
  uint32_t reserved;
  char violations[kViolationSlots][kViolationChars];
  EndpointSlot endpoints[kMaxEndpoints];
  SessionSlot sessions[kMaxSessions];
  SubscriberSlot subscribers[kMaxSubscribers];
  Change ring[kRingSize];
};

// The table's mutex for a scope; wakes the subscribers after a change once
// the lock is let go.
class Table::Locked {
 public:
  explicit Locked(Table& table) : table_(table) {
    const DWORD wait = ::WaitForSingleObject(table.mutex_.get(), kLockWaitMs);
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (!held_) std::fprintf(stderr, "simaudio: the table's lock was not had in %lu ms\n", kLockWaitMs);
  }
  ~Locked() {
    if (!held_) return;
    const uint64_t head = table_.view_->head;
    ::ReleaseMutex(table_.mutex_.get());
    if (watching_ && head != headAtStart_) table_.WakeSubscribers();
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  explicit operator bool() const { return held_; }
  // Changes appended from here on wake the subscribers.
  void StartWatching() {
    watching_ = true;
    headAtStart_ = table_.view_->head;
  }

 private:
  Table& table_;
  bool held_ = false;
  bool watching_ = false;
  uint64_t headAtStart_ = 0;
};

ProcessIdentity ProcessIdentity::Current() {
  FILETIME created{}, exited{}, kernel{}, user{};
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  return {::GetCurrentProcessId(), (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime};
}

bool IsAlive(const ProcessIdentity& process) {
  if (process.id == ::GetCurrentProcessId()) return process.start == ProcessIdentity::Current().start;
  win::UniqueHandle h(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, process.id));
  if (!h) return ::GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to ask
  if (::WaitForSingleObject(h.get(), 0) == WAIT_OBJECT_0) return false;
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(h.get(), &created, &exited, &kernel, &user)) return true;
  return ((uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime) == process.start;
}

std::wstring EndpointId(uint32_t flow, uint32_t number) {
  wchar_t id[kIdChars];
  std::swprintf(id, kIdChars, L"{0.0.%u.00000000}.{%08x-5a1d-4a0d-9e5c-0000000ca11e}", flow == kCapture ? 1u : 0u,
                0x5a1d0000u + number * 2 + (flow == kCapture ? 1 : 0));
  return id;
}

std::unique_ptr<Table> Table::Open(std::string* error) {
  std::unique_ptr<Table> table(new Table());
  table->mutex_.reset(::CreateMutexW(nullptr, FALSE, kMutexName));
  if (!table->mutex_) {
    if (error) *error = LastErrorText("CreateMutexW");
    return nullptr;
  }
  const DWORD wait = ::WaitForSingleObject(table->mutex_.get(), kLockWaitMs);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    if (error) *error = "the table's lock was not had in time";
    return nullptr;
  }
  table->mapping_.reset(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kMappingName));
  if (!table->mapping_) {
    const std::wstring path = TablePath();
    table->file_.reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (table->file_)
      table->mapping_.reset(
          ::CreateFileMappingW(table->file_.get(), nullptr, PAGE_READWRITE, 0, sizeof(Layout), kMappingName));
  }
  if (table->mapping_)
    table->view_ = static_cast<Layout*>(::MapViewOfFile(table->mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Layout)));
  if (!table->view_) {
    if (error) *error = LastErrorText("mapping the table");
    ::ReleaseMutex(table->mutex_.get());
    return nullptr;
  }
  Layout& t = *table->view_;
  if (t.magic != kMagic || t.version != kVersion || t.size != sizeof(Layout)) table->Initialise();
  ::ReleaseMutex(table->mutex_.get());
  return table;
}

Table::~Table() {
  if (view_) ::UnmapViewOfFile(view_);
}

void Table::Initialise() {
  std::memset(static_cast<void*>(view_), 0, sizeof(Layout));
  Layout& t = *view_;
  t.magic = kMagic;
  t.version = kVersion;
  t.size = sizeof(Layout);
  t.nextGeneration = 1;
  const struct {
    uint32_t flow;
    const wchar_t* name;
  } builtIn[] = {{kCapture, L"Microphone (Simulated Audio)"}, {kRender, L"Speakers (Simulated Audio)"}};
  for (uint32_t i = 0; i < 2; ++i) {
    Layout::EndpointSlot& e = t.endpoints[i];
    e.used = 1;
    e.generation = t.nextGeneration++;
    e.flow = builtIn[i].flow;
    e.state = kDeviceActive;
    CopyText(e.id, EndpointId(builtIn[i].flow, kBuiltInNumber));
    CopyText(e.name, builtIn[i].name);
  }
}

bool Table::Reset(std::string* error) {
  Locked lock(*this);
  if (!lock) {
    if (error) *error = "the table's lock was not had in time";
    return false;
  }
  Layout& t = *view_;
  Layout::SubscriberSlot subscribers[kMaxSubscribers];
  std::memcpy(subscribers, t.subscribers, sizeof subscribers);
  const uint64_t head = t.head;
  const uint32_t generation = t.nextGeneration;
  const uint32_t violations = t.violationCount;
  char texts[kViolationSlots][kViolationChars];
  std::memcpy(texts, t.violations, sizeof texts);
  Initialise();
  // The log and the generations go on, so that no key or change is reused.
  t.nextGeneration = std::max(generation, t.nextGeneration);
  t.endpoints[0].generation = t.nextGeneration++;
  t.endpoints[1].generation = t.nextGeneration++;
  t.head = head;
  std::memcpy(t.subscribers, subscribers, sizeof subscribers);
  t.violationCount = violations;
  std::memcpy(t.violations, texts, sizeof texts);
  return true;
}

// ---- endpoints ----

std::vector<Endpoint> Table::Endpoints() {
  std::vector<Endpoint> out;
  Locked lock(*this);
  if (!lock) return out;
  for (uint32_t i = 0; i < kMaxEndpoints; ++i) {
    const Layout::EndpointSlot& e = view_->endpoints[i];
    if (e.used) out.push_back({{i, e.generation}, Text(e.id), Text(e.name), e.flow, e.state});
  }
  return out;
}

std::optional<Endpoint> Table::FindEndpoint(const std::wstring& id) {
  for (Endpoint& e : Endpoints())
    if (_wcsicmp(e.id.c_str(), id.c_str()) == 0) return std::move(e);
  return std::nullopt;
}

std::optional<Endpoint> Table::GetEndpoint(Key key) {
  if (key.slot >= kMaxEndpoints) return std::nullopt;
  Locked lock(*this);
  if (!lock) return std::nullopt;
  const Layout::EndpointSlot& e = view_->endpoints[key.slot];
  if (!e.used || e.generation != key.generation) return std::nullopt;
  return Endpoint{key, Text(e.id), Text(e.name), e.flow, e.state};
}

bool Table::AddEndpoint(const std::wstring& id, const std::wstring& name, uint32_t flow, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return false;
  };
  if (id.empty() || id.size() >= kIdChars) return fail("an endpoint id must have 1 to 63 characters");
  Locked lock(*this);
  if (!lock) return fail("the table's lock was not had in time");
  lock.StartWatching();
  Layout& t = *view_;
  Layout::EndpointSlot* free = nullptr;
  for (auto& e : t.endpoints) {
    if (e.used && _wcsicmp(e.id, id.c_str()) == 0) return fail("that endpoint is present already");
    if (!e.used && !free) free = &e;
  }
  if (!free) return fail("no room for another endpoint");
  free->used = 1;
  free->generation = t.nextGeneration++;
  free->flow = flow;
  free->state = kDeviceActive;
  CopyText(free->id, id);
  CopyText(free->name, name);
  Append(ChangeKind::kEndpointAdded, {static_cast<uint32_t>(free - t.endpoints), free->generation}, {}, flow);
  return true;
}

void Table::EndSessionsOn(Key endpoint) {
  Layout& t = *view_;
  for (uint32_t i = 0; i < kMaxSessions; ++i) {
    Layout::SessionSlot& s = t.sessions[i];
    if (!s.used || s.state == kExpired || !(s.endpoint == endpoint)) continue;
    const Key key{i, s.generation};
    if (s.state == kActive) {
      s.state = kInactive;
      Append(ChangeKind::kSessionState, endpoint, key, kInactive);
    }
    Append(ChangeKind::kSessionDisconnected, endpoint, key, kDeviceRemoval);
    s.state = kExpired;
    Append(ChangeKind::kSessionState, endpoint, key, kExpired);
  }
}

bool Table::RemoveEndpoint(const std::wstring& id, std::string* error) {
  Locked lock(*this);
  if (!lock) {
    if (error) *error = "the table's lock was not had in time";
    return false;
  }
  lock.StartWatching();
  Layout& t = *view_;
  for (uint32_t i = 0; i < kMaxEndpoints; ++i) {
    Layout::EndpointSlot& e = t.endpoints[i];
    if (!e.used || _wcsicmp(e.id, id.c_str()) != 0) continue;
    const Key key{i, e.generation};
    EndSessionsOn(key);
    e.used = 0;
    Append(ChangeKind::kEndpointRemoved, key, {}, e.flow);
    return true;
  }
  if (error) *error = "no such endpoint";
  return false;
}

bool Table::SetEndpointState(const std::wstring& id, uint32_t state, std::string* error) {
  Locked lock(*this);
  if (!lock) {
    if (error) *error = "the table's lock was not had in time";
    return false;
  }
  lock.StartWatching();
  Layout& t = *view_;
  for (uint32_t i = 0; i < kMaxEndpoints; ++i) {
    Layout::EndpointSlot& e = t.endpoints[i];
    if (!e.used || _wcsicmp(e.id, id.c_str()) != 0) continue;
    const Key key{i, e.generation};
    if (state != kDeviceActive) EndSessionsOn(key);
    if (e.state != state) {
      e.state = state;
      Append(ChangeKind::kEndpointState, key, {}, state);
    }
    return true;
  }
  if (error) *error = "no such endpoint";
  return false;
}

// ---- sessions ----

std::vector<Session> Table::AllSessions() {
  std::vector<Session> out;
  Locked lock(*this);
  if (!lock) return out;
  for (uint32_t i = 0; i < kMaxSessions; ++i) {
    const Layout::SessionSlot& s = view_->sessions[i];
    if (s.used && s.state != kExpired)
      out.push_back({{i, s.generation}, s.endpoint, {s.ownerId, s.ownerStart}, s.state, s.systemSounds != 0});
  }
  return out;
}

std::vector<Session> Table::Sessions(Key endpoint) {
  std::vector<Session> out = AllSessions();
  std::erase_if(out, [&](const Session& s) { return !(s.endpoint == endpoint); });
  return out;
}

std::optional<Session> Table::GetSession(Key key) {
  if (key.slot >= kMaxSessions) return std::nullopt;
  Locked lock(*this);
  if (!lock) return std::nullopt;
  const Layout::SessionSlot& s = view_->sessions[key.slot];
  if (!s.used || s.generation != key.generation) return std::nullopt;
  return Session{key, s.endpoint, {s.ownerId, s.ownerStart}, s.state, s.systemSounds != 0};
}

uint32_t Table::SessionState(Key key) {
  const std::optional<Session> s = GetSession(key);
  return s ? s->state : kExpired;
}

Key Table::CreateSession(Key endpoint, const ProcessIdentity& owner, bool systemSounds, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return Key{};
  };
  Locked lock(*this);
  if (!lock) return fail("the table's lock was not had in time");
  lock.StartWatching();
  Layout& t = *view_;
  if (endpoint.slot >= kMaxEndpoints) return fail("no such endpoint");
  const Layout::EndpointSlot& e = t.endpoints[endpoint.slot];
  if (!e.used || e.generation != endpoint.generation) return fail("no such endpoint");
  if (e.state != kDeviceActive) return fail("the endpoint is not active");
  // A free slot, or one whose session has expired.
  for (uint32_t i = 0; i < kMaxSessions; ++i) {
    Layout::SessionSlot& s = t.sessions[i];
    if (s.used && s.state != kExpired) continue;
    s = {};
    s.used = 1;
    s.generation = t.nextGeneration++;
    s.endpoint = endpoint;
    s.ownerId = owner.id;
    s.ownerStart = owner.start;
    s.systemSounds = systemSounds ? 1 : 0;
    s.state = kInactive;
    const Key key{i, s.generation};
    Append(ChangeKind::kSessionCreated, endpoint, key, 0);
    return key;
  }
  return fail("no room for another session");
}

bool Table::SetSessionState(Key key, uint32_t state, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return false;
  };
  if (state > kExpired) return fail("no such session state");
  if (key.slot >= kMaxSessions) return fail("no such session");
  Locked lock(*this);
  if (!lock) return fail("the table's lock was not had in time");
  lock.StartWatching();
  Layout::SessionSlot& s = view_->sessions[key.slot];
  if (!s.used || s.generation != key.generation || s.state == kExpired) return fail("the session has expired");
  if (s.state == state) return true;
  if (state == kExpired && s.state == kActive) {
    s.state = kInactive;
    Append(ChangeKind::kSessionState, s.endpoint, key, kInactive);
  }
  s.state = state;
  Append(ChangeKind::kSessionState, s.endpoint, key, state);
  return true;
}

size_t Table::ReapDeadProcesses() {
  Locked lock(*this);
  if (!lock) return 0;
  lock.StartWatching();
  Layout& t = *view_;
  std::map<std::pair<uint32_t, uint64_t>, bool> alive;
  auto isAlive = [&](uint32_t id, uint64_t start) {
    auto [it, fresh] = alive.try_emplace({id, start}, false);
    if (fresh) it->second = IsAlive({id, start});
    return it->second;
  };
  size_t expired = 0;
  for (uint32_t i = 0; i < kMaxSessions; ++i) {
    Layout::SessionSlot& s = t.sessions[i];
    if (!s.used || s.state == kExpired || isAlive(s.ownerId, s.ownerStart)) continue;
    const Key key{i, s.generation};
    if (s.state == kActive) {
      s.state = kInactive;
      Append(ChangeKind::kSessionState, s.endpoint, key, kInactive);
    }
    s.state = kExpired;
    Append(ChangeKind::kSessionState, s.endpoint, key, kExpired);
    ++expired;
  }
  for (auto& sub : t.subscribers)
    if (sub.used && !isAlive(sub.processId, sub.processStart)) sub.used = 0;
  return expired;
}

// ---- the change log ----

void Table::Append(ChangeKind kind, Key endpoint, Key session, uint32_t value) {
  Layout& t = *view_;
  Change& c = t.ring[t.head % kRingSize];
  c = {};
  c.seq = t.head;
  c.kind = kind;
  c.value = value;
  c.endpoint = endpoint;
  c.session = session;
  if (endpoint.slot < kMaxEndpoints) std::wmemcpy(c.endpointId, t.endpoints[endpoint.slot].id, kIdChars);
  ++t.head;
}

uint64_t Table::Head() {
  Locked lock(*this);
  return lock ? view_->head : 0;
}

bool Table::ReadChanges(uint64_t* next, std::vector<Change>* out) {
  out->clear();
  Locked lock(*this);
  if (!lock) return true;
  const uint64_t head = view_->head;
  bool complete = true;
  if (*next > head) *next = head;
  if (head - *next > kRingSize) {
    complete = false;
    *next = head - kRingSize;
  }
  for (; *next < head; ++*next) out->push_back(view_->ring[*next % kRingSize]);
  return complete;
}

// ---- subscribers ----

std::optional<Table::Subscription> Table::Subscribe(std::string* error) {
  ReapDeadProcesses();
  Locked lock(*this);
  if (!lock) {
    if (error) *error = "the table's lock was not had in time";
    return std::nullopt;
  }
  Layout& t = *view_;
  for (uint32_t i = 0; i < kMaxSubscribers; ++i) {
    Layout::SubscriberSlot& s = t.subscribers[i];
    if (s.used) continue;
    const ProcessIdentity me = ProcessIdentity::Current();
    Subscription sub;
    sub.key = {i, t.nextGeneration++};
    sub.wake.reset(::CreateEventW(nullptr, FALSE, FALSE, WakeName(sub.key.generation).c_str()));
    if (!sub.wake) {
      if (error) *error = LastErrorText("CreateEventW");
      return std::nullopt;
    }
    s = {};
    s.used = 1;
    s.generation = sub.key.generation;
    s.processId = me.id;
    s.processStart = me.start;
    s.handled = t.head;
    return sub;
  }
  if (error) *error = "no room for another subscriber";
  return std::nullopt;
}

void Table::Unsubscribe(Key key) {
  if (key.slot >= kMaxSubscribers) return;
  Locked lock(*this);
  if (!lock) return;
  Layout::SubscriberSlot& s = view_->subscribers[key.slot];
  if (s.used && s.generation == key.generation) s.used = 0;
}

void Table::MarkHandled(Key key, uint64_t seq) {
  if (key.slot >= kMaxSubscribers) return;
  Locked lock(*this);
  if (!lock) return;
  Layout::SubscriberSlot& s = view_->subscribers[key.slot];
  if (s.used && s.generation == key.generation) s.handled = std::max(s.handled, seq);
}

bool Table::WaitHandled(uint64_t seq, DWORD waitMs) {
  const ULONGLONG deadline = ::GetTickCount64() + waitMs;
  for (;;) {
    bool all = true;
    std::vector<ProcessIdentity> waitingOn;
    {
      Locked lock(*this);
      if (!lock) return false;
      for (const auto& s : view_->subscribers)
        if (s.used && s.handled < seq) {
          all = false;
          waitingOn.push_back({s.processId, s.processStart});
        }
    }
    if (all) return true;
    // A subscriber that died meanwhile handles nothing more.
    bool anyAlive = false;
    for (const ProcessIdentity& p : waitingOn) anyAlive = anyAlive || IsAlive(p);
    if (!anyAlive) {
      ReapDeadProcesses();
      continue;
    }
    if (::GetTickCount64() >= deadline) return false;
    ::Sleep(5);
  }
}

void Table::WakeSubscribers() {
  std::vector<uint32_t> generations;
  {
    Locked lock(*this);
    if (!lock) return;
    for (const auto& s : view_->subscribers)
      if (s.used) generations.push_back(s.generation);
  }
  for (uint32_t g : generations) {
    win::UniqueHandle wake(::OpenEventW(EVENT_MODIFY_STATE, FALSE, WakeName(g).c_str()));
    if (wake) ::SetEvent(wake.get());
  }
}

// ---- violations ----

void Table::RecordViolation(const std::string& text) {
  std::fprintf(stderr, "simaudio: VIOLATION: %s\n", text.c_str());
  std::fflush(stderr);
  ::OutputDebugStringA(("simaudio: VIOLATION: " + text + "\n").c_str());
  Locked lock(*this);
  if (!lock) return;
  Layout& t = *view_;
  char* slot = t.violations[t.violationCount % kViolationSlots];
  std::snprintf(slot, kViolationChars, "pid %lu: %s", ::GetCurrentProcessId(), text.c_str());
  ++t.violationCount;
}

uint32_t Table::ViolationCount() {
  Locked lock(*this);
  return lock ? view_->violationCount : 0;
}

std::vector<std::string> Table::Violations() {
  std::vector<std::string> out;
  Locked lock(*this);
  if (!lock) return out;
  const Layout& t = *view_;
  const uint32_t first = t.violationCount > kViolationSlots ? t.violationCount - kViolationSlots : 0;
  for (uint32_t i = first; i < t.violationCount; ++i)
    out.emplace_back(t.violations[i % kViolationSlots], strnlen(t.violations[i % kViolationSlots], kViolationChars));
  return out;
}

}  // namespace zu::simaudio
