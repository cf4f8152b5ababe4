// The supervisor's pass logic with scripted services and an injected sleep.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent/supervisor.h"
#include "testing/recording_logger.h"

namespace zu {
namespace {

using ::testing::ElementsAre;

// Every call of every service and of the host, in order.
using Journal = std::vector<std::string>;

// A service that moves its state like the real ones, answers Heartbeat and
// Reset from scripts and records each call.
class ScriptedService final : public IPlatformService {
 public:
  ScriptedService(std::string name, Journal& journal) : name_(std::move(name)), journal_(journal) {}

  std::string GetName() override { return name_; }
  int32_t GetType() override { return 1; }
  int32_t GetState() override {
    ++getStateCalls;
    return state;
  }
  bool Init(ILogger* logger) override {
    Note("Init");
    initLogger = logger;
    state = INIT;
    return true;
  }
  bool Run() override {
    Note("Run");
    state = IN_SERVICE;
    return true;
  }
  bool Join(int32_t reserved) override {
    Note("Join " + std::to_string(reserved));
    state = OUT_OF_SERVICE;
    return true;
  }
  void Release() override {
    Note("Release");
    state = UNKNOWN;
    if (onRelease) onRelease();
  }
  bool Heartbeat() override {
    Note("Heartbeat");
    if (heartbeats.empty()) return heartbeatDefault;
    const bool ok = heartbeats.front();
    heartbeats.pop_front();
    return ok;
  }
  bool Reset() override {
    Note("Reset");
    if (resetResult) state = INIT;
    return resetResult;
  }
  void onEvent(uint32_t code) override {
    if (onEventHook) onEventHook(code);
  }
  void onStateChange(int32_t) override {}

  int Count(const std::string& op) const {
    int n = 0;
    for (const auto& j : journal_)
      if (j == name_ + " " + op) ++n;
    return n;
  }

  int32_t state = UNKNOWN;
  std::deque<bool> heartbeats;
  bool heartbeatDefault = true;
  bool resetResult = true;
  ILogger* initLogger = nullptr;
  int getStateCalls = 0;
  // Called on the calling thread; events may come from another thread.
  std::function<void(uint32_t)> onEventHook;
  std::function<void()> onRelease;

 private:
  void Note(const std::string& op) { journal_.push_back(name_ + " " + op); }

  std::string name_;
  Journal& journal_;
};

class RecordingHost final : public SupervisorHost {
 public:
  explicit RecordingHost(Journal& journal) : journal_(journal) {}

  void Sleep(uint32_t ms) override { sleeps.push_back(ms); }
  void Rest(uint32_t ms) override { sleeps.push_back(ms); }
  bool StopRequested() override {
    ++stopChecks;
    if (onStopCheck) onStopCheck(stopChecks);
    return stopAfterChecks >= 0 && stopChecks > stopAfterChecks;
  }
  void Print(const std::string& text) override { output += text; }
  // The fixture's module handle is the service itself.
  void Unload(ServiceEntry& entry) override {
    EXPECT_EQ(entry.service, nullptr) << "unloaded while still reachable by dispatch";
    const std::string name = static_cast<IPlatformService*>(entry.module)->GetName();
    journal_.push_back("unload " + name);
    if (onUnload) onUnload(name);
    entry.module = nullptr;
  }

  std::vector<uint32_t> sleeps;
  std::string output;
  int stopChecks = 0;
  int stopAfterChecks = -1;  // never
  std::function<void(int)> onStopCheck;
  std::function<void(const std::string&)> onUnload;

 private:
  Journal& journal_;
};

class SupervisorTest : public ::testing::Test {
 protected:
  ScriptedService& Add(const std::string& name) {
    services_.push_back(std::make_unique<ScriptedService>(name, journal_));
    auto entry = std::make_unique<ServiceEntry>();
    entry->service = services_.back().get();
    entry->module = static_cast<IPlatformService*>(services_.back().get());  // any non-null handle
    entries_.push_back(&list_.Append(std::move(entry)));
    return *services_.back();
  }
  // Runs one pass and returns the sleeps it made.
  std::vector<uint32_t> Pass() {
    host_.sleeps.clear();
    supervisor_.Pass();
    return host_.sleeps;
  }
  int AnrCount() const {
    int n = 0;
    for (size_t p = host_.output.find("Service ANR\n"); p != std::string::npos;
         p = host_.output.find("Service ANR\n", p + 1))
      ++n;
    return n;
  }

  Journal journal_;
  std::vector<std::unique_ptr<ScriptedService>> services_;
  std::vector<ServiceEntry*> entries_;
  ServiceList list_;
  RecordingHost host_{journal_};
  testing::RecordingLogger logger_;
  Supervisor supervisor_{list_, host_, &logger_};
};

TEST_F(SupervisorTest, AServiceIsResetOnItsEleventhFailedHeartbeatNotItsTenth) {
  ScriptedService& s = Add("svc");
  s.heartbeatDefault = false;
  supervisor_.InitServices();
  Pass();  // INIT -> Run
  for (int i = 1; i <= 10; ++i) {
    EXPECT_THAT(Pass(), ElementsAre(kHeartbeatPauseMs)) << "failure " << i;
    EXPECT_EQ(s.Count("Reset"), 0) << "failure " << i;
  }
  EXPECT_EQ(list_.size(), 1u);
  EXPECT_EQ(AnrCount(), 0);

  EXPECT_THAT(Pass(), ElementsAre(kHeartbeatPauseMs));  // 11th failure: reset, still one pause
  EXPECT_EQ(s.Count("Heartbeat"), 11);
  EXPECT_EQ(s.Count("Reset"), 1);
  EXPECT_EQ(AnrCount(), 1);
  EXPECT_EQ(s.Count("Join 0"), 0) << "a successful reset keeps the service";

  // Reset returned it to INIT: Run on the next pass, then the count starts over.
  Pass();
  EXPECT_EQ(s.Count("Run"), 2);
  for (int i = 0; i < 10; ++i) Pass();
  EXPECT_EQ(AnrCount(), 1);
  Pass();
  EXPECT_EQ(AnrCount(), 2) << "once per 11 failures";
  EXPECT_EQ(s.Count("Reset"), 2);
}

TEST_F(SupervisorTest, ATrueHeartbeatResetsTheCount) {
  ScriptedService& s = Add("svc");
  for (int i = 0; i < 10; ++i) s.heartbeats.push_back(false);
  s.heartbeats.push_back(true);
  for (int i = 0; i < 10; ++i) s.heartbeats.push_back(false);
  supervisor_.InitServices();
  Pass();
  for (int i = 0; i < 21; ++i) Pass();
  EXPECT_EQ(s.Count("Heartbeat"), 21);
  EXPECT_EQ(s.Count("Reset"), 0);
  EXPECT_EQ(AnrCount(), 0);
  // One more failure is only the 11th in a row counted from after the success.
  s.heartbeats.push_back(false);
  Pass();
  EXPECT_EQ(AnrCount(), 1);
}

TEST_F(SupervisorTest, AnOutOfServiceServiceIsResetAndRunOnTheFollowingPass) {
  ScriptedService& s = Add("svc");
  supervisor_.InitServices();
  s.state = OUT_OF_SERVICE;
  journal_.clear();
  EXPECT_THAT(Pass(), ElementsAre(kIdlePassPauseMs)) << "Reset alone does not pause";
  EXPECT_THAT(journal_, ElementsAre("svc Reset"));
  Pass();
  EXPECT_THAT(journal_, ElementsAre("svc Reset", "svc Run"));
  EXPECT_EQ(s.state, IN_SERVICE);
}

TEST_F(SupervisorTest, AFailedResetRetiresTheServiceForGood) {
  ScriptedService& hung = Add("hung");
  ScriptedService& stopped = Add("stopped");
  hung.heartbeatDefault = false;
  hung.resetResult = false;
  stopped.resetResult = false;
  supervisor_.InitServices();
  Pass();  // both Run
  stopped.state = OUT_OF_SERVICE;
  journal_.clear();
  Pass();
  EXPECT_THAT(journal_, ElementsAre("hung Heartbeat", "stopped Reset", "stopped Join 0", "stopped Release"));
  for (int i = 0; i < 10; ++i) Pass();
  EXPECT_EQ(hung.Count("Reset"), 1);
  EXPECT_EQ(hung.Count("Join 0"), 1);
  EXPECT_EQ(hung.Count("Release"), 1);
  EXPECT_EQ(AnrCount(), 1);
  EXPECT_EQ(hung.state, UNKNOWN);

  // Both stay in the list, asked for their state and nothing else.
  journal_.clear();
  const int hungStates = hung.getStateCalls, stoppedStates = stopped.getStateCalls;
  for (int i = 0; i < 5; ++i) EXPECT_THAT(Pass(), ElementsAre(kRestingPassPauseMs));
  EXPECT_TRUE(journal_.empty());
  EXPECT_EQ(hung.getStateCalls - hungStates, 5);
  EXPECT_EQ(stopped.getStateCalls - stoppedStates, 5);
  EXPECT_EQ(list_.size(), 2u);
}

TEST_F(SupervisorTest, EachRunningServicePausesOncePerPass) {
  ScriptedService& a = Add("a");
  ScriptedService& b = Add("b");
  ScriptedService& c = Add("c");
  supervisor_.InitServices();
  c.state = UNKNOWN;
  EXPECT_THAT(Pass(), ElementsAre(kIdlePassPauseMs)) << "a pass of Run calls only";
  EXPECT_THAT(Pass(), ElementsAre(kHeartbeatPauseMs, kHeartbeatPauseMs));
  a.heartbeatDefault = false;
  EXPECT_THAT(Pass(), ElementsAre(kHeartbeatPauseMs, kHeartbeatPauseMs)) << "a failure pauses as well";
  b.state = OUT_OF_SERVICE;
  EXPECT_THAT(Pass(), ElementsAre(kHeartbeatPauseMs));
}

TEST_F(SupervisorTest, PassesWithNothingToDoRest) {
  Add("a").state = UNKNOWN;
  Add("b");
  services_[1]->state = 7;  // outside the states
  services_[0]->state = -1;
  // (Init is not called here: the services never left their odd states.)
  for (int i = 0; i < 3; ++i) EXPECT_THAT(Pass(), ElementsAre(kRestingPassPauseMs));
  EXPECT_TRUE(journal_.empty());
  EXPECT_EQ(services_[0]->getStateCalls, 3);
  EXPECT_EQ(services_[1]->getStateCalls, 3);
}

TEST_F(SupervisorTest, NothingLoadedIsARuntimeLinkError) {
  EXPECT_EQ(supervisor_.Supervise(), kSupervisorNothingLoaded);
  EXPECT_EQ(host_.output, "runtime link error\n");
  EXPECT_TRUE(host_.sleeps.empty());
  EXPECT_EQ(host_.stopChecks, 0);
}

TEST_F(SupervisorTest, AStopBeforeTheLoopTearsDownInLoadOrder) {
  ScriptedService& a = Add("a");
  Add("b");
  host_.stopAfterChecks = 0;
  EXPECT_EQ(supervisor_.Supervise(), kSupervisorDone);
  EXPECT_THAT(journal_, ElementsAre("a Init", "b Init", "a Join 0", "a Release", "unload a", "b Join 0",
                                    "b Release", "unload b"));
  EXPECT_EQ(a.initLogger, &logger_);
  EXPECT_TRUE(host_.sleeps.empty());
  for (const ServiceEntry* e : entries_) {
    EXPECT_EQ(e->module, nullptr);
    EXPECT_EQ(e->service, nullptr);
  }
  EXPECT_EQ(list_.size(), 2u) << "entries are never removed";
}

TEST_F(SupervisorTest, TheStopFlagIsReadAfterEveryPassAndReleasedServicesAreReleasedAgain) {
  ScriptedService& a = Add("a");
  ScriptedService& b = Add("b");
  b.resetResult = false;
  host_.stopAfterChecks = 3;  // seen on the fourth check: three passes
  host_.onStopCheck = [&](int check) {
    if (check == 2) b.state = OUT_OF_SERVICE;  // b drops out after the first pass
  };
  EXPECT_EQ(supervisor_.Supervise(), kSupervisorDone);
  EXPECT_EQ(host_.stopChecks, 4) << "once before the loop, then after each pass";
  EXPECT_EQ(a.Count("Run"), 1);
  EXPECT_EQ(a.Count("Heartbeat"), 2);
  EXPECT_EQ(b.Count("Release"), 2) << "released by its retirement, then again by the teardown";
  EXPECT_THAT(std::vector<std::string>(journal_.end() - 6, journal_.end()),
              ElementsAre("a Join 0", "a Release", "unload a", "b Join 0", "b Release", "unload b"));
}

TEST_F(SupervisorTest, InitStartsEveryMissCountAtZero) {
  Add("a");
  list_.ForEach([](ServiceEntry& e) { e.misses = 7; });
  supervisor_.InitServices();
  list_.ForEach([](ServiceEntry& e) { EXPECT_EQ(e.misses, 0); });
}

TEST_F(SupervisorTest, AfterTheTeardownNeitherDispatchNorAPassReachesAService) {
  ScriptedService& a = Add("a");
  ScriptedService& b = Add("b");
  int events = 0;
  a.onEventHook = b.onEventHook = [&](uint32_t) { ++events; };
  list_.Dispatch([](ServiceEntry& e) { e.service->onEvent(1); });
  EXPECT_EQ(events, 2);

  host_.stopAfterChecks = 0;
  EXPECT_EQ(supervisor_.Supervise(), kSupervisorDone);
  events = 0;
  int visits = 0;
  list_.Dispatch([&](ServiceEntry& e) {
    ++visits;
    e.service->onEvent(1);
  });
  EXPECT_EQ(visits, 0);
  EXPECT_EQ(events, 0);

  journal_.clear();
  const int aStates = a.getStateCalls, bStates = b.getStateCalls;
  EXPECT_THAT(Pass(), ElementsAre(kRestingPassPauseMs));
  EXPECT_TRUE(journal_.empty());
  EXPECT_EQ(a.getStateCalls, aStates) << "an unloaded service is not even asked its state";
  EXPECT_EQ(b.getStateCalls, bStates);
}

TEST_F(SupervisorTest, TheTeardownUnloadsNoLibraryWhileItsEventIsInFlight) {
  ScriptedService& a = Add("a");
  ScriptedService& b = Add("b");
  std::mutex mutex;
  std::vector<std::string> timeline;  // across the threads, under `mutex`
  auto note = [&](const std::string& line) {
    std::lock_guard lock(mutex);
    timeline.push_back(line);
  };
  std::promise<void> entered, release, aReleased;
  std::shared_future<void> released = release.get_future().share();
  a.onEventHook = [&](uint32_t) {
    entered.set_value();
    released.wait();
    note("a event");
  };
  b.onEventHook = [&](uint32_t) { note("b event"); };
  a.onRelease = [&] { aReleased.set_value(); };
  host_.onUnload = [&](const std::string& name) { note("unload " + name); };
  host_.stopAfterChecks = 0;

  std::thread window([&] { list_.Dispatch([](ServiceEntry& e) { e.service->onEvent(0x10001); }); });
  entered.get_future().wait();
  uint32_t result = 1;
  std::promise<void> doneSignal;
  std::future<void> done = doneSignal.get_future();
  std::thread supervisor([&] {
    result = supervisor_.Supervise();
    doneSignal.set_value();
  });
  // Join and Release still run alongside the event, as before; the unload
  // must wait for it.
  aReleased.get_future().wait();
  EXPECT_EQ(done.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  release.set_value();
  window.join();
  supervisor.join();

  EXPECT_EQ(result, kSupervisorDone);
  EXPECT_THAT(timeline, ElementsAre("a event", "b event", "unload a", "unload b"));
  EXPECT_THAT(journal_, ElementsAre("a Init", "b Init", "a Join 0", "a Release", "unload a", "b Join 0",
                                    "b Release", "unload b"));
}

}  // namespace
}  // namespace zu
