#include "tools/simlaptop/simaudio/standin/devices.h"

#include <audiopolicy.h>
#include <propidl.h>
#include <propsys.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/simlaptop/simaudio/standin/com_object.h"
#include "tools/simlaptop/simaudio/standin/notifier.h"
#include "tools/simlaptop/simaudio/standin/sessions.h"

namespace zu::simaudio {

namespace {

// The property keys a device's store answers; mingw-w64 ships no library
// that defines them.
constexpr PROPERTYKEY kDeviceFriendlyName = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
constexpr PROPERTYKEY kDeviceDescription = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 2};
constexpr PROPERTYKEY kInterfaceFriendlyName = {
    {0x026e516e, 0xb814, 0x414b, {0x83, 0xcd, 0x85, 0x6d, 0x6f, 0xef, 0x48, 0x22}}, 2};

constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) { return IsEqualGUID(a.fmtid, b.fmtid) && a.pid == b.pid; }

class PropertyStore final : public ComObject<IPropertyStore> {
 public:
  explicit PropertyStore(std::wstring name) : name_(std::move(name)) {}

  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
    if (!count) return E_POINTER;
    *count = 3;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override {
    if (!key) return E_POINTER;
    const PROPERTYKEY keys[] = {kDeviceFriendlyName, kDeviceDescription, kInterfaceFriendlyName};
    if (index >= 3) return E_INVALIDARG;
    *key = keys[index];
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
    if (!value) return E_POINTER;
    ::PropVariantInit(value);
    std::wstring text;
    if (SameKey(key, kDeviceFriendlyName))
      text = name_;
    else if (SameKey(key, kDeviceDescription))
      text = name_.substr(0, name_.find(L" ("));
    else if (SameKey(key, kInterfaceFriendlyName))
      text = L"Simulated Audio";
    else
      return S_OK;  // VT_EMPTY, as for any key the store does not hold
    value->vt = VT_LPWSTR;
    return TaskString(text, &value->pwszVal);
  }
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE Commit() override { return STG_E_ACCESSDENIED; }

 private:
  void* Find(REFIID iid) override {
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IPropertyStore)))
      return static_cast<IPropertyStore*>(this);
    return nullptr;
  }

  const std::wstring name_;
};

// A device and its IMMEndpoint in one object, as Core Audio's are.
class Device final : public ComObject<IMMDevice, IMMEndpoint> {
 public:
  explicit Device(Endpoint endpoint) : endpoint_(std::move(endpoint)) {}

  HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, __uuidof(IAudioSessionManager2)) && !IsEqualIID(iid, __uuidof(IAudioSessionManager)))
      return E_NOINTERFACE;
    Notifier* n = Notifier::Get();
    if (!n) return E_FAIL;
    // A removed, disabled or unplugged endpoint has no audio engine to manage.
    const std::optional<Endpoint> now = n->table().GetEndpoint(endpoint_.key);
    if (!now || now->state != kDeviceActive) return AUDCLNT_E_DEVICE_INVALIDATED;
    IAudioSessionManager2* manager = NewSessionManager(endpoint_.key);
    const HRESULT hr = manager->QueryInterface(iid, out);
    manager->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override {
    if (!store) return E_POINTER;
    *store = nullptr;
    if (access != STGM_READ) return E_ACCESSDENIED;
    *store = new PropertyStore(endpoint_.name);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override { return TaskString(endpoint_.id, id); }
  HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
    if (!state) return E_POINTER;
    Notifier* n = Notifier::Get();
    const std::optional<Endpoint> now = n ? n->table().GetEndpoint(endpoint_.key) : std::nullopt;
    *state = now ? now->state : DEVICE_STATE_NOTPRESENT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataFlow(EDataFlow* flow) override {
    if (!flow) return E_POINTER;
    *flow = endpoint_.flow == kCapture ? eCapture : eRender;
    return S_OK;
  }

 private:
  void* Find(REFIID iid) override {
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IMMDevice)))
      return static_cast<IMMDevice*>(this);
    if (IsEqualIID(iid, __uuidof(IMMEndpoint))) return static_cast<IMMEndpoint*>(this);
    return nullptr;
  }

  const Endpoint endpoint_;
};

class Collection final : public ComObject<IMMDeviceCollection> {
 public:
  explicit Collection(std::vector<Endpoint> endpoints) : endpoints_(std::move(endpoints)) {}

  HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<UINT>(endpoints_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override {
    if (!device) return E_POINTER;
    *device = nullptr;
    if (index >= endpoints_.size()) return E_INVALIDARG;
    *device = new Device(endpoints_[index]);
    return S_OK;
  }

 private:
  void* Find(REFIID iid) override {
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IMMDeviceCollection)))
      return static_cast<IMMDeviceCollection*>(this);
    return nullptr;
  }

  const std::vector<Endpoint> endpoints_;
};

class DeviceEnumerator final : public ComObject<IMMDeviceEnumerator> {
 public:
  HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask, IMMDeviceCollection** devices) override {
    if (!devices) return E_POINTER;
    *devices = nullptr;
    if ((flow != eRender && flow != eCapture && flow != eAll) || (mask & ~DEVICE_STATEMASK_ALL)) return E_INVALIDARG;
    Notifier* n = Notifier::Get();
    if (!n) return E_FAIL;
    std::vector<Endpoint> matching;
    for (Endpoint& e : n->table().Endpoints())
      if ((flow == eAll || e.flow == static_cast<uint32_t>(flow)) && (e.state & mask)) matching.push_back(std::move(e));
    *devices = new Collection(std::move(matching));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole, IMMDevice** device) override {
    if (!device) return E_POINTER;
    *device = nullptr;
    if (flow != eRender && flow != eCapture) return E_INVALIDARG;
    Notifier* n = Notifier::Get();
    if (!n) return E_FAIL;
    for (Endpoint& e : n->table().Endpoints()) {
      if (e.flow == static_cast<uint32_t>(flow) && e.state == kDeviceActive) {
        *device = new Device(std::move(e));
        return S_OK;
      }
    }
    return kNotFound;
  }
  HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override {
    if (!id || !device) return E_POINTER;
    *device = nullptr;
    Notifier* n = Notifier::Get();
    if (!n) return E_FAIL;
    std::optional<Endpoint> found = n->table().FindEndpoint(id);
    if (!found) return kNotFound;
    *device = new Device(std::move(*found));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient* client) override {
    Notifier* n = Notifier::Get();
    if (!client) return E_POINTER;
    return n ? n->RegisterEndpointClient(client) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override {
    Notifier* n = Notifier::Get();
    return n ? n->Unregister(RegistrationKind::kEndpointClient, nullptr, client,
                             "IMMDeviceEnumerator::UnregisterEndpointNotificationCallback")
             : E_FAIL;
  }

 private:
  void* Find(REFIID iid) override {
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IMMDeviceEnumerator)))
      return static_cast<IMMDeviceEnumerator*>(this);
    return nullptr;
  }
};

}  // namespace

IMMDeviceEnumerator* NewDeviceEnumerator() { return new DeviceEnumerator(); }

}  // namespace zu::simaudio
