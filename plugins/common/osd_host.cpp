#include "plugins/common/osd_host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <system_error>

namespace zu {
namespace {

// How long End waits for the UI thread to leave the pop-up's loop.
constexpr auto kEndTimeout = std::chrono::seconds(5);
// Between two tries of OSDEnd: the end may come before the thread's dialog
// exists, and then the library has nothing to end yet.
constexpr DWORD kEndRetryMs = 20;

struct UiThreadStart {
  HMODULE library;  // glimmer.dll, or null
  HMODULE self;     // the module holding this code, kept loaded while the thread runs
};

DWORD WINAPI UiThread(void* parameter) {
  const UiThreadStart start = *static_cast<UiThreadStart*>(parameter);
  delete static_cast<UiThreadStart*>(parameter);
  DWORD result = static_cast<DWORD>(-1);
  if (start.library) {
    if (auto osdStart = reinterpret_cast<glimmer::OSDStartFn>(
            reinterpret_cast<void*>(::GetProcAddress(start.library, glimmer::kOSDStartExport)))) {
      // Modal: returns when the pop-up is ended.
      result = static_cast<DWORD>(osdStart(0));
    }
  }
  if (start.self) ::FreeLibraryAndExitThread(start.self, result);
  return result;
}

void WriteLine(const char* text) {
  std::fputs(text, stdout);
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

bool Finished(HANDLE thread) { return ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }

}  // namespace

OsdHost::~OsdHost() {
  // A thread that has finished needs no end (at process exit every other
  // thread is gone already). When the plug-in detaches because its UI
  // thread let go of it, this runs on that very thread, which has left the
  // pop-up: nothing to end or wait for.
  std::lock_guard<std::mutex> lock(lifecycle_);
  if (thread_ && !Finished(thread_.get()) && ::GetThreadId(thread_.get()) != ::GetCurrentThreadId()) EndLocked();
  thread_.reset();
}

void OsdHost::Start() {
  std::lock_guard<std::mutex> lock(lifecycle_);
  StartLocked();
}

bool OsdHost::End() {
  std::lock_guard<std::mutex> lock(lifecycle_);
  return EndLocked();
}

void OsdHost::Restart() {
  std::lock_guard<std::mutex> lock(lifecycle_);
  EndLocked();
  StartLocked();
}

void OsdHost::StartLocked() {
  EndLocked();
  HMODULE library = ::LoadLibraryW(glimmer::kLibraryFileName);
  if (library) library_.store(library);

  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&UiThread), &self);
  auto* start = new UiThreadStart{library, self};
  HANDLE thread = ::CreateThread(nullptr, 0, &UiThread, start, 0, nullptr);
  if (!thread) {
    delete start;
    if (self) ::FreeLibrary(self);
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                            "OsdHost: cannot create the pop-up thread");
  }
  thread_.reset(thread);
  WriteLine(" StartOSD.");
}

bool OsdHost::EndLocked() {
  if (!thread_) return true;
  const auto deadline = std::chrono::steady_clock::now() + kEndTimeout;
  HMODULE library = library_.load();
  if (library) {
    auto osdEnd = reinterpret_cast<glimmer::OSDEndFn>(
        reinterpret_cast<void*>(::GetProcAddress(library, glimmer::kOSDEndExport)));
    bool announced = false;
    // Only while our thread still runs the pop-up: once it has left, the
    // pop-up (if any) belongs to another host.
    while (osdEnd && !Finished(thread_.get()) && std::chrono::steady_clock::now() < deadline) {
      osdEnd();
      if (!announced) WriteLine(" EndOSD.");
      announced = true;
      ::WaitForSingleObject(thread_.get(), kEndRetryMs);
    }
    if (!announced) WriteLine(" EndOSD.");
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  const bool finished =
      ::WaitForSingleObject(thread_.get(), static_cast<DWORD>(std::max<int64_t>(left.count(), 0))) == WAIT_OBJECT_0;
  thread_.reset();
  return finished;
}

OSD_RESULT OsdHost::Show(int32_t kind, int32_t value) {
  OSDData_t request{};
  request.kind = kind;
  request.value = value;
  return Show(request);
}

OSD_RESULT OsdHost::Show(const OSDData_t& request) {
  HMODULE library = library_.load();
  if (!library) return OSD_FAILED;
  auto display = reinterpret_cast<glimmer::OSDDisplayFn>(
      reinterpret_cast<void*>(::GetProcAddress(library, glimmer::kOSDDisplayExport)));
  if (!display) return OSD_FAILED;
  return static_cast<OSD_RESULT>(display(&request));
}

bool OsdHost::IsRunning() const {
  std::lock_guard<std::mutex> lock(lifecycle_);
  return thread_ && !Finished(thread_.get());
}

}  // namespace zu
