// The control handler's session-change path. Wine never delivers session
// changes to a service (and ControlService refuses to send them), so the
// handler is driven directly here, with real agent processes.
#include <windows.h>

#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/win/unique_handle.h"
#include "base/win/utf.h"
#include "service/tarn_service.h"
#include "service/tests/service_host.h"
#include "testing/recording_logger.h"

namespace zu::service::testing {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using zu::testing::RecordingLogger;

class ControlHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearAgentRecords();
    service.broker().AttachLogger(logger);
  }
  void TearDown() override {
    service.OnControl(SERVICE_CONTROL_STOP, 0);
    RemoveTarnService();  // ends any stand-in agent left by a failure
    ClearAgentRecords();
  }
  // Messages logged since the last call.
  Lines Take() {
    Lines m = logger->messages();
    logger->Clear();
    return m;
  }
  win::UniqueHandle Watch(const AgentRecord& r) {
    return win::UniqueHandle(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                           static_cast<DWORD>(std::stoul(r.at("pid")))));
  }
  static DWORD EndedWith(const win::UniqueHandle& process) {
    if (::WaitForSingleObject(process.get(), 5000) != WAIT_OBJECT_0) return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFF;
    ::GetExitCodeProcess(process.get(), &code);
    return code;
  }

  const std::string pathLine = "ZuEventApp path= " + win::ToUtf8(TestDirectory()) + "zueventapp.exe";
  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
  TarnService service{TestDirectory()};
};

TEST_F(ControlHandlerTest, LogonStartsLogoffEndsOtherSessionEventsAreIgnored) {
  EXPECT_EQ(service.OnControl(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGON), static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(Take(), (Lines{"WTS_SESSION_LOGON", pathLine, "Start ZuEventApp successfully!"}));
  const AgentRecord first = WaitForNewAgent({}, 10s);
  ASSERT_FALSE(first.empty());
  auto firstProcess = Watch(first);
  ASSERT_TRUE(firstProcess);

  for (DWORD event : std::initializer_list<DWORD>{WTS_CONSOLE_CONNECT, WTS_CONSOLE_DISCONNECT, WTS_REMOTE_CONNECT, WTS_REMOTE_DISCONNECT,
                      WTS_SESSION_LOCK, WTS_SESSION_UNLOCK, WTS_SESSION_REMOTE_CONTROL, 0u, 99u})
    EXPECT_EQ(service.OnControl(SERVICE_CONTROL_SESSIONCHANGE, event), static_cast<DWORD>(NO_ERROR));
  for (DWORD control : std::initializer_list<DWORD>{SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE,
                        SERVICE_CONTROL_SHUTDOWN, 128u})
    EXPECT_EQ(service.OnControl(control, WTS_SESSION_LOGOFF), static_cast<DWORD>(NO_ERROR));
  EXPECT_TRUE(Take().empty());
  EXPECT_TRUE(ProcessRunning(static_cast<DWORD>(std::stoul(first.at("pid")))));

  // A second log-on replaces the running agent.
  service.OnControl(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGON);
  EXPECT_EQ(Take(), (Lines{"WTS_SESSION_LOGON", "UnregisterWait successfully", "ZuEventApp stop successfully",
                           pathLine, "Start ZuEventApp successfully!"}));
  EXPECT_EQ(EndedWith(firstProcess), 0u);
  const AgentRecord second = WaitForNewAgent({first.at("pid")}, 10s);
  ASSERT_FALSE(second.empty());
  auto secondProcess = Watch(second);

  // Log-off ends it with exit code 0.
  service.OnControl(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGOFF);
  EXPECT_EQ(Take(), (Lines{"WTS_SESSION_LOGOFF", "UnregisterWait successfully", "ZuEventApp stop successfully"}));
  EXPECT_EQ(EndedWith(secondProcess), 0u);
  EXPECT_FALSE(service.broker().HasAgent());

  // The next log-on starts one again.
  service.OnControl(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGON);
  EXPECT_EQ(Take(), (Lines{"WTS_SESSION_LOGON", pathLine, "Start ZuEventApp successfully!"}));
  const AgentRecord third = WaitForNewAgent({first.at("pid"), second.at("pid")}, 10s);
  ASSERT_FALSE(third.empty());
  auto thirdProcess = Watch(third);

  // The stop ends it and releases the logger; session events after it do nothing.
  service.OnControl(SERVICE_CONTROL_STOP, 0);
  EXPECT_EQ(Take(), (Lines{"UnregisterWait successfully", "ZuEventApp stop successfully"}));
  EXPECT_EQ(EndedWith(thirdProcess), 0u);
  EXPECT_EQ(logger.use_count(), 1);
  service.OnControl(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGON);
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(AgentRecords().size(), 3u);
}

TEST_F(ControlHandlerTest, LogoffDuringTheRestartDelayLeavesNoAgent) {
  service.OnControl(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGON);
  const AgentRecord first = WaitForNewAgent({}, 10s);
  ASSERT_FALSE(first.empty());
  Take();
  {
    win::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                            static_cast<DWORD>(std::stoul(first.at("pid")))));
    ASSERT_TRUE(::TerminateProcess(process.get(), 9));
  }
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (!logger->HasMessage("ZuEventApp is dead, restart after 3s!") && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(10ms);
  service.OnControl(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGOFF);
  std::this_thread::sleep_for(3500ms);
  EXPECT_EQ(Take(), (Lines{"ZuEventApp is dead, restart after 3s!", "WTS_SESSION_LOGOFF", "UnregisterWait fail!",
                           "ZuEventApp stop fail!"}));
  EXPECT_EQ(AgentRecords().size(), 1u);
  EXPECT_FALSE(service.broker().HasAgent());
}

}  // namespace
}  // namespace zu::service::testing
