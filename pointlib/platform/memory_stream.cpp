#include "platform/memory_stream.hpp"

FILE* open_memory_stream(const void* data, size_t size) {
  // Some C libraries refuse an empty buffer; an empty file reads the same.
  if (size == 0 || data == nullptr) return std::fopen("/dev/null", "r");
  return fmemopen(const_cast<void*>(data), size, "r");
}
