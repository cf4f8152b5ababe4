// The smallest service that starts a windowed program: its service main
// reports running and creates floor_window.exe (from its own folder); a stop
// ends that program. What Wine itself costs from StartService to a window of
// a process the service made.
//
//   floor_service            run as the service "ZuBenchFloorService"
#include <windows.h>

#include <wchar.h>

static SERVICE_STATUS_HANDLE g_status;
static HANDLE g_stop;

static void Report(DWORD state) {
  SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, state, state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0};
  SetServiceStatus(g_status, &status);
}

static DWORD WINAPI Control(DWORD control, DWORD type, void* data, void* context) {
  (void)type, (void)data, (void)context;
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(g_stop);
  }
  return NO_ERROR;
}

static void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
  (void)argc, (void)argv;
  g_status = RegisterServiceCtrlHandlerExW(L"ZuBenchFloorService", Control, NULL);
  if (!g_status) return;
  g_stop = CreateEventW(NULL, TRUE, FALSE, NULL);
  Report(SERVICE_RUNNING);

  wchar_t program[MAX_PATH];
  DWORD length = GetModuleFileNameW(NULL, program, MAX_PATH);
  while (length > 0 && program[length - 1] != L'\\') --length;
  program[length] = 0;
  wcsncat(program, L"floor_window.exe", MAX_PATH - length - 1);
  STARTUPINFOW startup = {sizeof startup};
  PROCESS_INFORMATION child = {0};
  if (CreateProcessW(program, NULL, NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &startup, &child)) {
    CloseHandle(child.hThread);
  }
  WaitForSingleObject(g_stop, INFINITE);
  if (child.hProcess) {
    TerminateProcess(child.hProcess, 0);
    CloseHandle(child.hProcess);
  }
  Report(SERVICE_STOPPED);
}

int main(void) {
  SERVICE_TABLE_ENTRYW table[] = {{L"ZuBenchFloorService", ServiceMain}, {NULL, NULL}};
  const BOOL dispatched = StartServiceCtrlDispatcherW(table);
  // A service process left to return from main can linger under Wine.
  ExitProcess(dispatched ? 0 : 1);
}
