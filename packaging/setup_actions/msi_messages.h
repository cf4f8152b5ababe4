// Lines in the installer's log, and the error that ends an installation.
#pragma once

#include <windows.h>

#include <msi.h>

#include <string>

namespace zu::setup {

// An information line of the verbose log (msiexec /l*v).
void LogInfo(MSIHANDLE install, const std::wstring& text);

// An error: logged, and shown in a message box unless the installation is
// silent. The action then returns ERROR_INSTALL_FAILURE, which ends the
// installation and rolls back what it changed.
void ReportError(MSIHANDLE install, const std::wstring& text);

// The system's text of a Win32 error code, "(error N: text)".
std::wstring ErrorText(DWORD code);

}  // namespace zu::setup
