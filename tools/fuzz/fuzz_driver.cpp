// Bounded mutation driver for LLVMFuzzerTestOneInput targets.
//
//   target [--seconds N] [--runs N] [--seed N] [--max-len N] [corpus files or dirs...]
//
// Runs every corpus input once, then mutates them (bit flips, byte changes,
// inserts, deletes, splices, random blobs) until the time or run budget is
// spent. The sanitizers report any fault; a crashing input is written to
// crash-<pid>.bin before the sanitizer aborts.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

using Bytes = std::vector<uint8_t>;

Bytes g_current;

void SaveCurrent() {
  std::string name = "crash-" + std::to_string(getpid()) + ".bin";
  if (FILE* f = std::fopen(name.c_str(), "wb")) {
    std::fwrite(g_current.data(), 1, g_current.size(), f);
    std::fclose(f);
    std::fprintf(stderr, "fuzz_driver: input saved to %s\n", name.c_str());
  }
}

extern "C" void __asan_on_error() { SaveCurrent(); }

void Run(const Bytes& input) {
  g_current = input;
  // Copy into an exact-size heap block so that reads past the end are caught.
  auto* copy = static_cast<uint8_t*>(std::malloc(input.size() ? input.size() : 1));
  if (!input.empty()) std::memcpy(copy, input.data(), input.size());
  LLVMFuzzerTestOneInput(copy, input.size());
  std::free(copy);
}

void LoadCorpus(const std::filesystem::path& p, std::vector<Bytes>& corpus) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_directory(p, ec)) {
    for (const auto& e : fs::directory_iterator(p, ec)) LoadCorpus(e.path(), corpus);
    return;
  }
  std::ifstream in(p, std::ios::binary);
  if (!in) return;
  corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Mutate(const std::vector<Bytes>& corpus, std::mt19937_64& rng, size_t max_len) {
  auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
  Bytes b;
  if (corpus.empty() || rng() % 8 == 0) {
    b.resize(pick(max_len + 1));
    for (auto& c : b) c = static_cast<uint8_t>(rng());
    return b;
  }
  b = corpus[pick(corpus.size())];
  const int rounds = 1 + static_cast<int>(rng() % 6);
  for (int i = 0; i < rounds; ++i) {
    switch (rng() % 7) {
      case 0:
        if (!b.empty()) b[pick(b.size())] ^= static_cast<uint8_t>(1u << (rng() % 8));
        break;
      case 1:
        if (!b.empty()) b[pick(b.size())] = static_cast<uint8_t>(rng());
        break;
      case 2:
        if (b.size() < max_len) b.insert(b.begin() + pick(b.size() + 1), static_cast<uint8_t>(rng()));
        break;
      case 3:
        if (!b.empty()) b.erase(b.begin() + pick(b.size()));
        break;
      case 4:
        if (!b.empty()) b.resize(pick(b.size()));
        break;
      case 5: {
        const Bytes& other = corpus[pick(corpus.size())];
        if (!other.empty() && !b.empty()) {
          size_t at = pick(b.size()), from = pick(other.size());
          size_t n = std::min(other.size() - from, b.size() - at);
          std::memcpy(b.data() + at, other.data() + from, pick(n + 1));
        }
        break;
      }
      case 6: {
        static const uint8_t interesting[] = {0x00, 0x01, 0x7f, 0x80, 0xff, 0xfe, 0x10, 0x20};
        if (!b.empty()) b[pick(b.size())] = interesting[rng() % sizeof interesting];
        break;
      }
    }
  }
  if (b.size() > max_len) b.resize(max_len);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 5;
  long long runs = -1;
  uint64_t seed = std::random_device{}();
  size_t max_len = 4096;
  std::vector<Bytes> corpus;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : "0"; };
    if (a == "--seconds") seconds = std::atof(next());
    else if (a == "--runs") runs = std::atoll(next());
    else if (a == "--seed") seed = std::strtoull(next(), nullptr, 0);
    else if (a == "--max-len") max_len = std::strtoull(next(), nullptr, 0);
    else LoadCorpus(a, corpus);
  }
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);

  for (const auto& c : corpus) Run(c);
  Run({});

  std::mt19937_64 rng(seed);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  long long n = 0;
  while ((runs < 0 || n < runs) && std::chrono::steady_clock::now() < deadline) {
    Run(Mutate(corpus, rng, max_len));
    ++n;
  }
  std::printf("fuzz_driver: seed %llu, %zu corpus inputs, %lld mutated runs, no fault\n",
              static_cast<unsigned long long>(seed), corpus.size(), n);
  return 0;
}
