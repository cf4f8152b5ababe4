// The agent's per-user data folder.
#pragma once

#include <string>

namespace zu {

// <local application-data folder>\<subfolder>, created with any missing
// parents, and announced on standard output as
// "GetAppDataPath: wsAppData= <path>". When the known folder cannot be
// resolved the user's temporary folder stands in, so the agent still has a
// place for its log.
std::wstring GetAppDataPath(const std::wstring& subfolder);

// Writes a wide line to standard output: as wide text on a console, as
// UTF-8 bytes on a pipe or file.
void WriteStdoutLine(const std::wstring& line);

}  // namespace zu
