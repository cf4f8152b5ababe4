// The LED side of the monitor: the user's mode and where it is stored, the
// last applied presence, the pop-up host, and the rule that switches the LED
// through the ACPI control device.
//
// Not synchronised by itself: the monitor calls every operation but the
// pop-up's with its lock held, so that the LED always matches the state the
// rule read.
#pragma once

#include "logging/settings_key.h"
#include "plugins/common/loggable.h"
#include "plugins/common/osd_host.h"
#include "plugins/meetlamp/led_mode.h"

namespace meetlamp {

class LedControl {
 public:
  // Opens the user's settings keys, creating them on first use, and reads
  // the stored mode (Auto when missing or above 2). Throws std::runtime_error
  // "OpenKey error", "Create parent key error" or "CreateKey error". Lines
  // are logged through `log` (the monitor).
  explicit LedControl(zu::ILoggable& log);
  LedControl(const LedControl&) = delete;
  LedControl& operator=(const LedControl&) = delete;

  LedMode mode() const { return mode_; }
  void set_mode(LedMode mode) { mode_ = mode; }
  PresenceState lastPresence() const { return lastPresence_; }
  void set_lastPresence(PresenceState presence) { lastPresence_ = presence; }

  // Writes the mode as "mode"; "unable to set mode" at error level on failure.
  void WriteMode();
  // Logs the "App state" line and switches the LED as the rule says; does
  // not store newPresence.
  void ApplyLedRule(PresenceState newPresence);
  // Switches the LED device (0x00040019); false, with one warning, when the
  // device refused.
  bool SetLed(bool on);

  // The pop-up host: serialises itself, needs no monitor lock.
  zu::OsdHost& osd() { return osd_; }

 private:
  zu::ILoggable& log_;
  LedMode mode_ = Auto;
  PresenceState lastPresence_ = 0;
  zu::SettingsKey settings_;  // "SOFTWARE\Orvale\TarnService" and its "ConfigLED"
  zu::OsdHost osd_;
};

}  // namespace meetlamp
