// The listener's machine classification and hot-key registration against
// the real registry, firmware table and user32.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "agent/event_listener.h"
#include "testing/recording_logger.h"
#include "testing/win/registry.h"

namespace zu::testing {
namespace {

using ::testing::ElementsAre;

constexpr const wchar_t* kMachineKey = L"SOFTWARE\\Orvale\\TarnService";

class HotKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
    CreateKey(HKEY_LOCAL_MACHINE, kMachineKey);
    window_ = ::CreateWindowExW(0, L"STATIC", L"hot-key test", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    for (int id : {0x10001, 0x10002, 0x10003}) ::UnregisterHotKey(window_, id);
    ::DestroyWindow(window_);
    DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const auto& c : log_.calls()) {
      EXPECT_EQ(c.op, LogCall::Op::kLog) << "hot-key lines are not reported";
      EXPECT_EQ(c.component, "ZuEventListener");
      out.push_back(std::to_string(c.level) + " " + c.message);
    }
    return out;
  }

  HWND window_ = nullptr;
  RecordingLogger log_;
};

TEST_F(HotKeyTest, ThreeConfiguredKeysGiveThreeRegistrationLines) {
  SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyCpuFan", 0x41);
  // The type is not checked: four bytes of REG_BINARY are a key code too.
  const BYTE micKey[4] = {0x4D, 0, 0, 0};
  SetValue(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyHushnetMic", REG_BINARY, micKey, sizeof micKey);
  SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyHushnetSpeaker", VK_F9);

  RegisterConfiguredHotKeys(window_, log_);
  EXPECT_THAT(Lines(), ElementsAre("0 Register HotKey successfully!, event = 0x10001, hotkey = 0x41",
                                   "0 Register HotKey successfully!, event = 0x10002, hotkey = 0x4d",
                                   "0 Register HotKey successfully!, event = 0x10003, hotkey = 0x78"));
}

TEST_F(HotKeyTest, AMissingValueLogsCodeZeroAndTheRestAreStillRegistered) {
  SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyHushnetMic", 0x42);
  SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyHushnetSpeaker", 0x43);
  RegisterConfiguredHotKeys(window_, log_);
  EXPECT_THAT(Lines(),
              ElementsAre("2 Get HotKey from registry failed!!, GetLastError = 2, event = 0x10001, hotkey = 0x0",
                          "0 Register HotKey successfully!, event = 0x10002, hotkey = 0x42",
                          "0 Register HotKey successfully!, event = 0x10003, hotkey = 0x43"));
}

TEST_F(HotKeyTest, AKeyTakenByAnotherWindowFailsWithTheSystemsError) {
  HWND other = ::CreateWindowExW(0, L"STATIC", L"other", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(::RegisterHotKey(other, 7, kHotKeyModifiers, 0x41));
  SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyCpuFan", 0x41);
  SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyHushnetMic", 0x42);
  RegisterConfiguredHotKeys(window_, log_);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "2 Register HotKey failed!!, GetLastError = 1409, event = 0x10001, hotkey = 0x41");
  EXPECT_EQ(lines[1], "0 Register HotKey successfully!, event = 0x10002, hotkey = 0x42");
  ::UnregisterHotKey(other, 7);
  ::DestroyWindow(other);
}

TEST_F(HotKeyTest, WithoutTheMachineKeyNoHotKeyIsRegistered) {
  DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
  RegisterConfiguredHotKeys(window_, log_);
  EXPECT_THAT(Lines(), ElementsAre("2 Get HotKey from registry failed!!, OpenKey error, event = 0x10001, hotkey = 0x0"));
}

TEST(Classification, TheProductLineIsLoggedAndReportedAtErrorLevel) {
  RecordingLogger log;
  const ProductLine line = ClassifyMachine(log);
  const auto calls = log.calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const auto& c : calls) {
    EXPECT_EQ(c.level, 2);
    EXPECT_EQ(c.component, "ZuEventListener");
    EXPECT_EQ(c.message, "ProductLine: " + std::to_string(static_cast<int>(line)));
  }
  EXPECT_EQ(calls[0].op, LogCall::Op::kLog);
  EXPECT_EQ(calls[1].op, LogCall::Op::kReport);
}

}  // namespace
}  // namespace zu::testing
