// simcall.exe: calls and audio devices on the simulated audio stack, for
// scripts and tests (tools/simlaptop/simcall runs it in a prefix). A call is
// a capture session owned by a process of its own (a "holder", started by
// `start` and obeying `active`, `inactive` and `end`), so that it expires
// when that process ends, as a real call program's session does.
//
// Exit codes: 0 done, 1 failed, 2 usage, 3 no such call.
#include <windows.h>
#include <mmdeviceapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <exception>
#include <random>
#include <string>
#include <vector>

#include "base/win/unique_handle.h"
#include "base/win/utf.h"
#include "tools/simlaptop/simaudio/sim_audio_table.h"

namespace {

namespace sa = zu::simaudio;
using zu::win::UniqueHandle;

constexpr int kDone = 0, kFailed = 1, kUsage = 2, kNoCall = 3;

enum Command : uint32_t { kNone = 0, kGoActive = 1, kGoInactive = 2, kEnd = 3 };

// What a holder shares with the simcall runs that control it.
struct HolderBlock {
  uint32_t processId;
  uint32_t ready;
  sa::Key session;
  uint32_t command;
  uint32_t commandSeq;
  uint32_t doneSeq;
  int32_t result;
  char error[160];
};

DWORD g_waitMs = 10000;

void Usage() {
  std::fputs(
      "usage: simcall [--wait MS] COMMAND [ARGS]\n"
      "  start NAME [--endpoint mic|headset|ID] [--inactive] [--system-sounds]\n"
      "                          a call: a capture session in a process of its own, active\n"
      "                          unless --inactive; returns once the session is reported\n"
      "  active NAME | inactive NAME   the call's session goes active or inactive\n"
      "  end NAME                the call ends: its session goes inactive, expires, its process exits\n"
      "  kill NAME               the call's process is ended abruptly (its session expires when\n"
      "                          the stand-in notices)\n"
      "  add-headset | remove-headset   a headset's microphone and earphone, plugged in or removed\n"
      "  endpoint-state mic|headset|speakers|ID active|disabled|notpresent|unplugged\n"
      "  churn [--seconds S] [--sessions N] [--seed X] [--die]\n"
      "                          sessions of this process starting, going inactive and expiring at\n"
      "                          random; at the end all expire, or with --die the process ends abruptly\n"
      "  list                    endpoints and live sessions\n"
      "  sync                    waits until every listener has handled every change\n"
      "  check                   prints the violations recorded; exit code 1 when there are any\n"
      "  reset                   only the built-in microphone and speakers, no session\n",
      stderr);
}

std::wstring HolderName(const std::wstring& name) { return L"Global\\ZuSimCall.Holder." + name; }
std::wstring HolderEventName(const std::wstring& name) { return L"Global\\ZuSimCall.Holder." + name + L".Command"; }

std::string Narrow(const std::wstring& text) { return zu::win::ToUtf8(text); }

std::wstring ResolveEndpoint(const std::wstring& name) {
  if (name == L"mic") return sa::EndpointId(sa::kCapture, sa::kBuiltInNumber);
  if (name == L"headset") return sa::EndpointId(sa::kCapture, sa::kHeadsetNumber);
  if (name == L"speakers") return sa::EndpointId(sa::kRender, sa::kBuiltInNumber);
  return name;
}

const char* StateName(uint32_t state) {
  switch (state) {
    case sa::kInactive: return "inactive";
    case sa::kActive: return "active";
    case sa::kExpired: return "expired";
    default: return "?";
  }
}

const char* DeviceStateName(uint32_t state) {
  switch (state) {
    case DEVICE_STATE_ACTIVE: return "active";
    case DEVICE_STATE_DISABLED: return "disabled";
    case DEVICE_STATE_NOTPRESENT: return "notpresent";
    case DEVICE_STATE_UNPLUGGED: return "unplugged";
    default: return "?";
  }
}

std::unique_ptr<sa::Table> OpenTable() {
  std::string error;
  std::unique_ptr<sa::Table> table = sa::Table::Open(&error);
  if (!table) std::fprintf(stderr, "simcall: no audio table: %s\n", error.c_str());
  return table;
}

// Lets every listener handle what was just changed, so that the caller
// finds its effect done when this program returns.
void Settle(sa::Table& table) {
  if (!table.WaitHandled(table.Head(), g_waitMs))
    std::fprintf(stderr, "simcall: a listener did not handle the change within %lu ms\n", g_waitMs);
}

// ---- the holder process ----

int Hold(const std::wstring& name, const std::wstring& endpointId, bool inactive, bool systemSounds) {
  UniqueHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(HolderBlock),
                                            HolderName(name).c_str()));
  if (!mapping || ::GetLastError() == ERROR_ALREADY_EXISTS) return kFailed;
  auto* block = static_cast<HolderBlock*>(::MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(HolderBlock)));
  UniqueHandle command(::CreateEventW(nullptr, FALSE, FALSE, HolderEventName(name).c_str()));
  if (!block || !command) return kFailed;
  auto fail = [&](const std::string& why) {
    std::snprintf(block->error, sizeof block->error, "%s", why.c_str());
    block->ready = 2;
    // The block goes with this process: stay until `start` has read it.
    ::Sleep(2000);
    return kFailed;
  };

  std::unique_ptr<sa::Table> table = OpenTable();
  if (!table) return fail("no audio table");
  const std::optional<sa::Endpoint> endpoint = table->FindEndpoint(endpointId);
  if (!endpoint) return fail("no endpoint " + Narrow(endpointId));
  if (endpoint->flow != sa::kCapture) return fail("not a capture endpoint: " + Narrow(endpointId));
  std::string error;
  const sa::Key session = table->CreateSession(endpoint->key, sa::ProcessIdentity::Current(), systemSounds, &error);
  if (!session) return fail(error);
  // A call program starts its stream a moment after opening it; by then the
  // listeners have registered on the new session.
  Settle(*table);
  if (!inactive && !table->SetSessionState(session, sa::kActive, &error)) return fail(error);
  Settle(*table);
  block->processId = ::GetCurrentProcessId();
  block->session = session;
  block->ready = 1;

  for (;;) {
    ::WaitForSingleObject(command.get(), INFINITE);
    const uint32_t seq = block->commandSeq;
    if (seq == block->doneSeq) continue;
    const uint32_t what = block->command;
    const uint32_t state = what == kGoActive ? sa::kActive : what == kGoInactive ? sa::kInactive : sa::kExpired;
    error.clear();
    const bool done = table->SetSessionState(session, state, &error);
    Settle(*table);
    std::snprintf(block->error, sizeof block->error, "%s", error.c_str());
    block->result = done ? kDone : kFailed;
    block->doneSeq = seq;
    if (what == kEnd) return kDone;
  }
}

// ---- the controlling side ----

struct HolderView {
  UniqueHandle mapping;
  HolderBlock* block = nullptr;
  ~HolderView() {
    if (block) ::UnmapViewOfFile(block);
  }
};

bool OpenHolder(const std::wstring& name, HolderView* view) {
  view->mapping.reset(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, HolderName(name).c_str()));
  if (!view->mapping) return false;
  view->block = static_cast<HolderBlock*>(::MapViewOfFile(view->mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(HolderBlock)));
  return view->block != nullptr;
}

int Start(const std::wstring& name, const std::wstring& endpointId, bool inactive, bool systemSounds) {
  HolderView existing;
  if (OpenHolder(name, &existing)) {
    std::fprintf(stderr, "simcall: a call %s is running already\n", Narrow(name).c_str());
    return kFailed;
  }
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" hold \"" + name + L"\" --endpoint \"" + endpointId + L"\"";
  if (inactive) line += L" --inactive";
  if (systemSounds) line += L" --system-sounds";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW | DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &info)) {
    std::fprintf(stderr, "simcall: CreateProcess failed, error %lu\n", ::GetLastError());
    return kFailed;
  }
  UniqueHandle process(info.hProcess);
  ::CloseHandle(info.hThread);

  const ULONGLONG deadline = ::GetTickCount64() + g_waitMs;
  HolderView holder;
  while (::GetTickCount64() < deadline) {
    if (holder.block || OpenHolder(name, &holder)) {
      if (holder.block->ready == 1) {
        std::printf("call %s: process %lu, session %u.%u on %s, %s\n", Narrow(name).c_str(),
                    static_cast<unsigned long>(holder.block->processId), holder.block->session.slot,
                    holder.block->session.generation, Narrow(endpointId).c_str(), inactive ? "inactive" : "active");
        return kDone;
      }
      if (holder.block->ready == 2) {
        std::fprintf(stderr, "simcall: call %s not started: %s\n", Narrow(name).c_str(), holder.block->error);
        return kFailed;
      }
    }
    if (::WaitForSingleObject(process.get(), 10) == WAIT_OBJECT_0 && !holder.block) {
      std::fprintf(stderr, "simcall: the call's process ended before its session was open\n");
      return kFailed;
    }
  }
  std::fprintf(stderr, "simcall: call %s not started within %lu ms\n", Narrow(name).c_str(), g_waitMs);
  return kFailed;
}

int Tell(const std::wstring& name, Command what) {
  HolderView holder;
  if (!OpenHolder(name, &holder) || holder.block->ready != 1) {
    std::fprintf(stderr, "simcall: no call %s\n", Narrow(name).c_str());
    return kNoCall;
  }
  UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, holder.block->processId));
  UniqueHandle command(::OpenEventW(EVENT_MODIFY_STATE, FALSE, HolderEventName(name).c_str()));
  if (!command) return kNoCall;
  const uint32_t seq = holder.block->commandSeq + 1;
  holder.block->command = what;
  holder.block->commandSeq = seq;
  ::SetEvent(command.get());
  const ULONGLONG deadline = ::GetTickCount64() + g_waitMs;
  while (holder.block->doneSeq != seq) {
    if (::GetTickCount64() >= deadline || (process && ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0 &&
                                           holder.block->doneSeq != seq)) {
      std::fprintf(stderr, "simcall: call %s did not answer\n", Narrow(name).c_str());
      return kFailed;
    }
    ::Sleep(5);
  }
  if (holder.block->result != kDone) {
    std::fprintf(stderr, "simcall: call %s: %s\n", Narrow(name).c_str(), holder.block->error);
    return kFailed;
  }
  if (what == kEnd && process) ::WaitForSingleObject(process.get(), g_waitMs);
  const char* verb = what == kGoActive ? "active" : what == kGoInactive ? "inactive" : "ended";
  std::printf("call %s: %s\n", Narrow(name).c_str(), verb);
  return kDone;
}

int Kill(const std::wstring& name) {
  HolderView holder;
  if (!OpenHolder(name, &holder) || holder.block->ready != 1) {
    std::fprintf(stderr, "simcall: no call %s\n", Narrow(name).c_str());
    return kNoCall;
  }
  const DWORD pid = holder.block->processId;
  const sa::Key session = holder.block->session;
  UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  if (!process || !::TerminateProcess(process.get(), 9)) {
    std::fprintf(stderr, "simcall: process %lu of call %s could not be ended, error %lu\n", pid,
                 Narrow(name).c_str(), ::GetLastError());
    return kFailed;
  }
  ::WaitForSingleObject(process.get(), g_waitMs);
  std::unique_ptr<sa::Table> table = OpenTable();
  if (!table) return kFailed;
  // The stand-in's listeners notice the end and expire the session.
  const ULONGLONG deadline = ::GetTickCount64() + g_waitMs;
  while (table->SessionState(session) != sa::kExpired && ::GetTickCount64() < deadline) ::Sleep(10);
  const bool expired = table->SessionState(session) == sa::kExpired;
  if (expired) Settle(*table);
  std::printf("call %s: process %lu ended abruptly; its session %s\n", Narrow(name).c_str(), pid,
              expired ? "expired" : "has not expired yet");
  return kDone;
}

// ---- devices and the table ----

int PlugHeadset(bool add) {
  std::unique_ptr<sa::Table> table = OpenTable();
  if (!table) return kFailed;
  const std::wstring microphone = sa::EndpointId(sa::kCapture, sa::kHeadsetNumber);
  const std::wstring earphone = sa::EndpointId(sa::kRender, sa::kHeadsetNumber);
  std::string error;
  bool done = add ? table->AddEndpoint(microphone, L"Headset Microphone (Simulated Audio)", sa::kCapture, &error) &&
                        table->AddEndpoint(earphone, L"Headset Earphone (Simulated Audio)", sa::kRender, &error)
                  : table->RemoveEndpoint(microphone, &error) && table->RemoveEndpoint(earphone, &error);
  if (!done) {
    std::fprintf(stderr, "simcall: %s\n", error.c_str());
    return kFailed;
  }
  Settle(*table);
  std::printf("headset %s: %s\n", add ? "plugged in" : "removed", Narrow(microphone).c_str());
  return kDone;
}

int EndpointState(const std::wstring& which, const std::wstring& stateName) {
  const uint32_t state = stateName == L"active"       ? DEVICE_STATE_ACTIVE
                         : stateName == L"disabled"   ? DEVICE_STATE_DISABLED
                         : stateName == L"notpresent" ? DEVICE_STATE_NOTPRESENT
                         : stateName == L"unplugged"  ? DEVICE_STATE_UNPLUGGED
                                                      : 0;
  if (!state) {
    Usage();
    return kUsage;
  }
  std::unique_ptr<sa::Table> table = OpenTable();
  if (!table) return kFailed;
  std::string error;
  if (!table->SetEndpointState(ResolveEndpoint(which), state, &error)) {
    std::fprintf(stderr, "simcall: %s\n", error.c_str());
    return kFailed;
  }
  Settle(*table);
  std::printf("%s: %s\n", Narrow(ResolveEndpoint(which)).c_str(), DeviceStateName(state));
  return kDone;
}

int List() {
  std::unique_ptr<sa::Table> table = OpenTable();
  if (!table) return kFailed;
  table->ReapDeadProcesses();
  for (const sa::Endpoint& e : table->Endpoints())
    std::printf("endpoint %s %s %s \"%s\"\n", Narrow(e.id).c_str(), e.flow == sa::kCapture ? "capture" : "render",
                DeviceStateName(e.state), Narrow(e.name).c_str());
  for (const sa::Session& s : table->AllSessions()) {
    const std::optional<sa::Endpoint> e = table->GetEndpoint(s.endpoint);
    std::printf("session %u.%u process %u %s%s on %s\n", s.key.slot, s.key.generation, s.owner.id, StateName(s.state),
                s.systemSounds ? " system-sounds" : "", e ? Narrow(e->id).c_str() : "?");
  }
  std::printf("violations %u\n", table->ViolationCount());
  return kDone;
}

int Check() {
  std::unique_ptr<sa::Table> table = OpenTable();
  if (!table) return kFailed;
  const uint32_t count = table->ViolationCount();
  std::printf("violations %u\n", count);
  for (const std::string& v : table->Violations()) std::printf("  %s\n", v.c_str());
  return count == 0 ? kDone : kFailed;
}

int Churn(int seconds, int maxSessions, unsigned seed, bool die) {
  std::unique_ptr<sa::Table> table = OpenTable();
  if (!table) return kFailed;
  std::mt19937 random(seed);
  std::vector<sa::Key> live;
  size_t created = 0, changed = 0, expired = 0;
  const sa::ProcessIdentity me = sa::ProcessIdentity::Current();
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  while (::GetTickCount64() < deadline) {
    const int roll = static_cast<int>(random() % 100);
    std::string error;
    if (roll < 25 && static_cast<int>(live.size()) < maxSessions) {
      std::vector<sa::Endpoint> microphones;
      for (sa::Endpoint& e : table->Endpoints())
        if (e.flow == sa::kCapture && e.state == DEVICE_STATE_ACTIVE) microphones.push_back(std::move(e));
      if (!microphones.empty()) {
        const sa::Key key = table->CreateSession(microphones[random() % microphones.size()].key, me, false, &error);
        if (key) {
          live.push_back(key);
          ++created;
        }
      }
    } else if (roll < 85 && !live.empty()) {
      if (table->SetSessionState(live[random() % live.size()], random() % 2 ? sa::kActive : sa::kInactive, &error))
        ++changed;
    } else if (!live.empty()) {
      const size_t i = random() % live.size();
      if (table->SetSessionState(live[i], sa::kExpired, &error)) ++expired;
      live.erase(live.begin() + static_cast<long>(i));
    }
    // Sessions can also end underneath: an endpoint removed or disabled.
    std::erase_if(live, [&](const sa::Key& k) { return table->SessionState(k) == sa::kExpired; });
    ::Sleep(random() % 15);
  }
  std::printf("churn: %zu sessions created, %zu state changes, %zu expired, %zu left\n", created, changed, expired,
              live.size());
  std::fflush(stdout);
  if (die) ::TerminateProcess(::GetCurrentProcess(), 9);
  for (const sa::Key& k : live) table->SetSessionState(k, sa::kExpired, nullptr);
  Settle(*table);
  return kDone;
}

int Run(const std::vector<std::wstring>& args);

}  // namespace

int wmain(int argc, wchar_t** argv) {
  try {
    return Run(std::vector<std::wstring>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    // A number that does not parse, for one.
    std::fprintf(stderr, "simcall: %s\n", e.what());
    Usage();
    return kUsage;
  }
}

namespace {

int Run(const std::vector<std::wstring>& args) {
  size_t i = 0;
  if (i + 1 < args.size() && args[i] == L"--wait") {
    g_waitMs = static_cast<DWORD>(std::wcstoul(args[i + 1].c_str(), nullptr, 10));
    i += 2;
  }
  if (i >= args.size()) {
    Usage();
    return kUsage;
  }
  const std::wstring command = args[i++];
  std::vector<std::wstring> rest(args.begin() + static_cast<long>(i), args.end());
  auto flag = [&](const wchar_t* name) {
    for (const auto& a : rest)
      if (a == name) return true;
    return false;
  };
  auto option = [&](const wchar_t* name, const std::wstring& fallback) {
    for (size_t k = 0; k + 1 < rest.size(); ++k)
      if (rest[k] == name) return rest[k + 1];
    return fallback;
  };

  if ((command == L"start" || command == L"hold") && !rest.empty()) {
    const std::wstring endpoint = ResolveEndpoint(option(L"--endpoint", L"mic"));
    return command == L"start" ? Start(rest[0], endpoint, flag(L"--inactive"), flag(L"--system-sounds"))
                               : Hold(rest[0], endpoint, flag(L"--inactive"), flag(L"--system-sounds"));
  }
  if (command == L"active" && rest.size() == 1) return Tell(rest[0], kGoActive);
  if (command == L"inactive" && rest.size() == 1) return Tell(rest[0], kGoInactive);
  if (command == L"end" && rest.size() == 1) return Tell(rest[0], kEnd);
  if (command == L"kill" && rest.size() == 1) return Kill(rest[0]);
  if (command == L"add-headset" && rest.empty()) return PlugHeadset(true);
  if (command == L"remove-headset" && rest.empty()) return PlugHeadset(false);
  if (command == L"endpoint-state" && rest.size() == 2) return EndpointState(rest[0], rest[1]);
  if (command == L"list" && rest.empty()) return List();
  if (command == L"check" && rest.empty()) return Check();
  if (command == L"churn") {
    return Churn(std::stoi(option(L"--seconds", L"5")), std::stoi(option(L"--sessions", L"6")),
                 static_cast<unsigned>(std::stoul(option(L"--seed", L"1"))), flag(L"--die"));
  }
  if (command == L"sync" && rest.empty()) {
    std::unique_ptr<sa::Table> table = OpenTable();
    if (!table) return kFailed;
    return table->WaitHandled(table->Head(), g_waitMs) ? kDone : kFailed;
  }
  if (command == L"reset" && rest.empty()) {
    std::unique_ptr<sa::Table> table = OpenTable();
    std::string error;
    if (!table || !table->Reset(&error)) {
      std::fprintf(stderr, "simcall: reset failed: %s\n", error.c_str());
      return kFailed;
    }
    std::puts("reset: microphone and speakers, no session");
    return kDone;
  }
  Usage();
  return kUsage;
}

}  // namespace
