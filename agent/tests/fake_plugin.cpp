// Test plug-in: a service that records every call it receives.
//
// One signed build is copied under any name (meetlamp.dll, a.dll...); the
// service is named after the file's stem. Every call, the library's attach
// and detach included, is appended as "<stem> <what>" to trace.txt beside
// the file, so a test can see what ran, in which order, even in another
// process. An optional "<stem>.behaviour" file beside it holds words that
// change the behaviour:
//   null-factory   GetServiceControlBlock answers null
//   stay-unknown   Init leaves the state at UNKNOWN (the service idles)
//   quiet          onEvent records nothing (for timing runs)
//   hold-event     onEvent sets the event "<stem>-held-<process id>", then
//                  waits (30 s at most) for "<stem>-release-<process id>" and
//                  records "event <code> done": an event kept in flight
#include <windows.h>

#include <string>

#include "base/text.h"
#include "base/win/module_path.h"
#include "base/win/unique_handle.h"
#include "base/win/utf.h"
#include "plugins/common/platform_service_base.h"
#include "plugins/common/service_export.h"

// Changed by the tamper step of the build's bad variants; must appear once
// in the file (not const, so no copy lands in the debug information).
extern "C" {
__declspec(dllexport) char kFakePluginMark[] = "zu-fake-plugin-tamper-mark";
}

namespace {

std::wstring g_directory;
std::string g_stem;

void Trace(const std::string& what) {
  const std::string line = g_stem + " " + what + "\r\n";
  HANDLE file = ::CreateFileW((g_directory + L"trace.txt").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::string ReadBehaviour() {
  HANDLE file = ::CreateFileW((g_directory + zu::win::FromUtf8(g_stem) + L".behaviour").c_str(), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  char buffer[256] = {};
  DWORD read = 0;
  ::ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
  ::CloseHandle(file);
  return std::string(buffer, read);
}

struct Behaviour {
  bool nullFactory = false;
  bool stayUnknown = false;
  bool quiet = false;
  bool holdEvent = false;
};

// The named event "<stem>-<what>-<process id>", or null when the test made none.
zu::win::UniqueHandle OpenHoldEvent(const char* what) {
  const std::wstring name =
      zu::win::FromUtf8(g_stem + "-" + what + "-" + zu::Dec(static_cast<uint64_t>(::GetCurrentProcessId())));
  return zu::win::UniqueHandle(::OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str()));
}

class FakeService final : public zu::PlatformServiceBase {
 public:
  FakeService(const std::string& name, const Behaviour& behaviour)
      : PlatformServiceBase(name), behaviour_(behaviour) {}

  bool Init(zu::ILogger* hostLogger) override {
    PlatformServiceBase::Init(hostLogger);
    Trace("Init");
    if (!behaviour_.stayUnknown) Transition(zu::INIT, name + "::Init");
    return true;
  }
  bool Run() override {
    Trace("Run");
    Transition(zu::IN_SERVICE, name + "::Run");
    return true;
  }
  bool Join(int32_t reserved) override {
    Trace("Join " + zu::Dec(reserved));
    Transition(zu::OUT_OF_SERVICE, name + "::Join");
    return true;
  }
  void Release() override {
    Trace("Release");
    Transition(zu::UNKNOWN, name + "::Release");
  }
  bool Heartbeat() override {
    Trace("Heartbeat");
    return true;
  }
  bool Reset() override {
    Trace("Reset");
    Transition(zu::INIT, name + "::Reset");
    return true;
  }
  void onEvent(uint32_t code) override {
    if (!behaviour_.quiet) Trace("event " + zu::Hex(code));
    if (behaviour_.holdEvent) {
      const zu::win::UniqueHandle held = OpenHoldEvent("held");
      const zu::win::UniqueHandle release = OpenHoldEvent("release");
      if (held && release) {
        ::SetEvent(held.get());
        ::WaitForSingleObject(release.get(), 30000);
      }
      Trace("event " + zu::Hex(code) + " done");
    }
  }
  void onStateChange(int32_t previous) override { LogStateChange(previous); }

 private:
  Behaviour behaviour_;
};

zu::ServiceInstance<FakeService> g_service;

}  // namespace

#ifndef ZU_FAKE_PLUGIN_NO_FACTORY
ZU_EXPORT_SERVICE_CONTROL_BLOCK(g_service.get())
#endif

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    const std::wstring path = zu::win::ModuleFileName(instance);
    const size_t slash = path.find_last_of(L'\\');
    g_directory = path.substr(0, slash + 1);
    std::wstring stem = path.substr(slash + 1);
    if (const size_t dot = stem.find_last_of(L'.'); dot != std::wstring::npos) stem.resize(dot);
    g_stem = zu::win::ToUtf8(stem);
    Trace("attach");

    const std::string words = ReadBehaviour();
    Behaviour behaviour;
    behaviour.nullFactory = words.find("null-factory") != std::string::npos;
    behaviour.stayUnknown = words.find("stay-unknown") != std::string::npos;
    behaviour.quiet = words.find("quiet") != std::string::npos;
    behaviour.holdEvent = words.find("hold-event") != std::string::npos;
    if (!behaviour.nullFactory) g_service.Create(g_stem, behaviour);
  } else if (reason == DLL_PROCESS_DETACH) {
    Trace("detach");
    g_service.Destroy();
  }
  return TRUE;
}
