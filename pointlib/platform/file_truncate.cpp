#include "platform/file_truncate.hpp"

#include <unistd.h>

bool truncate_open_file(std::FILE* file, int64_t size) {
  if (file == nullptr || size < 0 || std::fflush(file) != 0) return false;
  return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
}
