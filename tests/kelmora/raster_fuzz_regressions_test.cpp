// Inputs the raster fuzz target once stopped on, replayed through the same
// harness (every file under tests/data/fuzz_regressions/raster/), and the
// faults they showed pinned by name.

#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_harness.hpp"
#include "fuzz_raster_harness.hpp"
#include "raster_fixtures.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kRegressions = std::string(PL_SOURCE_DIR) + "/tests/data/fuzz_regressions/raster";

Bytes read_all(const std::string& path) {
  Bytes bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), f)) > 0) {
      bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::fclose(f);
  }
  return bytes;
}

std::vector<Bytes> kept_inputs() {
  std::vector<Bytes> inputs;
  if (DIR* d = opendir(kRegressions.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') inputs.push_back(read_all(kRegressions + "/" + e->d_name));
    }
    closedir(d);
  }
  return inputs;
}

}  // namespace

// The seed rasters and every kept input come back through the readers.
TEST(RasterFuzzRegressions, EveryKeptInputComesBack) {
  raster_fixtures::ScopedTempDir dir;
  std::vector<Bytes> inputs = fuzz_raster_seed_inputs();
  EXPECT_GE(inputs.size(), 10u);
  for (const Bytes& input : kept_inputs()) inputs.push_back(input);
  testing::internal::CaptureStderr();
  for (const Bytes& input : inputs) fuzz_raster_one(input.data(), input.size(), dir.path());
  testing::internal::GetCapturedStderr();
}
