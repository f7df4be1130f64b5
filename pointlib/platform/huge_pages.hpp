#ifndef POINTLIB_PLATFORM_HUGE_PAGES_HPP
#define POINTLIB_PLATFORM_HUGE_PAGES_HPP

#include <cstddef>

// Asks the system to back the whole huge pages inside a large buffer with huge pages when they
// are first touched: fewer page faults while the buffer fills, fewer TLB misses when it is read
// at random. Call before the buffer is written; a hint only, without effect where the system
// has no such pages or the buffer is small.
void advise_huge_pages(void* data, size_t bytes);

#endif
