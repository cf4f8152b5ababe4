// The agent process as Windows runs it: started as the console session's
// user with that user's environment, hidden, on "winsta0\default", and
// watched for its end through a thread-pool wait.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/win/unique_handle.h"
#include "service/agent_broker.h"

namespace zu::service {

inline constexpr const wchar_t* kAgentProgram = L"zueventapp.exe";

// How long ending an agent waits for its process to be gone, so that an old
// and a new agent never run side by side.
inline constexpr DWORD kAgentEndWaitMs = 5000;

// A user environment block from CreateEnvironmentBlock.
class EnvironmentBlock {
 public:
  EnvironmentBlock() = default;
  EnvironmentBlock(const EnvironmentBlock&) = delete;
  EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;
  ~EnvironmentBlock();
  void** put();
  void* get() const { return block_; }

 private:
  void* block_ = nullptr;
};

class AgentProcess final : public IAgentProcess {
 public:
  // Hidden window, the interactive desktop, a console of its own.
  static constexpr DWORD kCreationFlags = CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT;

  explicit AgentProcess(std::wstring agentPath);
  ~AgentProcess() override;

  int Launch() override;
  bool WatchExit(AgentExitSink& sink) override;
  bool IsWatchingExit() const override { return exitWait_ != nullptr; }
  bool UnwatchExit() override;
  bool Terminate() override;
  bool HasExited() const override;

  DWORD processId() const { return processId_; }
  DWORD sessionId() const { return sessionId_; }

 private:
  static void CALLBACK OnProcessEnded(void* context, BOOLEAN timedOut);

  std::wstring agentPath_;
  wchar_t desktop_[16] = L"winsta0\\default";
  STARTUPINFOW startup_{};
  DWORD sessionId_ = 0;
  win::UniqueHandle userToken_;
  win::UniqueHandle primaryToken_;
  EnvironmentBlock environment_;
  win::UniqueHandle process_;
  win::UniqueHandle thread_;
  DWORD processId_ = 0;
  DWORD threadId_ = 0;
  HANDLE exitWait_ = nullptr;
};

// Sessions and processes of the machine, with the agent program in a given
// directory (by default the one this program was started from).
class WinAgentSystem final : public IAgentSystem {
 public:
  WinAgentSystem();
  // directory: ends with a backslash.
  explicit WinAgentSystem(std::wstring directory);

  bool ConsoleUserLoggedOn() override;
  std::string AgentPath() const override;
  std::unique_ptr<IAgentProcess> CreateAgent() override;
  std::vector<uint32_t> FindLeftoverAgents() override;
  bool EndLeftoverAgent(uint32_t processId) override;

  const std::wstring& agentPath() const { return agentPath_; }

 private:
  std::wstring agentPath_;
};

}  // namespace zu::service
