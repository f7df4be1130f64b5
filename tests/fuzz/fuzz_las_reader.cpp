// LAS and VPK files of any bytes through the LAS reader.

#include <cstddef>
#include <cstdint>

#include "fuzz_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_las_reader_one(data, size);
  return 0;
}
