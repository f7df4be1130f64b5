// Argument vectors of any words through the input and output options and the
// ignore, filter and transform parsers behind them. Runs in a directory of its
// own holding the few files the words may name.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_harness.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string directory = fuzz_process_directory("args");
  if (directory.empty() || chdir(directory.c_str()) != 0 || !fuzz_args_prepare_directory()) {
    std::fprintf(stderr, "ERROR: cannot prepare a working directory for the args target\n");
    std::exit(1);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_args_one(data, size);
  return 0;
}
