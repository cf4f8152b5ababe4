#include "libs/kelvara/codec/debug_trace.h"

#include <cstdio>

namespace kelvara {

void DebugTrace(const wchar_t* text) {
  // Every trace is plain ASCII.
  for (; *text; ++text) std::fputc(static_cast<char>(*text), stderr);
}

}  // namespace kelvara
