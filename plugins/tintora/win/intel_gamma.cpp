// The Intel back-end: the ramp goes to the graphics driver's control object.
#include <windows.h>
#include <objbase.h>
#include <ole2.h>

#include <utility>

#include "base/win/com_ptr.h"
#include "base/win/utf.h"
#include "plugins/tintora/gamma_records.h"
#include "plugins/tintora/win/calibration_state.h"
#include "plugins/tintora/win/intel_control.h"
#include "plugins/tintora/win/structured_guard.h"
#include "plugins/tintora/write_log.h"

namespace tintora {
namespace {

constexpr const char* kStep = "Intel_SetGamma";

// Joins the multithreaded apartment for the duration of one call.
class MultithreadedApartment {
 public:
  MultithreadedApartment() : result_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~MultithreadedApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  MultithreadedApartment(const MultithreadedApartment&) = delete;
  MultithreadedApartment& operator=(const MultithreadedApartment&) = delete;
  bool joined() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

class UniqueBstr {
 public:
  explicit UniqueBstr(const std::wstring& text) : bstr_(::SysAllocString(text.c_str())) {}
  ~UniqueBstr() { ::SysFreeString(bstr_); }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  BSTR get() const { return bstr_; }

 private:
  BSTR bstr_;
};

zu::win::ComPtr<IIntelDisplayControl> CreateControl() {
  zu::win::ComPtr<IUnknown> unknown;
  if (FAILED(::CoCreateInstance(kIntelControlClass, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void())) ||
      !unknown)
    return {};
  if (FAILED(::OleRun(unknown.get()))) return {};
  zu::win::ComPtr<IIntelDisplayControl> control;
  if (FAILED(unknown->QueryInterface(kIntelControlInterface, control.put_void()))) return {};
  return control;
}

struct MonitorUid {
  DWORD uid = 0;
  DWORD deviceType = 0;
  DWORD status = 0;
};

MonitorUid getMonitorUid(IIntelDisplayControl* control, const std::wstring& adapterName) {
  constexpr const char* kUidStep = "getMonitorUid";
  MonitorUid found;
  UniqueBstr name(adapterName);
  if (FAILED(control->EnumAttachableDevices(name.get(), 0, &found.uid, &found.deviceType, &found.status))) {
    TINTORA_LOG(kWriteLogDebug, kUidStep, "EnumAttachableDevices fail");
    return {};
  }
  TINTORA_LOG(kWriteLogDebug, kUidStep, "pdwDeviceType: %ld", static_cast<long>(found.deviceType));
  TINTORA_LOG(kWriteLogDebug, kUidStep, "uid: %ld", static_cast<long>(found.uid));
  TINTORA_LOG(kWriteLogDebug, kUidStep, "pdwStatus: %ld", static_cast<long>(found.status));
  return found;
}

struct SetRampCall {
  IIntelDisplayControl* control;
  DWORD uid;
  IntelGammaRamp* ramp;
  DWORD status;
  HRESULT result;
  bool threw;
};

void CallSetGammaRamp(void* context) {
  auto* call = static_cast<SetRampCall*>(context);
  try {
    call->result = call->control->SetGammaRamp(call->uid, kIntelRampBytes, reinterpret_cast<BYTE*>(call->ramp),
                                                &call->status);
  } catch (...) {
    call->threw = true;
  }
}

}  // namespace

int Intel_SetGamma(const CalibrationState& state) {
  MultithreadedApartment apartment;
  if (!apartment.joined()) {
    TINTORA_LOG(kWriteLogError, kStep, "CreateInstance8 fail");
    return -1;
  }
  zu::win::ComPtr<IIntelDisplayControl> control = CreateControl();
  if (!control) {
    TINTORA_LOG(kWriteLogError, kStep, "CreateInstance8 fail");
    return -1;
  }

  const MonitorUid monitor = getMonitorUid(control.get(), state.adapterName);
  if (monitor.deviceType != kIntelDisplayDevice || monitor.uid == 0) {
    TINTORA_LOG(kWriteLogError, kStep, "ivaild uid");
    return -1;
  }

  IntelGammaRamp ramp = MakeIntelRamp(state.params.outLut);
  for (int i = 0; i < 256; ++i)
    WriteLog(kWriteLogDebug, "Tintora Intel_SetGamma[%d]: %d %d %d", i, ramp.entries[0][i], ramp.entries[1][i],
             ramp.entries[2][i]);
  SetRampCall call{control.get(), monitor.uid, &ramp, 0, E_FAIL, false};
  const bool faulted = CallGuarded(&CallSetGammaRamp, &call);
  if (faulted || call.threw) {
    TINTORA_LOG(kWriteLogError, kStep, "Intel SetGammaRamp crash");
    return -1;
  }
  if (FAILED(call.result)) {
    TINTORA_LOG(kWriteLogError, kStep, "Intel SetGammaRamp Failed");
    return -1;
  }
  control.reset();
  TINTORA_LOG(kWriteLogInfo, kStep, "Intel_SetGamma Success");
  return 0;
}

}  // namespace tintora
