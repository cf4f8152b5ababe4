// The broker that keeps one event agent running in the console user's
// session: it starts the agent at service start and log-on, restarts it
// three seconds after it dies, and ends it at log-off and service stop.
//
// The system side (sessions, tokens, processes, exit waits) sits behind
// IAgentSystem and IAgentProcess so that these rules also run natively.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "logging/ilogger.h"

namespace zu::service {

inline constexpr const char* kBrokerComponent = "ZuServiceBroker";

// Outcome of launching an agent, as it appears in "Start ZuEventApp failed! ret= ".
enum AgentStartResult : int {
  kAgentStarted = 0,
  kNoProcessToken = -1,     // the service's own token could not be opened for query
  kNoConsoleSession = -2,   // no active console session
  kNoUserToken = -3,        // no user token for that session
  kDuplicateTokenFailed = -4,
  kEnvironmentFailed = -5,
  kCreateProcessFailed = -6,
};

// Told when an agent process has ended.
class AgentExitSink {
 public:
  virtual void OnAgentExit() = 0;

 protected:
  ~AgentExitSink() = default;
};

// One agent process record: created empty, launched once, ended once.
// Destroying it closes whatever it holds.
class IAgentProcess {
 public:
  virtual ~IAgentProcess() = default;
  // Runs the launch steps; kAgentStarted or the code of the first failure.
  virtual int Launch() = 0;
  // Arms a one-shot notification of the process's end; false when it could
  // not be registered.
  virtual bool WatchExit(AgentExitSink& sink) = 0;
  virtual bool IsWatchingExit() const = 0;
  // Cancels the notification without waiting for one that is running and
  // forgets it; false when the system reports failure (as it does while the
  // notification is running).
  virtual bool UnwatchExit() = 0;
  // Terminates the process with exit code 0; false when that fails (no
  // process, or it has already ended).
  virtual bool Terminate() = 0;
  // True when the process was launched and has ended.
  virtual bool HasExited() const = 0;
};

class IAgentSystem {
 public:
  // Whether the active console session has a logged-on user.
  virtual bool ConsoleUserLoggedOn() = 0;
  // Full path of the agent program, UTF-8, as it is logged.
  virtual std::string AgentPath() const = 0;
  // A new record for the agent program, not yet launched.
  virtual std::unique_ptr<IAgentProcess> CreateAgent() = 0;
  // Process ids of running agent programs (this path, any session) that this
  // broker holds no record of: left behind by an earlier service process
  // that crashed or was killed while its agent ran.
  virtual std::vector<uint32_t> FindLeftoverAgents() = 0;
  // Ends one of them and waits a bounded time for it to go; false when it
  // could not be ended.
  virtual bool EndLeftoverAgent(uint32_t processId) = 0;

 protected:
  ~IAgentSystem() = default;
};

// StartAgent, StopAgent, the session events and the exit notification run on
// three threads (service main, control dispatcher, thread pool); one lock
// serialises them, and every log line is written under it. Once Shutdown has
// run the broker starts nothing and logs nothing more.
class AgentBroker final : public AgentExitSink {
 public:
  static constexpr std::chrono::milliseconds kRestartDelay{3000};

  explicit AgentBroker(IAgentSystem& system, std::chrono::milliseconds restartDelay = kRestartDelay);
  // Shuts down if that has not happened and waits for running exit
  // notifications to return. Notifications still armed must not arrive
  // afterwards; the service keeps its broker for the life of the process.
  ~AgentBroker();
  AgentBroker(const AgentBroker&) = delete;
  AgentBroker& operator=(const AgentBroker&) = delete;

  // Makes this the broker's logger; a logger offered after Shutdown is
  // dropped at once.
  void AttachLogger(std::shared_ptr<ILogger> logger);

  // Replaces any agent with a new one in the console user's session. An
  // agent left running by an earlier service process is ended first, so the
  // session never holds two.
  void StartAgent();
  // Ends the agent, if there is one.
  void StopAgent();
  // Session log-on and log-off as the control handler receives them.
  void OnSessionLogon();
  void OnSessionLogoff();
  // The agent's process has ended: log it, wait the restart delay, start a
  // new one. A stop during the delay ends the wait at once and starts nothing.
  void OnAgentExit() override;
  // The stop control: ends the agent, releases the logger and refuses all
  // later work. Never waits for a pending restart's delay.
  void Shutdown();

  bool HasAgent() const;
  bool IsShutDown() const;

 private:
  void StartAgentLocked();
  void StopAgentLocked();
  void EndLeftoverAgentsLocked();
  void LogLocked(int level, const std::string& message);

  IAgentSystem& system_;
  const std::chrono::milliseconds restartDelay_;

  mutable std::mutex mutex_;
  std::condition_variable stopRequested_;
  std::condition_variable exitCallbacksDone_;
  bool shutDown_ = false;
  int exitCallbacksRunning_ = 0;
  std::shared_ptr<ILogger> logger_;
  std::unique_ptr<IAgentProcess> agent_;
  // Counts agent records, so a restart can tell whether the agent it was
  // called for is still the current one.
  uint64_t agentSerial_ = 0;
};

}  // namespace zu::service
