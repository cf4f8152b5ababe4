// TarnService started by Wine's service manager: its status, its agent, the
// restart of a dead agent and the stop.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/win/unique_handle.h"
#include "base/win/utf.h"
#include "service/sc_handle.h"
#include "service/service_identity.h"
#include "service/tests/service_host.h"
#include "testing/win/file_text.h"

namespace zu::service::testing {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

std::string AgentPathLine() {
  return "ZuServiceBroker: ZuEventApp path= " + win::ToUtf8(TestDirectory()) + "zueventapp.exe";
}

// "level text" of every line of the service log.
Lines LevelledLog() {
  Lines out;
  for (const auto& line : zu::testing::ReadLines(ServiceLogFile())) {
    std::string level;
    const std::string text = zu::testing::LineText(line, &level);
    out.push_back(level + " " + text);
  }
  return out;
}

bool WaitForLogLines(size_t count, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  do {
    if (ServiceLogTexts().size() >= count) return true;
    std::this_thread::sleep_for(20ms);
  } while (Clock::now() < end);
  return false;
}

DWORD Pid(const AgentRecord& r) { return static_cast<DWORD>(std::stoul(r.at("pid"))); }

void Kill(DWORD pid) {
  win::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  ASSERT_TRUE(process) << ::GetLastError();
  ASSERT_TRUE(::TerminateProcess(process.get(), 9));
  ::WaitForSingleObject(process.get(), 5000);
}

std::wstring Variable(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD n = ::GetEnvironmentVariableW(name, value, 1024);
  return std::wstring(value, n < 1024 ? n : 0);
}

class ServiceRunTest : public ScmTest {
 protected:
  void SetUp() override {
    ScmTest::SetUp();
    RemoveServiceLogFolder();  // the service must make it again
    ASSERT_FALSE(std::filesystem::exists(L"C:\\Windows\\Log"));
    ASSERT_EQ(RunZuService(L"install").output, "Service installed successfully\n");
  }
  // Starts the service and returns its first agent.
  AgentRecord StartWithAgent() {
    const CommandResult r = RunZuService(L"start");
    EXPECT_EQ(r.output, "Service start pending...\nService started successfully.\n");
    EXPECT_EQ(r.exitCode, 0u);
    AgentRecord agent = WaitForNewAgent({}, 10s);
    EXPECT_FALSE(agent.empty()) << "no agent started";
    EXPECT_TRUE(WaitForLogLines(2, 5s));
    return agent;
  }
};

TEST_F(ServiceRunTest, AgentStartsIsRestartedAfterDyingAndEndsWithTheService) {
  const AgentRecord first = StartWithAgent();
  ASSERT_FALSE(first.empty());

  SERVICE_STATUS_PROCESS status{};
  ASSERT_TRUE(QueryTarnStatus(&status));
  EXPECT_EQ(status.dwServiceType, 0x20u);
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(status.dwControlsAccepted, 0x81u);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  EXPECT_EQ(RunZuService(L"start").output, "Cannot start the service because it is already running\n");

  // Hidden, on the interactive desktop, in the console session, as the
  // console user with that user's environment.
  EXPECT_EQ(first.at("desktop"), "winsta0\\default");
  EXPECT_EQ(std::stoul(first.at("flags")) & STARTF_USESHOWWINDOW, static_cast<unsigned long>(STARTF_USESHOWWINDOW));
  EXPECT_EQ(first.at("show"), "0");
  EXPECT_EQ(first.at("session"), "1");
  wchar_t user[256] = {};
  DWORD userLength = 256;
  ::GetUserNameW(user, &userLength);
  EXPECT_EQ(first.at("user"), win::ToUtf8(user));
  EXPECT_EQ(first.at("USERPROFILE"), win::ToUtf8(Variable(L"USERPROFILE")));
  EXPECT_FALSE(first.at("USERNAME").empty());

  EXPECT_EQ(first.at("console"), "1");
  EXPECT_EQ(LevelledLog(), (Lines{"info " + AgentPathLine(), "info ZuServiceBroker: Start ZuEventApp successfully!"}));

  {
    // Controls other than stop and session change change nothing. The
    // service manager refuses to send a session change itself (87), which is
    // why the handler's session path is driven directly elsewhere.
    UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueScHandle service(::OpenServiceW(manager.get(), kServiceName,
                                          SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS));
    ASSERT_TRUE(service);
    SERVICE_STATUS control{};
    EXPECT_TRUE(::ControlService(service.get(), SERVICE_CONTROL_INTERROGATE, &control)) << ::GetLastError();
    EXPECT_TRUE(::ControlService(service.get(), 200, &control)) << ::GetLastError();
    EXPECT_FALSE(::ControlService(service.get(), SERVICE_CONTROL_SESSIONCHANGE, &control));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(QueryTarnStatus(&status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(ProcessRunning(Pid(first)));
    EXPECT_EQ(ServiceLogTexts().size(), 2u);
  }

  // A dead agent is replaced about three seconds later.
  const auto killed = Clock::now();
  Kill(Pid(first));
  const AgentRecord second = WaitForNewAgent({first.at("pid")}, 10s);
  ASSERT_FALSE(second.empty()) << "the agent was not restarted";
  const auto delay = Clock::now() - killed;
  EXPECT_GE(delay, 2900ms);
  EXPECT_LE(delay, 6000ms);
  ASSERT_TRUE(WaitForLogLines(7, 5s));
  EXPECT_EQ(LevelledLog(), (Lines{
                               "info " + AgentPathLine(),
                               "info ZuServiceBroker: Start ZuEventApp successfully!",
                               "warning ZuServiceBroker: ZuEventApp is dead, restart after 3s!",
                               "warning ZuServiceBroker: UnregisterWait fail!",
                               "warning ZuServiceBroker: ZuEventApp stop fail!",
                               "info " + AgentPathLine(),
                               "info ZuServiceBroker: Start ZuEventApp successfully!",
                           }));

  // The stop ends the agent with exit code 0.
  win::UniqueHandle agent(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, Pid(second)));
  ASSERT_TRUE(agent);
  CommandResult r = RunZuService(L"stop");
  EXPECT_EQ(r.output, "Service stopped successfully\n");
  EXPECT_EQ(r.exitCode, 0u);
  ASSERT_EQ(::WaitForSingleObject(agent.get(), 5000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  ::GetExitCodeProcess(agent.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
  ASSERT_TRUE(QueryTarnStatus(&status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));

  const Lines log = LevelledLog();
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(Lines(log.end() - 2, log.end()),
            (Lines{"info ZuServiceBroker: UnregisterWait successfully", "info ZuServiceBroker: ZuEventApp stop successfully"}));

  r = RunZuService(L"stop");
  EXPECT_EQ(r.output, "Service is already stopped.\n");
  EXPECT_EQ(r.exitCode, 0u);
  // Started again, it appends to the same log.
  const auto before = KnownAgentPids();
  r = RunZuService(L"start");
  EXPECT_EQ(r.output, "Service start pending...\nService started successfully.\n");
  EXPECT_FALSE(WaitForNewAgent(before, 10s).empty());
  EXPECT_TRUE(WaitForLogLines(11, 5s));
  EXPECT_EQ(RunZuService(L"stop").output, "Service stopped successfully\n");
  EXPECT_EQ(ServiceLogTexts().size(), 13u);
}

TEST_F(ServiceRunTest, StopWhileARestartIsPendingEndsPromptlyWithNoAgent) {
  const AgentRecord first = StartWithAgent();
  ASSERT_FALSE(first.empty());
  Kill(Pid(first));
  ASSERT_TRUE(WaitForLogText("ZuServiceBroker: ZuEventApp is dead, restart after 3s!", 5s));

  // The stop must not wait for the three-second restart delay.
  const auto asked = Clock::now();
  const CommandResult r = RunZuService(L"stop");
  const auto took = Clock::now() - asked;
  EXPECT_EQ(r.output, "Service stopped successfully\n");
  EXPECT_LT(took, 2000ms);

  // Well past the restart time, still no agent, and nothing was logged
  // after the stop's lines.
  std::this_thread::sleep_for(4s);
  EXPECT_EQ(AgentRecords().size(), 1u);
  EXPECT_FALSE(ProcessRunning(Pid(first)));
  EXPECT_EQ(ServiceLogTexts(), (Lines{
                                   AgentPathLine(),
                                   "ZuServiceBroker: Start ZuEventApp successfully!",
                                   "ZuServiceBroker: ZuEventApp is dead, restart after 3s!",
                                   "ZuServiceBroker: UnregisterWait fail!",
                                   "ZuServiceBroker: ZuEventApp stop fail!",
                               }));
}

}  // namespace
}  // namespace zu::service::testing
