#include "platform/file_glob.hpp"

#include <glob.h>
#include <sys/stat.h>

#include <cstring>

bool file_exists(const char* name) {
  struct stat info;
  return name != nullptr && stat(name, &info) == 0;
}

size_t file_glob(const char* pattern, std::vector<std::string>& matches) {
  if (pattern == nullptr || pattern[0] == '\0') return 0;
  if (std::strpbrk(pattern, "*?") == nullptr) {
    if (!file_exists(pattern)) return 0;
    matches.emplace_back(pattern);
    return 1;
  }
  // glob() also knows bracket expressions and backslash escapes: escape those
  // characters so that they match themselves.
  std::string escaped;
  escaped.reserve(std::strlen(pattern) * 2);
  for (const char* p = pattern; *p != '\0'; p++) {
    if (*p == '[' || *p == ']' || *p == '\\') escaped.push_back('\\');
    escaped.push_back(*p);
  }
  glob_t found;
  std::memset(&found, 0, sizeof(found));
  size_t count = 0;
  if (glob(escaped.c_str(), 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc; i++) {
      matches.emplace_back(found.gl_pathv[i]);
      count++;
    }
  }
  globfree(&found);
  return count;
}
