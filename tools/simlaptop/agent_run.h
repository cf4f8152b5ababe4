// Runs the real event agent (zueventapp.exe) for a test, on the simulated
// laptop the test itself runs on.
//
//   zu::simagent::AgentRun agent({L"Veilpane.dll"});
//   ASSERT_TRUE(agent.Start());                        // window is up
//   ASSERT_TRUE(agent.WaitForLog("Veilpane: state change UNKNOWN -> INIT"));
//   zu::simhotkey::PressFirmwareKey(0x62, zu::simhotkey::Delivery::kSend);
//   agent.Stop();
//   agent.LogTexts(); agent.OsdRecord(); agent.Output();
//
// The agent runs from a fresh folder holding zueventapp.exe, the C++ runtime,
// the named signed plug-ins and a glimmer.dll (the recording stand-in of
// osd_record.h by default), copied from the build's bin folder. It is started
// from the test process, so it sees the test's chassis and Wine prefix, with
// that folder as its current directory, its standard output in a file, and
// ZU_OSD_RECORD naming the folder's record file. Only one agent may run in a
// prefix at a time (tests hold the CTest resource lock "zueventapp"), since
// hot keys go to the first window of its class.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/win/unique_handle.h"
#include "tools/simlaptop/osd_record.h"

namespace zu::simagent {

enum class PopupLibrary {
  kRecorder,  // osd_recorder/glimmer.dll: records requests, shows nothing
  kReal,      // the real glimmer.dll
  kNone,      // no pop-up library in the folder
};

// The agent's log file: log.txt in Orvale\TarnService below the user's local
// application-data folder.
std::filesystem::path AgentLogFile();

class AgentRun {
 public:
  // plugins: file names in the build's bin folder (signed plug-ins), copied
  // under the same names.
  explicit AgentRun(std::vector<std::wstring> plugins, PopupLibrary popups = PopupLibrary::kRecorder);
  // Stops a running agent and removes the folder.
  ~AgentRun();
  AgentRun(const AgentRun&) = delete;
  AgentRun& operator=(const AgentRun&) = delete;

  // Starts the agent and waits for its window "ZuServiceEventListener".
  // False (with the reason in error()) when it could not be started or no
  // window appeared in time.
  bool Start(DWORD waitMs = 15000);
  // Waits until a line of this run's log contains `text`.
  bool WaitForLog(const std::string& text, DWORD waitMs = 15000) const;
  // Ends the agent the way its message loop ends (WM_QUIT to the window's
  // thread: the process exits with 0 and its plug-ins see a process detach),
  // terminating it when it has not ended within `waitMs`. Returns its exit
  // code; STILL_ACTIVE (259) when it had to be terminated.
  DWORD Stop(DWORD waitMs = 10000);
  bool running() const;

  // The lines this run added to the agent's log, and their texts after the
  // "[time] [logger] [level] " prefix ("Veilpane: state change ...").
  std::vector<std::string> LogLines() const;
  std::vector<std::string> LogTexts(const std::string& level = "") const;
  // The pop-up library stand-in's record of this run.
  std::vector<simosd::Entry> OsdRecord() const;
  // Waits until the record holds `count` pop-up starts. A plug-in's pop-up
  // thread enters OSDStart some time after the plug-in started it; a request
  // before that is answered OSD_FAILED, as the real library does.
  bool WaitForPopupStarts(size_t count, DWORD waitMs = 10000) const;
  // The agent's standard output so far.
  std::string Output() const;

  const std::filesystem::path& folder() const { return folder_; }
  const std::string& error() const { return error_; }

 private:
  std::filesystem::path folder_;
  // What this run has added to the log, across rotations of log.txt.
  std::string RunLog() const;

  std::filesystem::path logFile_;
  uintmax_t logStart_ = 0;
  uint64_t logIdentity_ = 0;  // the file log.txt was at the start; 0 unknown
  win::UniqueHandle process_;
  std::string error_;
};

}  // namespace zu::simagent
