// simaudio.dll: the Core Audio stand-in, an in-process COM server that a
// test prefix's registry names for the multimedia device enumerator's class
// (tools/simlaptop/sim_audio.h registers it). Test equipment only.
#include <windows.h>
#include <mmdeviceapi.h>

#include "tools/simlaptop/simaudio/standin/com_object.h"
#include "tools/simlaptop/simaudio/standin/devices.h"
#include "tools/simlaptop/simaudio/standin/notifier.h"

namespace {

using zu::simaudio::Notifier;

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // A static object: the library is never unloaded once it has served.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    // The table and the notification threads come first: without them no
    // device could be listed nor any change reported.
    if (!Notifier::Get()) return E_FAIL;
    IMMDeviceEnumerator* enumerator = zu::simaudio::NewDeviceEnumerator();
    const HRESULT hr = enumerator->QueryInterface(iid, out);
    enumerator->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, __uuidof(MMDeviceEnumerator))) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

// Never: its notification threads run until the process ends.
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
