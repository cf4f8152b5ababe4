#include "service/agent_broker.h"

#include <utility>

#include "base/text.h"

namespace zu::service {

AgentBroker::AgentBroker(IAgentSystem& system, std::chrono::milliseconds restartDelay)
    : system_(system), restartDelay_(restartDelay) {}

AgentBroker::~AgentBroker() {
  Shutdown();
  std::unique_lock lock(mutex_);
  exitCallbacksDone_.wait(lock, [this] { return exitCallbacksRunning_ == 0; });
}

void AgentBroker::AttachLogger(std::shared_ptr<ILogger> logger) {
  std::unique_lock lock(mutex_);
  if (shutDown_) return;  // dropped (and released) by the caller's reference
  logger_ = std::move(logger);
}

void AgentBroker::StartAgent() {
  std::lock_guard lock(mutex_);
  StartAgentLocked();
}

void AgentBroker::StopAgent() {
  std::lock_guard lock(mutex_);
  StopAgentLocked();
}

void AgentBroker::OnSessionLogon() {
  std::lock_guard lock(mutex_);
  if (shutDown_) return;
  LogLocked(kLogInfo, "WTS_SESSION_LOGON");
  StartAgentLocked();
}

void AgentBroker::OnSessionLogoff() {
  std::lock_guard lock(mutex_);
  if (shutDown_) return;
  LogLocked(kLogInfo, "WTS_SESSION_LOGOFF");
  StopAgentLocked();
}

void AgentBroker::OnAgentExit() {
  std::unique_lock lock(mutex_);
  ++exitCallbacksRunning_;
  struct Leave {
    AgentBroker& broker;
    ~Leave() {
      if (--broker.exitCallbacksRunning_ == 0) broker.exitCallbacksDone_.notify_all();
    }
  } leave{*this};

  // A notification can arrive late, after a log-on or log-off has already
  // replaced or ended the agent it was armed for; then there is nothing to do.
  if (shutDown_ || !agent_ || !agent_->HasExited()) return;
  const uint64_t deadAgent = agentSerial_;

  LogLocked(kLogWarning, "ZuEventApp is dead, restart after 3s!");
  // The lock is free while we wait, so the control handler is never held up
  // by the delay; a stop wakes us at once.
  if (stopRequested_.wait_for(lock, restartDelay_, [this] { return shutDown_; })) return;
  // A log-on or log-off during the delay has already replaced or ended it.
  if (!agent_ || agentSerial_ != deadAgent) return;

  StartAgentLocked();  // stops the dead agent's record first
}

void AgentBroker::Shutdown() {
  std::shared_ptr<ILogger> released;
  {
    std::lock_guard lock(mutex_);
    if (shutDown_) return;
    StopAgentLocked();
    released = std::exchange(logger_, nullptr);
    shutDown_ = true;
  }
  stopRequested_.notify_all();
  // The logger goes when `released` does, outside the lock.
}

bool AgentBroker::HasAgent() const {
  std::lock_guard lock(mutex_);
  return agent_ != nullptr;
}

bool AgentBroker::IsShutDown() const {
  std::lock_guard lock(mutex_);
  return shutDown_;
}

void AgentBroker::StartAgentLocked() {
  if (shutDown_) return;
  if (agent_) StopAgentLocked();

  if (!system_.ConsoleUserLoggedOn()) {
    LogLocked(kLogWarning, "User is logoff");
    return;
  }

  EndLeftoverAgentsLocked();
  agent_ = system_.CreateAgent();
  ++agentSerial_;
  const int result = agent_->Launch();
  LogLocked(kLogInfo, "ZuEventApp path= " + system_.AgentPath());
  if (result != kAgentStarted) {
    StopAgentLocked();
    LogLocked(kLogWarning, "Start ZuEventApp failed! ret= " + Dec(result));
    return;
  }

  if (!agent_->WatchExit(*this)) {
    // The agent runs, but will not be restarted should it die.
    LogLocked(kLogWarning, "RegisterWait fail!");
  }
  LogLocked(kLogInfo, "Start ZuEventApp successfully!");
}

void AgentBroker::StopAgentLocked() {
  if (!agent_) return;
  if (agent_->IsWatchingExit()) {
    if (agent_->UnwatchExit())
      LogLocked(kLogInfo, "UnregisterWait successfully");
    else
      LogLocked(kLogWarning, "UnregisterWait fail!");
  }
  const bool terminated = agent_->Terminate();
  agent_.reset();
  if (terminated)
    LogLocked(kLogInfo, "ZuEventApp stop successfully");
  else
    LogLocked(kLogWarning, "ZuEventApp stop fail!");
}

void AgentBroker::EndLeftoverAgentsLocked() {
  // With no record of its own left, every agent of this path is a stray.
  // It is ended rather than adopted: it may be a program that has since been
  // replaced on disk, and a fresh start gives the plug-ins their known start.
  for (const uint32_t pid : system_.FindLeftoverAgents()) {
    if (system_.EndLeftoverAgent(pid))
      LogLocked(kLogWarning, "Leftover ZuEventApp ended, pid= " + Dec(pid));
    else
      LogLocked(kLogWarning, "Leftover ZuEventApp end fail! pid= " + Dec(pid));
  }
}

void AgentBroker::LogLocked(int level, const std::string& message) {
  if (logger_) logger_->LogAndReport(level, kBrokerComponent, message);
}

}  // namespace zu::service
