// Raster files of any bytes through the ASC, BIL and VPK raster readers of the
// raster comparison tool. Runs in a directory of its own, where each input is
// written as the files the readers open.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_raster_harness.hpp"

namespace {

std::string directory;

void remove_directory() {
  for (const char* name : {"/r.asc", "/r.bil", "/r.hdr", "/r.vpk"}) {
    std::remove((directory + name).c_str());
  }
  rmdir(directory.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/pl_fuzz_raster_XXXXXX";
  if (!mkdtemp(pattern)) {
    std::fprintf(stderr, "ERROR: cannot make a working directory for the raster target\n");
    std::exit(1);
  }
  directory = pattern;
  std::atexit(remove_directory);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_raster_one(data, size, directory);
  return 0;
}
