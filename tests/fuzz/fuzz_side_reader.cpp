// BIN, QFIT, shapefile, ASCII grid, BIL and DTM inputs of any bytes, the
// format chosen by the first byte, through their readers.

#include <cstddef>
#include <cstdint>

#include "fuzz_side_formats.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_side_reader_one(data, size);
  return 0;
}
