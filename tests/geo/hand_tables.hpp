#ifndef TESTS_GEO_HAND_TABLES_HPP
#define TESTS_GEO_HAND_TABLES_HPP

// Small hand-made EPSG tables in zuze/geo below a fresh folder that is the current folder while
// the object lives, so that a projector without a program name reads them instead of the
// tables the build generated.

#include <unistd.h>

#include <filesystem>
#include <string>

#include "temp_dir.hpp"

class HandTables {
 public:
  HandTables() {
    char* cwd = getcwd(nullptr, 0);
    if (cwd) {
      previous_ = cwd;
      free(cwd);
    }
    std::filesystem::create_directories(dir_.path + "/zuze/geo");
    ok_ = !dir_.path.empty() && chdir(dir_.path.c_str()) == 0;
  }
  ~HandTables() {
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::abort();
  }
  HandTables(const HandTables&) = delete;
  HandTables& operator=(const HandTables&) = delete;

  bool ok() const { return ok_; }
  // Writes one table ("pcs.csv", "gcs.csv" or "vertcs.csv") with these lines.
  void write(const std::string& name, const std::string& lines) const {
    dir_.file("zuze/geo/" + name, lines);
  }

 private:
  TempDir dir_;
  std::string previous_;
  bool ok_ = false;
};

#endif  // TESTS_GEO_HAND_TABLES_HPP
