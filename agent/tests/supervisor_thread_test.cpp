// The supervisor thread body with real plug-in libraries and real sleeps.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "agent/agent_state.h"
#include "agent/event_codes.h"
#include "agent/event_listener.h"
#include "agent/supervisor.h"
#include "agent/supervisor_thread.h"
#include "agent/tests/plugin_folder.h"
#include "base/text.h"
#include "base/win/unique_handle.h"
#include "testing/recording_logger.h"

namespace zu::testing {
namespace {

using ::testing::ElementsAre;

TEST(SupervisorThread, NothingLoadableIsARuntimeLinkError) {
  PluginFolder folder;
  folder.Add(PluginVariant::kUnsigned, L"meetlamp.dll");
  RecordingLogger log;
  ServiceList services;
  StopSignal stop;
  ::testing::internal::CaptureStdout();
  const DWORD result = RunSupervisor(folder.directory(), &log, services, stop);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "runtime link error\n");
  EXPECT_EQ(result, 0xFFFFFFFFu);
  EXPECT_EQ(log.messages().size(), 4u) << "one failure line per listed library";
  EXPECT_TRUE(folder.Trace().empty());
}

TEST(SupervisorThread, AStopBeforeSupervisionJoinsReleasesAndUnloadsInLoadOrder) {
  PluginFolder folder;
  folder.Add(PluginVariant::kGood, L"meetlamp.dll");
  folder.Add(PluginVariant::kGood, L"Veilpane.dll");
  RecordingLogger log;
  ServiceList services;
  StopSignal stop(true);
  EXPECT_EQ(RunSupervisor(folder.directory(), &log, services, stop), 0u);
  EXPECT_THAT(folder.Trace(),
              ElementsAre("meetlamp attach", "Veilpane attach", "meetlamp Init", "Veilpane Init", "meetlamp Join 0",
                          "meetlamp Release", "meetlamp detach", "Veilpane Join 0", "Veilpane Release",
                          "Veilpane detach"));
  EXPECT_EQ(services.size(), 2u);
  EXPECT_TRUE(log.HasMessage("state change UNKNOWN -> INIT"));
  EXPECT_TRUE(log.HasMessage("state change OUT_OF_SERVICE -> UNKNOWN"));
}

TEST(SupervisorThread, RunningServicesAreHeartbeatCheckedUntilTheStopFlagIsSet) {
  PluginFolder folder;
  folder.Add(PluginVariant::kGood, L"meetlamp.dll");
  RecordingLogger log;
  ServiceList services;
  StopSignal stop;
  DWORD result = 1;
  std::thread supervisor([&] { result = RunSupervisor(folder.directory(), &log, services, stop); });

  const DWORD start = ::GetTickCount();
  while (folder.TraceOf("meetlamp").size() < 5 && ::GetTickCount() - start < 10000) ::Sleep(20);
  stop.Request();
  supervisor.join();
  const DWORD elapsed = ::GetTickCount() - start;
  EXPECT_EQ(result, 0u);
  // attach, Init, Run, then one heartbeat per second.
  const auto trace = folder.TraceOf("meetlamp");
  ASSERT_GE(trace.size(), 5u);
  EXPECT_THAT(std::vector<std::string>(trace.begin(), trace.begin() + 4),
              ElementsAre("attach", "Init", "Run", "Heartbeat"));
  EXPECT_THAT(std::vector<std::string>(trace.end() - 3, trace.end()), ElementsAre("Join 0", "Release", "detach"));
  EXPECT_LT(elapsed, 8000u);
}

// A supervisor whose services are all out of the game rests between its
// passes; a stop request ends that rest at once, not at its end.
TEST(SupervisorThread, AStopEndsTheRestOfASupervisorWithNothingToDo) {
  PluginFolder folder;
  folder.Add(PluginVariant::kGood, L"meetlamp.dll");
  folder.SetBehaviour(L"meetlamp", "stay-unknown");
  RecordingLogger log;
  ServiceList services;
  StopSignal stop;
  win::UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD result = 1;
  std::thread supervisor([&] {
    result = RunSupervisor(folder.directory(), &log, services, stop);
    ::SetEvent(done.get());
  });
  const DWORD start = ::GetTickCount();
  while (folder.TraceOf("meetlamp").size() < 2 && ::GetTickCount() - start < 10000) ::Sleep(20);
  ::Sleep(200);  // into its first rest
  stop.Request();
  const DWORD ended = ::WaitForSingleObject(done.get(), kRestingPassPauseMs / 2);
  supervisor.join();
  EXPECT_EQ(ended, WAIT_OBJECT_0) << "the stop waited for the rest to run out";
  EXPECT_EQ(result, 0u);
  EXPECT_THAT(folder.TraceOf("meetlamp"), ElementsAre("attach", "Init", "Join 0", "Release", "detach"));
}

// The agent's own window procedure and process-wide list: a message that
// comes after the supervisor unloaded the plug-ins (a Ctrl+C before the
// window existed) reaches none of them.
TEST(SupervisorThread, AfterTheTeardownTheWindowProcedureReachesNoUnloadedService) {
  PluginFolder folder;
  folder.Add(PluginVariant::kGood, L"meetlamp.dll");
  folder.Add(PluginVariant::kGood, L"Veilpane.dll");
  RecordingLogger log;
  AgentState& agent = Agent();
  StopSignal stop;
  DWORD result = 1;
  std::thread supervisor([&] { result = RunSupervisor(folder.directory(), &log, agent.services, stop); });

  HWND window = ::CreateWindowExW(0, L"STATIC", L"dispatch test", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  const std::string event = "event " + Hex(HOTKEY_CPU_FAN);
  const DWORD start = ::GetTickCount();
  while (folder.TraceOf("Veilpane").size() < 3 && ::GetTickCount() - start < 10000) ::Sleep(20);
  EXPECT_EQ(ListenerWindowProc(window, WM_HOTKEY, HOTKEY_CPU_FAN, 0), 0);

  stop.Request();
  supervisor.join();
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(ListenerWindowProc(window, WM_HOTKEY, HOTKEY_CPU_FAN, 0), 0);
  EXPECT_EQ(ListenerWindowProc(window, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(::IsWindow(window)) << "WM_CLOSE still leaves the window alone";
  ::DestroyWindow(window);

  for (const char* stem : {"meetlamp", "Veilpane"}) {
    const auto trace = folder.TraceOf(stem);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), event), 1) << stem << ": only the message before the teardown";
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), "detach") << stem;
  }
}

// An event still running inside a plug-in when the stop comes: the library
// stays loaded until its onEvent has returned.
TEST(SupervisorThread, ALibraryIsNotUnloadedWhileItsEventIsInFlight) {
  PluginFolder folder;
  folder.Add(PluginVariant::kGood, L"meetlamp.dll");
  folder.Add(PluginVariant::kGood, L"Veilpane.dll");
  folder.SetBehaviour(L"meetlamp", "hold-event");
  const std::wstring pid = std::to_wstring(::GetCurrentProcessId());
  const win::UniqueHandle held(::CreateEventW(nullptr, TRUE, FALSE, (L"meetlamp-held-" + pid).c_str()));
  const win::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, (L"meetlamp-release-" + pid).c_str()));
  ASSERT_TRUE(held && release);

  RecordingLogger log;
  AgentState& agent = Agent();
  StopSignal stop;
  DWORD result = 1;
  std::thread supervisor([&] { result = RunSupervisor(folder.directory(), &log, agent.services, stop); });
  const DWORD start = ::GetTickCount();
  while (folder.TraceOf("Veilpane").size() < 3 && ::GetTickCount() - start < 10000) ::Sleep(20);

  std::thread windowThread([] {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"dispatch test", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ListenerWindowProc(window, WM_HOTKEY, HOTKEY_CPU_FAN, 0);
    ::DestroyWindow(window);
  });
  EXPECT_EQ(::WaitForSingleObject(held.get(), 10000), WAIT_OBJECT_0);
  stop.Request();
  // Join and Release may run alongside the event; the unload may not.
  const DWORD stopped = ::GetTickCount();
  while (folder.TraceOf("meetlamp").back() != "Release" && ::GetTickCount() - stopped < 10000) ::Sleep(10);
  ::Sleep(300);  // a premature unload would show by now
  const auto during = folder.TraceOf("meetlamp");
  EXPECT_EQ(during.back(), "Release") << "nothing after Release while the event is held";
  ::SetEvent(release.get());
  windowThread.join();
  supervisor.join();

  EXPECT_EQ(result, 0u);
  const std::string event = "event " + Hex(HOTKEY_CPU_FAN);
  EXPECT_THAT(folder.TraceOf("meetlamp"), ::testing::IsSupersetOf(std::vector<std::string>{event, event + " done", "detach"}));
  const auto trace = folder.Trace();
  auto at = [&](const std::string& line) { return std::find(trace.begin(), trace.end(), line) - trace.begin(); };
  EXPECT_LT(at("meetlamp " + event + " done"), at("meetlamp detach"));
  EXPECT_LT(at("Veilpane " + event), at("meetlamp detach")) << "the whole dispatch ends before the first unload";
  EXPECT_EQ(trace.back(), "Veilpane detach");
}

}  // namespace
}  // namespace zu::testing
