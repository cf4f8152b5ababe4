// The agent's record of its loaded plug-ins, in load order.
//
// The supervisor thread appends while the main thread may already be
// dispatching events, so every access goes through the list's lock; an entry,
// once appended, stays at its address for the life of the list (entries are
// never removed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "plugins/common/platform_service.h"

namespace zu {

struct ServiceEntry {
  // Owned by the plug-in library, never deleted by the agent.
  IPlatformService* service = nullptr;
  // The library's module handle (an HMODULE in the Windows build), owned by
  // the entry and unloaded by the supervisor's teardown.
  void* module = nullptr;
  // Consecutive failed heartbeats; touched by the supervisor only.
  int32_t misses = 0;
};

class ServiceList {
 public:
  // Appends and returns the entry, which stays valid for the list's life.
  ServiceEntry& Append(std::unique_ptr<ServiceEntry> entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
    return *entries_.back();
  }

  size_t size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
  }
  bool empty() const { return size() == 0; }

  // Calls f(entry) for every entry in load order. The lock is held only to
  // fetch each entry, never while f runs: a slow service neither blocks the
  // supervisor's appends nor can it deadlock against them. Entries appended
  // meanwhile are visited too.
  template <class F>
  void ForEach(F&& f) const {
    for (size_t i = 0;; ++i) {
      ServiceEntry* entry;
      {
        std::lock_guard lock(mutex_);
        if (i >= entries_.size()) return;
        entry = entries_[i].get();
      }
      f(*entry);
    }
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<ServiceEntry>> entries_;
};

}  // namespace zu
