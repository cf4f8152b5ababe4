// Shared by the meetlamp test programs: the LED device, the user's mode
// value, and a stand-in for the agent's supervisor thread.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "testing/recording_logger.h"
#include "testing/win/registry.h"
#include "tools/simlaptop/osd_record.h"
#include "tools/simlaptop/sim_acpi.h"

namespace meetlamp::testing {

inline constexpr uint32_t kLed = 0x00040019;
inline constexpr uint32_t kLedPresent = 0x10000;
inline constexpr uint32_t kFn1 = 0x61;
inline constexpr uint32_t kFn2 = 0x62;
inline constexpr uint32_t kLock = 0x20003;
inline constexpr uint32_t kUnlock = 0x20004;
inline constexpr uint32_t kEnd = 0x20007;
inline constexpr uint32_t kDisplayChange = 0x20008;
inline constexpr int32_t kStatusLightKind = 3;
inline constexpr const wchar_t* kParentKey = L"SOFTWARE\\Orvale\\TarnService";
inline constexpr const wchar_t* kLedKey = L"SOFTWARE\\Orvale\\TarnService\\ConfigLED";

using Shown = std::vector<std::pair<int32_t, int32_t>>;

// The values the LED device accepted, in order.
inline std::vector<uint32_t> LedValues() {
  std::vector<uint32_t> values;
  for (const auto& [device, value] : zu::simacpi::DevsHistory())
    if (device == kLed) values.push_back(value);
  return values;
}

inline std::optional<DWORD> StoredMode() {
  DWORD mode = 0;
  if (!zu::testing::GetDword(HKEY_CURRENT_USER, kLedKey, L"mode", &mode)) return std::nullopt;
  return mode;
}

inline bool KeyExists(const wchar_t* path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

// The messages logged at one level, in order.
inline std::vector<std::string> MessagesAt(const zu::testing::RecordingLogger& log, int level) {
  std::vector<std::string> out;
  for (const auto& call : log.calls())
    if (call.op == zu::testing::LogCall::Op::kLog && call.level == level) out.push_back(call.message);
  return out;
}

inline bool WaitForPopupStarts(const std::filesystem::path& record, size_t count) {
  for (int i = 0; i < 250; ++i) {
    if (zu::simosd::CountOf(zu::simosd::ReadRecord(record), "start") >= count) return true;
    ::Sleep(20);
  }
  return false;
}

// Runs the service operations that the agent calls from its supervisor
// thread (Init, Run, Heartbeat, Join, Reset, Release) on one thread of
// their own, so that the service's apartment and the window thread's
// onEvent are on different threads, as in the agent.
class SupervisorThread {
 public:
  SupervisorThread() : thread_([this] { Loop(); }) {}
  ~SupervisorThread() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    ready_.notify_one();
    thread_.join();
  }
  SupervisorThread(const SupervisorThread&) = delete;
  SupervisorThread& operator=(const SupervisorThread&) = delete;

  template <class F>
  auto Call(F f) -> std::invoke_result_t<F> {
    auto task = std::make_shared<std::packaged_task<std::invoke_result_t<F>()>>(std::move(f));
    auto result = task->get_future();
    {
      std::lock_guard lock(mutex_);
      tasks_.emplace_back([task] { (*task)(); });
    }
    ready_.notify_one();
    return result.get();
  }

 private:
  void Loop() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return done_ || !tasks_.empty(); });
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;
  bool done_ = false;
  std::thread thread_;
};

// The status the simulated device answers for the LED in this run: the
// runs on machines without the LED pass --led-status=N.
inline uint32_t g_ledStatus = kLedPresent;

// main of the meetlamp test programs that take --led-status.
inline int RunTests(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--led-status=", 0) == 0) g_ledStatus = std::stoul(arg.substr(13), nullptr, 0);
  }
  return RUN_ALL_TESTS();
}

}  // namespace meetlamp::testing
