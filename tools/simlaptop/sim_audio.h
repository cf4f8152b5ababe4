// Test side of the simulated audio stack (simaudio/, README "Calls and audio
// devices"): the Core Audio stand-in registered in this prefix for the
// device enumerator's class, and simcall run from a test.
#pragma once

#include <windows.h>

#include <string>

namespace zu::simaudio {

// For its lifetime every process of the prefix that creates the multimedia
// device enumerator gets the stand-in (bin/simaudio/simaudio.dll) instead of
// Wine's own server, which is registered again at the end. The table starts
// over (the built-in microphone and speakers, no session) at both ends.
// Tests that use it hold the CTest lock "mmdevice-class", as do the tests
// that rely on Wine's own Core Audio.
class StandinScope {
 public:
  StandinScope();
  ~StandinScope();
  StandinScope(const StandinScope&) = delete;
  StandinScope& operator=(const StandinScope&) = delete;

  bool ready() const { return error_.empty(); }
  const std::string& error() const { return error_; }

 private:
  std::wstring savedServer_;
  std::wstring savedModel_;
  std::string error_;
};

struct ToolRun {
  DWORD exitCode = 0xFFFFFFFF;  // STILL_ACTIVE when it had to be ended
  std::string output;           // standard output and error
};

// Runs simcall.exe (beside the test program) with `args` and waits at most
// `waitMs` for it.
ToolRun Simcall(const std::wstring& args, DWORD waitMs = 30000);

}  // namespace zu::simaudio
