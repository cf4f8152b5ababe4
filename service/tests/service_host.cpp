#include "service/tests/service_host.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/win/module_path.h"
#include "base/win/unique_handle.h"
#include "base/win/utf.h"
#include "logging/event_source.h"
#include "service/sc_handle.h"
#include "service/service_identity.h"
#include "testing/win/file_text.h"

namespace zu::service::testing {

using namespace std::chrono_literals;

std::wstring TestDirectory() { return win::ModuleDirectory(); }
std::wstring ZuServicePath() { return TestDirectory() + L"zuservice.exe"; }

CommandResult RunZuService(const std::wstring& arguments) {
  CommandResult result;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  win::UniqueHandle readEnd, writeEnd;
  if (!::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return result;
  ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  std::wstring commandLine = L"\"" + ZuServicePath() + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
    ADD_FAILURE() << "cannot run zuservice.exe: " << ::GetLastError();
    return result;
  }
  win::UniqueHandle process(info.hProcess), thread(info.hThread);
  writeEnd.reset();

  char buffer[4096];
  DWORD n = 0;
  while (::ReadFile(readEnd.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) result.output.append(buffer, n);
  if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "zuservice.exe did not end";
    ::TerminateProcess(process.get(), 1);
  }
  ::GetExitCodeProcess(process.get(), &result.exitCode);
  // The C runtime writes "\n" to a pipe as "\r\n".
  std::string clean;
  for (char c : result.output)
    if (c != '\r') clean += c;
  result.output = clean;
  return result;
}

bool QueryTarnStatus(SERVICE_STATUS_PROCESS* status) {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  UniqueScHandle service(::OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS));
  if (!service) return false;
  DWORD needed = 0;
  return ::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(status),
                                sizeof *status, &needed) != FALSE;
}

bool ProcessRunning(DWORD pid) {
  win::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

void RemoveTarnService() {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (manager) {
    UniqueScHandle service(::OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
    if (service) {
      SERVICE_STATUS status{};
      if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        for (int i = 0; i < 100; ++i) {
          SERVICE_STATUS_PROCESS now{};
          DWORD needed = 0;
          if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&now),
                                      sizeof now, &needed) ||
              now.dwCurrentState == SERVICE_STOPPED)
            break;
          ::Sleep(100);
        }
      }
      ::DeleteService(service.get());
    }
  }
  RemoveEventSource();
  for (const auto& record : AgentRecords()) {
    const auto pid = static_cast<DWORD>(std::stoul(record.at("pid")));
    win::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (process) {
      ::TerminateProcess(process.get(), 1);
      ::WaitForSingleObject(process.get(), 5000);
    }
  }
}

std::filesystem::path AgentFolder() { return std::filesystem::path(TestDirectory()) / L"agents"; }

std::vector<AgentRecord> AgentRecords() {
  std::vector<AgentRecord> records;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(AgentFolder(), ec)) {
    if (entry.path().extension() != L".txt") continue;
    AgentRecord record;
    for (const auto& line : zu::testing::ReadLines(entry.path())) {
      std::string text = line;
      if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
      const auto eq = text.find('=');
      if (eq != std::string::npos) record[text.substr(0, eq)] = text.substr(eq + 1);
    }
    if (record.count("pid")) records.push_back(record);
  }
  return records;
}

void ClearAgentRecords() {
  std::error_code ec;
  std::filesystem::remove_all(AgentFolder(), ec);
}

std::set<std::string> KnownAgentPids() {
  std::set<std::string> pids;
  for (const auto& r : AgentRecords()) pids.insert(r.at("pid"));
  return pids;
}

AgentRecord WaitForNewAgent(const std::set<std::string>& known, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  do {
    for (const auto& r : AgentRecords())
      if (!known.count(r.at("pid"))) return r;
    std::this_thread::sleep_for(20ms);
  } while (std::chrono::steady_clock::now() < end);
  return {};
}

std::filesystem::path ServiceLogFile() { return L"C:\\Windows\\Log\\TarnService\\log.txt"; }

std::vector<std::string> ServiceLogTexts() {
  std::vector<std::string> texts;
  for (const auto& line : zu::testing::ReadLines(ServiceLogFile())) texts.push_back(zu::testing::LineText(line));
  return texts;
}

bool WaitForLogText(const std::string& text, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  do {
    for (const auto& t : ServiceLogTexts())
      if (t == text) return true;
    std::this_thread::sleep_for(20ms);
  } while (std::chrono::steady_clock::now() < end);
  return false;
}

void RemoveServiceLogFolder() {
  std::error_code ec;
  std::filesystem::remove_all(L"C:\\Windows\\Log\\TarnService", ec);
  std::filesystem::remove(L"C:\\Windows\\Log", ec);  // only when empty
}

}  // namespace zu::service::testing
