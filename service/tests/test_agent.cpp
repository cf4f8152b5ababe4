// Stand-in for the event agent in the service tests: it records how it was
// started in agents\agent-<pid>.txt beside itself, then waits to be ended.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring OwnDirectory() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L'\\') + 1);
}

std::wstring Variable(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD n = ::GetEnvironmentVariableW(name, value, 1024);
  return n && n < 1024 ? std::wstring(value, n) : std::wstring();
}

}  // namespace

int wmain() {
  const std::wstring folder = OwnDirectory() + L"agents\\";
  ::CreateDirectoryW(folder.c_str(), nullptr);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoW(&startup);
  DWORD session = 0xFFFFFFFF;
  ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
  wchar_t user[256] = {};
  DWORD userLength = 256;
  ::GetUserNameW(user, &userLength);

  const DWORD pid = ::GetCurrentProcessId();
  const std::wstring name = folder + L"agent-" + std::to_wstring(pid) + L".txt";
  const std::wstring partial = name + L".part";
  FILE* out = _wfopen(partial.c_str(), L"w, ccs=UTF-8");
  if (!out) return 1;
  std::fwprintf(out, L"pid=%lu\n", pid);
  std::fwprintf(out, L"session=%lu\n", session);
  std::fwprintf(out, L"desktop=%ls\n", startup.lpDesktop ? startup.lpDesktop : L"");
  std::fwprintf(out, L"flags=%lu\n", startup.dwFlags);
  std::fwprintf(out, L"show=%u\n", static_cast<unsigned>(startup.wShowWindow));
  std::fwprintf(out, L"user=%ls\n", user);
  std::fwprintf(out, L"USERNAME=%ls\n", Variable(L"USERNAME").c_str());
  std::fwprintf(out, L"USERPROFILE=%ls\n", Variable(L"USERPROFILE").c_str());
  std::fwprintf(out, L"console=%d\n", ::GetConsoleWindow() != nullptr ? 1 : 0);
  std::fclose(out);
  // Readers see the file only once it is complete.
  ::MoveFileExW(partial.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING);

  ::Sleep(INFINITE);
  return 0;
}
