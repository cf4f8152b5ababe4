// Registration of the "TarnService" event source with its message table, so
// that Event Viewer shows the records' text instead of "description not found".
#pragma once

#include <windows.h>

#include <string>

namespace zu {

// Writes HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\TarnService
// with EventMessageFile = messageFile (a module carrying the message table)
// and TypesSupported = error | warning | information. Returns the registry status.
LSTATUS InstallEventSource(const std::wstring& messageFile);

// Removes that key; a missing key is not an error.
LSTATUS RemoveEventSource();

}  // namespace zu
