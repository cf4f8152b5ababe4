// The agent's record of its loaded plug-ins, in load order.
//
// The supervisor thread appends while the main thread may already be
// dispatching events, so every access goes through the list's lock; an entry,
// once appended, stays at its address for the life of the list (entries are
// never removed).
//
// An entry whose library is about to be unloaded is withdrawn first: its
// service pointer is cleared once no dispatch is in flight, and every later
// visit skips it, so no event reaches code that is no longer mapped.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "plugins/common/platform_service.h"

namespace zu {

struct ServiceEntry {
  // Owned by the plug-in library, never deleted by the agent. Cleared only
  // by ServiceList::Withdraw; null from then on.
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

  // Every entry appended, withdrawn ones included.
  size_t size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
  }
  bool empty() const { return size() == 0; }

  // Calls f(entry) for every entry not withdrawn, in load order. The lock is
  // held only to fetch each entry, never while f runs: a slow service neither
  // blocks the supervisor's appends nor can it deadlock against them. Entries
  // appended meanwhile are visited too. Only the supervisor's own thread (the
  // one that withdraws) may use this directly; others go through Dispatch.
  template <class F>
  void ForEach(F&& f) const {
    for (size_t i = 0;; ++i) {
      ServiceEntry* entry;
      {
        std::lock_guard lock(mutex_);
        for (; i < entries_.size() && !entries_[i]->service; ++i) {
        }
        if (i >= entries_.size()) return;
        entry = entries_[i].get();
      }
      f(*entry);
    }
  }

  // ForEach for a thread other than the supervisor's (the window's): counted
  // as in flight for its whole length, so no entry is withdrawn under it.
  // No lock is held while f runs, so a service may take as long as it likes
  // and a nested dispatch (a message sent from inside onEvent) is fine.
  template <class F>
  void Dispatch(F&& f) const {
    InFlight inFlight(*this);
    ForEach(f);
  }

  // Clears entry.service once no dispatch is in flight and returns; every
  // dispatch begun afterwards skips the entry, so its library may then be
  // unloaded. Blocks while a dispatch runs: never call it from inside one.
  void Withdraw(ServiceEntry& entry) {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return dispatching_ == 0; });
    entry.service = nullptr;
  }

 private:
  class InFlight {
   public:
    explicit InFlight(const ServiceList& list) : list_(list) {
      std::lock_guard lock(list_.mutex_);
      ++list_.dispatching_;
    }
    ~InFlight() {
      std::lock_guard lock(list_.mutex_);
      if (--list_.dispatching_ == 0) list_.idle_.notify_all();
    }
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;

   private:
    const ServiceList& list_;
  };

  mutable std::mutex mutex_;
  mutable std::condition_variable idle_;
  mutable size_t dispatching_ = 0;
  std::vector<std::unique_ptr<ServiceEntry>> entries_;
};

}  // namespace zu
