// Paths of the running program and of the module that contains the caller.
#pragma once

#include <windows.h>

#include <string>

namespace zu::win {

// Full path of a module (null: the program), at most MAX_PATH characters as
// the Win32 call gives it.
std::wstring ModuleFileName(HMODULE module = nullptr);

// Directory of a module with its trailing backslash: the full path cut just
// after its last backslash.
std::wstring ModuleDirectory(HMODULE module = nullptr);

// The module whose code contains this function (the DLL, in a plug-in).
HMODULE CurrentModule();

}  // namespace zu::win
