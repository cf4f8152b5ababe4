#include "bench/process_memory.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "base/win/utf.h"

namespace zu::bench {
namespace {

constexpr double kMiB = 1048576.0;

std::string ReadWhole(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The value of NAME in a NUL-separated environment block.
std::string EnvironmentValue(const std::string& block, const std::string& name) {
  const std::string key = name + "=";
  size_t at = 0;
  while (at < block.size()) {
    const size_t end = block.find('\0', at);
    const std::string entry = block.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (entry.rfind(key, 0) == 0) return entry.substr(key.size());
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return {};
}

// The Linux process of this Wine prefix whose command line names the
// program (Wine puts the Windows path of the program there), or 0.
unsigned long LinuxProcessOf(const std::wstring& programPath) {
  const std::string prefix = EnvironmentValue(ReadWhole(L"Z:\\proc\\self\\environ"), "WINEPREFIX");
  if (prefix.empty()) return 0;
  std::string wanted = Lower(win::ToUtf8(programPath));
  if (wanted.size() > 2 && wanted[1] == ':') wanted = wanted.substr(2);  // the drive may be given either way
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW(L"Z:\\proc\\*", &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  unsigned long found = 0;
  do {
    if (!std::iswdigit(entry.cFileName[0])) continue;
    const std::wstring dir = std::wstring(L"Z:\\proc\\") + entry.cFileName;
    const std::string commandLine = Lower(ReadWhole(dir + L"\\cmdline"));
    if (commandLine.find(wanted) == std::string::npos) continue;
    if (EnvironmentValue(ReadWhole(dir + L"\\environ"), "WINEPREFIX") != prefix) continue;
    found = std::wcstoul(entry.cFileName, nullptr, 10);
  } while (!found && ::FindNextFileW(find, &entry));
  ::FindClose(find);
  return found;
}

struct Module {
  uintptr_t base = 0, end = 0;
  std::wstring name;
};

std::vector<Module> ModulesOf(HANDLE process) {
  std::vector<HMODULE> handles(1024);
  DWORD needed = 0;
  if (!::EnumProcessModulesEx(process, handles.data(), static_cast<DWORD>(handles.size() * sizeof(HMODULE)), &needed,
                              LIST_MODULES_ALL))
    return {};
  handles.resize(std::min<size_t>(handles.size(), needed / sizeof(HMODULE)));
  std::vector<Module> modules;
  for (HMODULE handle : handles) {
    MODULEINFO info{};
    wchar_t name[MAX_PATH] = {};
    if (!::GetModuleInformation(process, handle, &info, sizeof info)) continue;
    ::GetModuleBaseNameW(process, handle, name, MAX_PATH);
    const auto base = reinterpret_cast<uintptr_t>(info.lpBaseOfDll);
    modules.push_back({base, base + info.SizeOfImage, name});
  }
  return modules;
}

}  // namespace

MemoryFigures MemoryOf(HANDLE process) {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  MemoryFigures figures;
  if (!::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
    return figures;
  const SIZE_T privateBytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
  figures.ok = true;
  figures.privateMiB = privateBytes / kMiB;
  figures.workingSetMiB = counters.WorkingSetSize / kMiB;
  return figures;
}

std::vector<MemoryShare> PrivateMemoryByModule(HANDLE process, const std::wstring& programPath) {
  const unsigned long pid = LinuxProcessOf(programPath);
  if (!pid) return {};
  const std::vector<Module> modules = ModulesOf(process);
  std::istringstream smaps(ReadWhole(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\smaps"));
  std::map<std::wstring, double> kib;
  std::wstring where;
  std::string line;
  while (std::getline(smaps, line)) {
    unsigned long long start = 0, end = 0;
    unsigned long long value = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx ", &start, &end) == 2 && line.find(':') > line.find(' ')) {
      where = line.find("[heap]") != std::string::npos ? L"Unix heap" : L"outside modules";
      for (const Module& m : modules)
        if (start >= m.base && start < m.end) where = m.name;
    } else if (std::sscanf(line.c_str(), "Anonymous: %llu kB", &value) == 1 && value) {
      kib[where] += static_cast<double>(value);
    }
  }
  std::vector<MemoryShare> shares;
  for (const auto& [name, k] : kib) shares.push_back({name, k / 1024.0});
  std::sort(shares.begin(), shares.end(), [](const MemoryShare& a, const MemoryShare& b) { return a.mib > b.mib; });
  return shares;
}

long long LinuxCpuTicks(const std::wstring& programPath) {
  const unsigned long pid = LinuxProcessOf(programPath);
  if (!pid) return -1;
  const std::string stat = ReadWhole(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\stat");
  // The fields after the command name in parentheses: state is the 3rd,
  // utime and stime the 14th and 15th.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 1));
  std::string field;
  long long utime = -1, stime = -1;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::atoll(field.c_str());
    if (i == 15) {
      stime = std::atoll(field.c_str());
      break;
    }
  }
  return utime < 0 || stime < 0 ? -1 : utime + stime;
}

std::string DescribeShares(const std::vector<MemoryShare>& shares, double minimumMiB) {
  if (shares.empty()) return "not available";
  double total = 0, small = 0;
  std::string parts;
  char text[160];
  for (const MemoryShare& s : shares) {
    total += s.mib;
    if (s.mib < minimumMiB) {
      small += s.mib;
      continue;
    }
    std::snprintf(text, sizeof text, "%s%s %.1f", parts.empty() ? "" : ", ", win::ToUtf8(s.where).c_str(), s.mib);
    parts += text;
  }
  if (small > 0) {
    std::snprintf(text, sizeof text, "%sthe rest %.1f", parts.empty() ? "" : ", ", small);
    parts += text;
  }
  std::snprintf(text, sizeof text, "%.1f MiB: ", total);
  return text + parts;
}

}  // namespace zu::bench
