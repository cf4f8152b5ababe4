// meetlamp.dll end to end: the real signed library loaded by the real agent
// on the simulated laptop, with Wine's own Core Audio, the hot key and the
// session messages sent through the hot-key stand-in, and what the firmware
// device, the user's registry and the pop-up library (the recording
// stand-in) were given.
//
// --led-status=N: the status the device answers for the LED (default
// 0x10000, LED present); the runs on other machines pass their own.
#include <windows.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "libs/glimmer/osd_api.h"
#include "plugins/meetlamp/tests/meetlamp_test_support.h"
#include "testing/win/registry.h"
#include "tools/simlaptop/agent_run.h"
#include "tools/simlaptop/sim_acpi.h"
#include "tools/simlaptop/sim_hotkey.h"

namespace meetlamp::testing {
namespace {

using zu::simagent::AgentRun;
using zu::simhotkey::Delivery;
namespace simacpi = zu::simacpi;
namespace simosd = zu::simosd;
using Values = std::vector<uint32_t>;

constexpr uint32_t kPanel = 0x0005001B;
constexpr const wchar_t* kPanelKey = L"SOFTWARE\\Orvale\\TarnService\\Veilpane";
constexpr const char* kInitialised = "MeetLampService: state change UNKNOWN -> INIT";
constexpr const char* kPanelInitialised = "Veilpane: state change UNKNOWN -> INIT";
constexpr const char* kNoService = "meetlamp.dll: SvrGetter() is null";

void Press(uint32_t code) {
  // Sent, not posted: the services have handled it when this returns.
  ASSERT_TRUE(zu::simhotkey::PressFirmwareKey(code, Delivery::kSend).delivered) << "code " << code;
}

void SessionChange(WPARAM change) {
  ASSERT_TRUE(zu::simhotkey::Deliver(WM_WTSSESSION_CHANGE, change, 1, Delivery::kSend).delivered) << change;
}

std::vector<uint32_t> PanelValues() {
  std::vector<uint32_t> values;
  for (const auto& [device, value] : simacpi::DevsHistory())
    if (device == kPanel) values.push_back(value);
  return values;
}

std::vector<std::string> WithPrefix(const std::vector<std::string>& texts, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& text : texts)
    if (text.rfind(prefix, 0) == 0) out.push_back(text);
  return out;
}

// A fresh user key and device for every test, and both left clean.
class MeetLampTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device_.ready());
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kLedKey);
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kPanelKey);
    ASSERT_TRUE(simacpi::SetStatus(kLed, g_ledStatus));
  }
  void TearDown() override {
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kLedKey);
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kPanelKey);
  }

  // Starts the agent and waits until the LED service is initialised (hot
  // keys before that are ignored) and its pop-up thread runs.
  void StartInitialised(AgentRun& agent, size_t popupStarts = 1) {
    ASSERT_TRUE(agent.Start()) << agent.error();
    ASSERT_TRUE(agent.WaitForLog(kInitialised)) << agent.Output();
    ASSERT_TRUE(agent.WaitForPopupStarts(popupStarts));
  }

  simacpi::Scope device_;
};

using MeetLampOnLaptop = MeetLampTest;

TEST_F(MeetLampOnLaptop, StartsInAutoWithTheLedOffAndEachPressCyclesStoresSetsAndShows) {
  AgentRun agent({L"meetlamp.dll"});
  StartInitialised(agent);
  EXPECT_EQ(StoredMode(), 0u);
  EXPECT_EQ(LedValues(), Values{0});
  EXPECT_EQ(agent.OsdRecord(), (std::vector<simosd::Entry>{{"start", "modal"}}));
  {
    // Wine's Core Audio, whatever endpoints this machine shows it: the
    // count is logged, and nobody records, so the presence is 0.
    const auto texts = agent.LogTexts("info");
    const auto counts = WithPrefix(texts, "AudioSessionMonitor: Numbers of capture endpoints: ");
    ASSERT_EQ(counts.size(), 1u) << agent.Output();
    EXPECT_TRUE(std::regex_match(counts[0], std::regex(".*: [0-9]+"))) << counts[0];
    EXPECT_EQ(WithPrefix(texts, "AudioSessionMonitor: App state: "),
              std::vector<std::string>{"AudioSessionMonitor: App state: 0, presence state: 0 -> 0"});
    EXPECT_NE(std::find(texts.begin(), texts.end(), "core: Start service: MeetLampService, Type: 1"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), kInitialised), texts.end());
  }

  Press(kFn1);
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(LedValues(), (Values{0, 1}));
  EXPECT_EQ(simosd::ShownRequests(agent.OsdRecord()), (Shown{{kStatusLightKind, 1}}));
  Press(kFn1);
  EXPECT_EQ(StoredMode(), 2u);
  EXPECT_EQ(LedValues(), (Values{0, 1, 0}));
  Press(kFn1);
  EXPECT_EQ(StoredMode(), 0u);
  EXPECT_EQ(LedValues(), (Values{0, 1, 0, 0}));
  EXPECT_EQ(simosd::ShownRequests(agent.OsdRecord()),
            (Shown{{kStatusLightKind, 1}, {kStatusLightKind, 2}, {kStatusLightKind, 0}}));

  // Leaving the message loop ends the process with the pop-up thread and
  // Core Audio still running: the library detaches without Release and
  // must not hang.
  EXPECT_EQ(agent.Stop(), 0u);
  EXPECT_TRUE(agent.LogTexts("warning").empty());
  // The agent logs errors of its own (the machine's product line); none is
  // the plug-in's.
  for (const auto& text : agent.LogTexts("error")) {
    EXPECT_NE(text.rfind("MeetLampService", 0), 0u) << text;
    EXPECT_NE(text.rfind("AudioSessionMonitor", 0), 0u) << text;
  }
  EXPECT_NE(agent.Output().find(" StartOSD."), std::string::npos);
}

TEST_F(MeetLampOnLaptop, LockTurnsTheLedOffAndUnlockRestoresIt) {
  ASSERT_EQ(zu::testing::SetDword(HKEY_CURRENT_USER, kLedKey, L"mode", 1), ERROR_SUCCESS);
  AgentRun agent({L"meetlamp.dll"});
  StartInitialised(agent);
  EXPECT_EQ(LedValues(), Values{1});

  SessionChange(WTS_SESSION_LOCK);
  EXPECT_EQ(LedValues(), (Values{1, 0}));
  ASSERT_EQ(zu::testing::DeleteValue(HKEY_CURRENT_USER, kLedKey, L"mode"), ERROR_SUCCESS);
  SessionChange(WTS_SESSION_UNLOCK);
  EXPECT_EQ(LedValues(), (Values{1, 0, 1}));
  EXPECT_EQ(StoredMode(), 1u);  // written again at unlock

  // Log-on and log-off messages are not the LED's business.
  SessionChange(WTS_SESSION_LOGON);
  SessionChange(WTS_SESSION_LOGOFF);
  EXPECT_EQ(LedValues(), (Values{1, 0, 1}));
  EXPECT_EQ(simosd::CountOf(agent.OsdRecord(), "display"), 0u);
  EXPECT_EQ(agent.Stop(), 0u);
}

TEST_F(MeetLampOnLaptop, WithThePanelPluginEachHotKeyReachesOnlyItsOwnDevice) {
  ASSERT_TRUE(simacpi::SetStatus(kPanel, 0x10000));
  AgentRun agent({L"meetlamp.dll", L"Veilpane.dll"});
  ASSERT_TRUE(agent.Start()) << agent.error();
  ASSERT_TRUE(agent.WaitForLog(kInitialised)) << agent.Output();
  ASSERT_TRUE(agent.WaitForLog(kPanelInitialised)) << agent.Output();
  // Two pop-up hosts; the later start takes the process's one pop-up over.
  ASSERT_TRUE(agent.WaitForPopupStarts(2));
  EXPECT_EQ(LedValues(), Values{0});
  EXPECT_EQ(PanelValues(), Values{0});

  Press(kFn1);
  EXPECT_EQ(LedValues(), (Values{0, 1}));
  EXPECT_EQ(PanelValues(), Values{0});
  Press(kFn2);
  EXPECT_EQ(LedValues(), (Values{0, 1}));
  EXPECT_EQ(PanelValues(), (Values{0, 1}));
  EXPECT_EQ(StoredMode(), 1u);
  DWORD panelMode = 0xFFFFFFFF;
  EXPECT_TRUE(zu::testing::GetDword(HKEY_CURRENT_USER, kPanelKey, L"mode", &panelMode));
  EXPECT_EQ(panelMode, 0u);
  EXPECT_EQ(simosd::ShownRequests(agent.OsdRecord()),
            (Shown{{kStatusLightKind, 1}, {OSD_KIND_PRIVACY_VIEW, 0}}));
  EXPECT_EQ(agent.Stop(), 0u);
  EXPECT_TRUE(agent.LogTexts("warning").empty());
}

TEST_F(MeetLampOnLaptop, ARefusedSwitchLogsOneWarning) {
  AgentRun agent({L"meetlamp.dll"});
  StartInitialised(agent);
  ASSERT_TRUE(simacpi::SetRefuse(true));
  Press(kFn1);
  ASSERT_TRUE(simacpi::SetRefuse(false));
  EXPECT_EQ(agent.Stop(), 0u);
  EXPECT_EQ(agent.LogTexts("warning"),
            (std::vector<std::string>{"AudioSessionMonitor: Failed to set device status via ACPI method call: "
                                      "ret=ffffffff, value = 0, GetLed: ret=ffffffff, value = 0"}));
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(LedValues(), Values{0});
}

// A desktop chassis, or a laptop whose firmware lacks the LED: the library
// offers no service and the agent unloads it.
TEST_F(MeetLampTest, NoServiceWithoutTheLed) {
  AgentRun agent({L"meetlamp.dll"});
  ASSERT_TRUE(agent.Start()) << agent.error();
  ASSERT_TRUE(agent.WaitForLog(kNoService)) << agent.Output();
  Press(kFn1);
  EXPECT_EQ(agent.Stop(), 0u);
  EXPECT_EQ(simacpi::DevsCount(kLed), 0u);
  EXPECT_EQ(StoredMode(), std::nullopt);
  EXPECT_TRUE(agent.OsdRecord().empty());
}

}  // namespace
}  // namespace meetlamp::testing

int main(int argc, char** argv) { return meetlamp::testing::RunTests(argc, argv); }
