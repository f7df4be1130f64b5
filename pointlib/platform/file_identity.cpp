#include "platform/file_identity.hpp"

#include <sys/stat.h>

bool path_is_directory(const char* path) {
  struct stat info;
  return path != nullptr && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool paths_name_same_file(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return false;
  struct stat sa, sb;
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
