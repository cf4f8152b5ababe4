// ServiceList while one thread appends and another dispatches.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "agent/service_list.h"

namespace zu {
namespace {

std::unique_ptr<ServiceEntry> EntryWithTag(uintptr_t tag) {
  auto e = std::make_unique<ServiceEntry>();
  e->module = reinterpret_cast<void*>(tag);
  return e;
}

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

}  // namespace
}  // namespace zu
