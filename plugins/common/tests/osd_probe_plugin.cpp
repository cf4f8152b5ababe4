// A stand-in plug-in library that owns an OsdHost the way Veilpane and
// meetlamp do: a global object started through an export, destroyed when
// the library detaches.
#include <windows.h>

#include "plugins/common/osd_host.h"

namespace {
zu::OsdHost g_osd;
}

extern "C" __declspec(dllexport) void ProbeStartOsd() { g_osd.Start(); }
extern "C" __declspec(dllexport) int32_t ProbeShowOsd(int32_t kind, int32_t value) { return g_osd.Show(kind, value); }
