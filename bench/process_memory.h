// A process's memory as the benchmark reports it, and where its private
// memory lies.
//
// Wine reports another process's private bytes in PagefileUsage (it leaves
// PrivateUsage at 0), counted from the Linux process's resident anonymous
// memory. The breakdown reads that process's /proc/<pid>/smaps through
// Wine's Z: drive and assigns each mapping's anonymous pages to the loaded
// module whose image holds it, to the Unix heap (the malloc of Wine and of
// the Unix libraries it loads), or to the rest outside modules (Windows
// heaps, stacks, bitmaps, Wine's own).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zu::bench {

struct MemoryFigures {
  bool ok = false;
  double privateMiB = 0;
  double workingSetMiB = 0;
};

MemoryFigures MemoryOf(HANDLE process);

struct MemoryShare {
  std::wstring where;  // a module's file name, L"Unix heap" or L"outside modules"
  double mib = 0;
};

// The process's resident anonymous memory by module, largest first; empty
// when its Linux side cannot be found (not under Wine, or no /proc).
std::vector<MemoryShare> PrivateMemoryByModule(HANDLE process, const std::wstring& programPath);

// The CPU time (user + system) the Linux kernel has counted for the process
// of that program, in its clock ticks (10 ms), dead threads included; -1
// when its Linux side cannot be found. Wine's GetProcessTimes for another
// process was seen to report a tick more over an idle half minute in which
// the kernel counted none, so the idle figure is taken from here.
long long LinuxCpuTicks(const std::wstring& programPath);

// One line: "<total> MiB: a.dll 1.2, b.dll 0.4, ..., outside modules 3.1".
std::string DescribeShares(const std::vector<MemoryShare>& shares, double minimumMiB = 0.1);

}  // namespace zu::bench
