#ifndef BENCH_BENCH_FILES_HPP
#define BENCH_BENCH_FILES_HPP

// What the benchmarks of readers and writers on disk share: a folder for
// their files that goes away with the run, and the floor they are compared
// against, a plain copy of a file's bytes.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

inline std::string bench_temp_root() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

// A fresh folder under the temporary directory, removed with all it holds
// when the owner ends: the files of one run reach a hundred megabytes and
// must not pile up. A run that cannot make its folder stops, rather than
// scatter its files elsewhere.
class BenchFolder {
 public:
  explicit BenchFolder(const std::string& prefix) {
    std::string pattern = bench_temp_root() + "/" + prefix + "_XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
      std::fprintf(stderr, "ERROR: cannot make a folder '%s'\n", pattern.c_str());
      std::exit(1);
    }
    path_ = pattern;
  }
  ~BenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The folder of the run, made on first use and removed when the program ends.
inline const std::string& bench_folder() {
  static const BenchFolder folder("pl_bench");
  return folder.path();
}

// The floor: the file's bytes read and written as a plain copy, each pass
// counted as `points` items.
inline void bench_copy_file(benchmark::State& state, const std::string& name, int64_t points) {
  const std::string copy = bench_folder() + "/copy";
  std::vector<char> buffer(1 << 20);
  int64_t items = 0;
  for (auto _ : state) {
    FILE* in = std::fopen(name.c_str(), "rb");
    FILE* out = std::fopen(copy.c_str(), "wb");
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
      std::fwrite(buffer.data(), 1, n, out);
    }
    std::fclose(in);
    std::fclose(out);
    items += points;
  }
  state.SetItemsProcessed(items);
}

#endif  // BENCH_BENCH_FILES_HPP
