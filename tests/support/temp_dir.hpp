#ifndef TESTS_SUPPORT_TEMP_DIR_HPP
#define TESTS_SUPPORT_TEMP_DIR_HPP

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

// A fresh directory under /tmp for one test, removed with all it holds when
// the test ends. `path` is empty when no directory could be made.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/pl_test_XXXXXX";
    if (mkdtemp(pattern) != nullptr) path = pattern;
  }
  ~TempDir() {
    if (path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Writes `content` to the file `name` in the directory; returns its path.
  std::string file(const std::string& name, const std::string& content = "") const {
    const std::string full = path + "/" + name;
    if (FILE* f = std::fopen(full.c_str(), "wb")) {
      std::fwrite(content.data(), 1, content.size(), f);
      std::fclose(f);
    }
    return full;
  }

  std::string path;
};

#endif  // TESTS_SUPPORT_TEMP_DIR_HPP
