// simacpi: installs and drives the simulated ACPI control device from
// scripts. Run it under Wine in the prefix it should act on.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/win/module_path.h"
#include "base/win/utf.h"
#include "tools/simlaptop/sim_acpi.h"

namespace {

using namespace zu;

constexpr const char* kUsage =
    "usage: simacpi COMMAND [ARGS]\n"
    "  install [SYS]            install or update the driver (default: simacpi.sys beside this\n"
    "                           program) as a kernel service loaded by every session, and start it\n"
    "  uninstall                stop and remove the driver\n"
    "  start | stop             device present | absent\n"
    "  reset                    forget every setting and record\n"
    "  status ID VALUE          \"DSTS\" answer for device ID\n"
    "  clear-status ID\n"
    "  devs-answer VALUE        first word of the \"DEVS\" answers\n"
    "  scdg SELECTOR FILE [COUNT]  \"SCDG\" answer: COUNT (default 512), then FILE's bytes\n"
    "  scdg SELECTOR none       \"SCDG\" answers count 0 (no data)\n"
    "  refuse on|off|NTSTATUS   fail every request\n"
    "  answer-length N|full     cut every answer to N bytes\n"
    "  devs ID                  last value set for ID and the number of \"DEVS\" it received\n"
    "  history                  every request since the last reset, one per line\n"
    "  show                     state, counters and the last request\n"
    "Numbers are decimal or 0x-hexadecimal.\n";

bool ParseNumber(const wchar_t* text, uint32_t* value) {
  wchar_t* end = nullptr;
  errno = 0;
  const unsigned long long v = std::wcstoull(text, &end, 0);
  if (!*text || *end || errno || v > 0xFFFFFFFFull) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int Result(bool ok, const char* what) {
  if (ok) return 0;
  std::fprintf(stderr, "simacpi: %s failed\n", what);
  return 1;
}

void PrintHex(const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) std::printf("%02x%s", bytes[i], (i % 32 == 31) ? "\n  " : " ");
  std::printf("\n");
}

int Show() {
  std::printf("installed %s, running %s\n", simacpi::IsInstalled() ? "yes" : "no",
              simacpi::IsRunning() ? "yes" : "no");
  std::printf("requests %u, history %zu%s\n", simacpi::RequestCount(), simacpi::History().size(),
              simacpi::HistoryOverflowed() ? " (full)" : "");
  if (auto ioctl = simacpi::LastIoctl()) std::printf("last control code %08x\n", *ioctl);
  if (auto size = simacpi::LastOutputSize()) std::printf("last output size %u\n", *size);
  const auto last = simacpi::LastRequest();
  std::printf("last request (%zu bytes):\n  ", last.size());
  PrintHex(last);
  return 0;
}

int History() {
  for (const auto& r : simacpi::History())
    std::printf("%s length %u args %08x %08x status %08x\n", simacpi::TagText(r.tag).c_str(), r.length, r.arg0,
                r.arg1, r.status);
  return 0;
}

int Run(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  const std::wstring command = argv[1];
  const int n = argc - 2;
  wchar_t** a = argv + 2;
  uint32_t x = 0, y = 0;

  if (command == L"install" && n <= 1) {
    const std::wstring sys = n == 1 ? std::wstring(a[0]) : win::ModuleDirectory() + L"simacpi.sys";
    std::wstring error;
    if (!simacpi::Install(sys, &error)) {
      std::fprintf(stderr, "simacpi: install: %s\n", win::ToUtf8(error).c_str());
      return 1;
    }
    return 0;
  }
  if (command == L"uninstall" && n == 0) {
    std::wstring error;
    if (!simacpi::Uninstall(&error)) {
      std::fprintf(stderr, "simacpi: uninstall: %s\n", win::ToUtf8(error).c_str());
      return 1;
    }
    return 0;
  }
  if (command == L"start" && n == 0) return Result(simacpi::Start(), "start");
  if (command == L"stop" && n == 0) return Result(simacpi::Stop(), "stop");
  if (command == L"reset" && n == 0) return Result(simacpi::Reset(), "reset");
  if (command == L"status" && n == 2 && ParseNumber(a[0], &x) && ParseNumber(a[1], &y))
    return Result(simacpi::SetStatus(x, y), "status");
  if (command == L"clear-status" && n == 1 && ParseNumber(a[0], &x))
    return Result(simacpi::ClearStatus(x), "clear-status");
  if (command == L"devs-answer" && n == 1 && ParseNumber(a[0], &x))
    return Result(simacpi::SetDevsAnswer(x), "devs-answer");
  if (command == L"scdg" && (n == 2 || n == 3) && ParseNumber(a[0], &x)) {
    if (std::wstring(a[1]) == L"none" && n == 2) return Result(simacpi::ClearCalibration(x), "scdg");
    uint32_t count = 512;
    if (n == 3 && !ParseNumber(a[2], &count)) return Usage();
    std::ifstream file(a[1], std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "simacpi: cannot read %s\n", win::ToUtf8(a[1]).c_str());
      return 1;
    }
    const std::vector<uint8_t> block((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (block.size() > 1020) {
      std::fprintf(stderr, "simacpi: %zu bytes is more than an answer holds\n", block.size());
      return 1;
    }
    return Result(simacpi::SetCalibration(x, block, count), "scdg");
  }
  if (command == L"refuse" && n == 1) {
    const std::wstring v = a[0];
    if (v == L"on") return Result(simacpi::SetRefuse(true), "refuse");
    if (v == L"off") return Result(simacpi::SetRefuse(false), "refuse");
    if (ParseNumber(a[0], &x)) return Result(simacpi::SetRefuse(true, x), "refuse");
    return Usage();
  }
  if (command == L"answer-length" && n == 1) {
    if (std::wstring(a[0]) == L"full") return Result(simacpi::SetAnswerLength(std::nullopt), "answer-length");
    if (ParseNumber(a[0], &x)) return Result(simacpi::SetAnswerLength(x), "answer-length");
    return Usage();
  }
  if (command == L"devs" && n == 1 && ParseNumber(a[0], &x)) {
    const auto value = simacpi::LastDevsValue(x);
    if (value)
      std::printf("%08x value %u count %u\n", x, *value, simacpi::DevsCount(x));
    else
      std::printf("%08x none count %u\n", x, simacpi::DevsCount(x));
    return 0;
  }
  if (command == L"history" && n == 0) return History();
  if (command == L"show" && n == 0) return Show();
  return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
