// Damaged LAS and VPK files (cut at many offsets, bytes flipped in the header,
// the records and the chunks) read through the LAS reader from a file and, when
// it is built, through the talvenor_new program: every run ends with a result
// and a message, never by a signal or a hang; the input file keeps its bytes;
// where reading reports success, a copy of what was read reads back.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "core/las_item.hpp"
#include "core/las_reader_las.hpp"
#include "file_bytes.hpp"
#include "fuzz_harness.hpp"
#include "las_fixture.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

struct Source {
  std::string name;
  Bytes bytes;
};

std::vector<Source> sources() {
  std::vector<Source> out;
  struct Row {
    const char* name;
    uint8_t minor, format;
    uint16_t extra;
    uint16_t compressor;
    int version;
  };
  const Row rows[] = {
      {"raw_1.2_format1", 2, 1, 0, LAScompressorKind::raw, 0},
      {"raw_1.2_format3_extra", 2, 3, 3, LAScompressorKind::raw, 0},
      {"raw_1.4_format6", 4, 6, 0, LAScompressorKind::raw, 0},
      {"vpk_v1_format1", 2, 1, 0, LAScompressorKind::sequential_chunked, 1},
      {"vpk_v2_format3_extra", 2, 3, 3, LAScompressorKind::sequential_chunked, 2},
      {"vpk_layered_format7", 4, 7, 0, LAScompressorKind::multistream_chunked, 0},
  };
  for (const Row& row : rows) {
    FixtureFile file;
    file.version_minor = row.minor;
    file.point_data_format = row.format;
    file.extra_bytes = row.extra;
    if (row.minor == 4) {
      FixtureEvlr evlr;
      evlr.user_id = "damage";
      evlr.record_id = 1;
      evlr.data = {1, 2, 3, 4};
      file.evlrs.push_back(evlr);
    }
    Bytes bytes = fixture_write_bytes(
        file, fixture_random_points(row.format + 1u, 30, row.format, row.extra));
    if (row.compressor != LAScompressorKind::raw) {
      // Chunks of 8 points: a chunk table with several entries and a short last chunk.
      bytes = fuzz_compressed_copy(bytes, row.compressor, row.version, 8);
      if (bytes.empty()) continue;  // a coder this build lacks
    }
    out.push_back({row.name, bytes});
  }
  return out;
}

// Cut at every fifth offset, and single bytes flipped (every second byte of
// the header, every eleventh after it).
std::vector<std::pair<std::string, Bytes>> damages(const Bytes& bytes) {
  std::vector<std::pair<std::string, Bytes>> out;
  for (size_t at = 0; at < bytes.size(); at += 5) {
    out.push_back({"cut at " + std::to_string(at), Bytes(bytes.begin(), bytes.begin() + at)});
  }
  for (size_t at = 0; at < bytes.size(); at += at < 375 ? 2 : 11) {
    Bytes flipped = bytes;
    flipped[at] ^= 0xFF;
    out.push_back({"flip at " + std::to_string(at), flipped});
  }
  return out;
}

bool write_file(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/pl_damaged_las_XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string path;
};

// Runs a program with its standard error in a file; the wait status, or -1
// after killing it when it runs longer than `seconds`.
int run(const std::string& program, const std::vector<std::string>& args, const std::string& err,
        int seconds) {
  const pid_t pid = fork();
  if (pid == 0) {
    FILE* e = std::freopen(err.c_str(), "w", stderr);
    FILE* n = std::freopen("/dev/null", "r", stdin);
    (void)e;
    (void)n;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  const time_t until = std::time(nullptr) + seconds;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::time(nullptr) > until) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    usleep(2000);
  }
  return status;
}

// Points a LAS or VPK file reads to without a failure; -1 when it does not.
int64_t read_whole(const std::string& path) {
  LASreaderLAS reader;
  if (!reader.open_file(path.c_str())) return -1;
  int64_t n = 0;
  while (reader.read_point()) n++;
  const bool whole = n == reader.npoints;
  reader.close_input();
  return whole ? n : -1;
}

}  // namespace

TEST(DamagedLas, ReaderEndsWithAResultAndKeepsTheInput) {
  TempDir dir;
  int cases = 0;
  for (const Source& source : sources()) {
    for (const auto& [what, bytes] : damages(source.bytes)) {
      SCOPED_TRACE(source.name + ", " + what);
      const std::string path = dir.path + "/in.las";
      ASSERT_TRUE(write_file(path, bytes));
      testing::internal::CaptureStderr();
      LASreaderLAS reader;
      const bool opened = reader.open_file(path.c_str());
      int64_t n = 0;
      if (opened) {
        // A reader that never ends would pass any count. A damaged count may
        // read bytes after the points as points, but never more than there are.
        while (n < 100000 && reader.read_point()) n++;
        reader.close_input();
      }
      const std::string messages = testing::internal::GetCapturedStderr();
      EXPECT_LE(n, static_cast<int64_t>(bytes.size() / 20));
      if (!opened) {
        EXPECT_NE(messages.find("ERROR"), std::string::npos) << messages;
      }
      EXPECT_EQ(file_bytes(path), bytes);
      // The same bytes from memory, with a copy of every point read that
      // must read back (the harness traps otherwise).
      testing::internal::CaptureStderr();
      fuzz_las_reader_one(bytes.data(), bytes.size());
      testing::internal::GetCapturedStderr();
      cases++;
    }
  }
  EXPECT_GT(cases, 500);
}

TEST(DamagedLas, ProgramEndsWithACodeAndAMessage) {
  const std::string program = std::string(PL_BINARY_DIR) + "/talvenor_new";
  struct stat st;
  ASSERT_EQ(stat(program.c_str(), &st), 0) << program;
  TempDir dir;
  int cases = 0;
  for (const Source& source : sources()) {
    const std::vector<std::pair<std::string, Bytes>> all = damages(source.bytes);
    // Every 13th damage: a few dozen runs per file keep the test quick.
    for (size_t k = 0; k < all.size(); k += 13) {
      const auto& [what, bytes] = all[k];
      SCOPED_TRACE(source.name + ", " + what);
      const std::string in = dir.path + "/in.las", out = dir.path + "/out.las",
                        err = dir.path + "/err.txt";
      std::remove(out.c_str());
      ASSERT_TRUE(write_file(in, bytes));
      const int status = run(program, {"-i", in, "-o", out}, err, 60);
      ASSERT_NE(status, -1) << "no end within 60 s";
      ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
      const int code = WEXITSTATUS(status);
      const Bytes message = file_bytes(err);
      const std::string text(message.begin(), message.end());
      EXPECT_TRUE(code == 0 || code == 1) << code << "\n" << text;
      if (code == 1) {
        EXPECT_NE(text.find("ERROR"), std::string::npos) << text;
      }
      EXPECT_EQ(file_bytes(in), bytes);
      if (code == 0 && read_whole(in) >= 0) {
        EXPECT_EQ(read_whole(out), read_whole(in)) << text;
      }
      cases++;
    }
  }
  EXPECT_GT(cases, 40);
}
