// PLY files of any bytes through the PLY reader.

#include <cstddef>
#include <cstdint>

#include "fuzz_text_formats.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_ply_reader_one(data, size);
  return 0;
}
