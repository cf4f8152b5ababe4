// The broker's rules: which lines it logs, when it starts, restarts and ends
// agents, and how it behaves when its three threads meet.
#include "service/agent_broker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "service/tests/fake_agent_system.h"
#include "testing/recording_logger.h"

namespace zu::service {
namespace {

using namespace std::chrono_literals;
using testing::FakeAgentSystem;
using zu::testing::LogCall;
using zu::testing::RecordingLogger;
using Lines = std::vector<std::string>;

const std::string kPathLine = "ZuEventApp path= C:\\Program Files\\Orvale\\zueventapp.exe";

class AgentBrokerTest : public ::testing::Test {
 protected:
  void Make(std::chrono::milliseconds restartDelay = 50ms) {
    broker = std::make_unique<AgentBroker>(system, restartDelay);
    broker->AttachLogger(logger);
  }
  void TearDown() override {
    if (broker) broker->Shutdown();
    system.JoinNotifications();
    broker.reset();
  }
  // Waits until the log holds a line; the restart runs on another thread.
  bool WaitForLine(const std::string& line, std::chrono::milliseconds timeout = 5s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      if (logger->HasMessage(line)) return true;
      std::this_thread::sleep_for(2ms);
    }
    return false;
  }

  FakeAgentSystem system;
  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
  std::unique_ptr<AgentBroker> broker;
};

TEST_F(AgentBrokerTest, StartLogsPathAndSuccessToFileAndEventLog) {
  Make();
  broker->StartAgent();
  EXPECT_EQ(logger->messages(), (Lines{kPathLine, "Start ZuEventApp successfully!"}));
  // Every outcome goes through LogAndReport under the broker's name.
  const auto calls = logger->calls();
  ASSERT_EQ(calls.size(), 4u);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].op, i % 2 ? LogCall::Op::kReport : LogCall::Op::kLog);
    EXPECT_EQ(calls[i].component, "ZuServiceBroker");
    EXPECT_EQ(calls[i].level, kLogInfo);
  }
  const auto agent = system.agent(0);
  EXPECT_TRUE(agent.running);
  EXPECT_TRUE(agent.watching);
  EXPECT_TRUE(broker->HasAgent());
}

// Agents an earlier, crashed service process left behind are ended before
// the new one is launched; one that cannot be ended is logged, and the start
// goes on, since the session must not be left without hot keys.
TEST_F(AgentBrokerTest, LeftoverAgentsAreEndedBeforeTheLaunch) {
  Make();
  system.SetLeftovers({412, 977}, {977});
  broker->StartAgent();
  EXPECT_EQ(system.events(), (Lines{"end 412", "end fail 977", "create"}));
  EXPECT_EQ(logger->messages(), (Lines{"Leftover ZuEventApp ended, pid= 412", "Leftover ZuEventApp end fail! pid= 977",
                                       kPathLine, "Start ZuEventApp successfully!"}));
  EXPECT_EQ(logger->calls().front().level, kLogWarning);
  EXPECT_TRUE(system.agent(0).running);
}

TEST_F(AgentBrokerTest, NobodyLoggedOnStartsNothingUntilLogon) {
  Make();
  system.loggedOn = false;
  broker->StartAgent();
  EXPECT_EQ(logger->messages(), (Lines{"User is logoff"}));
  EXPECT_EQ(logger->calls().front().level, kLogWarning);
  EXPECT_EQ(system.agentCount(), 0u);

  system.loggedOn = true;
  logger->Clear();
  broker->OnSessionLogon();
  EXPECT_EQ(logger->messages(), (Lines{"WTS_SESSION_LOGON", kPathLine, "Start ZuEventApp successfully!"}));
  EXPECT_TRUE(system.agent(0).running);
}

TEST_F(AgentBrokerTest, FailedLaunchStopsTheRecordAndLogsItsCode) {
  Make();
  for (int code = -1; code >= -6; --code) {
    logger->Clear();
    system.launchResult = code;
    broker->StartAgent();
    EXPECT_EQ(logger->messages(),
              (Lines{kPathLine, "ZuEventApp stop fail!", "Start ZuEventApp failed! ret= " + std::to_string(code)}));
    EXPECT_FALSE(broker->HasAgent());
  }
  const auto calls = logger->calls();
  EXPECT_EQ(calls.back().level, kLogWarning);
  EXPECT_EQ(system.live(), 0);
}

TEST_F(AgentBrokerTest, AgentWithoutExitWatchStillCountsAsStarted) {
  Make();
  system.watchFails = true;
  broker->StartAgent();
  EXPECT_EQ(logger->messages(), (Lines{kPathLine, "RegisterWait fail!", "Start ZuEventApp successfully!"}));
  EXPECT_TRUE(broker->HasAgent());
  // With no watch to cancel, stopping logs only the termination.
  logger->Clear();
  broker->StopAgent();
  EXPECT_EQ(logger->messages(), (Lines{"ZuEventApp stop successfully"}));
}

TEST_F(AgentBrokerTest, DeadAgentIsRestartedAfterTheDelay) {
  Make(200ms);
  broker->StartAgent();
  logger->Clear();
  const auto died = std::chrono::steady_clock::now();
  system.Die(0);
  ASSERT_TRUE(system.WaitForLaunches(2, 5s));
  EXPECT_GE(std::chrono::steady_clock::now() - died, 200ms);
  ASSERT_TRUE(WaitForLine("Start ZuEventApp successfully!"));
  EXPECT_EQ(logger->messages(), (Lines{"ZuEventApp is dead, restart after 3s!", "UnregisterWait fail!",
                                       "ZuEventApp stop fail!", kPathLine, "Start ZuEventApp successfully!"}));
  EXPECT_EQ(logger->calls().front().level, kLogWarning);
  EXPECT_TRUE(system.agent(1).running);
  EXPECT_TRUE(system.agent(1).watching);

  // The restart loop has no limit: the new agent is watched like the first.
  system.Die(1);
  ASSERT_TRUE(system.WaitForLaunches(3, 5s));
}

TEST_F(AgentBrokerTest, LogoffEndsTheAgent) {
  Make();
  broker->StartAgent();
  logger->Clear();
  broker->OnSessionLogoff();
  EXPECT_EQ(logger->messages(),
            (Lines{"WTS_SESSION_LOGOFF", "UnregisterWait successfully", "ZuEventApp stop successfully"}));
  EXPECT_TRUE(system.agent(0).terminated);
  EXPECT_FALSE(broker->HasAgent());
  // A second log-off has no agent to end.
  logger->Clear();
  broker->OnSessionLogoff();
  EXPECT_EQ(logger->messages(), (Lines{"WTS_SESSION_LOGOFF"}));
}

TEST_F(AgentBrokerTest, LogonReplacesARunningAgent) {
  Make();
  broker->StartAgent();
  logger->Clear();
  broker->OnSessionLogon();
  EXPECT_EQ(logger->messages(), (Lines{"WTS_SESSION_LOGON", "UnregisterWait successfully",
                                       "ZuEventApp stop successfully", kPathLine, "Start ZuEventApp successfully!"}));
  EXPECT_TRUE(system.agent(0).terminated);
  EXPECT_TRUE(system.agent(1).running);
  EXPECT_EQ(system.maxLive(), 1);
}

TEST_F(AgentBrokerTest, StopDuringRestartDelayEndsAtOnceWithNoAgent) {
  // A delay far longer than any test: the stop must not wait for it.
  Make(std::chrono::hours(1));
  broker->StartAgent();
  system.Die(0);
  ASSERT_TRUE(WaitForLine("ZuEventApp is dead, restart after 3s!"));
  logger->Clear();

  broker->Shutdown();
  auto joined = std::async(std::launch::async, [this] { system.JoinNotifications(); });
  ASSERT_EQ(joined.wait_for(5s), std::future_status::ready) << "the restart kept waiting after the stop";

  EXPECT_EQ(logger->messages(), (Lines{"UnregisterWait fail!", "ZuEventApp stop fail!"}));
  EXPECT_EQ(system.agentCount(), 1u);
  EXPECT_FALSE(broker->HasAgent());
  EXPECT_EQ(logger.use_count(), 1) << "the stop releases the broker's logger";
}

TEST_F(AgentBrokerTest, StopDuringRestartLaunchEndsTheNewAgent) {
  Make(0ms);
  broker->StartAgent();
  system.HoldLaunches();
  system.Die(0);
  ASSERT_TRUE(system.WaitForHeldLaunch(5s));

  // The stop waits for the launch in progress, then ends what it started.
  auto stopped = std::async(std::launch::async, [this] { broker->Shutdown(); });
  EXPECT_EQ(stopped.wait_for(100ms), std::future_status::timeout);
  system.ReleaseLaunches();
  ASSERT_EQ(stopped.wait_for(5s), std::future_status::ready);
  system.JoinNotifications();

  EXPECT_TRUE(system.agent(1).terminated);
  EXPECT_EQ(system.live(), 0);
  EXPECT_FALSE(broker->HasAgent());
  const auto lines = logger->messages();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(Lines(lines.end() - 3, lines.end()),
            (Lines{"Start ZuEventApp successfully!", "UnregisterWait successfully", "ZuEventApp stop successfully"}));
}

TEST_F(AgentBrokerTest, NothingStartsOrLogsAfterShutdown) {
  Make();
  broker->Shutdown();
  logger->Clear();
  auto late = std::make_shared<RecordingLogger>();
  broker->AttachLogger(late);
  broker->StartAgent();
  broker->OnSessionLogon();
  broker->OnSessionLogoff();
  broker->StopAgent();
  broker->Shutdown();
  EXPECT_TRUE(logger->calls().empty());
  EXPECT_TRUE(late->calls().empty());
  EXPECT_EQ(late.use_count(), 1) << "a logger offered after the stop is not kept";
  EXPECT_EQ(system.agentCount(), 0u);
  EXPECT_TRUE(broker->IsShutDown());
}

TEST_F(AgentBrokerTest, LateExitNoticeLeavesTheReplacementAlone) {
  Make();
  broker->StartAgent();
  system.Die(0, /*notify=*/false);  // its notice is still on its way
  broker->OnSessionLogon();
  logger->Clear();
  system.Deliver(0);
  EXPECT_TRUE(logger->calls().empty());
  EXPECT_TRUE(system.agent(1).running);
  EXPECT_EQ(system.agentCount(), 2u);
}

TEST_F(AgentBrokerTest, LogoffDuringRestartDelayCancelsTheRestart) {
  Make(300ms);
  broker->StartAgent();
  logger->Clear();
  system.Die(0);
  ASSERT_TRUE(WaitForLine("ZuEventApp is dead, restart after 3s!"));
  broker->OnSessionLogoff();
  system.JoinNotifications();
  EXPECT_EQ(logger->messages(), (Lines{"ZuEventApp is dead, restart after 3s!", "WTS_SESSION_LOGOFF",
                                       "UnregisterWait fail!", "ZuEventApp stop fail!"}));
  EXPECT_EQ(system.agentCount(), 1u);
  EXPECT_FALSE(broker->HasAgent());
}

TEST_F(AgentBrokerTest, ThreeThreadsNeverOverlapAndLeaveAtMostOneAgent) {
  Make(1ms);
  std::atomic<bool> go{true};
  auto control = [&](unsigned seed) {
    std::mt19937 rng(seed);
    while (go) {
      switch (rng() % 4) {
        case 0: broker->StartAgent(); break;
        case 1: broker->StopAgent(); break;
        case 2: broker->OnSessionLogon(); break;
        case 3: broker->OnSessionLogoff(); break;
      }
    }
  };
  std::thread a(control, 1), b(control, 2);
  std::mt19937 rng(3);
  for (int i = 0; i < 300; ++i) {
    const size_t n = system.agentCount();
    if (n) system.Die(rng() % n);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  go = false;
  a.join();
  b.join();
  broker->Shutdown();
  system.JoinNotifications();

  EXPECT_EQ(system.overlaps(), 0);
  EXPECT_LE(system.maxLive(), 1);
  EXPECT_EQ(system.live(), 0) << "every agent started was ended";
}

}  // namespace
}  // namespace zu::service
