#include "agent/supervisor_thread.h"

#include <cstdio>

#include "agent/agent_state.h"
#include "agent/console_handler.h"
#include "agent/plugin_loader.h"
#include "agent/supervisor.h"
#include "logging/ilogger.h"

namespace zu {
namespace {

class Win32SupervisorHost final : public SupervisorHost {
 public:
  explicit Win32SupervisorHost(const std::atomic<bool>& stopRequested) : stopRequested_(stopRequested) {}

  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
  bool StopRequested() override { return stopRequested_.load(); }
  void Print(const std::string& text) override {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  }
  void Unload(ServiceEntry& entry) override {
    if (entry.module) ::FreeLibrary(static_cast<HMODULE>(entry.module));
    entry.module = nullptr;
  }

 private:
  const std::atomic<bool>& stopRequested_;
};

}  // namespace

DWORD RunSupervisor(const std::wstring& pluginDirectory, ILogger* logger, ServiceList& services,
                    const std::atomic<bool>& stopRequested) {
  if (logger) PluginLoader(pluginDirectory, *logger, services).LoadAll();
  Win32SupervisorHost host(stopRequested);
  return Supervisor(services, host, logger).Supervise();
}

DWORD WINAPI SupervisorThreadMain(LPVOID) {
  InstallConsoleControlHandler();
  AgentState& agent = Agent();
  return RunSupervisor(GetModuleDirectory(), agent.logger.load(), agent.services, agent.stopRequested);
}

}  // namespace zu
