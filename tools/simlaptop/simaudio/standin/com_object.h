// Reference counting and QueryInterface for the stand-in's COM objects: a
// count that starts at 1 and changes with interlocked operations; the object
// deletes itself at 0. The derived class says which interfaces it answers.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstring>
#include <string>

namespace zu::simaudio {

template <class... Interfaces>
class ComObject : public Interfaces... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = Find(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;
  // The interface pointer for `iid` (IUnknown included), or null.
  virtual void* Find(REFIID iid) = 0;

 private:
  LONG refs_ = 1;
};

// A copy of `text` in COM task memory, as Core Audio hands out strings.
inline HRESULT TaskString(const std::wstring& text, LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = static_cast<LPWSTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (!*out) return E_OUTOFMEMORY;
  std::memcpy(*out, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return S_OK;
}

}  // namespace zu::simaudio
