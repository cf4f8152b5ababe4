// Platform identification and the profile steps of the calibration.
#include <windows.h>
#include <icm.h>

#include "base/win/unique_handle.h"
#include "base/win/utf.h"
#include "plugins/tintora/icc_tag_table.h"
#include "plugins/tintora/profile_name.h"
#include "plugins/tintora/profile_tags.h"
#include "plugins/tintora/win/calibration_state.h"
#include "plugins/tintora/win/registry_values.h"
#include "plugins/tintora/win/wcs_profile.h"
#include "plugins/tintora/write_log.h"

namespace tintora {
namespace {

constexpr const wchar_t* kBoardKey = L"SYSTEM\\HardwareConfig\\Current";
constexpr const wchar_t* kProcessorKey = L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
constexpr const wchar_t* kMonitorEnumKey = L"SYSTEM\\CurrentControlSet\\Services\\monitor\\Enum";

// The longest profile name a "cmgm" tag may give.
constexpr size_t kMaxSecondProfileName = 63;

std::string Utf8(const std::wstring& text) { return zu::win::ToUtf8(text); }

// The tag's 8-bit text, each byte widened.
std::wstring Widen(const std::string& text) {
  std::wstring wide;
  for (unsigned char c : text) wide += static_cast<wchar_t>(c);
  return wide;
}

// The header's size and the tag table of an open profile file.
icc::TagTable ReadTagTable(HANDLE file) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0) {
    icc::TagTable unreadable;
    unreadable.problem = "the size of the file is unknown";
    return unreadable;
  }
  return icc::ReadTagTable(static_cast<uint64_t>(size.QuadPart), [file](uint64_t offset, size_t count, uint8_t* out) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return count <= MAXDWORD && ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
           ::ReadFile(file, out, static_cast<DWORD>(count), &read, nullptr) && read == count;
  });
}

}  // namespace

CalibrationState& ProcessCalibration() {
  static CalibrationState state;
  return state;
}

void IdentifyPlatform(CalibrationState& state) {
  const std::wstring board = ReadRegValueSZ(kBoardKey, L"BaseBoardProduct");
  const std::wstring vendor = ReadRegValueSZ(kProcessorKey, L"VendorIdentifier");
  const GraphicsPlatform platform = GraphicsPlatformFor(Utf8(vendor));
  state.GpuPath = platform.gpuPath;

  // The first monitor Windows enumerated, and its EDID.
  const std::wstring instance = ReadRegValueSZ(kMonitorEnumKey, L"0");
  uint8_t edid[kEdidBufferSize] = {};
  ReadRegValueBinary(L"SYSTEM\\CurrentControlSet\\Enum\\" + instance + L"\\Device Parameters", L"EDID", edid);

  state.ProfileName = zu::win::FromUtf8(BuildProfileName(Utf8(board), platform.vendorId, PanelIdFromEdid(edid)));
}

int getColorDir(CalibrationState& state) {
  wchar_t directory[128] = {};
  DWORD size = sizeof directory;  // bytes
  if (!::GetColorDirectoryW(nullptr, directory, &size)) {
    TINTORA_LOG(kWriteLogError, "getColorDir", "GetColorDirectory fail");
    return -1;
  }
  state.colorDirectory = directory;
  return 0;
}

int getDisplayDevices(CalibrationState& state) {
  constexpr const char* kStep = "getDisplayDevices";
  DISPLAY_DEVICEW adapter{};
  adapter.cb = sizeof adapter;
  if (!::EnumDisplayDevicesW(nullptr, 0, &adapter, 0)) {
    TINTORA_LOG(kWriteLogError, kStep, "EnumDisplayDevices fail");
    return -1;
  }
  TINTORA_LOG(kWriteLogDebug, kStep, "Device:   %d", 0);
  TINTORA_LOG(kWriteLogDebug, kStep, "DeviceName:   '%s'", Utf8(adapter.DeviceName).c_str());
  TINTORA_LOG(kWriteLogDebug, kStep, "DeviceString: '%s'", Utf8(adapter.DeviceString).c_str());
  state.adapterName = adapter.DeviceName;

  DISPLAY_DEVICEW monitor{};
  monitor.cb = sizeof monitor;
  if (!::EnumDisplayDevicesW(adapter.DeviceName, 0, &monitor, 0)) {
    TINTORA_LOG(kWriteLogError, kStep, "EnumDisplayDevices fail");
    return -1;
  }
  TINTORA_LOG(kWriteLogDebug, kStep, "DeviceID:   '%s'", Utf8(monitor.DeviceID).c_str());
  TINTORA_LOG(kWriteLogDebug, kStep, "Monitor Name: '%s'", Utf8(monitor.DeviceString).c_str());
  state.monitorId = monitor.DeviceID;
  return 0;
}

int parseICC(CalibrationState& state) {
  constexpr const char* kStep = "parseICC";
  const std::wstring path = state.productFolder + L"\\" + state.ProfileName;
  const std::string narrowPath = Utf8(path);
  TINTORA_LOG(kWriteLogInfo, kStep, "icc file_path : %s", narrowPath.c_str());

  // Held open while the profile is read, and closed with it on every path.
  zu::win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    TINTORA_LOG(kWriteLogError, kStep, "Can't open file '%s'", narrowPath.c_str());
    return -1;
  }
  UniqueProfile profile = OpenProfileFile(path);
  if (!profile) {
    TINTORA_LOG(kWriteLogError, kStep, "Creation of ICC object failed");
    return -1;
  }
  PROFILEHEADER header{};
  if (!::GetColorProfileHeader(profile.get(), &header)) {
    const DWORD code = ::GetLastError();
    TINTORA_LOG(kWriteLogError, kStep, "icco read %d, %s failed", static_cast<int>(code), SystemErrorText(code).c_str());
    return -1;
  }
  // The colour system passes over tags that lie outside the file as if they
  // were absent: the table is checked here, and a tag it lists must be read.
  const icc::TagTable table = ReadTagTable(file.get());
  if (!table.ok) {
    TINTORA_LOG(kWriteLogError, kStep, "icco read %d, %s failed", static_cast<int>(ERROR_INVALID_DATA),
                table.problem.c_str());
    return -1;
  }
  WcsTagSource colourSystem(profile.get());
  icc::ListedTagSource tags(colourSystem, table);
  return ReadProfileTags(tags, state.params, [&state](const std::string& name) { setICM(state, name); });
}

void setICM(CalibrationState& state, const std::string& name) {
  constexpr const char* kStep = "setICM";
  const std::wstring fileName = Widen(name);
  TINTORA_LOG(kWriteLogInfo, kStep, "Tintora cmgm name : %s", Utf8(fileName).c_str());
  // The name is joined to two folders: it must not lead out of them.
  if (!IsPlainFileName(name) || name.size() > kMaxSecondProfileName) {
    TINTORA_LOG(kWriteLogError, kStep, "cmgm name '%s' is not a profile file name, nothing installed",
                Utf8(fileName).c_str());
    return;
  }
  const std::wstring source = state.productFolder + L"\\" + fileName;
  const std::wstring target = state.colorDirectory + L"\\" + fileName;
  if (!::CopyFileW(source.c_str(), target.c_str(), FALSE))
    TINTORA_LOG(kWriteLogError, kStep, "copy of '%s' failed: %lu", Utf8(source).c_str(), ::GetLastError());
  TINTORA_LOG(kWriteLogInfo, kStep, "setICMDeviceID: %s\nFile: %s", Utf8(state.monitorId).c_str(),
              Utf8(fileName).c_str());
  if (!::InstallColorProfileW(nullptr, target.c_str()))
    TINTORA_LOG(kWriteLogError, kStep, "InstallColorProfile failed: %lu", ::GetLastError());
  if (!::AssociateColorProfileWithDeviceW(nullptr, fileName.c_str(), state.monitorId.c_str()))
    TINTORA_LOG(kWriteLogError, kStep, "AssociateColorProfileWithDevice failed: %lu", ::GetLastError());
}

}  // namespace tintora
