// The LED side of the monitor: the user's mode, the rule that switches the
// LED and the reactions to the agent's events.
#include <exception>
#include <string>

#include "agent/event_codes.h"
#include "libs/glimmer/osd_api.h"
#include "plugins/common/acpi_device.h"
#include "plugins/common/acpi_request.h"
#include "plugins/meetlamp/win/audio_callbacks.h"
#include "plugins/meetlamp/win/audio_session_monitor.h"

namespace meetlamp {
namespace {

constexpr const wchar_t* kModeValue = L"mode";

// Holds the monitor lock for a scope; `held` is false when it could not be
// had, and the caller must then leave the guarded state alone.
class ScopedMonitorLock {
 public:
  explicit ScopedMonitorLock(AudioSessionMonitor& monitor) : monitor_(monitor), held(monitor.AcquireLock()) {}
  ~ScopedMonitorLock() {
    if (held) monitor_.ReleaseLock();
  }
  ScopedMonitorLock(const ScopedMonitorLock&) = delete;
  ScopedMonitorLock& operator=(const ScopedMonitorLock&) = delete;

 private:
  AudioSessionMonitor& monitor_;

 public:
  const bool held;
};

}  // namespace

void AudioSessionMonitor::LoadMode() {
  DWORD stored = 0;
  mode_ = settings_.ReadDword(kModeValue, &stored) == ERROR_SUCCESS ? LedModeFromStored(stored) : Auto;
}

void AudioSessionMonitor::WriteMode() {
  if (settings_.WriteDword(kModeValue, static_cast<DWORD>(mode_)) != ERROR_SUCCESS) LogError("unable to set mode");
}

void AudioSessionMonitor::StartLedControl() {
  ScopedMonitorLock lock(*this);
  if (!lock.held) return;
  lastPresence_ = ComputePresence();
  // Written back so that the value exists after the first start.
  WriteMode();
  ApplyLedRule(lastPresence_);
}

void AudioSessionMonitor::ApplyLedRule(PresenceState newPresence) {
  LogInfo(AppStateLine(mode_, lastPresence_, newPresence));
  SetLed(LedShouldBeOn(mode_, newPresence));
}

bool AudioSessionMonitor::SetLed(bool on) {
  LogDebug(on ? "Turn on LED" : "Turn off LED");
  uint32_t setStatus = 0;
  const int setResult = zu::acpi::SetDeviceStatus(zu::acpi::kDeviceConferenceLed, on ? 1 : 0, &setStatus);
  if (setResult == 0) return true;
  // No retry: the next change of mode or presence tries again.
  uint32_t status = 0;
  const int getResult = zu::acpi::GetDeviceStatus(zu::acpi::kDeviceConferenceLed, &status);
  LogWarning(SetLedFailureLine(setResult, setStatus, getResult, status));
  return false;
}

void AudioSessionMonitor::SetMode(LedMode newMode) {
  {
    ScopedMonitorLock lock(*this);
    if (!lock.held || shutDown_) return;
    mode_ = newMode;
    // A mode that cannot be stored stays in force; the next unlock writes it again.
    WriteMode();
    ApplyLedRule(lastPresence_);
  }
  // Shown after the lock is let go: the pop-up runs on its own thread, and
  // Core Audio's callbacks need not wait for it.
  osd_.Show(OSD_KIND_STATUS_LIGHT, newMode);
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
        ScopedMonitorLock lock(*this);
        if (!lock.held || shutDown_) return;
        next = NextLedMode(mode_);
      }
      SetMode(next);
      break;
    }
    case zu::SESSION_LOCK:
    case zu::SESSION_END: {
      LogDebug(eventCode == zu::SESSION_LOCK ? "ZuEventType::SESSION_LOCK" : "ZuEventType::SESSION_END");
      ScopedMonitorLock lock(*this);
      if (!lock.held || shutDown_) return;
      // The last applied presence stays: unlocking restores the LED from it.
      SetLed(false);
      break;
    }
    case zu::SESSION_UNLOCK: {
      LogDebug("ZuEventType::SESSION_UNLOCK");
      ScopedMonitorLock lock(*this);
      if (!lock.held || shutDown_) return;
      WriteMode();
      ApplyLedRule(lastPresence_);
      break;
    }
    case zu::DISPLAY_CHANGE: {
      {
        ScopedMonitorLock lock(*this);
        if (!lock.held || shutDown_) return;
      }
      // The pop-up lays itself out for the display it starts on. Shutdown
      // ends it only after this event has left the gate, so the thread
      // started here never outlives Release.
      try {
        osd_.Restart();
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
  ScopedMonitorLock lock(*this);
  return lock.held ? mode_ : Auto;
}

PresenceState AudioSessionMonitor::lastPresence() {
  ScopedMonitorLock lock(*this);
  return lock.held ? lastPresence_ : 0;
}

}  // namespace meetlamp
