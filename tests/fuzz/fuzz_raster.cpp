// Raster files of any bytes through the ASC, BIL and VPK raster readers of the
// raster comparison tool. Runs in a directory of its own, where each input is
// written as the files the readers open.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_harness.hpp"
#include "fuzz_raster_harness.hpp"

namespace {

std::string directory;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  directory = fuzz_process_directory("raster");
  if (directory.empty()) {
    std::fprintf(stderr, "ERROR: cannot make a working directory for the raster target\n");
    std::exit(1);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_raster_one(data, size, directory);
  return 0;
}
