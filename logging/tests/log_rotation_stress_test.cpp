// Rotation under load: four threads write 30 MiB through one logger; every
// line must be found exactly once, whole, across log.txt and the three
// rotated files (30 MiB fits in the four files, so none may be dropped).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "logging/zu_logger.h"
#include "testing/win/file_text.h"
#include "testing/win/registry.h"
#include "testing/win/temp_dir.h"

namespace zu::testing {
namespace {

TEST(LogRotationStress, FourThreadsWriting30MiBKeepEveryLineExactlyOnce) {
  DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");  // information level
  TempDir dir;
  ZuLogger logger("TarnService", dir.str());
  ASSERT_TRUE(logger.hasFile());

  constexpr int kThreads = 4;
  const std::string padding(200, 'p');
  // Each line: "[time] [TarnService] [info] tN: <index> <padding>", about 250 bytes.
  const size_t perThread = (30u << 20) / kThreads / 250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (size_t i = 0; i < perThread; ++i) logger.Log(0, "t" + std::to_string(t), std::to_string(i) + " " + padding);
    });
  for (auto& th : threads) th.join();

  std::vector<std::vector<int>> seen(kThreads, std::vector<int>(perThread, 0));
  size_t lines = 0, bytes = 0;
  const auto folder = dir.path() / L"TarnService";
  for (const wchar_t* file : {L"log.3.txt", L"log.2.txt", L"log.1.txt", L"log.txt"}) {
    ASSERT_TRUE(std::filesystem::exists(folder / file)) << "the 30 MiB must have rotated three times";
    bytes += std::filesystem::file_size(folder / file);
    for (const auto& line : ReadLines(folder / file)) {
      const std::string text = LineText(line);
      ASSERT_GT(text.size(), 4u) << line;
      const int t = text[1] - '0';
      ASSERT_TRUE(text[0] == 't' && t >= 0 && t < kThreads) << line;
      const size_t space = text.find(' ', 4);
      ASSERT_NE(space, std::string::npos) << line;
      const size_t index = std::stoul(text.substr(4, space - 4));
      ASSERT_LT(index, perThread) << line;
      ASSERT_EQ(text.substr(space + 1), padding) << "a torn line: " << line;
      ++seen[t][index];
      ++lines;
    }
  }
  EXPECT_GE(bytes, 30u << 20);
  EXPECT_EQ(lines, kThreads * perThread);
  for (int t = 0; t < kThreads; ++t)
    for (size_t i = 0; i < perThread; ++i) ASSERT_EQ(seen[t][i], 1) << "thread " << t << " line " << i;
}

}  // namespace
}  // namespace zu::testing
