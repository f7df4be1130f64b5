#include "io/formats/decompressing_open.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "io/formats/las_reader_txt.hpp"
#include "rar_fixture.hpp"
#include "temp_dir.hpp"

namespace {

bool have_program(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool ends_with(const std::string& name, const std::string& extension) {
  return name.size() > extension.size() &&
         name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
}

// Makes `archive` from `file` with the program's own tool (RAR by our own
// code); false when the tool or the reader is not there.
bool make_archive(const std::string& dir, const std::string& file, const std::string& archive) {
  if (ends_with(archive, ".rar")) {
    if (!have_program("bsdtar")) return false;
    std::string data;
    if (FILE* f = std::fopen((dir + "/" + file).c_str(), "rb")) {
      char buffer[4096];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) data.append(buffer, n);
      std::fclose(f);
    }
    const std::string bytes = stored_rar4(file, data);
    FILE* out = std::fopen(archive.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
  }
  std::string command;
  if (archive.size() > 3 && archive.compare(archive.size() - 3, 3, ".gz") == 0) {
    if (!have_program("gzip")) return false;
    command = "gzip -c '" + file + "' > '" + archive + "'";
  } else if (archive.size() > 4 && archive.compare(archive.size() - 4, 4, ".zip") == 0) {
    if (!have_program("7z") || !have_program("unzip")) return false;
    command = "7z a -tzip -bd '" + archive + "' '" + file + "' >/dev/null";
  } else {
    if (!have_program("7z")) return false;
    command = "7z a -bd '" + archive + "' '" + file + "' >/dev/null";
  }
  return std::system(("cd '" + dir + "' && " + command).c_str()) == 0;
}

std::string read_all(FILE* f) {
  std::string text;
  char buffer[1024];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) text.append(buffer, n);
  return text;
}

// Runs in another working folder for as long as it lives.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& dir) : saved(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~WorkingFolder() { std::filesystem::current_path(saved); }

 private:
  std::filesystem::path saved;
};

std::set<std::string> folder_entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names.insert(e.path().filename().string());
  }
  return names;
}

// Runs with a search path on which no decompressor can be found.
class EmptyPath {
 public:
  explicit EmptyPath(const std::string& dir) {
    const char* path = std::getenv("PATH");
    saved = path ? path : "";
    setenv("PATH", dir.c_str(), 1);
  }
  ~EmptyPath() { setenv("PATH", saved.c_str(), 1); }

 private:
  std::string saved;
};

const char* const kText = "1 2 3\n4 5 6\n7 8 9\n";

TEST(DecompressingOpen, EachArchiveReadsAsItsContent) {
  TempDir dir;
  const std::string plain = dir.file("pts.txt", kText);
  bool piped = true;
  FILE* f = fopen_decompressing(plain.c_str(), "r", &piped);
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(piped);
  EXPECT_EQ(read_all(f), kText);
  EXPECT_TRUE(fclose_decompressing(f));

  int tried = 0;
  for (const char* extension : {".gz", ".zip", ".7z", ".rar"}) {
    const std::string archive = dir.path + "/pts.txt" + extension;
    if (!make_archive(dir.path, "pts.txt", archive)) {
      std::fprintf(stderr, "no tool for %s archives here\n", extension);
      continue;
    }
    tried++;
    piped = false;
    FILE* a = fopen_decompressing(archive.c_str(), "r", &piped);
    ASSERT_NE(a, nullptr) << extension;
    EXPECT_TRUE(piped);
    EXPECT_EQ(read_all(a), kText) << extension;
    EXPECT_TRUE(fclose_decompressing(a)) << extension;
  }
  EXPECT_GT(tried, 0) << "gzip at least is part of every set-up";
}

TEST(DecompressingOpen, NamesThatAreNoArchives) {
  TempDir dir;
  // Upper-case extensions are no archives: the compressed bytes are read as they are.
  const std::string upper = dir.file("PTS.TXT.GZ", "not compressed\n");
  bool piped = true;
  FILE* f = fopen_decompressing(upper.c_str(), "r", &piped);
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(piped);
  EXPECT_EQ(read_all(f), "not compressed\n");
  fclose_decompressing(f);
  // A gz archive that does not exist gives null without a message, piped set.
  testing::internal::CaptureStderr();
  piped = false;
  EXPECT_EQ(fopen_decompressing((dir.path + "/none.txt.gz").c_str(), "r", &piped), nullptr);
  EXPECT_TRUE(piped);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(fopen_decompressing((dir.path + "/a.zip").c_str(), "w", &piped), nullptr);
}

TEST(DecompressingOpen, MissingDecompressorIsReported) {
  TempDir dir;
  for (const char* name : {"pts.txt.gz", "pts.txt.zip", "pts.txt.7z", "pts.txt.rar"}) {
    const std::string archive = dir.file(name, "whatever");
    EmptyPath no_programs(dir.path);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fopen_decompressing(archive.c_str(), "r"), nullptr) << name;
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR: cannot start decompressor '"), std::string::npos) << err;
    EXPECT_NE(err.find(archive), std::string::npos) << err;
  }
}

TEST(DecompressingOpen, CorruptArchivesFailWhenClosed) {
  TempDir dir;
  struct Case {
    const char* name;
    const char* program;
  } cases[] = {{"bad.txt.gz", "gzip"},
               {"bad.txt.zip", "unzip"},
               {"bad.txt.7z", "7z"},
               {"bad.txt.rar", "bsdtar"}};
  int tried = 0;
  for (const auto& c : cases) {
    if (!have_program(c.program)) continue;
    tried++;
    const std::string archive = dir.file(c.name, "this is no archive at all\n");
    testing::internal::CaptureStderr();
    FILE* f = fopen_decompressing(archive.c_str(), "r");
    ASSERT_NE(f, nullptr) << c.name;
    EXPECT_FALSE(fclose_decompressing(f)) << c.name;
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(
        err.find(std::string("ERROR: decompressor '") + c.program + "' failed with exit code"),
        std::string::npos)
        << err;
  }
  EXPECT_GT(tried, 0);
}

// Relative names, read from the working folder: names that look like a
// decompressor's options or 7z's list files are still the archives, and
// reading leaves nothing behind in the folder (a RAR tool that unpacks
// instead of printing would).
TEST(DecompressingOpen, RelativeNamesAreReadAsFilesAndNothingIsUnpacked) {
  TempDir dir;
  dir.file("pts.txt", kText);
  const char* const names[] = {"pts.txt.rar", "-p.txt.zip", "-x.txt.7z",  "@list.txt.7z",
                               "-O.txt.rar",  "-d.txt.gz",  "-t.txt.zip", "-so.txt.7z"};
  int tried = 0;
  for (const char* name : names) {
    const std::string extension = std::strrchr(name, '.');
    const std::string made = dir.path + "/made" + extension;
    if (!make_archive(dir.path, "pts.txt", made)) {
      std::fprintf(stderr, "no tool for %s archives here\n", extension.c_str());
      continue;
    }
    tried++;
    std::filesystem::rename(made, dir.path + "/" + name);
    const std::set<std::string> before = folder_entries(dir.path);
    {
      WorkingFolder here(dir.path);
      testing::internal::CaptureStderr();
      FILE* f = fopen_decompressing(name, "r");
      ASSERT_NE(f, nullptr) << name;
      EXPECT_EQ(read_all(f), kText) << name;
      EXPECT_TRUE(fclose_decompressing(f)) << name;
      EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << name;
    }
    EXPECT_EQ(folder_entries(dir.path), before) << name;
  }
  EXPECT_GT(tried, 0);
}

TEST(DecompressingOpen, ClosingEarlyStillLetsTheChildFinish) {
  TempDir dir;
  std::string big;
  for (int i = 0; i < 200000; i++) big += std::to_string(i) + " 2 3\n";
  dir.file("big.txt", big);
  const std::string archive = dir.path + "/big.txt.gz";
  if (!make_archive(dir.path, "big.txt", archive)) GTEST_SKIP() << "no gzip";
  FILE* f = fopen_decompressing(archive.c_str(), "r");
  ASSERT_NE(f, nullptr);
  char line[64];
  ASSERT_NE(std::fgets(line, sizeof(line), f), nullptr);
  EXPECT_STREQ(line, "0 2 3\n");
  // The pipe holds far less than the output: the close must read on, or the
  // child would block and never end.
  EXPECT_TRUE(fclose_decompressing(f));
}

TEST(DecompressingOpen, TruncatedArchiveFailsTheTextOpen) {
  TempDir dir;
  std::string big;
  for (int i = 0; i < 50000; i++) big += std::to_string(i) + " 2 3\n";
  dir.file("cut.txt", big);
  const std::string archive = dir.path + "/cut.txt.gz";
  if (!make_archive(dir.path, "cut.txt", archive)) GTEST_SKIP() << "no gzip";
  ASSERT_EQ(truncate(archive.c_str(), 20000), 0);
  LASreaderTXT reader;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(reader.open_file(archive.c_str(), 0, "xyz", 0, true));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: decompressor 'gzip' failed with exit code"), std::string::npos) << err;
}

}  // namespace
