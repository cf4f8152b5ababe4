// Windows test support for the calibration path: an "EDID" value on the
// monitor device, and the debugger traces of the code under test.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "base/win/unique_hkey.h"
#include "base/win/utf.h"
#include "testing/win/iat_hook.h"

namespace kelvara::testing {

// Gives the first present monitor device an "EDID" value for the test's
// duration, where the monitor driver stores it. Tests using it hold the
// resource lock "monitor-edid".
class MonitorEdid {
 public:
  MonitorEdid() {
    static constexpr GUID kMonitorClass = {0x4D36E96E, 0xE325, 0x11CE,
                                           {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    HDEVINFO set =
        ::SetupDiGetClassDevsExW(&kMonitorClass, nullptr, nullptr, DIGCF_PRESENT, nullptr, nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    if (::SetupDiEnumDeviceInfo(set, 0, &info)) {
      HKEY key = ::SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_SET_VALUE | KEY_QUERY_VALUE);
      if (key != INVALID_HANDLE_VALUE) key_.reset(key);
    }
    ::SetupDiDestroyDeviceInfoList(set);
  }
  ~MonitorEdid() {
    if (key_) ::RegDeleteValueW(key_.get(), L"EDID");
  }
  MonitorEdid(const MonitorEdid&) = delete;
  MonitorEdid& operator=(const MonitorEdid&) = delete;

  bool Set(const std::vector<uint8_t>& edid) {
    return key_ && ::RegSetValueExW(key_.get(), L"EDID", 0, REG_BINARY, edid.data(),
                                    static_cast<DWORD>(edid.size())) == ERROR_SUCCESS;
  }

 private:
  zu::win::UniqueHkey key_;
};

// Collects what the test program sends to the debugger while it lives.
class TraceRecorder {
 public:
  TraceRecorder()
      : hook_(nullptr, "kernel32.dll", "OutputDebugStringW", reinterpret_cast<void*>(&TraceRecorder::Record)) {
    Text().clear();
  }
  bool installed() const { return hook_.installed(); }
  std::string text() const { return zu::win::ToUtf8(Text()); }
  void clear() { Text().clear(); }

 private:
  static std::wstring& Text() {
    static std::wstring text;
    return text;
  }
  static void WINAPI Record(const wchar_t* line) { Text() += line; }

  zu::testing::IatHook hook_;
};

}  // namespace kelvara::testing
