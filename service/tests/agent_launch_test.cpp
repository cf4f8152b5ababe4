// The Windows agent record: how the agent is launched and watched, and every
// launch result code, each provoked at its real system-call boundary.
#include <windows.h>

#include <userenv.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/win/utf.h"
#include "service/agent_process.h"
#include "service/tests/service_host.h"
#include "testing/recording_logger.h"
#include "testing/win/iat_hook.h"

namespace zu::service::testing {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using zu::testing::IatHook;
using zu::testing::RecordingLogger;

class ExitRecorder final : public AgentExitSink {
 public:
  explicit ExitRecorder(AgentProcess*& agent) : agent_(agent) {}
  void OnAgentExit() override {
    // As in the broker's restart: cancelling the wait from inside its own
    // callback reports failure.
    unwatchInCallback = agent_->UnwatchExit() ? 1 : 0;
    exited = true;
  }
  std::atomic<bool> exited{false};
  std::atomic<int> unwatchInCallback{-1};

 private:
  AgentProcess*& agent_;
};

TEST(AgentProcess, LaunchesHiddenInTheConsoleSessionAndReportsItsEnd) {
  ClearAgentRecords();
  AgentProcess agent(TestDirectory() + kAgentProgram);
  AgentProcess* self = &agent;
  ExitRecorder recorder(self);
  EXPECT_FALSE(agent.HasExited()) << "not launched yet";
  EXPECT_FALSE(agent.Terminate()) << "nothing to terminate yet";

  ASSERT_EQ(agent.Launch(), kAgentStarted);
  EXPECT_EQ(agent.sessionId(), ::WTSGetActiveConsoleSessionId());
  ASSERT_TRUE(agent.WatchExit(recorder));
  EXPECT_TRUE(agent.IsWatchingExit());
  const AgentRecord record = WaitForNewAgent({}, 10s);
  ASSERT_FALSE(record.empty());
  EXPECT_EQ(std::stoul(record.at("pid")), agent.processId());
  EXPECT_FALSE(agent.HasExited());

  // Dies by another hand: the watch fires on a pool thread.
  {
    HANDLE other = ::OpenProcess(PROCESS_TERMINATE, FALSE, agent.processId());
    ASSERT_TRUE(other);
    ::TerminateProcess(other, 7);
    ::CloseHandle(other);
  }
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (!recorder.exited && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(recorder.exited);
  EXPECT_EQ(recorder.unwatchInCallback, 0);
  EXPECT_FALSE(agent.IsWatchingExit());
  EXPECT_TRUE(agent.HasExited());
  // What a restart relies on to log "ZuEventApp stop fail!".
  EXPECT_FALSE(agent.Terminate()) << "terminating an ended process fails";
  ClearAgentRecords();
}

TEST(AgentProcess, UnwatchBeforeTheEndSucceedsAndNothingFires) {
  ClearAgentRecords();
  AgentProcess agent(TestDirectory() + kAgentProgram);
  AgentProcess* self = &agent;
  ExitRecorder recorder(self);
  ASSERT_EQ(agent.Launch(), kAgentStarted);
  ASSERT_TRUE(agent.WatchExit(recorder));
  EXPECT_TRUE(agent.UnwatchExit());
  EXPECT_TRUE(agent.Terminate());
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(recorder.exited);
  ClearAgentRecords();
}

// Failing stand-ins for the system calls of the launch, each counting its calls.
std::atomic<int> g_calls{0};
int g_failFromCall = 1;  // the first call that fails

BOOL WINAPI FailingOpenProcessToken(HANDLE, DWORD, PHANDLE) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}
DWORD WINAPI LosingConsoleSession() {
  return ++g_calls >= g_failFromCall ? 0xFFFFFFFF : 1;
}
decltype(&::WTSQueryUserToken) g_realQueryUserToken = nullptr;
BOOL WINAPI FailingQueryUserToken(ULONG session, PHANDLE token) {
  if (++g_calls >= g_failFromCall) {
    ::SetLastError(ERROR_NO_TOKEN);
    return FALSE;
  }
  return g_realQueryUserToken(session, token);
}
BOOL WINAPI FailingDuplicateTokenEx(HANDLE, DWORD, LPSECURITY_ATTRIBUTES, SECURITY_IMPERSONATION_LEVEL, TOKEN_TYPE,
                                    PHANDLE) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}
BOOL WINAPI FailingCreateEnvironmentBlock(LPVOID*, HANDLE, BOOL) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

// From the library itself, since this program's import slot gets replaced.
decltype(&::WTSQueryUserToken) RealQueryUserToken() {
  return reinterpret_cast<decltype(&::WTSQueryUserToken)>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"wtsapi32.dll"), "WTSQueryUserToken")));
}

struct LaunchFailure {
  const char* dll;
  const char* function;
  void* replacement;
  int failFromCall;
  Lines expected;  // after the path line
};

TEST(AgentLaunch, EachFailureIsLoggedWithItsCodeAndLeavesNoAgent) {
  const std::string failed = "Start ZuEventApp failed! ret= ";
  const LaunchFailure cases[] = {
      {"advapi32.dll", "OpenProcessToken", reinterpret_cast<void*>(&FailingOpenProcessToken), 1,
       {"ZuEventApp stop fail!", failed + "-1"}},
      // The session is there for the log-on check and gone at launch.
      {"kernel32.dll", "WTSGetActiveConsoleSessionId", reinterpret_cast<void*>(&LosingConsoleSession), 2,
       {"ZuEventApp stop fail!", failed + "-2"}},
      {"wtsapi32.dll", "WTSQueryUserToken", reinterpret_cast<void*>(&FailingQueryUserToken), 2,
       {"ZuEventApp stop fail!", failed + "-3"}},
      {"advapi32.dll", "DuplicateTokenEx", reinterpret_cast<void*>(&FailingDuplicateTokenEx), 1,
       {"ZuEventApp stop fail!", failed + "-4"}},
      {"userenv.dll", "CreateEnvironmentBlock", reinterpret_cast<void*>(&FailingCreateEnvironmentBlock), 1,
       {"ZuEventApp stop fail!", failed + "-5"}},
  };
  g_realQueryUserToken = RealQueryUserToken();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    WinAgentSystem system(TestDirectory());
    auto logger = std::make_shared<RecordingLogger>();
    AgentBroker broker(system);
    broker.AttachLogger(logger);
    g_calls = 0;
    g_failFromCall = c.failFromCall;
    {
      IatHook hook(nullptr, c.dll, c.function, c.replacement);
      ASSERT_TRUE(hook.installed()) << c.dll << "!" << c.function << " is not imported by this program";
      broker.StartAgent();
    }
    Lines expected{"ZuEventApp path= " + system.AgentPath()};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(logger->messages(), expected);
    EXPECT_FALSE(broker.HasAgent());
  }
  // A program that is not there.
  WinAgentSystem missing(L"C:\\nowhere\\");
  auto logger = std::make_shared<RecordingLogger>();
  AgentBroker broker(missing);
  broker.AttachLogger(logger);
  broker.StartAgent();
  EXPECT_EQ(logger->messages(), (Lines{"ZuEventApp path= C:\\nowhere\\zueventapp.exe", "ZuEventApp stop fail!",
                                       "Start ZuEventApp failed! ret= -6"}));
}

TEST(AgentLaunch, NobodyAtTheConsoleIsUserLogoff) {
  WinAgentSystem system(TestDirectory());
  auto logger = std::make_shared<RecordingLogger>();
  AgentBroker broker(system);
  broker.AttachLogger(logger);
  g_realQueryUserToken = RealQueryUserToken();
  g_calls = 0;
  g_failFromCall = 1;
  IatHook hook(nullptr, "wtsapi32.dll", "WTSQueryUserToken", reinterpret_cast<void*>(&FailingQueryUserToken));
  ASSERT_TRUE(hook.installed());
  broker.StartAgent();
  EXPECT_EQ(logger->messages(), (Lines{"User is logoff"}));
  EXPECT_EQ(logger->calls().front().level, kLogWarning);
  EXPECT_FALSE(broker.HasAgent());
}

}  // namespace
}  // namespace zu::service::testing
