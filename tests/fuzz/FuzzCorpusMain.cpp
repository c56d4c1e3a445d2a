// Runs a libFuzzer entry over every file of a corpus folder and then over a
// fixed-seed stream of generated inputs, so that the targets run in every CI
// build (under the sanitizers there) without needing clang's fuzzer runtime.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::size_t files = 0;
  std::vector<std::string> seeds;
  if (argc > 1 && std::filesystem::is_directory(argv[1])) {
    for (const auto& e : std::filesystem::directory_iterator(argv[1])) {
      if (!e.is_regular_file()) continue;
      std::ifstream f(e.path(), std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      seeds.push_back(std::move(bytes));
      ++files;
    }
  }
  // Mutations of the seeds with a fixed generator: byte flips, cuts, splices.
  std::mt19937 rng(12345);
  std::size_t runs = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string s = seeds.empty() ? std::string() : seeds[rng() % seeds.size()];
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int k = 0; k < edits; ++k) {
      const unsigned op = rng() % 4;
      if (op == 0 || s.empty()) {
        s.insert(s.begin() + static_cast<long>(s.empty() ? 0 : rng() % (s.size() + 1)), static_cast<char>(rng()));
      } else if (op == 1) {
        s[rng() % s.size()] = static_cast<char>(rng());
      } else if (op == 2) {
        const std::size_t at = rng() % s.size();
        s.erase(at, 1 + rng() % 16);
      } else if (!seeds.empty()) {
        const std::string& o = seeds[rng() % seeds.size()];
        if (!o.empty()) {
          const std::size_t from = rng() % o.size();
          s.insert(rng() % (s.size() + 1), o.substr(from, 1 + rng() % 32));
        }
      }
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    ++runs;
  }
  std::printf("fuzz corpus: %zu files, %zu generated inputs\n", files, runs);
  return 0;
}
