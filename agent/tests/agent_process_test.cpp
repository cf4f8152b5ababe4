// The real zueventapp.exe with recording plug-ins beside it: messages
// delivered to its window from outside reach every service in load order,
// and the window procedure's debug line reaches the agent's log file.
#include <windows.h>
#include <shlobj.h>
#include <wtsapi32.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "agent/tests/plugin_folder.h"
#include "base/text.h"
#include "plugins/common/firmware_table.h"
#include "testing/win/file_text.h"
#include "testing/win/registry.h"
#include "tools/simlaptop/agent_run.h"
#include "tools/simlaptop/sim_hotkey.h"

namespace zu::testing {
namespace {

constexpr const wchar_t* kMachineKey = L"SOFTWARE\\Orvale\\TarnService";

// Runs the agent of a plug-in folder until the end of the test.
class AgentRun {
 public:
  explicit AgentRun(const PluginFolder& folder) {
    const std::wstring program = (folder.path() / L"zueventapp.exe").wstring();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    started_ = ::CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                                folder.path().c_str(), &startup, &process_);
  }
  ~AgentRun() {
    if (!started_) return;
    ::TerminateProcess(process_.hProcess, 0);
    ::WaitForSingleObject(process_.hProcess, 10000);  // the plug-in files are free afterwards
    ::CloseHandle(process_.hThread);
    ::CloseHandle(process_.hProcess);
  }
  bool started() const { return started_; }

 private:
  PROCESS_INFORMATION process_ = {};
  bool started_ = false;
};

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  while (!condition()) {
    if (::GetTickCount() - start > timeoutMs) return false;
    ::Sleep(20);
  }
  return true;
}

bool Contains(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

TEST(AgentProcess, EveryMessageReachesEveryServiceInLoadOrderAndIsLoggedAtDebugLevel) {
  DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
  CreateKey(HKEY_LOCAL_MACHINE, kMachineKey);
  SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"debug", 1);
  const std::filesystem::path logFile = zu::simagent::AgentLogFile();
  ASSERT_FALSE(logFile.empty());
  const size_t logStart = ReadFile(logFile).size();

  PluginFolder folder;
  folder.AddAgent();
  folder.Add(PluginVariant::kGood, L"meetlamp.dll");
  folder.Add(PluginVariant::kGood, L"Veilpane.dll");
  {
    AgentRun agent(folder);
    ASSERT_TRUE(agent.started()) << ::GetLastError();
    ASSERT_TRUE(WaitFor([&] { return Contains(folder.TraceOf("Veilpane"), "Run"); }, 15000))
        << "the services never ran";
    ASSERT_NE(simhotkey::FindWindowOfClass(5000), nullptr);

    struct Case {
      UINT message;
      WPARAM wParam;
      const char* code;
    };
    const UINT firmware = simhotkey::FirmwareMessage();
    const Case cases[] = {
        {firmware, 0x62, "62"},
        {firmware, 0x65, "fffff"},
        {firmware, 0x9D, "9d"},
        {WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, "20002"},
        {WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, "fffff"},
        {WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, "20003"},
        {WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, "20004"},
        {WM_DISPLAYCHANGE, 32, "20008"},
        {WM_HOTKEY, 0x10002, "10002"},
        // A stray close request is dispatched like any message but leaves the
        // window in place: the next message still arrives.
        {WM_CLOSE, 0, "fffff"},
        {WM_USER + 7, 0, "fffff"},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
      const simhotkey::Result result = simhotkey::Deliver(c.message, c.wParam, 0, simhotkey::Delivery::kSend);
      ASSERT_TRUE(result.delivered) << std::hex << c.message << " error " << std::dec << result.error;
      for (const char* stem : {"meetlamp", "Veilpane"}) expected.push_back(std::string(stem) + " event " + c.code);
    }

    // Both services got every code, one after the other, in load order.
    std::vector<std::string> events;
    for (const auto& line : folder.Trace())
      if (line.find(" event ") != std::string::npos) events.push_back(line);
    const auto first = std::find(events.begin(), events.end(), "meetlamp event 62");
    ASSERT_NE(first, events.end());
    EXPECT_EQ(std::vector<std::string>(first, events.end()), expected);
    EXPECT_FALSE(Contains(folder.Trace(), "meetlamp Join 0")) << "a running agent keeps its services";

    const std::string logged = ReadFile(logFile).substr(logStart);
    EXPECT_NE(logged.find("[debug] ZuEventApp: WndProc: message = 0x" + Hex(firmware) +
                          " wParam = 0x62 ZuEventType = 0x62\r\n"),
              std::string::npos);
    EXPECT_NE(logged.find("[debug] ZuEventApp: WndProc: message = 0x218 wParam = 0x12 ZuEventType = 0xfffff\r\n"),
              std::string::npos);
    EXPECT_NE(logged.find("[info] core: Start service: meetlamp, Type: 1\r\n"), std::string::npos);
    EXPECT_NE(logged.find("[info] core: Start service: Veilpane, Type: 1\r\n"), std::string::npos);
    // The listed libraries that are not installed, with the module-not-found code.
    EXPECT_NE(logged.find("[error] core: Fanrule.dll: LoadLibrary() failed, GetLastError() = 126\n"),
              std::string::npos);
    EXPECT_NE(logged.find("[error] core: Hushnet.dll: LoadLibrary() failed, GetLastError() = 126\n"),
              std::string::npos);
  }
  DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
}

// The agent's start-up on a simulated machine (registered with with-chassis
// in CMakeLists.txt): the log lines of classification and hot keys, up to the
// point where its message loop answers.
std::string StartUpLog(uint8_t expectedChassis) {
  EXPECT_EQ(ReadSystemChassisType(), expectedChassis) << "this case runs on a simulated machine";
  const std::filesystem::path logFile = zu::simagent::AgentLogFile();
  const size_t logStart = ReadFile(logFile).size();
  PluginFolder folder;
  folder.AddAgent();
  AgentRun agent(folder);
  EXPECT_TRUE(agent.started());
  // The window procedure answers only once the listener's set-up is done.
  EXPECT_TRUE(simhotkey::PressFirmwareKey(0x61, simhotkey::Delivery::kSend, 10000).delivered);
  return ReadFile(logFile).substr(logStart);
}

class AgentMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
    CreateKey(HKEY_LOCAL_MACHINE, kMachineKey);
    SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyCpuFan", 0x41);
    SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyHushnetSpeaker", 0x43);
  }
  void TearDown() override { DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale"); }
};

TEST_F(AgentMachine, ADesktopRegistersTheConfiguredHotKeys) {
  const std::string log = StartUpLog(3);
  EXPECT_NE(log.find("[error] ZuEventListener: ProductLine: 2\r\n"), std::string::npos) << log;
  const size_t fan = log.find("[info] ZuEventListener: Register HotKey successfully!, event = 0x10001, hotkey = 0x41\r\n");
  const size_t mic = log.find(
      "[error] ZuEventListener: Get HotKey from registry failed!!, GetLastError = 2, event = 0x10002, hotkey = 0x0\r\n");
  const size_t speaker =
      log.find("[info] ZuEventListener: Register HotKey successfully!, event = 0x10003, hotkey = 0x43\r\n");
  EXPECT_NE(fan, std::string::npos) << log;
  EXPECT_NE(mic, std::string::npos) << log;
  EXPECT_NE(speaker, std::string::npos) << log;
  EXPECT_TRUE(fan < mic && mic < speaker) << "in table order";
}

TEST_F(AgentMachine, ANotebookRegistersNoHotKey) {
  const std::string log = StartUpLog(10);
  EXPECT_NE(log.find("[error] ZuEventListener: ProductLine: 1\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("HotKey"), std::string::npos) << log;
}

}  // namespace
}  // namespace zu::testing
