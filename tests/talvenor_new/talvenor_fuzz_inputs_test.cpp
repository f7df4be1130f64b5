// The inputs the fuzzer once stopped the LAS reader on, given to the built talvenor_new as a
// user would: every one ends the run with an "ERROR: ..." line and exit code 1 (never a
// signal), writes no output and leaves the input as it was.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file_bytes.hpp"
#include "run_program.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";
const std::string kKept = std::string(PL_SOURCE_DIR) + "/tests/data/fuzz_regressions/las_reader/";

std::string last_line(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  const size_t start = text.rfind('\n');
  return start == std::string::npos ? text : text.substr(start + 1);
}

struct Damaged {
  const char* file;
  const char* message;  // the reader's own line among the run's messages
};

}  // namespace

TEST(TalvenorFuzzInputs, EachEndsWithItsErrorAndExitCodeOne) {
  const Damaged rows[] = {
      {"layered_items_in_sequential_chunks.vpk", "ERROR: point type 9 of size 59 not supported\n"},
      {"seek_to_a_chunk_that_cannot_be_reached.vpk",
       "ERROR: 'chunk with index 0 of 3 is corrupt' after 1 of 6 points for"},
      {"layered_chunk_without_change_mask_bytes.vpk",
       "ERROR: 'chunk with index 1 of 2 is corrupt' after 3 of 12 points for"},
      {"compressor_record_under_format_50.las",
       "ERROR: unknown point type 50 with point size 20\n"},
      {"two_extra_bytes_items.vpk",
       "ERROR: item 2 (BYTE) holds a part of the point an earlier item holds"},
  };
  for (const Damaged& row : rows) {
    SCOPED_TRACE(row.file);
    ProgramDir dir;
    const std::string input = file_text(kKept + row.file);
    ASSERT_FALSE(input.empty());
    { std::ofstream(dir.file(row.file), std::ios::binary) << input; }
    const ProgramRun run = run_program(kProgram, {"-i", row.file, "-o", "out.las"}, dir.path());
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    EXPECT_EQ(last_line(run.err).compare(0, 7, "ERROR: "), 0) << run.err;
    EXPECT_FALSE(path_exists(dir.file("out.las")));
    EXPECT_EQ(file_text(dir.file(row.file)), input) << "the input changed";
  }
}

// Every kept input, old and new: the run ends by itself with 0 or 1, an ERROR line with 1.
TEST(TalvenorFuzzInputs, EveryKeptInputEndsWithoutASignal) {
  std::vector<std::string> names;
  if (DIR* d = opendir(kKept.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    closedir(d);
  }
  ASSERT_GE(names.size(), 4u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ProgramDir dir;
    const std::string input = file_text(kKept + name);
    { std::ofstream(dir.file(name), std::ios::binary) << input; }
    const ProgramRun run = run_program(kProgram, {"-i", name, "-o", "out.las"}, dir.path());
    EXPECT_TRUE(run.exit_code == 0 || run.exit_code == 1) << run.exit_code << "\n" << run.err;
    if (run.exit_code == 1) {
      EXPECT_NE(run.err.find("ERROR: "), std::string::npos) << run.err;
    }
    EXPECT_EQ(file_text(dir.file(name)), input) << "the input changed";
  }
}
