// Stand-in for the Intel graphics driver's control object: an in-process COM
// server for its class id that records what it is asked and answers as the
// test's settings say.
//
// Settings: INTEL_ENUM_RESULT, INTEL_UID, INTEL_DEVICE_TYPE, INTEL_STATUS,
// INTEL_SET_RESULT (HRESULTs and numbers), INTEL_SET_DELAY_MS (how long
// SetGammaRamp takes), INTEL_SET_MODE ("crash": fault inside SetGammaRamp,
// "throw": a C++ exception), INTEL_FAULT_ADDRESS. Records: calls.txt, and
// ramp.bin with the bytes SetGammaRamp received.
#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "plugins/tintora/standins/standin_io.h"
#include "testing/win/static_class_factory.h"
#include "plugins/tintora/win/intel_control.h"

namespace {

using tintora::IIntelDisplayControl;

std::atomic<long> g_objects{0};

std::string Narrow(BSTR text) {
  std::string out;
  for (UINT i = 0; text && i < ::SysStringLen(text); ++i) out += static_cast<char>(text[i]);
  return out;
}

class Control final : public IIntelDisplayControl {
 public:
  Control() {
    ++g_objects;
    standin::Call("created");
  }
  ~Control() {
    standin::Call("destroyed");
    --g_objects;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, tintora::kIntelControlInterface)) {
      *out = static_cast<IIntelDisplayControl*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

#define UNUSED_METHOD(n) \
  HRESULT STDMETHODCALLTYPE Method##n() override { return Unexpected(n); }
  UNUSED_METHOD(3) UNUSED_METHOD(4) UNUSED_METHOD(5) UNUSED_METHOD(6) UNUSED_METHOD(7) UNUSED_METHOD(8)
  UNUSED_METHOD(9) UNUSED_METHOD(10) UNUSED_METHOD(11) UNUSED_METHOD(13) UNUSED_METHOD(14) UNUSED_METHOD(15)
  UNUSED_METHOD(16) UNUSED_METHOD(17) UNUSED_METHOD(18) UNUSED_METHOD(19) UNUSED_METHOD(20) UNUSED_METHOD(21)
  UNUSED_METHOD(22) UNUSED_METHOD(23) UNUSED_METHOD(24) UNUSED_METHOD(25)
#undef UNUSED_METHOD

  HRESULT STDMETHODCALLTYPE EnumAttachableDevices(BSTR adapter, DWORD index, DWORD* uid, DWORD* type,
                                                  DWORD* status) override {
    standin::Call("EnumAttachableDevices " + Narrow(adapter) + " " + std::to_string(index));
    const HRESULT result = static_cast<HRESULT>(standin::NumberSetting("INTEL_ENUM_RESULT", S_OK));
    // A failing driver may still have written something.
    *uid = static_cast<DWORD>(standin::NumberSetting("INTEL_UID", 0x1001));
    *type = static_cast<DWORD>(standin::NumberSetting("INTEL_DEVICE_TYPE", 2));
    *status = static_cast<DWORD>(standin::NumberSetting("INTEL_STATUS", 0));
    return result;
  }

  HRESULT STDMETHODCALLTYPE SetGammaRamp(DWORD uid, DWORD size, BYTE* ramp, DWORD* status) override {
    standin::Call("SetGammaRamp " + std::to_string(uid) + " " + std::to_string(size));
    standin::Write("ramp.bin", ramp, size, false);
    ::Sleep(static_cast<DWORD>(standin::NumberSetting("INTEL_SET_DELAY_MS", 0)));
    const std::string mode = standin::Setting("INTEL_SET_MODE");
    if (mode == "crash") {
      volatile int* nowhere = reinterpret_cast<volatile int*>(static_cast<uintptr_t>(standin::NumberSetting("INTEL_FAULT_ADDRESS", 16)));
      *nowhere = 1;
    }
    if (mode == "throw") throw std::runtime_error("driver failure");
    *status = 0;
    return static_cast<HRESULT>(standin::NumberSetting("INTEL_SET_RESULT", S_OK));
  }

 private:
  HRESULT Unexpected(int slot) {
    standin::Call("Method" + std::to_string(slot));
    return E_NOTIMPL;
  }

  std::atomic<ULONG> refs_{1};
};

IUnknown* NewControl() { return static_cast<IUnknown*>(new Control()); }

zu::testing::StaticClassFactory g_factory(&NewControl);

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!IsEqualCLSID(clsid, tintora::kIntelControlClass)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return g_objects == 0 ? S_OK : S_FALSE;
}
