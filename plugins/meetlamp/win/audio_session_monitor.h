// The meeting detector behind the conference LED: watches the capture audio
// sessions of every process through Core Audio and holds the LED's mode,
// the last applied presence, the user's settings keys and the pop-up host.
//
// Threads: Core Audio's notification threads report session and endpoint
// changes, the agent's supervisor thread initialises and runs the
// heartbeat, the agent's window thread forwards events. Everything under
// "guarded" is read and written only while the monitor lock (a re-entrant
// Win32 mutex, monitor_lock.h) is held.
#pragma once

#include <windows.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/win/com_ptr.h"
#include "plugins/common/loggable.h"
#include "plugins/meetlamp/led_mode.h"
#include "plugins/meetlamp/win/led_control.h"
#include "plugins/meetlamp/win/monitor_lock.h"

namespace meetlamp {

class AudioDeviceNotification;
class MeetingAudioSessionNotification;
class MeetingAudioSessionEvents;
class CallbackGate;

// What the COM callback objects report to the monitor.
class IMeetLampEventReceiver {
 public:
  virtual void OnAudioStateChanged(DWORD processId, AudioSessionState newState, IAudioSessionEvents* reporter) = 0;
  virtual void OnDeviceAdded(LPCWSTR endpointId) = 0;
  virtual void OnDeviceRemoved(LPCWSTR endpointId) = 0;

 protected:
  ~IMeetLampEventReceiver() = default;
};

// Start-up failures that end Init ("Unable to call CoInitializeEx").
class ServiceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Makes the device enumerator; the real one is the in-process
// CLSID_MMDeviceEnumerator. Tests hand in their own Core Audio objects.
using EnumeratorFactory = std::function<HRESULT(IMMDeviceEnumerator** enumerator)>;
HRESULT CreateSystemEnumerator(IMMDeviceEnumerator** enumerator);

struct EndpointEntry {
  GUID guid{};
  zu::win::ComPtr<IAudioSessionManager2> manager;
};

// One session on a watched endpoint and the events object registered on it.
struct TrackedSession {
  zu::win::ComPtr<IAudioSessionControl> control;
  zu::win::ComPtr<IAudioSessionControl2> control2;
  zu::win::ComPtr<MeetingAudioSessionEvents> events;
};

// A process's live sessions, in the order they were entered. Each of them
// reports under the process id, and the process is in a call while any of
// them is active; an expired one leaves the list alone.
struct SessionEntry {
  std::vector<TrackedSession> sessions;
};

class AudioSessionMonitor final : public IMeetLampEventReceiver, public zu::ILoggable {
 public:
  // Opens the user's settings keys (creating them on first use), creates
  // the monitor lock and starts the pop-up host. Throws std::runtime_error
  // "OpenKey error", "Create parent key error" or "CreateKey error", or
  // std::system_error when no lock or pop-up thread can be had.
  explicit AudioSessionMonitor(zu::ILogger* logger, EnumeratorFactory enumeratorFactory = CreateSystemEnumerator);
  // Shuts down (when Shutdown was not called), closes the keys, frees the lists.
  ~AudioSessionMonitor();
  AudioSessionMonitor(const AudioSessionMonitor&) = delete;
  AudioSessionMonitor& operator=(const AudioSessionMonitor&) = delete;

  std::string GetLogTag() override { return "AudioSessionMonitor"; }

  // ---- Core Audio ----

  // Joins the multithreaded apartment, watches the capture endpoints and
  // enters their sessions. Throws ServiceError when COM cannot be initialised.
  void InitAudioSessionManager();
  // 1 when a tracked session reports the active state. Lock held by caller.
  PresenceState ComputePresence();
  // The heartbeat: OnDeviceAddedBottom for each queued endpoint id, then
  // empties the queue; also releases sessions that expired since. Takes the lock.
  void ProcessPendingDevices();
  // Watches one endpoint added after start-up. Lock held by caller.
  void OnDeviceAddedBottom(const std::wstring& endpointId);
  // A new session on a watched endpoint (MeetingAudioSessionNotification).
  void OnSessionCreated(IAudioSessionControl* session);

  void OnAudioStateChanged(DWORD processId, AudioSessionState newState, IAudioSessionEvents* reporter) override;
  void OnDeviceAdded(LPCWSTR endpointId) override;
  void OnDeviceRemoved(LPCWSTR endpointId) override;

  // The monitor lock (monitor_lock.h): false (with a warning) when it could
  // not be had within 3000 ms, and the caller must then leave the guarded
  // state alone.
  bool AcquireLock() { return lock_.Acquire(); }
  void ReleaseLock() { lock_.Release(); }

  // Undoes every Core Audio registration (endpoint notification, session
  // notifications, session events), waits for the callbacks and events in
  // flight, releases the Core Audio objects and ends the pop-up host.
  // Called from Release, before the library may be unloaded; safe to call
  // twice. Afterwards callbacks and events change nothing.
  void Shutdown();

  // Observers for tests and logs; each takes the lock.
  std::vector<DWORD> TrackedProcessIds();
  std::vector<GUID> EndpointGuids();
  size_t PendingDeviceCount();

  // ---- LED control (the rule itself: led_control.h) ----

  // Init steps after InitAudioSessionManager: computes and stores the
  // presence, writes "mode" back and applies the LED rule. Takes the lock.
  void StartLedControl();
  // Makes newMode current, stores it, applies the rule with the last
  // presence and shows the pop-up {3, newMode}. Takes the lock.
  void SetMode(LedMode newMode);
  // The service's onEvent: FN_1, lock, end, unlock, display change.
  void HandleEvent(uint32_t eventCode);

  LedMode mode();                   // takes the lock
  PresenceState lastPresence();     // takes the lock

 private:
  LedControl led_;  // guarded by the monitor lock, but for its pop-up host

  // ---- Core Audio state ----
  EnumeratorFactory enumeratorFactory_;
  zu::win::ComPtr<IMMDeviceEnumerator> enumerator_;
  zu::win::ComPtr<AudioDeviceNotification> deviceNotification_;
  std::vector<std::unique_ptr<EndpointEntry>> endpoints_;          // guarded
  zu::win::ComPtr<MeetingAudioSessionNotification> sessionNotification_;
  std::map<DWORD, std::unique_ptr<SessionEntry>> sessions_;        // guarded
  MonitorLock lock_;
  std::vector<std::unique_ptr<std::wstring>> pending_;             // guarded
  // Expired sessions whose release waits for a lock holder outside their
  // own callback (guarded).
  std::vector<TrackedSession> expired_;
  // Lets callbacks and events in flight finish and turns later ones away
  // (Shutdown).
  std::shared_ptr<CallbackGate> gate_;
  bool shutDown_ = false;  // guarded
  // The thread whose CoInitializeEx succeeded; Shutdown on that thread
  // leaves the apartment again. 0: none.
  DWORD comThread_ = 0;

  // Unregisters and releases the sessions that expired since the last call.
  // Takes the lock only to take the list, so that the unregistration runs
  // outside it when the caller holds no lock (call it after ReleaseLock).
  // Never from a Core Audio callback.
  void ReleaseExpiredSessions();
  // Enters a session under its process id, or adds it to that process's
  // entry. Lock held by caller.
  void EnterSession(DWORD processId, zu::win::ComPtr<IAudioSessionControl> control,
                    zu::win::ComPtr<IAudioSessionControl2> control2,
                    zu::win::ComPtr<MeetingAudioSessionEvents> events);
};

}  // namespace meetlamp
