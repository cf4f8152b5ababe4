#include "tools/simlaptop/sim_audio.h"

#include <cstdio>
#include <vector>

#include "base/win/module_path.h"
#include "base/win/unique_handle.h"
#include "testing/win/registry.h"
#include "tools/simlaptop/simaudio/sim_audio_table.h"

namespace zu::simaudio {

namespace {

constexpr const wchar_t* kServerKey =
    L"Software\\Classes\\CLSID\\{BCDE0395-E52F-467C-8E3D-C4579291692E}\\InprocServer32";

std::wstring ReadText(const wchar_t* name) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!testing::GetValue(HKEY_LOCAL_MACHINE, kServerKey, name, &type, &data) || type != REG_SZ) return {};
  std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

bool WriteText(const wchar_t* name, const std::wstring& text) {
  return testing::SetValue(HKEY_LOCAL_MACHINE, kServerKey, name, REG_SZ, text.c_str(),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool ResetTable(std::string* error) {
  std::unique_ptr<Table> table = Table::Open(error);
  return table && table->Reset(error);
}

}  // namespace

StandinScope::StandinScope() : savedServer_(ReadText(L"")), savedModel_(ReadText(L"ThreadingModel")) {
  const std::wstring server = win::ModuleDirectory() + L"simaudio\\simaudio.dll";
  if (::GetFileAttributesW(server.c_str()) == INVALID_FILE_ATTRIBUTES) {
    error_ = "the stand-in is not built beside the test program";
    return;
  }
  if (!WriteText(L"", server) || !WriteText(L"ThreadingModel", L"Both")) {
    error_ = "the enumerator's class could not be registered";
    return;
  }
  ResetTable(&error_);
}

StandinScope::~StandinScope() {
  if (!savedServer_.empty()) WriteText(L"", savedServer_);
  if (!savedModel_.empty()) WriteText(L"ThreadingModel", savedModel_);
  std::string ignored;
  ResetTable(&ignored);
}

ToolRun Simcall(const std::wstring& args, DWORD waitMs) {
  ToolRun run;
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  ::GetTempPathW(MAX_PATH, folder);
  ::GetTempFileNameW(folder, L"sc", 0, file);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  win::UniqueFile out(::CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return run;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out.get();
  si.hStdError = out.get();
  PROCESS_INFORMATION pi = {};
  const std::wstring exe = win::ModuleDirectory() + L"simcall.exe";
  std::wstring commandLine = L"\"" + exe + L"\" " + args;
  if (::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    win::UniqueHandle process(pi.hProcess);
    ::CloseHandle(pi.hThread);
    if (::WaitForSingleObject(process.get(), waitMs) != WAIT_OBJECT_0) ::TerminateProcess(process.get(), STILL_ACTIVE);
    ::GetExitCodeProcess(process.get(), &run.exitCode);
  }
  out.reset();
  if (FILE* f = _wfopen(file, L"rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) run.output.append(buffer, n);
    std::fclose(f);
  }
  ::DeleteFileW(file);
  return run;
}

}  // namespace zu::simaudio
