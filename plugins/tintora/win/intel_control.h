// The Intel graphics driver's control object: its class and interface ids
// and the two methods the calibration calls, at their fixed positions in
// the interface's method table (the three IUnknown methods included).
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace tintora {

// {7160A13D-73DA-4CEA-95B9-37356478588A}
inline constexpr CLSID kIntelControlClass = {
    0x7160A13D, 0x73DA, 0x4CEA, {0x95, 0xB9, 0x37, 0x35, 0x64, 0x78, 0x58, 0x8A}};
// {F932C038-6484-45CA-8FA1-7C8C279F7AEE}
inline constexpr IID kIntelControlInterface = {
    0xF932C038, 0x6484, 0x45CA, {0x8F, 0xA1, 0x7C, 0x8C, 0x27, 0x9F, 0x7A, 0xEE}};

inline constexpr DWORD kIntelRampBytes = 1536;
// The device type of a display the ramp can be set on.
inline constexpr DWORD kIntelDisplayDevice = 2;

// Methods 3 to 11 and 13 to 25 are not used here; they only keep the
// positions of the two that are.
struct IIntelDisplayControl : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Method3() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method4() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method5() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method6() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method10() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method11() = 0;
  // 12: the uid, type and status of an attachable device of an adapter.
  virtual HRESULT STDMETHODCALLTYPE EnumAttachableDevices(BSTR adapterDeviceName, DWORD deviceIndex, DWORD* uid,
                                                          DWORD* deviceType, DWORD* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE Method13() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method14() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method15() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method16() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method17() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method18() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method19() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method20() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method21() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method22() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method23() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method24() = 0;
  virtual HRESULT STDMETHODCALLTYPE Method25() = 0;
  // 26: loads a ramp of `size` bytes (red, green, blue blocks) for a device.
  virtual HRESULT STDMETHODCALLTYPE SetGammaRamp(DWORD uid, DWORD size, BYTE* ramp, DWORD* status) = 0;
};

}  // namespace tintora
