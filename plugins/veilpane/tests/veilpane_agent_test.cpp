// Veilpane.dll end to end: the real signed library loaded by the real agent
// on the simulated laptop, the hot key sent through the hot-key stand-in,
// and what the firmware device, the user's registry and the pop-up library
// (the recording stand-in) were given.
//
// --panel-status=N: the status the device answers for the panel (default
// 0x10000, feature present); the runs on other machines pass their own.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "libs/glimmer/osd_api.h"
#include "testing/win/registry.h"
#include "tools/simlaptop/agent_run.h"
#include "tools/simlaptop/sim_acpi.h"
#include "tools/simlaptop/sim_hotkey.h"

namespace veilpane {
namespace {

using zu::simagent::AgentRun;
using zu::simhotkey::Delivery;
namespace simacpi = zu::simacpi;
namespace simosd = zu::simosd;

constexpr uint32_t kPanel = 0x0005001B;
constexpr uint32_t kFn1 = 0x61;
constexpr uint32_t kFn2 = 0x62;
constexpr const wchar_t* kUserKey = L"SOFTWARE\\Orvale\\TarnService\\Veilpane";
constexpr const char* kInitialised = "Veilpane: state change UNKNOWN -> INIT";
constexpr const char* kNoService = "Veilpane.dll: SvrGetter() is null";

uint32_t g_panelStatus = 0x10000;

using Devs = std::vector<std::pair<uint32_t, uint32_t>>;
using Shown = std::vector<std::pair<int32_t, int32_t>>;

std::optional<DWORD> StoredMode() {
  DWORD mode = 0;
  if (!zu::testing::GetDword(HKEY_CURRENT_USER, kUserKey, L"mode", &mode)) return std::nullopt;
  return mode;
}

void Press(uint32_t code) {
  // Sent, not posted: the services have handled it when this returns.
  ASSERT_TRUE(zu::simhotkey::PressFirmwareKey(code, Delivery::kSend).delivered) << "code " << code;
}

// A fresh user key and device for every test, and both left clean.
class VeilpaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device_.ready());
    zu::testing::DeleteTree(HKEY_CURRENT_USER, kUserKey);
    ASSERT_TRUE(simacpi::SetStatus(kPanel, g_panelStatus));
  }
  void TearDown() override { zu::testing::DeleteTree(HKEY_CURRENT_USER, kUserKey); }

  // Starts the agent with Veilpane.dll and waits until the service is
  // initialised (hot keys before that are ignored).
  void StartInitialised(AgentRun& agent) {
    ASSERT_TRUE(agent.Start()) << agent.error();
    ASSERT_TRUE(agent.WaitForLog(kInitialised)) << agent.Output();
    ASSERT_TRUE(agent.WaitForPopupStarts(1));
  }

  simacpi::Scope device_;
};

using VeilpaneOnLaptop = VeilpaneTest;

TEST_F(VeilpaneOnLaptop, StartsSwitchedOffAndEachPressTogglesStoresSetsAndShows) {
  AgentRun agent({L"Veilpane.dll"});
  StartInitialised(agent);
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kPanel, 0}}));
  // The start-up switch is silent; the pop-up's thread runs.
  EXPECT_EQ(agent.OsdRecord(), (std::vector<simosd::Entry>{{"start", "modal"}}));

  Press(kFn2);
  EXPECT_EQ(StoredMode(), 0u);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kPanel, 0}, {kPanel, 1}}));
  EXPECT_EQ(simosd::ShownRequests(agent.OsdRecord()), (Shown{{4, 0}}));

  Press(kFn2);
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kPanel, 0}, {kPanel, 1}, {kPanel, 0}}));
  EXPECT_EQ(simosd::ShownRequests(agent.OsdRecord()), (Shown{{4, 0}, {4, 1}}));

  // Leaving the message loop ends the process with the pop-up thread still
  // running: the library detaches without Release and must not hang.
  EXPECT_EQ(agent.Stop(), 0u);
  const auto texts = agent.LogTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "core: Start service: Veilpane, Type: 1"), texts.end());
  EXPECT_TRUE(agent.LogTexts("warning").empty());
  EXPECT_NE(agent.Output().find(" StartOSD."), std::string::npos);
}

TEST_F(VeilpaneOnLaptop, ModeZeroFromAPreviousRunStillStartsSwitchedOffWithoutPopup) {
  ASSERT_EQ(zu::testing::SetDword(HKEY_CURRENT_USER, kUserKey, L"mode", 0), ERROR_SUCCESS);
  AgentRun agent({L"Veilpane.dll"});
  StartInitialised(agent);
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kPanel, 0}}));
  EXPECT_EQ(simosd::CountOf(agent.OsdRecord(), "display"), 0u);
  EXPECT_EQ(agent.Stop(), 0u);
}

TEST_F(VeilpaneOnLaptop, RefusedSwitchLogsOneWarningAndStillStoresAndShows) {
  AgentRun agent({L"Veilpane.dll"});
  StartInitialised(agent);
  ASSERT_TRUE(simacpi::SetRefuse(true));
  Press(kFn2);
  EXPECT_EQ(agent.Stop(), 0u);

  EXPECT_EQ(agent.LogTexts("warning"),
            (std::vector<std::string>{"Veilpane: Failed to set device status via ACPI method call: ret=ffffffff, "
                                      "value = 0, OVACPI_VEIL_PANE: ret=ffffffff, value = 0"}));
  EXPECT_EQ(StoredMode(), 0u);
  EXPECT_EQ(simosd::ShownRequests(agent.OsdRecord()), (Shown{{4, 0}}));
  // Only the silent start-up switch went through; no retry of the refused
  // one, whose failure line carries the panel's status read.
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kPanel, 0}}));
  const auto history = simacpi::History();
  ASSERT_GE(history.size(), 2u);
  const auto& set = history[history.size() - 2];
  const auto& status = history.back();
  EXPECT_EQ(std::make_pair(simacpi::TagText(set.tag), set.arg0), std::make_pair(std::string("DEVS"), kPanel));
  EXPECT_EQ(std::make_pair(simacpi::TagText(status.tag), status.arg0),
            std::make_pair(std::string("DSTS"), 0x00110019u));
}

TEST_F(VeilpaneOnLaptop, OtherCodesChangeNothingAndADisplayChangeRestartsThePopup) {
  AgentRun agent({L"Veilpane.dll"});
  StartInitialised(agent);
  Press(kFn1);  // 97
  ASSERT_TRUE(zu::simhotkey::Deliver(WM_APP + 7, 0, 0, Delivery::kSend).delivered);  // 0xFFFFF
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(simacpi::DevsCount(kPanel), 1u);
  EXPECT_EQ(simosd::CountOf(agent.OsdRecord(), "display"), 0u);

  ASSERT_TRUE(zu::simhotkey::Deliver(WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768), Delivery::kSend).delivered);
  ASSERT_TRUE(agent.WaitForPopupStarts(2));
  Press(kFn2);
  EXPECT_EQ(agent.Stop(), 0u);
  const std::vector<simosd::Entry> expected = {
      {"start", "modal"}, {"end"}, {"start", "modal"}, {"display", "", 4, 0, OSD_SUCCESS}};
  EXPECT_EQ(agent.OsdRecord(), expected);
}

// The deliverables together: the real pop-up library runs its dialog on the
// plug-in's thread through a press, a display change and the agent's exit.
TEST_F(VeilpaneOnLaptop, WithTheRealPopupLibrary) {
  AgentRun agent({L"Veilpane.dll"}, zu::simagent::PopupLibrary::kReal);
  ASSERT_TRUE(agent.Start()) << agent.error();
  ASSERT_TRUE(agent.WaitForLog(kInitialised)) << agent.Output();
  Press(kFn2);
  ASSERT_TRUE(zu::simhotkey::Deliver(WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768), Delivery::kSend).delivered);
  Press(kFn2);
  EXPECT_EQ(agent.Stop(), 0u);
  EXPECT_EQ(StoredMode(), 1u);
  EXPECT_EQ(simacpi::DevsHistory(), (Devs{{kPanel, 0}, {kPanel, 1}, {kPanel, 0}}));
  const std::string output = agent.Output();
  const size_t ended = output.find(" EndOSD.");
  EXPECT_LT(output.find(" StartOSD."), ended) << output;
  EXPECT_NE(output.find(" StartOSD.", ended), std::string::npos) << output;
  EXPECT_TRUE(agent.LogTexts("warning").empty());
  for (const auto& text : agent.LogTexts("error")) EXPECT_NE(text.rfind("Veilpane", 0), 0u) << text;
}

// A desktop chassis, or a laptop whose firmware lacks the panel: the library
// offers no service and the agent unloads it.
TEST_F(VeilpaneTest, NoServiceWithoutThePanel) {
  AgentRun agent({L"Veilpane.dll"});
  ASSERT_TRUE(agent.Start()) << agent.error();
  ASSERT_TRUE(agent.WaitForLog(kNoService));
  Press(kFn2);
  EXPECT_EQ(agent.Stop(), 0u);
  EXPECT_EQ(simacpi::DevsCount(kPanel), 0u);
  EXPECT_EQ(StoredMode(), std::nullopt);
  EXPECT_TRUE(agent.OsdRecord().empty());
}

}  // namespace
}  // namespace veilpane

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--panel-status=", 0) == 0) veilpane::g_panelStatus = std::stoul(arg.substr(15), nullptr, 0);
  }
  return RUN_ALL_TESTS();
}
