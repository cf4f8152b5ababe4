#include <windows.h>

#include "libs/glimmer/win/library_state.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ::DisableThreadLibraryCalls(module);
  } else if (reason == DLL_PROCESS_DETACH) {
    glimmer::MarkLibraryDetaching();
  }
  return TRUE;
}
