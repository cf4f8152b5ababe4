// The live agent under a storm: 10,000 random firmware codes and window
// messages sent from outside to the real agent with Veilpane.dll on a
// notebook. The agent must stay up and, with the machine setting "debug" = 1,
// log one window-procedure line for every message, in the order sent.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "testing/win/registry.h"
#include "tools/simlaptop/agent_run.h"
#include "tools/simlaptop/sim_acpi.h"
#include "tools/simlaptop/sim_hotkey.h"

namespace zu::testing {
namespace {

using simhotkey::Delivery;

constexpr const wchar_t* kMachineKey = L"SOFTWARE\\Orvale\\TarnService";
constexpr const wchar_t* kUserKey = L"SOFTWARE\\Orvale\\TarnService\\Veilpane";

struct Sent {
  UINT message;
  WPARAM wParam;
};

std::string Expected(const Sent& s) {
  char text[96];
  std::snprintf(text, sizeof text, "WndProc: message = 0x%x wParam = 0x%llx ", s.message,
                static_cast<unsigned long long>(s.wParam));
  return text;
}

// Messages a hot-key driver, the system or a stray program may send to the
// window with values that carry no pointer: the firmware message with any
// code (the panel's FN_2 among them), power, session, display and hot-key
// messages with any argument, and private and registered message numbers.
Sent RandomMessage(std::mt19937& random) {
  std::uniform_int_distribution<uint32_t> any;
  const uint32_t kind = random() % 8;
  switch (kind) {
    case 0: case 1: return {simhotkey::FirmwareMessage(), any(random) % 4 == 0 ? 0x62u : any(random) & 0xFFFF};
    case 2: return {WM_POWERBROADCAST, any(random) % 0x20};
    case 3: return {WM_WTSSESSION_CHANGE, any(random) % 0x10};
    case 4: return {WM_DISPLAYCHANGE, any(random) % 64};
    case 5: return {WM_HOTKEY, 0x10000u + any(random) % 8};
    case 6: return {WM_USER + any(random) % (0x8000 - WM_USER), any(random)};
    default: return {0xC000u + any(random) % 0x3FFF, any(random)};
  }
}

TEST(AgentStorm, TenThousandRandomMessagesNeitherCrashNorLoseALogLine) {
  simacpi::Scope device;
  ASSERT_TRUE(device.ready());
  ASSERT_TRUE(simacpi::SetStatus(0x0005001B, 0x10000));
  DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
  CreateKey(HKEY_LOCAL_MACHINE, kMachineKey);
  SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"debug", 1);

  simagent::AgentRun agent({L"Veilpane.dll"});
  ASSERT_TRUE(agent.Start()) << agent.error();
  ASSERT_TRUE(agent.WaitForLog("Veilpane: state change INIT -> IN_SERVICE"));

  std::mt19937 random(20261209);
  std::vector<Sent> sent;
  for (int i = 0; i < 10000; ++i) {
    const Sent s = RandomMessage(random);
    const auto result = simhotkey::Deliver(s.message, s.wParam, static_cast<LPARAM>(random()), Delivery::kSend);
    ASSERT_TRUE(result.delivered) << "message " << i << " (0x" << std::hex << s.message << ") error "
                                  << std::dec << result.error;
    sent.push_back(s);
  }
  ASSERT_TRUE(agent.running());

  // Every message's line, in order; the system's own messages may come between.
  const auto texts = agent.LogTexts("debug");
  size_t next = 0;
  for (const auto& text : texts) {
    if (next < sent.size() && text.find(Expected(sent[next])) != std::string::npos) ++next;
  }
  EXPECT_EQ(next, sent.size()) << "first missing: " << (next < sent.size() ? Expected(sent[next]) : "");
  EXPECT_EQ(agent.Stop(), 0u);

  DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
  DeleteTree(HKEY_CURRENT_USER, kUserKey);
}

}  // namespace
}  // namespace zu::testing
