// Point sets of every format made from the bytes, written by the VPK writer
// with every coder version and chunking and read back field by field.

#include <cstddef>
#include <cstdint>

#include "fuzz_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_vpk_writer_one(data, size);
  return 0;
}
