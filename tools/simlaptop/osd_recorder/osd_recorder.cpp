// Recording stand-in of the pop-up library, built as glimmer.dll in a folder
// of its own: the same three plain exports, no window. Every call is
// appended to the file named by ZU_OSD_RECORD (see ../osd_record.h), so a
// test can see which pop-ups the plug-ins of another process asked for.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "libs/glimmer/osd_api.h"

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
CONDITION_VARIABLE g_changed = CONDITION_VARIABLE_INIT;
uint64_t g_active = 0;  // the running pop-up's number, 0 when none
uint64_t g_started = 0;

// One line, appended with its own open so that lines of several processes
// or threads never mix.
void Record(const char* line) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"ZU_OSD_RECORD", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char text[96];
  const int length = std::snprintf(text, sizeof text, "%s\n", line);
  DWORD written = 0;
  if (length > 0) ::WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace

// Modal: blocks until OSDEnd (or a later start) ends this pop-up, then
// answers 1, as the library's modal loop does. Modeless: answers 1 at once.
extern "C" __declspec(dllexport) int64_t OSDStart(int32_t modeless) {
  const bool isModeless = (modeless & 0xFF) != 0;
  ::AcquireSRWLockExclusive(&g_lock);
  const uint64_t mine = ++g_started;
  g_active = mine;  // a running pop-up is ended by the new one
  ::WakeAllConditionVariable(&g_changed);
  Record(isModeless ? "start modeless" : "start modal");
  if (!isModeless)
    while (g_active == mine) ::SleepConditionVariableSRW(&g_changed, &g_lock, INFINITE, 0);
  ::ReleaseSRWLockExclusive(&g_lock);
  return 1;
}

extern "C" __declspec(dllexport) int32_t OSDEnd() {
  ::AcquireSRWLockExclusive(&g_lock);
  const bool running = g_active != 0;
  if (running) {
    g_active = 0;
    ::WakeAllConditionVariable(&g_changed);
    Record("end");
  }
  ::ReleaseSRWLockExclusive(&g_lock);
  return running ? 1 : 0;
}

extern "C" __declspec(dllexport) int32_t OSDDisplay(const OSDData_t* request) {
  if (!request) return OSD_FAILED;
  ::AcquireSRWLockExclusive(&g_lock);
  int32_t result = OSD_SUCCESS;
  if (g_active == 0)
    result = OSD_FAILED;
  else if (request->kind < OSD_KIND_TOUCHPAD || request->kind > OSD_KIND_NOISE_SPEAKER)
    result = OSD_UNKNOWN_KIND;
  char line[64];
  std::snprintf(line, sizeof line, "display %d %d %d", request->kind, request->value, result);
  Record(line);
  ::ReleaseSRWLockExclusive(&g_lock);
  return result;
}
