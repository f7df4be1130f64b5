// Argument vectors of any words through the input and output options and the
// ignore, filter and transform parsers behind them. Runs in a directory of its
// own holding the few files the words may name.

#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_harness.hpp"

namespace {

std::string directory;

// Long runs start a process per job: each takes its directory with it.
void remove_directory() {
  if (DIR* d = opendir(directory.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') unlink((directory + "/" + e->d_name).c_str());
    }
    closedir(d);
  }
  rmdir(directory.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/pl_fuzz_args_XXXXXX";
  if (!mkdtemp(pattern) || chdir(pattern) != 0 || !fuzz_args_prepare_directory()) {
    std::fprintf(stderr, "ERROR: cannot prepare a working directory for the args target\n");
    std::exit(1);
  }
  directory = pattern;
  std::atexit(remove_directory);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_args_one(data, size);
  return 0;
}
