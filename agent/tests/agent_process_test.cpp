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
#include "testing/win/file_text.h"
#include "testing/win/registry.h"
#include "tools/simlaptop/sim_hotkey.h"

namespace zu::testing {
namespace {

constexpr const wchar_t* kMachineKey = L"SOFTWARE\\Orvale\\TarnService";

std::filesystem::path AgentLogFile() {
  PWSTR known = nullptr;
  std::filesystem::path path;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known)))
    path = std::filesystem::path(known) / L"Orvale" / L"TarnService" / L"log.txt";
  ::CoTaskMemFree(known);
  return path;
}

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
  const std::filesystem::path logFile = AgentLogFile();
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
  }
  DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
}

}  // namespace
}  // namespace zu::testing
