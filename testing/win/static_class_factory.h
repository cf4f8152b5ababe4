// The class factory of a test stand-in's in-process COM server: one static
// object per library, which hands out what `create` makes. `create` returns
// a new object with one reference (or null when the stand-in cannot serve);
// the factory queries it for the asked interface and drops that reference.
#pragma once

#include <windows.h>

#include <unknwn.h>

namespace zu::testing {

template <class Create>
class StaticClassFactory final : public IClassFactory {
 public:
  explicit StaticClassFactory(Create create) : create_(create) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // Static: never freed while its library is loaded.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IUnknown* object = create_();
    if (!object) return E_FAIL;
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  Create create_;
};

}  // namespace zu::testing
