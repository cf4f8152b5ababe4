// zuservice: the service TarnService and its management command line.
#include <windows.h>

#include <cstdio>

#include "service/command_word.h"
#include "service/service_commands.h"
#include "service/service_identity.h"
#include "service/tarn_service.h"

int wmain(int argc, wchar_t** argv) {
  using namespace zu::service;
  if (argc > 1) {
    if (auto word = ParseCommandWord(argv[1])) {
      RunCommand(*word);
      return 0;
    }
  }

  SERVICE_TABLE_ENTRYW dispatchTable[] = {
      {const_cast<LPWSTR>(kServiceName), &ServiceMain},
      {nullptr, nullptr},
  };
  if (!::StartServiceCtrlDispatcherW(dispatchTable))
    std::printf("StartServiceCtrlDispatcher failed (%d)\n", static_cast<int>(::GetLastError()));
  std::printf("_tmain: PASS\n");
  std::fflush(stdout);
  // Ends the thread pool's threads with the process; returning could leave
  // the process behind while they linger.
  ::ExitProcess(0);
}
