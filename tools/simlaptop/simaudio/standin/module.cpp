// simaudio.dll: the Core Audio stand-in, an in-process COM server that a
// test prefix's registry names for the multimedia device enumerator's class
// (tools/simlaptop/sim_audio.h registers it). Test equipment only.
#include <windows.h>
#include <mmdeviceapi.h>

#include "testing/win/static_class_factory.h"
#include "tools/simlaptop/simaudio/standin/com_object.h"
#include "tools/simlaptop/simaudio/standin/devices.h"
#include "tools/simlaptop/simaudio/standin/notifier.h"

namespace {

using zu::simaudio::Notifier;

// The table and the notification threads come first: without them no
// device could be listed nor any change reported.
IUnknown* NewEnumerator() {
  if (!Notifier::Get()) return nullptr;
  return zu::simaudio::NewDeviceEnumerator();
}

zu::testing::StaticClassFactory g_factory(&NewEnumerator);

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, __uuidof(MMDeviceEnumerator))) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

// Never: its notification threads run until the process ends.
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
