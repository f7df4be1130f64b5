// LAY files of any bytes applied to a small point file in memory, and their
// header read once more the way the layer writer checks a file it extends.

#include <cstddef>
#include <cstdint>

#include "fuzz_lay.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_lay_one(data, size);
  fuzz_lay_header_to_extend(data, size);
  return 0;
}
