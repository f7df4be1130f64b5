#ifndef BENCH_BENCH_FILES_HPP
#define BENCH_BENCH_FILES_HPP

// What the benchmarks of readers and writers on disk share: a folder for
// their files, and the floor they are compared against, a plain copy of a
// file's bytes.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A fresh folder under /tmp, made once per run (/tmp itself when none can be
// made).
inline const std::string& bench_folder() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/pl_bench_XXXXXX";
    return std::string(mkdtemp(pattern) ? pattern : "/tmp");
  }();
  return dir;
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
