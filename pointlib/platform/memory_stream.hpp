#ifndef POINTLIB_PLATFORM_MEMORY_STREAM_HPP
#define POINTLIB_PLATFORM_MEMORY_STREAM_HPP

#include <cstddef>
#include <cstdio>

// A C stream that reads (and seeks in) bytes in memory, for readers that take
// a FILE: points held in memory, and fuzz inputs. The bytes must outlive the
// stream; fclose ends it. Null when the system cannot make one.
FILE* open_memory_stream(const void* data, size_t size);

#endif  // POINTLIB_PLATFORM_MEMORY_STREAM_HPP
