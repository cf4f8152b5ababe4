#include "tools/simlaptop/agent_run.h"

#include <shlobj.h>

#include <sstream>

#include "base/win/module_path.h"
#include "base/win/utf.h"
#include "testing/win/file_text.h"
#include "tools/simlaptop/sim_hotkey.h"

namespace zu::simagent {
namespace {

constexpr DWORD kTerminatedExitCode = STILL_ACTIVE;
constexpr const wchar_t* kOutputFile = L"agent-output.txt";
constexpr const wchar_t* kOsdRecordFile = L"osd-record.txt";
constexpr const wchar_t* kRuntime[] = {L"libstdc++-6.dll", L"libgcc_s_seh-1.dll", L"libwinpthread-1.dll"};

std::filesystem::path BinFolder() { return std::filesystem::path(win::ModuleDirectory()); }

std::filesystem::path NewFolder() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  static unsigned counter = 0;
  auto folder = std::filesystem::path(temp) /
                (L"zuagent-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  std::filesystem::create_directories(folder);
  return folder;
}

void CopyIn(const std::filesystem::path& from, const std::filesystem::path& folder, const std::wstring& asName) {
  std::filesystem::copy_file(from, folder / asName, std::filesystem::copy_options::overwrite_existing);
}

// The ended agent's files can stay in use for a moment after its process
// handle is signalled. (Wine may keep the emptied folder itself until the
// session ends; it holds nothing.)
void RemoveFolder(const std::filesystem::path& folder) {
  for (int attempt = 0; attempt < 40; ++attempt) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    if (!ec) return;
    ::Sleep(50);
  }
}

// Reads a file another process may be writing; from `offset` on.
std::string ReadShared(const std::filesystem::path& file, uintmax_t offset = 0) {
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  win::UniqueFile owner(h);
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(h, &size)) return {};
  // A rotated log starts again from the beginning.
  if (static_cast<uintmax_t>(size.QuadPart) < offset) offset = 0;
  LARGE_INTEGER start{};
  start.QuadPart = static_cast<LONGLONG>(offset);
  ::SetFilePointerEx(h, start, nullptr, FILE_BEGIN);
  std::string text(static_cast<size_t>(size.QuadPart - static_cast<LONGLONG>(offset)), '\0');
  DWORD read = 0;
  if (!text.empty() && !::ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) return {};
  text.resize(read);
  return text;
}

// The volume and file index of a file: they stay with it when it is renamed,
// as the logger does when it rotates. 0 when it cannot be opened.
uint64_t FileIdentity(const std::filesystem::path& file) {
  HANDLE h = ::CreateFileW(file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  win::UniqueFile owner(h);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info)) return 0;
  return (static_cast<uint64_t>(info.dwVolumeSerialNumber) << 48) ^
         (static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow);
}

// log.<n>.txt beside log.txt.
std::filesystem::path RotatedLog(const std::filesystem::path& log, int n) {
  return log.parent_path() / (L"log." + std::to_wstring(n) + L".txt");
}

constexpr int kRotatedLogs = 3;

uintmax_t FileSize(const std::filesystem::path& file) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(file, ec);
  return ec ? 0 : size;
}

// The agent's window, when it belongs to `processId`.
HWND AgentWindow(DWORD processId) {
  for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, simhotkey::kAgentWindowClass, nullptr));) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (owner == processId) return w;
  }
  return nullptr;
}

}  // namespace

std::filesystem::path AgentLogFile() {
  PWSTR known = nullptr;
  std::filesystem::path path;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known)))
    path = std::filesystem::path(known) / L"Orvale" / L"TarnService" / L"log.txt";
  ::CoTaskMemFree(known);
  return path;
}

AgentRun::AgentRun(std::vector<std::wstring> plugins, PopupLibrary popups) : folder_(NewFolder()) {
  const auto bin = BinFolder();
  CopyIn(bin / L"zueventapp.exe", folder_, L"zueventapp.exe");
  for (const wchar_t* dll : kRuntime) CopyIn(bin / dll, folder_, dll);
  for (const auto& plugin : plugins) CopyIn(bin / plugin, folder_, plugin);
  if (popups == PopupLibrary::kRecorder) CopyIn(bin / simosd::kRecorderFolder / L"glimmer.dll", folder_, L"glimmer.dll");
  if (popups == PopupLibrary::kReal) CopyIn(bin / L"glimmer.dll", folder_, L"glimmer.dll");
  logFile_ = AgentLogFile();
}

AgentRun::~AgentRun() {
  if (process_) Stop();
  process_.reset();
  RemoveFolder(folder_);
}

bool AgentRun::Start(DWORD waitMs) {
  if (process_) {
    error_ = "the agent is running already";
    return false;
  }
  logStart_ = FileSize(logFile_);
  logIdentity_ = FileIdentity(logFile_);

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  win::UniqueFile output(::CreateFileW((folder_ / kOutputFile).c_str(), FILE_APPEND_DATA,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = output.get();
  startup.hStdError = output.get();

  // The child inherits the record file's name through the environment.
  const std::wstring record = (folder_ / kOsdRecordFile).wstring();
  ::SetEnvironmentVariableW(simosd::kRecordVariable, record.c_str());
  std::wstring commandLine = L"\"" + (folder_ / L"zueventapp.exe").wstring() + L"\"";
  PROCESS_INFORMATION info{};
  // Not the build's bin folder: the agent's library search would find
  // plug-ins there that the test did not put in the folder.
  const std::wstring currentDirectory = folder_.wstring();
  const BOOL created = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, currentDirectory.c_str(), &startup, &info);
  const DWORD createError = ::GetLastError();
  ::SetEnvironmentVariableW(simosd::kRecordVariable, nullptr);
  if (!created) {
    error_ = "CreateProcessW failed, error " + std::to_string(createError);
    return false;
  }
  ::CloseHandle(info.hThread);
  process_.reset(info.hProcess);

  const ULONGLONG deadline = ::GetTickCount64() + waitMs;
  for (;;) {
    if (AgentWindow(info.dwProcessId)) return true;
    if (::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) {
      error_ = "the agent ended before its window appeared";
      return false;
    }
    if (::GetTickCount64() >= deadline) {
      error_ = "no agent window within " + std::to_string(waitMs) + " ms";
      return false;
    }
    ::Sleep(20);
  }
}

bool AgentRun::WaitForLog(const std::string& text, DWORD waitMs) const {
  const ULONGLONG deadline = ::GetTickCount64() + waitMs;
  for (;;) {
    if (RunLog().find(text) != std::string::npos) return true;
    if (::GetTickCount64() >= deadline) return false;
    ::Sleep(20);
  }
}

DWORD AgentRun::Stop(DWORD waitMs) {
  if (!process_) return kTerminatedExitCode;
  const DWORD processId = ::GetProcessId(process_.get());
  if (HWND window = AgentWindow(processId)) ::PostThreadMessageW(::GetWindowThreadProcessId(window, nullptr), WM_QUIT, 0, 0);
  if (::WaitForSingleObject(process_.get(), waitMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_.get(), kTerminatedExitCode);
    ::WaitForSingleObject(process_.get(), 5000);
    process_.reset();
    return kTerminatedExitCode;
  }
  DWORD code = kTerminatedExitCode;
  ::GetExitCodeProcess(process_.get(), &code);
  process_.reset();
  return code;
}

bool AgentRun::running() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

std::vector<std::string> AgentRun::LogLines() const {
  std::vector<std::string> lines;
  std::istringstream in(RunLog());
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string AgentRun::RunLog() const {
  if (!logIdentity_ || FileIdentity(logFile_) == logIdentity_) return ReadShared(logFile_, logStart_);
  // log.txt was rotated during the run: the run began in the numbered file
  // that is now that same file, and went on in the newer ones.
  int first = kRotatedLogs;
  uintmax_t offset = 0;
  for (int n = 1; n <= kRotatedLogs; ++n) {
    if (FileIdentity(RotatedLog(logFile_, n)) == logIdentity_) {
      first = n;
      offset = logStart_;
      break;
    }
  }
  std::string text;
  for (int n = first; n >= 1; --n) text += ReadShared(RotatedLog(logFile_, n), n == first ? offset : 0);
  return text + ReadShared(logFile_);
}

std::vector<std::string> AgentRun::LogTexts(const std::string& level) const {
  std::vector<std::string> texts;
  for (const auto& line : LogLines()) {
    std::string lineLevel;
    std::string text = testing::LineText(line, &lineLevel);
    if (!text.empty() && (level.empty() || level == lineLevel)) texts.push_back(std::move(text));
  }
  return texts;
}

std::vector<simosd::Entry> AgentRun::OsdRecord() const { return simosd::ReadRecord(folder_ / kOsdRecordFile); }

bool AgentRun::WaitForPopupStarts(size_t count, DWORD waitMs) const {
  const ULONGLONG deadline = ::GetTickCount64() + waitMs;
  for (;;) {
    if (simosd::CountOf(OsdRecord(), "start") >= count) return true;
    if (::GetTickCount64() >= deadline) return false;
    ::Sleep(20);
  }
}

std::string AgentRun::Output() const { return ReadShared(folder_ / kOutputFile); }

}  // namespace zu::simagent
