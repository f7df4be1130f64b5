// Point text of any bytes, under a set-up chosen by the first byte, through
// the text reader.

#include <cstddef>
#include <cstdint>

#include "fuzz_text_formats.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_text_reader_one(data, size);
  return 0;
}
