#ifndef POINTLIB_PLATFORM_FILE_TRUNCATE_HPP
#define POINTLIB_PLATFORM_FILE_TRUNCATE_HPP

#include <cstdint>
#include <cstdio>

// Cuts an open file (opened for writing) to `size` bytes, after flushing what
// the C library still buffers. False when the system refuses.
bool truncate_open_file(std::FILE* file, int64_t size);

#endif  // POINTLIB_PLATFORM_FILE_TRUNCATE_HPP
