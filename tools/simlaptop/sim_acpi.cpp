#include "tools/simlaptop/sim_acpi.h"

#include <windows.h>

#include <utility>

#include "base/win/unique_hkey.h"
#include "tools/simlaptop/driver/sim_acpi_layout.h"

namespace zu::simacpi {
namespace {

class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE h = nullptr) : h_(h) {}
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  ServiceHandle(ServiceHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  ServiceHandle& operator=(ServiceHandle&& o) noexcept {
    if (this != &o) {
      if (h_) ::CloseServiceHandle(h_);
      h_ = std::exchange(o.h_, nullptr);
    }
    return *this;
  }
  ~ServiceHandle() {
    if (h_) ::CloseServiceHandle(h_);
  }
  SC_HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  SC_HANDLE h_;
};

std::wstring ErrorText(const wchar_t* what, DWORD error) {
  return std::wstring(what) + L" failed with error " + std::to_wstring(error);
}

std::wstring Hex8(uint32_t v) {
  wchar_t buf[9];
  static const wchar_t digits[] = L"0123456789abcdef";
  for (int i = 7; i >= 0; --i, v >>= 4) buf[i] = digits[v & 0xF];
  buf[8] = 0;
  return buf;
}

std::wstring StatusName(uint32_t id) { return SIM_ACPI_STATUS_PREFIX + Hex8(id); }
std::wstring DevsName(uint32_t id) { return SIM_ACPI_DEVS_PREFIX + Hex8(id); }
std::wstring DevsCountName(uint32_t id) { return SIM_ACPI_DEVS_COUNT_PREFIX + Hex8(id); }
std::wstring ScdgName(uint32_t selector) { return SIM_ACPI_SCDG_PREFIX + std::to_wstring(selector); }

std::wstring DriverPath() {
  wchar_t system[MAX_PATH] = {};
  ::GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system) + L"\\drivers\\" + SIM_ACPI_DRIVER_FILE;
}

win::UniqueHkey OpenParameters() {
  win::UniqueHkey key;
  ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, SIM_ACPI_PARAMETERS_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                    nullptr, key.put(), nullptr);
  return key;
}

bool SetDword(const std::wstring& name, uint32_t value) {
  auto key = OpenParameters();
  DWORD v = value;
  return key && ::RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                                 sizeof v) == ERROR_SUCCESS;
}

bool SetBinary(const std::wstring& name, std::span<const uint8_t> data) {
  auto key = OpenParameters();
  return key && ::RegSetValueExW(key.get(), name.c_str(), 0, REG_BINARY, data.data(),
                                 static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool DeleteValue(const std::wstring& name) {
  auto key = OpenParameters();
  if (!key) return false;
  const LSTATUS status = ::RegDeleteValueW(key.get(), name.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

std::optional<uint32_t> GetDword(const std::wstring& name) {
  DWORD value = 0, size = sizeof value;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, SIM_ACPI_PARAMETERS_KEY, name.c_str(), RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

std::vector<uint8_t> GetBinary(const std::wstring& name) {
  DWORD size = 0;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, SIM_ACPI_PARAMETERS_KEY, name.c_str(), RRF_RT_REG_BINARY, nullptr, nullptr,
                     &size) != ERROR_SUCCESS)
    return {};
  std::vector<uint8_t> data(size);
  if (size && ::RegGetValueW(HKEY_LOCAL_MACHINE, SIM_ACPI_PARAMETERS_KEY, name.c_str(), RRF_RT_REG_BINARY, nullptr,
                             data.data(), &size) != ERROR_SUCCESS)
    return {};
  data.resize(size);
  return data;
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

ServiceHandle OpenManager() { return ServiceHandle(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

ServiceHandle OpenDriverService(SC_HANDLE manager) {
  return ServiceHandle(manager ? ::OpenServiceW(manager, SIM_ACPI_SERVICE, SERVICE_ALL_ACCESS) : nullptr);
}

std::optional<DWORD> CurrentState(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed))
    return std::nullopt;
  return status.dwCurrentState;
}

bool WaitForState(SC_HANDLE service, DWORD wanted) {
  for (int i = 0; i < 1000; ++i) {
    const auto state = CurrentState(service);
    if (!state) return false;
    if (*state == wanted) return true;
    ::Sleep(10);
  }
  return false;
}

bool StartService(SC_HANDLE service, std::wstring* error) {
  if (!::StartServiceW(service, 0, nullptr) && ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    if (error) *error = ErrorText(L"StartServiceW", ::GetLastError());
    return false;
  }
  if (!WaitForState(service, SERVICE_RUNNING)) {
    if (error) *error = L"the driver did not reach the running state";
    return false;
  }
  return true;
}

bool StopService(SC_HANDLE service, std::wstring* error) {
  const auto state = CurrentState(service);
  if (state && *state == SERVICE_STOPPED) return true;
  SERVICE_STATUS status = {};
  if (!::ControlService(service, SERVICE_CONTROL_STOP, &status) && ::GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
    if (error) *error = ErrorText(L"ControlService(STOP)", ::GetLastError());
    return false;
  }
  if (!WaitForState(service, SERVICE_STOPPED)) {
    if (error) *error = L"the driver did not stop";
    return false;
  }
  return true;
}

}  // namespace

bool Install(const std::wstring& driverFile, std::wstring* error) {
  auto manager = OpenManager();
  if (!manager) {
    *error = ErrorText(L"OpenSCManagerW", ::GetLastError());
    return false;
  }
  auto service = OpenDriverService(manager.get());
  if (service && !StopService(service.get(), error)) return false;

  const std::wstring target = DriverPath();
  if (!::CopyFileW(driverFile.c_str(), target.c_str(), FALSE)) {
    *error = ErrorText((L"copying " + driverFile + L" to " + target).c_str(), ::GetLastError());
    return false;
  }

  if (service) {
    if (!::ChangeServiceConfigW(service.get(), SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                target.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
      *error = ErrorText(L"ChangeServiceConfigW", ::GetLastError());
      return false;
    }
  } else {
    service = ServiceHandle(::CreateServiceW(manager.get(), SIM_ACPI_SERVICE, L"Simulated ACPI control device",
                                             SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START,
                                             SERVICE_ERROR_NORMAL, target.c_str(), nullptr, nullptr, nullptr, nullptr,
                                             nullptr));
    if (!service) {
      *error = ErrorText(L"CreateServiceW", ::GetLastError());
      return false;
    }
  }
  // Wine's service manager does not store the start type of a change; the
  // registry value is what a new session reads.
  DWORD start = SERVICE_AUTO_START;
  win::UniqueHkey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, SIM_ACPI_SERVICE_KEY, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS ||
      ::RegSetValueExW(key.get(), L"Start", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&start), sizeof start) !=
          ERROR_SUCCESS) {
    *error = L"setting the service's Start value failed";
    return false;
  }
  return StartService(service.get(), error);
}

bool Uninstall(std::wstring* error) {
  auto manager = OpenManager();
  if (!manager) {
    *error = ErrorText(L"OpenSCManagerW", ::GetLastError());
    return false;
  }
  auto service = OpenDriverService(manager.get());
  if (service) {
    if (!StopService(service.get(), error)) return false;
    if (!::DeleteService(service.get())) {
      *error = ErrorText(L"DeleteService", ::GetLastError());
      return false;
    }
  }
  ::DeleteFileW(DriverPath().c_str());
  return true;
}

bool Start() {
  auto manager = OpenManager();
  auto service = OpenDriverService(manager.get());
  return service && StartService(service.get(), nullptr);
}

bool Stop() {
  auto manager = OpenManager();
  auto service = OpenDriverService(manager.get());
  return service && StopService(service.get(), nullptr);
}

bool IsInstalled() {
  auto manager = OpenManager();
  return static_cast<bool>(OpenDriverService(manager.get()));
}

bool IsRunning() {
  auto manager = OpenManager();
  auto service = OpenDriverService(manager.get());
  if (!service) return false;
  const auto state = CurrentState(service.get());
  return state && *state == SERVICE_RUNNING;
}

bool Reset() {
  const LSTATUS status = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, SIM_ACPI_PARAMETERS_KEY);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool SetStatus(uint32_t deviceId, uint32_t status) { return SetDword(StatusName(deviceId), status); }
bool ClearStatus(uint32_t deviceId) { return DeleteValue(StatusName(deviceId)); }
bool SetDevsAnswer(uint32_t value) { return SetDword(SIM_ACPI_DEVS_ANSWER, value); }

bool SetCalibration(uint32_t selector, std::span<const uint8_t> block, uint32_t count) {
  std::vector<uint8_t> answer(4 + block.size());
  for (int i = 0; i < 4; ++i) answer[i] = static_cast<uint8_t>(count >> (8 * i));
  std::copy(block.begin(), block.end(), answer.begin() + 4);
  return SetCalibrationAnswer(selector, answer);
}

bool SetCalibrationAnswer(uint32_t selector, std::span<const uint8_t> answer) {
  if (answer.size() > SIM_ACPI_OUTPUT_MAX) return false;
  return SetBinary(ScdgName(selector), answer);
}

bool ClearCalibration(uint32_t selector) { return DeleteValue(ScdgName(selector)); }

bool SetRefuse(bool refuse, uint32_t ntStatus) {
  if (!refuse) return DeleteValue(SIM_ACPI_REFUSE);
  return SetDword(SIM_ACPI_REFUSE, ntStatus ? ntStatus : 1);
}

bool SetAnswerLength(std::optional<uint32_t> bytes) {
  return bytes ? SetDword(SIM_ACPI_ANSWER_LENGTH, *bytes) : DeleteValue(SIM_ACPI_ANSWER_LENGTH);
}

uint32_t RequestCount() { return GetDword(SIM_ACPI_REQUEST_COUNT).value_or(0); }
std::vector<uint8_t> LastRequest() { return GetBinary(SIM_ACPI_LAST_REQUEST); }
std::optional<uint32_t> LastIoctl() { return GetDword(SIM_ACPI_LAST_IOCTL); }
std::optional<uint32_t> LastOutputSize() { return GetDword(SIM_ACPI_LAST_OUTPUT_SIZE); }
std::optional<uint32_t> LastDevsValue(uint32_t deviceId) { return GetDword(DevsName(deviceId)); }
uint32_t DevsCount(uint32_t deviceId) { return GetDword(DevsCountName(deviceId)).value_or(0); }
bool HistoryOverflowed() { return GetDword(SIM_ACPI_HISTORY_OVERFLOW).value_or(0) != 0; }
uint32_t LoadCount() { return GetDword(SIM_ACPI_LOAD_COUNT).value_or(0); }

std::vector<Request> History() {
  const auto raw = GetBinary(SIM_ACPI_HISTORY);
  std::vector<Request> list;
  for (size_t o = 0; o + SIM_ACPI_RECORD_SIZE <= raw.size(); o += SIM_ACPI_RECORD_SIZE) {
    const uint8_t* p = raw.data() + o;
    list.push_back({Le32(p), Le32(p + 4), Le32(p + 8), Le32(p + 12), Le32(p + 16)});
  }
  return list;
}

std::vector<std::pair<uint32_t, uint32_t>> DevsHistory() {
  std::vector<std::pair<uint32_t, uint32_t>> list;
  for (const auto& r : History())
    if (r.tag == SIM_ACPI_TAG_DEVS && r.status == 0) list.emplace_back(r.arg0, r.arg1);
  return list;
}

uint32_t TagOf(const char (&text)[5]) { return Le32(reinterpret_cast<const uint8_t*>(text)); }

std::string TagText(uint32_t tag) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>(tag >> (8 * i));
    text += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return text;
}

Scope::Scope() { ready_ = Reset() && Start(); }

Scope::~Scope() {
  Reset();
  Start();
}

}  // namespace zu::simacpi
