// The inputs the fuzzer once stopped the side-format, text, PLY and LAY readers on, given to the
// built talvenor_new as the files and options that stand for them: each run ends by itself, with
// exit code 0 (what is sound was read) or 1 after an "ERROR: ..." line, never by a signal, and
// leaves its inputs as they were.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "file_bytes.hpp"
#include "fuzz_lay.hpp"
#include "fuzz_side_formats.hpp"
#include "fuzz_text_formats.hpp"
#include "run_program.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";
const std::string kKept = std::string(PL_SOURCE_DIR) + "/tests/data/fuzz_regressions/";

std::vector<std::string> kept_inputs(const std::string& target) {
  std::vector<std::string> names;
  if (DIR* d = opendir((kKept + target).c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(kKept + target + "/" + e->d_name);
    }
    closedir(d);
  }
  return names;
}

std::string last_line(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  const size_t start = text.rfind('\n');
  return start == std::string::npos ? text : text.substr(start + 1);
}

// What one fuzz input stands for: the files it becomes and the arguments of the run.
struct ProgramInput {
  std::vector<std::pair<std::string, Bytes>> files;
  std::vector<std::string> args;
};

ProgramInput input_of(const std::string& target, const Bytes& input) {
  ProgramInput run;
  if (target == "ply_reader") {
    run.files = {{"in.ply", input}};
    run.args = {"-i", "in.ply"};
  } else if (target == "text_reader") {
    if (input.empty()) return run;
    run.files = {{"in.txt", Bytes(input.begin() + 1, input.end())}};
    run.args = {"-i", "in.txt"};
    for (const std::string& option : fuzz_text_reader_options(input[0])) run.args.push_back(option);
  } else if (target == "side_reader") {
    for (const FuzzSideFile& file : fuzz_side_files(input.data(), input.size())) {
      run.files.push_back({"in." + file.extension, file.bytes});
    }
    if (run.files.empty()) return run;
    run.args = {"-i", run.files[0].first};
  } else if (target == "lay") {
    run.files = {{"in.las", fuzz_lay_point_file()}, {"in.lay", input}};
    run.args = {"-i", "in.las", "-ilay"};
  }
  run.args.insert(run.args.end(), {"-o", "out.las"});
  return run;
}

void write_files(const ProgramDir& dir, const std::vector<std::pair<std::string, Bytes>>& files) {
  for (const auto& [name, bytes] : files) {
    std::ofstream(dir.file(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
}

// A hang is killed long before the test's own time runs out.
ProgramRun run_bounded(const std::vector<std::string>& args, const ProgramDir& dir) {
  ProgramLimits limits;
  limits.cpu_seconds = 120;
  return run_program(kProgram, args, dir.path(), "", limits);
}

void expect_own_end(const ProgramRun& ran) {
  EXPECT_TRUE(ran.exit_code == 0 || ran.exit_code == 1) << ran.exit_code << "\n" << ran.err;
  if (ran.exit_code == 1) {
    EXPECT_EQ(last_line(ran.err).compare(0, 7, "ERROR: "), 0) << ran.err;
  }
}

}  // namespace

TEST(TalvenorFuzzFormats, EveryKeptInputEndsWithoutASignal) {
  int runs = 0;
  for (const char* target : {"ply_reader", "text_reader", "side_reader", "lay"}) {
    for (const std::string& path : kept_inputs(target)) {
      SCOPED_TRACE(path);
      const std::string kept = file_text(path);
      const ProgramInput run = input_of(target, Bytes(kept.begin(), kept.end()));
      if (run.files.empty()) continue;
      ProgramDir dir;
      write_files(dir, run.files);
      expect_own_end(run_bounded(run.args, dir));
      for (const auto& [name, bytes] : run.files) {
        EXPECT_EQ(file_text(dir.file(name)), std::string(bytes.begin(), bytes.end()))
            << name << " changed";
      }
      runs++;
    }
  }
  EXPECT_GE(runs, 2);
}

// Layers recorded behind those of a kept LAY file: the writer checks its header and goes on
// behind its layers, or refuses it; the point file stays as it was.
TEST(TalvenorFuzzFormats, EveryKeptLayFileExtendedEndsWithoutASignal) {
  const std::vector<std::string> kept = kept_inputs("lay");
  ASSERT_GE(kept.size(), 1u);
  for (const std::string& path : kept) {
    SCOPED_TRACE(path);
    const std::string bytes = file_text(path);
    const ProgramInput run = input_of("lay", Bytes(bytes.begin(), bytes.end()));
    ProgramDir dir;
    write_files(dir, run.files);
    expect_own_end(run_bounded({"-i", "in.las", "-ilay", "-olay"}, dir));
    const Bytes& las = fuzz_lay_point_file();
    EXPECT_EQ(file_text(dir.file("in.las")), std::string(las.begin(), las.end()));
  }
}
