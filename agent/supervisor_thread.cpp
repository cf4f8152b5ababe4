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
  explicit Win32SupervisorHost(const StopSignal& stop) : stop_(stop) {}

  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
  void Rest(uint32_t milliseconds) override { stop_.WaitFor(milliseconds); }
  bool StopRequested() override { return stop_.Requested(); }
  void Print(const std::string& text) override {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  }
  void Unload(ServiceEntry& entry) override {
    if (entry.module) ::FreeLibrary(static_cast<HMODULE>(entry.module));
    entry.module = nullptr;
  }

 private:
  const StopSignal& stop_;
};

}  // namespace

DWORD RunSupervisor(const std::wstring& pluginDirectory, ILogger* logger, ServiceList& services,
                    const StopSignal& stop) {
  if (logger) PluginLoader(pluginDirectory, *logger, services).LoadAll();
  Win32SupervisorHost host(stop);
  return Supervisor(services, host, logger).Supervise();
}

DWORD WINAPI SupervisorThreadMain(LPVOID) {
  InstallConsoleControlHandler();
  AgentState& agent = Agent();
  return RunSupervisor(GetModuleDirectory(), agent.logger.load(), agent.services, agent.stop);
}

}  // namespace zu
