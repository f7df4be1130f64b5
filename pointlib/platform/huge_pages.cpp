#include "platform/huge_pages.hpp"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

void advise_huge_pages(void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  const uintptr_t first = (uintptr_t(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (uintptr_t(data) + bytes) & ~(kHuge - 1);
  // Below a few huge pages the partly used ones at the ends would cost more than they save.
  if (end <= first || end - first < 4 * kHuge) return;
  madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}
