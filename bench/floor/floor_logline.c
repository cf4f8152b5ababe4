// A plain append-and-flush of a log line of the agent's shape with the C
// runtime: what writing the line itself costs, without formatting or locks.
//
//   floor_logline [--lines N]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define kRounds 7

static int Compare(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return x < y ? -1 : x > y;
}

int main(int argc, char** argv) {
  int lines = 5000;
  if (argc == 3 && strcmp(argv[1], "--lines") == 0 && atoi(argv[2]) > 0) lines = atoi(argv[2]);

  wchar_t folder[MAX_PATH], path[MAX_PATH];
  if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"zfl", 0, path)) {
    printf("floor log line: no temporary file (error %lu)\n", GetLastError());
    return 1;
  }
  FILE* file = _wfopen(path, L"ab");
  if (!file) {
    printf("floor log line: cannot open the temporary file\n");
    return 1;
  }
  // The agent's line for the same message, as its logger lays it out.
  static const char kLine[] = "[2026-01-01 12:00:00.000] [TarnService] [info] Bench: log line cost 1234\r\n";

  // The median of a few rounds, as for the agent's figure.
  double us[kRounds];
  LARGE_INTEGER frequency, t0, t1;
  QueryPerformanceFrequency(&frequency);
  for (int r = 0; r < kRounds; ++r) {
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < lines; ++i) {
      fwrite(kLine, 1, sizeof kLine - 1, file);
      fflush(file);
    }
    QueryPerformanceCounter(&t1);
    us[r] = (double)(t1.QuadPart - t0.QuadPart) * 1e6 / (double)frequency.QuadPart / lines;
  }
  fclose(file);
  DeleteFileW(path);
  qsort(us, kRounds, sizeof *us, Compare);
  const double median = us[kRounds / 2];
  printf("floor: line appended and flushed with the C runtime: %.2f us (median of %d rounds of %d lines)\n", median,
         kRounds, lines);
  printf("@ floor logline_us %.3f\n", median);
  return 0;
}
