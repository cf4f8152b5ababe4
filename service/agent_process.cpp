#include "service/agent_process.h"

#include <tlhelp32.h>
#include <userenv.h>
#include <wtsapi32.h>

#include <iterator>

#include "base/win/module_path.h"
#include "base/win/utf.h"

namespace zu::service {

EnvironmentBlock::~EnvironmentBlock() {
  if (block_) ::DestroyEnvironmentBlock(block_);
}

void** EnvironmentBlock::put() {
  if (block_) ::DestroyEnvironmentBlock(block_);
  block_ = nullptr;
  return &block_;
}

AgentProcess::AgentProcess(std::wstring agentPath) : agentPath_(std::move(agentPath)) {
  startup_.cb = sizeof startup_;
  startup_.lpDesktop = desktop_;
  startup_.dwFlags = STARTF_USESHOWWINDOW;
  startup_.wShowWindow = SW_HIDE;
}

AgentProcess::~AgentProcess() {
  // The broker cancels the wait before it lets a record go; this is the
  // backstop, and it must not block on a notification that may be running.
  if (exitWait_) ::UnregisterWait(exitWait_);
}

int AgentProcess::Launch() {
  {
    // The service must be able to read its own token; nothing else is needed from it.
    win::UniqueHandle ownToken;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, ownToken.put())) return kNoProcessToken;
  }
  sessionId_ = ::WTSGetActiveConsoleSessionId();
  if (sessionId_ == 0xFFFFFFFF) return kNoConsoleSession;
  if (!::WTSQueryUserToken(sessionId_, userToken_.put())) return kNoUserToken;
  if (!::DuplicateTokenEx(userToken_.get(), MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary,
                          primaryToken_.put()))
    return kDuplicateTokenFailed;
  if (!::CreateEnvironmentBlock(environment_.put(), primaryToken_.get(), TRUE)) return kEnvironmentFailed;

  PROCESS_INFORMATION info{};
  if (!::CreateProcessAsUserW(primaryToken_.get(), agentPath_.c_str(), nullptr, nullptr, nullptr, FALSE,
                              kCreationFlags, environment_.get(), nullptr, &startup_, &info))
    return kCreateProcessFailed;
  process_.reset(info.hProcess);
  thread_.reset(info.hThread);
  processId_ = info.dwProcessId;
  threadId_ = info.dwThreadId;
  return kAgentStarted;
}

void CALLBACK AgentProcess::OnProcessEnded(void* context, BOOLEAN /*timedOut*/) {
  static_cast<AgentExitSink*>(context)->OnAgentExit();
}

bool AgentProcess::WatchExit(AgentExitSink& sink) {
  if (!process_) return false;
  return ::RegisterWaitForSingleObject(&exitWait_, process_.get(), &AgentProcess::OnProcessEnded, &sink, INFINITE,
                                       WT_EXECUTEONLYONCE) != FALSE;
}

bool AgentProcess::UnwatchExit() {
  const BOOL ok = ::UnregisterWait(std::exchange(exitWait_, nullptr));
  return ok != FALSE;
}

bool AgentProcess::Terminate() {
  // An agent that has already ended cannot be terminated. Windows says so
  // itself; Wine reports success, so look first.
  if (!process_ || HasExited()) return false;
  if (!::TerminateProcess(process_.get(), 0)) return false;
  // Termination completes asynchronously; a replacement started before the
  // old process is gone would briefly make two agents.
  ::WaitForSingleObject(process_.get(), kAgentEndWaitMs);
  return true;
}

bool AgentProcess::HasExited() const {
  return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
}

WinAgentSystem::WinAgentSystem() : WinAgentSystem(win::ModuleDirectory()) {}

WinAgentSystem::WinAgentSystem(std::wstring directory) : agentPath_(std::move(directory) + kAgentProgram) {}

bool WinAgentSystem::ConsoleUserLoggedOn() {
  win::UniqueHandle token;
  return ::WTSQueryUserToken(::WTSGetActiveConsoleSessionId(), token.put()) != FALSE;
}

std::string WinAgentSystem::AgentPath() const { return win::ToUtf8(agentPath_); }

std::unique_ptr<IAgentProcess> WinAgentSystem::CreateAgent() { return std::make_unique<AgentProcess>(agentPath_); }

namespace {

bool SamePath(const std::wstring& a, const wchar_t* b, DWORD bLength) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, static_cast<int>(bLength), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

std::vector<uint32_t> WinAgentSystem::FindLeftoverAgents() {
  std::vector<uint32_t> found;
  // A failed snapshot is INVALID_HANDLE_VALUE, like a file.
  win::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return found;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    // The snapshot names the program's file only; the full path decides.
    if (::CompareStringOrdinal(entry.szExeFile, -1, kAgentProgram, -1, TRUE) != CSTR_EQUAL) continue;
    win::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (!process) continue;
    wchar_t image[MAX_PATH * 2] = {};
    DWORD length = static_cast<DWORD>(std::size(image));
    if (!::QueryFullProcessImageNameW(process.get(), 0, image, &length)) continue;
    if (SamePath(agentPath_, image, length)) found.push_back(entry.th32ProcessID);
  }
  return found;
}

bool WinAgentSystem::EndLeftoverAgent(uint32_t processId) {
  win::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
  if (!process) return false;
  if (!::TerminateProcess(process.get(), 0)) return false;
  return ::WaitForSingleObject(process.get(), kAgentEndWaitMs) == WAIT_OBJECT_0;
}

}  // namespace zu::service
