// Calls made by other processes, through the real agent and the signed
// meetlamp.dll, on the Core Audio stand-in (tools/simlaptop/sim_audio.h):
// its notifications come on its own threads, and an unregistration waits
// for a callback in flight, as Windows' do. The main job shows a call, a
// lock during it and a headset plugged in; these are the cases it does not:
// a call program that dies mid-call, and a storm of sessions from several
// processes while hot keys and lock changes arrive.
#include <windows.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "plugins/meetlamp/tests/meetlamp_test_support.h"
#include "testing/win/registry.h"
#include "tools/simlaptop/agent_run.h"
#include "tools/simlaptop/sim_acpi.h"
#include "tools/simlaptop/sim_audio.h"
#include "tools/simlaptop/sim_hotkey.h"
#include "tools/simlaptop/simaudio/sim_audio_table.h"

namespace meetlamp::testing {
namespace {

using zu::simagent::AgentRun;
using zu::simaudio::Simcall;
using zu::simaudio::ToolRun;
using zu::simhotkey::Delivery;
namespace simacpi = zu::simacpi;

constexpr const char* kInitialised = "MeetLampService: state change UNKNOWN -> INIT";

// The last value the LED was set to, once it is `value` (bounded wait).
bool LedEndsAt(uint32_t value) {
  for (int i = 0; i < 200; ++i) {
    const std::vector<uint32_t> values = LedValues();
    if (!values.empty() && values.back() == value) return true;
    ::Sleep(50);
  }
  return false;
}

std::string ProcessOf(const ToolRun& start) {
  std::smatch pid;
  return std::regex_search(start.output, pid, std::regex("process ([0-9]+)")) ? pid[1].str() : "";
}

class MeetLampCallAgent : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device_.ready());
    ASSERT_TRUE(audio_.ready()) << audio_.error();
    std::string error;
    table_ = zu::simaudio::Table::Open(&error);
    ASSERT_TRUE(table_) << error;
    violations_ = table_->ViolationCount();
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kLedKey);
    ASSERT_TRUE(simacpi::SetStatus(kLed, kLedPresent));
    ASSERT_TRUE(agent_.Start()) << agent_.error();
    ASSERT_TRUE(agent_.WaitForLog(kInitialised)) << agent_.Output();
    ASSERT_TRUE(agent_.WaitForLog("AudioSessionMonitor: Numbers of capture endpoints: 1")) << agent_.Output();
    ASSERT_TRUE(agent_.WaitForLog("MeetLampService: state change INIT -> IN_SERVICE"));
  }
  void TearDown() override {
    // No deadlock: the agent leaves its loop and meetlamp lets go of Core
    // Audio in time; no client error the stand-in caught.
    EXPECT_EQ(agent_.Stop(), 0u);
    EXPECT_EQ(table_->ViolationCount(), violations_) << Simcall(L"check").output;
    for (const std::string& warning : agent_.LogTexts("warning")) ADD_FAILURE() << warning;
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kLedKey);
  }

  simacpi::Scope device_;
  zu::simaudio::StandinScope audio_;
  std::unique_ptr<zu::simaudio::Table> table_;
  uint32_t violations_ = 0;
  AgentRun agent_{{L"meetlamp.dll"}};
};

TEST_F(MeetLampCallAgent, ACallWhoseProcessDiesEndsForTheLed) {
  const ToolRun start = Simcall(L"start call");
  ASSERT_EQ(start.exitCode, 0u) << start.output;
  EXPECT_TRUE(LedEndsAt(1)) << agent_.Output();
  const ToolRun kill = Simcall(L"kill call");
  ASSERT_EQ(kill.exitCode, 0u) << kill.output;
  EXPECT_NE(kill.output.find("its session expired"), std::string::npos) << kill.output;
  EXPECT_TRUE(LedEndsAt(0));
  EXPECT_EQ(LedValues(), (std::vector<uint32_t>{0, 1, 0}));

  const std::string pid = ProcessOf(start);
  std::vector<std::string> reports;
  for (const std::string& text : agent_.LogTexts("info"))
    if (text.find("audio state changed") != std::string::npos || text.find("App state") != std::string::npos)
      reports.push_back(text);
  const std::string changed = "AudioSessionMonitor: audio state changed: PID(" + pid + "), new state = ";
  EXPECT_EQ(reports, (std::vector<std::string>{"AudioSessionMonitor: App state: 0, presence state: 0 -> 0",
                                               changed + "active",
                                               "AudioSessionMonitor: App state: 0, presence state: 0 -> 1",
                                               changed + "inactive",
                                               "AudioSessionMonitor: App state: 0, presence state: 1 -> 0",
                                               changed + "expired"}));
}

TEST_F(MeetLampCallAgent, ManySessionsOfSeveralProcessesWhileHotKeysAndLocksArrive) {
  // Three processes open, switch and expire sessions for a while; one of
  // them dies with its sessions open. A headset comes and goes meanwhile.
  std::vector<std::thread> churners;
  std::vector<ToolRun> runs(3);
  for (int i = 0; i < 3; ++i) {
    churners.emplace_back([i, &runs] {
      const std::wstring args = L"--wait 15000 churn --seconds 12 --sessions 8 --seed " + std::to_wstring(11 + i) +
                                (i == 2 ? L" --die" : L"");
      runs[i] = Simcall(args, 60000);
    });
  }
  std::atomic<bool> churning{true};
  std::thread headset([&] {
    for (bool plugged = false; churning; plugged = !plugged) {
      Simcall(plugged ? L"remove-headset" : L"add-headset");
      ::Sleep(1500);
    }
    Simcall(L"remove-headset");
  });

  std::mt19937 random(5);
  size_t keys = 0, locks = 0;
  const ULONGLONG deadline = ::GetTickCount64() + 12000;
  while (::GetTickCount64() < deadline) {
    const unsigned roll = random() % 3;
    if (roll == 0) {
      ASSERT_TRUE(zu::simhotkey::PressFirmwareKey(kFn1, Delivery::kSend).delivered);
      ++keys;
    } else {
      ASSERT_TRUE(zu::simhotkey::Deliver(WM_WTSSESSION_CHANGE, roll == 1 ? WTS_SESSION_LOCK : WTS_SESSION_UNLOCK, 1,
                                         Delivery::kSend)
                      .delivered);
      ++locks;
    }
    ::Sleep(random() % 40);
  }
  for (auto& t : churners) t.join();
  churning = false;
  headset.join();
  std::vector<DWORD> results;
  for (const ToolRun& run : runs) {
    results.push_back(run.exitCode);
    std::printf("%s", run.output.c_str());
  }
  EXPECT_EQ(results, (std::vector<DWORD>{0, 0, 9}));
  EXPECT_GT(keys, 20u);
  EXPECT_GT(locks, 40u);

  // Every session is gone (the dead process's ended by the stand-in), the
  // agent has handled it all, and the LED follows the mode and no call.
  for (int i = 0; i < 100 && !table_->AllSessions().empty(); ++i) ::Sleep(100);
  EXPECT_TRUE(table_->AllSessions().empty());
  ASSERT_EQ(Simcall(L"sync").exitCode, 0u);
  for (int i = 0; i < 3 && StoredMode() != DWORD{0}; ++i)
    ASSERT_TRUE(zu::simhotkey::PressFirmwareKey(kFn1, Delivery::kSend).delivered);
  ASSERT_EQ(StoredMode(), DWORD{0});
  ASSERT_TRUE(zu::simhotkey::Deliver(WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 1, Delivery::kSend).delivered);
  EXPECT_TRUE(LedEndsAt(0));

  // And it still follows a call.
  ASSERT_EQ(Simcall(L"start call").exitCode, 0u);
  EXPECT_TRUE(LedEndsAt(1));
  ASSERT_EQ(Simcall(L"end call").exitCode, 0u);
  EXPECT_TRUE(LedEndsAt(0));
  EXPECT_TRUE(agent_.running());
  size_t reported = 0, added = 0;
  for (const std::string& text : agent_.LogTexts()) {
    reported += text.find("audio state changed") != std::string::npos;
    added += text.rfind("AudioSessionMonitor: OnDeviceAddedBottom", 0) == 0;
  }
  std::printf("%zu hot keys, %zu lock changes; the agent logged %zu session state changes and %zu endpoint additions\n",
              keys, locks, reported, added);
}

}  // namespace
}  // namespace meetlamp::testing

int main(int argc, char** argv) { return meetlamp::testing::RunTests(argc, argv); }
