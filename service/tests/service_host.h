// Test support for running zuservice under the real service manager: the
// test copy of the program, its stand-in agents, its log, and clean-up of
// the installed service whatever a test left behind.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace zu::service::testing {

// The directory of this test program, where the test copy of zuservice.exe
// and the stand-in zueventapp.exe sit.
std::wstring TestDirectory();
std::wstring ZuServicePath();

struct CommandResult {
  std::string output;
  DWORD exitCode = 0xFFFFFFFF;
};
// Runs the test copy of zuservice.exe with the given argument text and
// collects its standard output.
CommandResult RunZuService(const std::wstring& arguments);

// Stops and deletes TarnService if it exists, ends stand-in agents still
// running, and removes the event source's registration.
void RemoveTarnService();

// What a stand-in agent recorded about its start.
using AgentRecord = std::map<std::string, std::string>;
std::filesystem::path AgentFolder();
std::vector<AgentRecord> AgentRecords();
void ClearAgentRecords();
// Waits for a record whose pid is not in `known`; empty on timeout.
AgentRecord WaitForNewAgent(const std::set<std::string>& known, std::chrono::milliseconds timeout);
std::set<std::string> KnownAgentPids();
// Whether the process with this id is still running.
bool ProcessRunning(DWORD pid);

// The service's log file and the text of each line ("component: message").
std::filesystem::path ServiceLogFile();
std::vector<std::string> ServiceLogTexts();
// Waits until the log holds a line with this text.
bool WaitForLogText(const std::string& text, std::chrono::milliseconds timeout);
void RemoveServiceLogFolder();

// Current status of TarnService.
bool QueryTarnStatus(SERVICE_STATUS_PROCESS* status);

// Tests that install TarnService start from nothing and leave nothing behind,
// whether they pass or not.
class ScmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTarnService();
    ClearAgentRecords();
  }
  void TearDown() override {
    RemoveTarnService();
    ClearAgentRecords();
  }
};

}  // namespace zu::service::testing
