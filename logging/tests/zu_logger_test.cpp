// ZuLogger against the real registry and real files under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "base/win/utf.h"
#include "logging/settings_key.h"
#include "logging/zu_logger.h"
#include "testing/win/file_text.h"
#include "testing/win/iat_hook.h"
#include "testing/win/registry.h"
#include "testing/win/temp_dir.h"

namespace zu::testing {
namespace {

constexpr const wchar_t* kMachineKey = L"SOFTWARE\\Orvale\\TarnService";

// What the logger handed to ReportEventW, recorded at the call boundary.
struct ReportedEvent {
  WORD type;
  WORD category;
  DWORD id;
  std::vector<std::wstring> strings;
};
std::vector<ReportedEvent> g_reported;

BOOL WINAPI RecordReportEventW(HANDLE, WORD type, WORD category, DWORD id, PSID, WORD count, DWORD, LPCWSTR* strings,
                               LPVOID) {
  ReportedEvent e{type, category, id, {}};
  for (WORD i = 0; i < count; ++i) e.strings.emplace_back(strings[i]);
  g_reported.push_back(std::move(e));
  return TRUE;
}

class ZuLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
    CreateKey(HKEY_LOCAL_MACHINE, kMachineKey);
    g_reported.clear();
  }
  void TearDown() override { DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale"); }

  // Each logger of one process needs its own name: the file logger is
  // registered process-wide under it.
  static std::string UniqueName() {
    static int n = 0;
    return "TarnService" + std::to_string(++n);
  }

  std::vector<std::string> FileLines(const ZuLogger& logger) {
    return ReadLines(std::filesystem::path(win::FromUtf8(logger.filePath())));
  }

  TempDir dir_;
};

TEST_F(ZuLoggerTest, InformationLevelFiltersDebugAndUnknownCodes) {
  const std::string name = UniqueName();
  ::testing::internal::CaptureStdout();
  ZuLogger logger(name, dir_.str());
  for (int level : {0, 1, 2, 3, 4, 7, -1}) logger.Log(level, "core", "level " + std::to_string(level));
  const std::string out = ::testing::internal::GetCapturedStdout();

  EXPECT_FALSE(logger.debug());
  EXPECT_TRUE(logger.hasFile());
  EXPECT_EQ(logger.filePath(), dir_.str() + "\\" + name + "\\log.txt");
  EXPECT_EQ(out, "") << "no echo without debug";

  const auto lines = FileLines(logger);
  ASSERT_EQ(lines.size(), 4u);
  const std::pair<const char*, const char*> expected[] = {
      {"info", "core: level 0"}, {"warning", "core: level 1"}, {"error", "core: level 2"}, {"info", "core: level 3"}};
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string level;
    EXPECT_EQ(LineText(lines[i], &level), expected[i].second);
    EXPECT_EQ(level, expected[i].first);
    // [yyyy-mm-dd hh:mm:ss.mmm] [name] ...
    ASSERT_GE(lines[i].size(), 26u);
    EXPECT_EQ(lines[i][0], '[');
    EXPECT_EQ(lines[i][24], ']');
    EXPECT_EQ(lines[i][20], '.');
    EXPECT_EQ(lines[i].substr(26, name.size() + 2), "[" + name + "]");
  }
}

TEST_F(ZuLoggerTest, DebugDwordOneEchoesEveryCall) {
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"debug", 1), ERROR_SUCCESS);
  ::testing::internal::CaptureStdout();
  ZuLogger logger(UniqueName(), dir_.str());
  logger.Log(4, "ZuEventApp", "WndProc: message = 0x7e wParam = 0x0 ZuEventType = 0x20008");
  logger.Log(7, "core", "only echoed");
  const std::string out = ::testing::internal::GetCapturedStdout();

  EXPECT_TRUE(logger.debug());
  EXPECT_EQ(out,
            "ZuLogger::Log: [4][ZuEventApp] WndProc: message = 0x7e wParam = 0x0 ZuEventType = 0x20008\n"
            "ZuLogger::Log: [7][core] only echoed\n");
  const auto lines = FileLines(logger);
  ASSERT_EQ(lines.size(), 1u);
  std::string level;
  EXPECT_EQ(LineText(lines[0], &level), "ZuEventApp: WndProc: message = 0x7e wParam = 0x0 ZuEventType = 0x20008");
  EXPECT_EQ(level, "debug");
}

TEST_F(ZuLoggerTest, OnlyTheValueOneSwitchesDebugOn) {
  ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"debug", 2), ERROR_SUCCESS);
  ZuLogger two(UniqueName(), dir_.str());
  EXPECT_FALSE(two.debug());

  // Four bytes of another registry type count as the number they hold.
  const DWORD one = 1;
  ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, kMachineKey, L"debug", REG_BINARY, &one, 4), ERROR_SUCCESS);
  ZuLogger binary(UniqueName(), dir_.str());
  EXPECT_TRUE(binary.debug());

  // A value that does not fit four bytes is unreadable: information level.
  const BYTE eight[8] = {1};
  ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, kMachineKey, L"debug", REG_BINARY, eight, 8), ERROR_SUCCESS);
  ZuLogger tooLong(UniqueName(), dir_.str());
  EXPECT_FALSE(tooLong.debug());
}

TEST_F(ZuLoggerTest, ExistingFileIsAppendedTo) {
  const std::string name = UniqueName();
  std::filesystem::create_directories(dir_.path() / name);
  { std::ofstream(dir_.path() / name / "log.txt") << "earlier line\n"; }
  ZuLogger logger(name, dir_.str());
  logger.Log(0, "core", "next");
  const auto lines = FileLines(logger);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "earlier line");
  EXPECT_EQ(LineText(lines[1]), "core: next");
}

TEST_F(ZuLoggerTest, ReportWritesOneRecordPerCallWithTypeAndIdentifier) {
  IatHook hook(nullptr, "advapi32.dll", "ReportEventW", reinterpret_cast<void*>(&RecordReportEventW));
  ASSERT_TRUE(hook.installed());
  ZuLogger logger(UniqueName(), dir_.str());
  for (int level : {0, 1, 2, 3, 4, 9}) EXPECT_EQ(logger.Report(level, "core", "m" + std::to_string(level)), 0);

  const struct {
    WORD type;
    DWORD id;
  } expected[] = {{EVENTLOG_INFORMATION_TYPE, 0x400203EA}, {EVENTLOG_WARNING_TYPE, 0x800203EC},
                  {EVENTLOG_ERROR_TYPE, 0xC00203E9},       {EVENTLOG_SUCCESS, 0},
                  {EVENTLOG_SUCCESS, 0},                   {EVENTLOG_SUCCESS, 0}};
  ASSERT_EQ(g_reported.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(g_reported[i].type, expected[i].type) << i;
    EXPECT_EQ(g_reported[i].id, expected[i].id) << i;
    EXPECT_EQ(g_reported[i].category, 0);
    ASSERT_EQ(g_reported[i].strings.size(), 1u);
  }
  EXPECT_EQ(g_reported[0].strings[0], L"core : m0");
  EXPECT_TRUE(FileLines(logger).empty()) << "Report alone writes no line";
}

TEST_F(ZuLoggerTest, MessagesOver512CharactersAreLoggedButNotReported) {
  IatHook hook(nullptr, "advapi32.dll", "ReportEventW", reinterpret_cast<void*>(&RecordReportEventW));
  ZuLogger logger(UniqueName(), dir_.str());
  const std::string long513(513, 'x');
  const std::string long512(512, 'y');
  EXPECT_EQ(logger.LogAndReport(2, "core", long513), -1);
  EXPECT_EQ(logger.LogAndReport(2, "core", long512), 0);

  const auto lines = FileLines(logger);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(LineText(lines[0]), "core: " + long513);
  ASSERT_EQ(g_reported.size(), 1u) << "only the 512-character message is reported";
  // "core : " + 512 characters, cut to the 511 characters of a 512-character buffer.
  EXPECT_EQ(g_reported[0].strings[0].size(), 511u);
  EXPECT_EQ(g_reported[0].strings[0].substr(0, 8), L"core : y");
}

TEST_F(ZuLoggerTest, RotationKeepsThreeNumberedFiles) {
  const std::string name = UniqueName();
  ZuLogger logger(name, dir_.str());
  const std::string chunk(4000, 'r');
  // Four times the size limit: three rotations.
  const size_t lines = 4 * ZuLogger::kMaxFileSize / chunk.size() + 10;
  for (size_t i = 0; i < lines; ++i) logger.Log(0, "core", std::to_string(i) + " " + chunk);

  const auto folder = dir_.path() / name;
  for (const char* f : {"log.txt", "log.1.txt", "log.2.txt", "log.3.txt"})
    EXPECT_TRUE(std::filesystem::exists(folder / f)) << f;
  EXPECT_FALSE(std::filesystem::exists(folder / "log.4.txt"));
  for (const char* f : {"log.1.txt", "log.2.txt", "log.3.txt"})
    EXPECT_LE(std::filesystem::file_size(folder / f), ZuLogger::kMaxFileSize) << f;

  // The newest line is in log.txt, the oldest kept lines in log.3.txt.
  const auto current = ReadLines(folder / "log.txt");
  ASSERT_FALSE(current.empty());
  EXPECT_EQ(LineText(current.back()), "core: " + std::to_string(lines - 1) + " " + chunk);
  const auto oldest = ReadLines(folder / "log.3.txt");
  const auto first = ReadLines(folder / "log.2.txt");
  ASSERT_FALSE(oldest.empty());
  ASSERT_FALSE(first.empty());
  EXPECT_LT(std::stoul(LineText(oldest.back()).substr(6)), std::stoul(LineText(first.front()).substr(6)));
}

// Another program holding a rotated file open without delete sharing makes
// the rotation's rename fail. Nothing may be lost: log.txt keeps what it had
// and takes the line being written, and the rotation succeeds later.
TEST_F(ZuLoggerTest, ABlockedRotationLosesNoLineAndRotatesLater) {
  const std::string name = UniqueName();
  const auto folder = dir_.path() / name;
  std::filesystem::create_directories(folder);
  const std::string filler(ZuLogger::kMaxFileSize - 100, 'f');
  WriteTextFile(folder / "log.txt", filler + "\r\n");
  WriteTextFile(folder / "log.1.txt", "older\r\n");
  HANDLE holder = ::CreateFileW((folder / "log.1.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  ZuLogger logger(name, dir_.str());
  for (int i = 0; i < 3; ++i) logger.Log(0, "core", "blocked " + std::to_string(i));
  const auto kept = ReadLines(folder / "log.txt");
  ASSERT_EQ(kept.size(), 4u);
  EXPECT_EQ(kept.front(), filler);
  EXPECT_EQ(LineText(kept.back()), "core: blocked 2");
  EXPECT_EQ(ReadLines(folder / "log.1.txt"), (std::vector<std::string>{"older"}));
  EXPECT_FALSE(std::filesystem::exists(folder / "log.2.txt"));
  ::CloseHandle(holder);

  // Once the file is free again, a later line rotates everything up.
  const std::string chunk(1000, 'c');
  const size_t later = ZuLogger::kMaxFileSize / 10 / chunk.size() + 20;
  for (size_t i = 0; i < later; ++i) logger.Log(0, "core", "later " + std::to_string(i) + " " + chunk);
  EXPECT_EQ(ReadLines(folder / "log.2.txt"), (std::vector<std::string>{"older"}));
  const auto rotated = ReadLines(folder / "log.1.txt");
  ASSERT_GE(rotated.size(), 4u);
  EXPECT_EQ(rotated.front(), filler);
  EXPECT_EQ(LineText(rotated[3]), "core: blocked 2");
  std::vector<std::string> all(rotated.begin() + 4, rotated.end());
  const auto current = ReadLines(folder / "log.txt");
  ASSERT_FALSE(current.empty());
  all.insert(all.end(), current.begin(), current.end());
  ASSERT_EQ(all.size(), later);
  for (size_t i = 0; i < later; ++i) ASSERT_EQ(LineText(all[i]), "core: later " + std::to_string(i) + " " + chunk);
}

TEST_F(ZuLoggerTest, ConcurrentWritersNeverInterleaveLines) {
  ZuLogger logger(UniqueName(), dir_.str());
  constexpr int kThreads = 4, kLines = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&logger, t] {
      for (int i = 0; i < kLines; ++i)
        logger.Log(0, "t" + std::to_string(t), std::to_string(i) + std::string(200, char('a' + t)));
    });
  for (auto& th : threads) th.join();

  std::set<std::string> seen;
  for (const auto& line : FileLines(logger)) {
    const std::string text = LineText(line);
    ASSERT_FALSE(text.empty()) << line;
    const int t = text[1] - '0';
    ASSERT_EQ(text.substr(text.size() - 200), std::string(200, char('a' + t))) << line;
    EXPECT_TRUE(seen.insert(text).second) << "duplicate " << text;
  }
  EXPECT_EQ(seen.size(), size_t(kThreads * kLines));
}

TEST_F(ZuLoggerTest, MissingSettingsKeyKeepsInformationLevelAndTheFile) {
  DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
  try {
    OpenSettingsKey();
    FAIL() << "expected OpenKey error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "OpenKey error");
  }

  ::testing::internal::CaptureStdout();
  ZuLogger logger(UniqueName(), dir_.str());
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Log settings unavailable: OpenKey error\n");
  EXPECT_FALSE(logger.debug());
  EXPECT_TRUE(logger.hasFile());
  logger.Log(0, "core", "still logged");
  EXPECT_EQ(FileLines(logger).size(), 1u);
}

TEST_F(ZuLoggerTest, MissingParentFolderLeavesALoggerWithoutFile) {
  IatHook hook(nullptr, "advapi32.dll", "ReportEventW", reinterpret_cast<void*>(&RecordReportEventW));
  const std::string base = dir_.str() + "\\no\\such";
  const std::string name = UniqueName();
  ::testing::internal::CaptureStdout();
  ZuLogger logger(name, base);
  EXPECT_EQ(logger.Log(0, "core", "a"), 0);
  EXPECT_EQ(logger.Report(2, "core", "b"), 0);
  EXPECT_EQ(logger.LogAndReport(1, "core", "c"), 0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Log init failed: unable to mkdir: " + base + "\\" + name + "\n");
  EXPECT_FALSE(logger.hasFile());
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(win::FromUtf8(base))));
  EXPECT_EQ(g_reported.size(), 2u) << "the event log still takes records";
}

// A log.txt that cannot be opened (here a folder stands in its place) does
// not leave the logger without a file: the loss is reported once to the
// event log, every line is counted, and once the file can be made the count
// comes first.
TEST_F(ZuLoggerTest, AFileThatCannotBeOpenedIsTriedAgainAndTheLossIsCounted) {
  IatHook hook(nullptr, "advapi32.dll", "ReportEventW", reinterpret_cast<void*>(&RecordReportEventW));
  const std::string name = UniqueName();
  const auto blocker = dir_.path() / name / "log.txt";
  std::filesystem::create_directories(blocker);
  ::testing::internal::CaptureStdout();
  ZuLogger logger(name, dir_.str());
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Log init failed: Failed opening file " + logger.filePath() + " for writing (error ", 0), 0u)
      << out;
  EXPECT_TRUE(logger.hasFile());
  for (int i = 0; i < 3; ++i) logger.Log(0, "core", "lost " + std::to_string(i));
  logger.Log(4, "core", "below the level, not counted");

  ASSERT_EQ(g_reported.size(), 1u) << "one record for the whole loss";
  EXPECT_EQ(g_reported[0].type, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(g_reported[0].strings[0].rfind(L"ZuLogger : Log file " + win::FromUtf8(logger.filePath()) +
                                               L" cannot be written (error ", 0),
            0u);

  std::filesystem::remove(blocker);
  logger.Log(1, "core", "back");
  const auto lines = FileLines(logger);
  ASSERT_EQ(lines.size(), 2u);
  std::string level;
  const std::string notice = LineText(lines[0], &level);
  EXPECT_EQ(notice.rfind("ZuLogger: 3 lines could not be written (error ", 0), 0u) << notice;
  EXPECT_EQ(level, "warning");
  EXPECT_EQ(LineText(lines[1]), "core: back");
  EXPECT_EQ(g_reported.size(), 1u);
}

TEST_F(ZuLoggerTest, AReusedNameIsReportedAndTheObjectStillWorks) {
  const std::string name = UniqueName();
  ZuLogger first(name, dir_.str());
  ::testing::internal::CaptureStdout();
  ZuLogger second(name, dir_.str());
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Log init failed: logger with name '" + name + "' already exists\n");
  EXPECT_FALSE(second.hasFile());
  EXPECT_EQ(second.LogAndReport(0, "core", "x"), 0);
}

}  // namespace
}  // namespace zu::testing
