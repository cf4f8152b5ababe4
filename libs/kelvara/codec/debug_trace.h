// Trace lines for a debugger. The Windows build hands them to
// OutputDebugStringW; the native build writes them to standard error so
// that tests can read them back.
#pragma once

namespace kelvara {

void DebugTrace(const wchar_t* text);

}  // namespace kelvara
