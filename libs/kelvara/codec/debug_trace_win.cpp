#include "libs/kelvara/codec/debug_trace.h"

#include <windows.h>

namespace kelvara {

void DebugTrace(const wchar_t* text) { ::OutputDebugStringW(text); }

}  // namespace kelvara
