#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "base/win/unique_hkey.h"
#include "libs/kelvara/calibration/win/system_calibration_source.h"
#include "libs/kelvara/codec/debug_trace.h"

namespace kelvara {
namespace {

// The monitor setup class.
constexpr GUID kMonitorClass = {0x4D36E96E, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr DWORD kActive = 0x1;
constexpr DWORD kMirroring = 0x8;

class DeviceInfoSet {
 public:
  explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
  ~DeviceInfoSet() {
    if (*this) ::SetupDiDestroyDeviceInfoList(set_);
  }
  DeviceInfoSet(const DeviceInfoSet&) = delete;
  DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
  explicit operator bool() const { return set_ != INVALID_HANDLE_VALUE; }
  HDEVINFO get() const { return set_; }

 private:
  HDEVINFO set_;
};

// The value named exactly "EDID", at most one slot's worth of it.
bool FindEdidValue(HKEY key, std::vector<uint8_t>* edid) {
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(std::size(name));
    const LSTATUS status = ::RegEnumValueW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return false;
    if (status != ERROR_SUCCESS || std::wcscmp(name, L"EDID") != 0) continue;
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
    std::vector<uint8_t> value(size);
    if (size && ::RegQueryValueExW(key, name, nullptr, nullptr, value.data(), &size) != ERROR_SUCCESS) return false;
    value.resize(std::min<size_t>(size, kEdidSlotSize));
    *edid = std::move(value);
    return true;
  }
}

// One pass over the present monitor devices. True when the last device it
// visited had an EDID.
bool ReadMonitorClass(EdidStore* store) {
  DeviceInfoSet set(::SetupDiGetClassDevsExW(&kMonitorClass, nullptr, nullptr, DIGCF_PRESENT, nullptr, nullptr,
                                             nullptr));
  if (!set) return false;
  bool lastHadEdid = false;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.get(), index, &info); ++index) {
    lastHadEdid = false;
    const HKEY raw = ::SetupDiOpenDevRegKey(set.get(), &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (raw == INVALID_HANDLE_VALUE || !raw) continue;
    zu::win::UniqueHkey key(raw);
    std::vector<uint8_t> edid;
    if (!FindEdidValue(key.get(), &edid)) continue;
    lastHadEdid = true;
    if (index < kEdidSlots) store->slots[index] = std::move(edid);
  }
  return lastHadEdid;
}

}  // namespace

EdidStore GetEdidData() {
  DebugTrace(L"QOV: Start GetEdidData()\n");
  EdidStore store;
  bool done = false;
  DISPLAY_DEVICEW adapter{};
  adapter.cb = sizeof adapter;
  for (DWORD a = 0; !done && ::EnumDisplayDevicesW(nullptr, a, &adapter, 0); ++a) {
    DISPLAY_DEVICEW monitor{};
    monitor.cb = sizeof monitor;
    for (DWORD m = 0; !done && ::EnumDisplayDevicesW(adapter.DeviceName, m, &monitor, 0); ++m) {
      if ((monitor.StateFlags & kActive) && !(monitor.StateFlags & kMirroring)) done = ReadMonitorClass(&store);
    }
  }
  DebugTrace(L"QOV: End GetEdidData()\n");
  return store;
}

}  // namespace kelvara
