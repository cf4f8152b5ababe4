// The simulated audio stack's machine-wide table: the capture and render
// endpoints, the audio sessions opened on them (owning process, state, the
// system-sounds session) and an ordered log of every change, shared by all
// processes of a Wine prefix. It plays the part of Windows' audio service:
// the Core Audio stand-in (simaudio.dll) answers from it in every process
// that creates the device enumerator, and simcall changes it.
//
// The table lives in a file mapped under one name (so it outlasts the
// processes that use it: an endpoint added before the agent starts is still
// there when it does), guarded by one named mutex. Each subscriber (a
// stand-in notification thread) has a named auto-reset event that every
// change sets. Never part of a deliverable.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/win/unique_handle.h"

namespace zu::simaudio {

inline constexpr uint32_t kMaxEndpoints = 16;
inline constexpr uint32_t kMaxSessions = 512;
inline constexpr uint32_t kMaxSubscribers = 32;
inline constexpr uint32_t kRingSize = 8192;
inline constexpr size_t kIdChars = 64;    // endpoint ids, with the terminator
inline constexpr size_t kNameChars = 64;  // friendly names

// Core Audio's values: EDataFlow, DEVICE_STATE_*, AudioSessionState.
inline constexpr uint32_t kRender = 0;
inline constexpr uint32_t kCapture = 1;
inline constexpr uint32_t kDeviceActive = 0x1;
inline constexpr uint32_t kInactive = 0;
inline constexpr uint32_t kActive = 1;
inline constexpr uint32_t kExpired = 2;

// One use of a slot. A slot taken again gets a new generation, so a key
// never names a later endpoint or session; generation 0 is "none".
struct Key {
  uint32_t slot = 0;
  uint32_t generation = 0;
  explicit operator bool() const { return generation != 0; }
  friend bool operator==(const Key&, const Key&) = default;
};

enum class ChangeKind : uint32_t {
  kEndpointAdded = 1,    // endpoint, endpointId
  kEndpointRemoved,      // endpoint, endpointId
  kEndpointState,        // endpoint, endpointId, value: the new DEVICE_STATE_*
  kSessionCreated,       // endpoint, session
  kSessionState,         // endpoint, session, value: the new state
  kSessionDisconnected,  // endpoint, session, value: AudioSessionDisconnectReason
};

struct Change {
  uint64_t seq;
  ChangeKind kind;
  uint32_t value;
  Key endpoint;
  Key session;
  wchar_t endpointId[kIdChars];
};

struct Endpoint {
  Key key;
  std::wstring id;
  std::wstring name;
  uint32_t flow = kCapture;
  uint32_t state = kDeviceActive;
};

// A process, told apart from a later one that reuses its id.
struct ProcessIdentity {
  uint32_t id = 0;
  uint64_t start = 0;  // creation time (FILETIME)
  static ProcessIdentity Current();
};
bool IsAlive(const ProcessIdentity& process);

struct Session {
  Key key;
  Key endpoint;
  ProcessIdentity owner;
  uint32_t state = kInactive;
  bool systemSounds = false;
};

class Table {
 public:
  // The prefix's table, created with the built-in endpoints when there is
  // none yet (or the file is of another layout). Null, with the reason in
  // *error, when the file, the mapping or the lock cannot be had.
  static std::unique_ptr<Table> Open(std::string* error);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Back to the built-in endpoints (a microphone and speakers, active) with
  // no session, announcing nothing; subscribers and violations are kept.
  bool Reset(std::string* error);

  // ---- endpoints (present ones only) ----
  std::vector<Endpoint> Endpoints();
  std::optional<Endpoint> FindEndpoint(const std::wstring& id);
  std::optional<Endpoint> GetEndpoint(Key key);
  bool AddEndpoint(const std::wstring& id, const std::wstring& name, uint32_t flow, std::string* error);
  // Sessions on the endpoint lose their streams first: an active one goes
  // inactive, each is disconnected (device removal) and expires.
  bool RemoveEndpoint(const std::wstring& id, std::string* error);
  // A state other than active ends the sessions on it as a removal does.
  bool SetEndpointState(const std::wstring& id, uint32_t state, std::string* error);

  // ---- sessions ----
  // Sessions on the endpoint that have not expired, in slot order.
  std::vector<Session> Sessions(Key endpoint);
  std::vector<Session> AllSessions();
  // kExpired for a session that is gone (or whose slot was taken again).
  uint32_t SessionState(Key session);
  std::optional<Session> GetSession(Key session);
  // A new inactive session of `owner` on an active endpoint.
  Key CreateSession(Key endpoint, const ProcessIdentity& owner, bool systemSounds, std::string* error);
  // Expiring an active session reports it inactive first, as Windows does
  // when a stream stops before its session goes.
  bool SetSessionState(Key session, uint32_t state, std::string* error);
  // Sessions whose owning process has ended go inactive and expire; dead
  // subscribers are dropped. Returns the number of sessions expired.
  size_t ReapDeadProcesses();

  // ---- the change log ----
  uint64_t Head();
  // Copies the changes from *next on and moves *next past them. False when
  // some had been overwritten before they were read (they are skipped).
  bool ReadChanges(uint64_t* next, std::vector<Change>* out);

  // ---- subscribers ----
  struct Subscription {
    Key key;
    win::UniqueHandle wake;  // set after every change
  };
  std::optional<Subscription> Subscribe(std::string* error);
  void Unsubscribe(Key subscriber);
  // The subscriber has handled every change before `seq`.
  void MarkHandled(Key subscriber, uint64_t seq);
  // Waits (bounded) until every live subscriber has handled the changes
  // before `seq`; false on time-out.
  bool WaitHandled(uint64_t seq, DWORD waitMs);

  // ---- violations: client behaviour that hangs or loses data on Windows ----
  void RecordViolation(const std::string& text);
  uint32_t ViolationCount();
  std::vector<std::string> Violations();  // the latest few

 private:
  struct Layout;
  class Locked;
  Table() = default;

  win::UniqueHandle mutex_;
  win::UniqueFile file_;
  win::UniqueHandle mapping_;
  Layout* view_ = nullptr;

  void Initialise();
  void Append(ChangeKind kind, Key endpoint, Key session, uint32_t value);
  void EndSessionsOn(Key endpoint);
  void WakeSubscribers();
};

// The built-in endpoints and the headset simcall adds.
std::wstring EndpointId(uint32_t flow, uint32_t number);
inline constexpr uint32_t kBuiltInNumber = 1;
inline constexpr uint32_t kHeadsetNumber = 2;

}  // namespace zu::simaudio
