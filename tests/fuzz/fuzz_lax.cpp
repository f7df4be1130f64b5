// .lax spatial index files of any bytes through the index reader and its
// area selections.

#include <cstddef>
#include <cstdint>

#include "fuzz_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_lax_one(data, size);
  return 0;
}
