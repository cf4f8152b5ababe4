// ServiceList while one thread appends or withdraws and another dispatches.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent/service_list.h"

namespace zu {
namespace {

using ::testing::ElementsAre;

// Stands in for a loaded plug-in; only its identity matters here.
class NullService final : public IPlatformService {
 public:
  std::string GetName() override { return "null"; }
  int32_t GetType() override { return 0; }
  int32_t GetState() override { return UNKNOWN; }
  bool Init(ILogger*) override { return true; }
  bool Run() override { return true; }
  bool Join(int32_t) override { return true; }
  void Release() override {}
  bool Heartbeat() override { return true; }
  bool Reset() override { return true; }
  void onEvent(uint32_t) override {}
  void onStateChange(int32_t) override {}
};

NullService g_nullService;

std::unique_ptr<ServiceEntry> EntryWithTag(uintptr_t tag) {
  auto e = std::make_unique<ServiceEntry>();
  e->service = &g_nullService;
  e->module = reinterpret_cast<void*>(tag);
  return e;
}

uintptr_t Tag(const ServiceEntry& e) { return reinterpret_cast<uintptr_t>(e.module); }

// Lines written from several threads, in the order they happened.
class Timeline {
 public:
  void Add(const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

TEST(ServiceList, AppendedEntriesKeepTheirAddressAndOrder) {
  ServiceList list;
  ServiceEntry& first = list.Append(EntryWithTag(1));
  for (uintptr_t i = 2; i <= 100; ++i) list.Append(EntryWithTag(i));
  EXPECT_EQ(list.size(), 100u);
  EXPECT_EQ(first.module, reinterpret_cast<void*>(1));
  uintptr_t expected = 1;
  list.ForEach([&](ServiceEntry& e) { EXPECT_EQ(e.module, reinterpret_cast<void*>(expected++)); });
  EXPECT_EQ(expected, 101u);
}

TEST(ServiceList, DispatchSeesAnOrderedPrefixWhileTheSupervisorAppends) {
  ServiceList list;
  constexpr uintptr_t kCount = 2000;
  std::atomic<bool> done{false};
  std::thread appender([&] {
    for (uintptr_t i = 1; i <= kCount; ++i) list.Append(EntryWithTag(i));
    done = true;
  });
  size_t dispatches = 0;
  bool ordered = true;
  while (!done || dispatches == 0) {
    uintptr_t expected = 1;
    list.ForEach([&](ServiceEntry& e) {
      if (e.module != reinterpret_cast<void*>(expected)) ordered = false;
      ++expected;
    });
    ++dispatches;
  }
  appender.join();
  EXPECT_TRUE(ordered);
  EXPECT_EQ(list.size(), kCount);
}

TEST(ServiceList, ACallbackMayRunWhileAnotherThreadAppends) {
  // The lock is not held while a service's onEvent runs: an append from
  // another thread completes meanwhile (no deadlock), and the new entry is
  // still visited by the same dispatch.
  ServiceList list;
  list.Append(EntryWithTag(1));
  std::vector<void*> seen;
  list.ForEach([&](ServiceEntry& e) {
    seen.push_back(e.module);
    if (seen.size() == 1) std::thread([&] { list.Append(EntryWithTag(2)); }).join();
  });
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], reinterpret_cast<void*>(2));
}

TEST(ServiceList, WithdrawnEntriesAreSkippedByEveryVisitButStayInTheList) {
  ServiceList list;
  std::vector<ServiceEntry*> entries;
  for (uintptr_t i = 1; i <= 5; ++i) entries.push_back(&list.Append(EntryWithTag(i)));
  list.Withdraw(*entries[0]);
  list.Withdraw(*entries[2]);
  list.Withdraw(*entries[4]);

  std::vector<uintptr_t> visited, dispatched;
  list.ForEach([&](ServiceEntry& e) { visited.push_back(Tag(e)); });
  list.Dispatch([&](ServiceEntry& e) { dispatched.push_back(Tag(e)); });
  EXPECT_THAT(visited, ElementsAre(2u, 4u)) << "first, middle and last skipped";
  EXPECT_THAT(dispatched, ElementsAre(2u, 4u));
  EXPECT_EQ(list.size(), 5u);
  EXPECT_EQ(entries[2]->service, nullptr);
  EXPECT_EQ(Tag(*entries[2]), 3u) << "the module is left for the caller to unload";

  list.Withdraw(*entries[1]);
  list.Withdraw(*entries[3]);
  int visits = 0;
  list.ForEach([&](ServiceEntry&) { ++visits; });
  list.Dispatch([&](ServiceEntry&) { ++visits; });
  EXPECT_EQ(visits, 0);
  EXPECT_FALSE(list.empty());
}

TEST(ServiceList, AWithdrawalWaitsForTheDispatchInFlightWhichMayNestAndLaterDispatchesSkipTheEntry) {
  ServiceList list;
  ServiceEntry& first = list.Append(EntryWithTag(1));
  list.Append(EntryWithTag(2));
  Timeline timeline;
  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();

  std::thread dispatcher([&] {
    list.Dispatch([&](ServiceEntry& e) {
      if (Tag(e) == 1) {
        entered.set_value();
        released.wait();
        // A message sent from inside onEvent dispatches again on the same
        // thread while the withdrawal waits: it must neither deadlock nor
        // skip anything yet.
        list.Dispatch([&](ServiceEntry& n) { timeline.Add("nested " + std::to_string(Tag(n))); });
      }
      timeline.Add("event " + std::to_string(Tag(e)));
    });
  });
  entered.get_future().wait();

  std::promise<void> withdrawnPromise;
  std::future<void> withdrawn = withdrawnPromise.get_future();
  std::thread withdrawer([&] {
    list.Withdraw(first);
    timeline.Add("withdrawn");
    withdrawnPromise.set_value();
  });
  // The withdrawal cannot finish before the dispatch is let go: a bounded
  // look only gives a premature one the chance to show.
  EXPECT_EQ(withdrawn.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  EXPECT_NE(first.service, nullptr);
  release.set_value();
  dispatcher.join();
  withdrawer.join();

  EXPECT_THAT(timeline.lines(), ElementsAre("nested 1", "nested 2", "event 1", "event 2", "withdrawn"));
  std::vector<uintptr_t> after;
  list.Dispatch([&](ServiceEntry& e) { after.push_back(Tag(e)); });
  EXPECT_THAT(after, ElementsAre(2u));
}

}  // namespace
}  // namespace zu
