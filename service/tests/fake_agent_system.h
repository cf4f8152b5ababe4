// An agent system for the broker's rules without Windows: agents are records
// that can be told to die, their exit notifications run on threads of their
// own as the thread pool's would, and every call is checked for overlap.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "service/agent_broker.h"

namespace zu::service::testing {

class FakeAgentSystem final : public IAgentSystem {
 public:
  struct Agent {
    bool launched = false;
    bool running = false;
    bool watching = false;
    bool notified = false;  // its exit notification has started
    bool terminated = false;
    AgentExitSink* sink = nullptr;
  };

  // Settings the next calls see.
  std::atomic<bool> loggedOn{true};
  std::atomic<int> launchResult{kAgentStarted};
  std::atomic<bool> watchFails{false};

  ~FakeAgentSystem() { JoinNotifications(); }

  bool ConsoleUserLoggedOn() override { return loggedOn; }
  std::string AgentPath() const override { return "C:\\Program Files\\Orvale\\zueventapp.exe"; }
  std::unique_ptr<IAgentProcess> CreateAgent() override {
    std::lock_guard lock(mutex_);
    agents_.push_back(std::make_shared<Agent>());
    events_.push_back("create");
    return std::make_unique<Process>(*this, agents_.back());
  }
  std::vector<uint32_t> FindLeftoverAgents() override {
    std::lock_guard lock(mutex_);
    return leftovers_;
  }
  bool EndLeftoverAgent(uint32_t pid) override {
    std::lock_guard lock(mutex_);
    if (unendable_.count(pid)) {
      events_.push_back("end fail " + std::to_string(pid));
      return false;
    }
    std::erase(leftovers_, pid);
    events_.push_back("end " + std::to_string(pid));
    return true;
  }

  // Agents left running by an earlier service process; those in unendable
  // cannot be ended.
  void SetLeftovers(std::vector<uint32_t> pids, std::set<uint32_t> unendable = {}) {
    std::lock_guard lock(mutex_);
    leftovers_ = std::move(pids);
    unendable_ = std::move(unendable);
  }
  // Leftover ends and record creations, in order.
  std::vector<std::string> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

  // Holds every following Launch until ReleaseLaunches.
  void HoldLaunches() {
    std::lock_guard lock(mutex_);
    holdLaunches_ = true;
  }
  void ReleaseLaunches() {
    {
      std::lock_guard lock(mutex_);
      holdLaunches_ = false;
    }
    changed_.notify_all();
  }
  bool WaitForHeldLaunch(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return launchesWaiting_ > 0; });
  }

  // The agent ends by itself. With notify, its armed exit notification runs
  // on a new thread; without, the caller delivers it later (Deliver).
  void Die(size_t index, bool notify = true) {
    AgentExitSink* sink = nullptr;
    {
      std::lock_guard lock(mutex_);
      Agent& a = *agents_.at(index);
      if (!a.running) return;
      a.running = false;
      --live_;
      if (a.watching && !a.notified) {
        a.notified = true;
        sink = a.sink;
      }
    }
    if (sink && notify) {
      std::lock_guard lock(threadsMutex_);
      threads_.emplace_back([sink] { sink->OnAgentExit(); });
    }
  }
  // Runs the exit notification of an agent on the calling thread.
  void Deliver(size_t index) {
    AgentExitSink* sink = nullptr;
    {
      std::lock_guard lock(mutex_);
      sink = agents_.at(index)->sink;
    }
    if (sink) sink->OnAgentExit();
  }

  void JoinNotifications() {
    std::vector<std::thread> threads;
    {
      std::lock_guard lock(threadsMutex_);
      threads.swap(threads_);
    }
    for (auto& t : threads) t.join();
  }

  Agent agent(size_t index) const {
    std::lock_guard lock(mutex_);
    return *agents_.at(index);
  }
  size_t agentCount() const {
    std::lock_guard lock(mutex_);
    return agents_.size();
  }
  // Waits until at least n records have been launched.
  bool WaitForLaunches(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return launches_ >= n; });
  }
  int live() const {
    std::lock_guard lock(mutex_);
    return live_;
  }
  int maxLive() const {
    std::lock_guard lock(mutex_);
    return maxLive_;
  }
  int overlaps() const { return overlaps_; }

 private:
  class Process final : public IAgentProcess {
   public:
    Process(FakeAgentSystem& system, std::shared_ptr<Agent> agent) : system_(system), agent_(std::move(agent)) {}

    int Launch() override {
      Enter enter(system_);
      std::unique_lock lock(system_.mutex_);
      ++system_.launchesWaiting_;
      system_.changed_.notify_all();
      system_.changed_.wait(lock, [this] { return !system_.holdLaunches_; });
      --system_.launchesWaiting_;
      ++system_.launches_;
      system_.changed_.notify_all();
      const int result = system_.launchResult;
      if (result == kAgentStarted) {
        agent_->launched = agent_->running = true;
        if (++system_.live_ > system_.maxLive_) system_.maxLive_ = system_.live_;
      }
      return result;
    }
    bool WatchExit(AgentExitSink& sink) override {
      Enter enter(system_);
      std::lock_guard lock(system_.mutex_);
      if (system_.watchFails) return false;
      agent_->watching = true;
      agent_->sink = &sink;
      if (!agent_->running && !agent_->notified) {
        // Died before the watch was armed: the wait fires at once.
        agent_->notified = true;
        std::lock_guard tlock(system_.threadsMutex_);
        system_.threads_.emplace_back([s = &sink] { s->OnAgentExit(); });
      }
      return true;
    }
    bool IsWatchingExit() const override {
      std::lock_guard lock(system_.mutex_);
      return agent_->watching;
    }
    bool UnwatchExit() override {
      Enter enter(system_);
      std::lock_guard lock(system_.mutex_);
      agent_->watching = false;
      // As on Windows: fails while the notification runs or has run.
      return !agent_->notified;
    }
    bool Terminate() override {
      Enter enter(system_);
      std::lock_guard lock(system_.mutex_);
      if (!agent_->running) return false;
      agent_->running = false;
      agent_->terminated = true;
      --system_.live_;
      return true;
    }
    bool HasExited() const override {
      std::lock_guard lock(system_.mutex_);
      return agent_->launched && !agent_->running;
    }

   private:
    FakeAgentSystem& system_;
    std::shared_ptr<Agent> agent_;
  };

  // Counts calls that overlap with another call on a record.
  struct Enter {
    FakeAgentSystem& s;
    explicit Enter(FakeAgentSystem& system) : s(system) {
      if (s.inside_.fetch_add(1) != 0) ++s.overlaps_;
    }
    ~Enter() { s.inside_.fetch_sub(1); }
  };

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Agent>> agents_;
  std::vector<uint32_t> leftovers_;
  std::set<uint32_t> unendable_;
  std::vector<std::string> events_;
  bool holdLaunches_ = false;
  int launchesWaiting_ = 0;
  size_t launches_ = 0;
  int live_ = 0;
  int maxLive_ = 0;
  std::atomic<int> inside_{0};
  std::atomic<int> overlaps_{0};

  std::mutex threadsMutex_;
  std::vector<std::thread> threads_;
};

}  // namespace zu::service::testing
