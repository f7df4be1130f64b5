// Child runs: option text, argument vectors, the list file and the pool.
#include "batching.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "option_text.hpp"
#include "raster_fixtures.hpp"
#include "sr_write_settings.hpp"

using raster_fixtures::ScopedTempDir;

namespace {

using Words = std::vector<std::string>;

TEST(OptionText, SplitWords) {
  const struct {
    const char* text;
    Words words;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"-oasc ", {"-oasc"}},
      {"-odir \"a b\" -ocut 3 ", {"-odir", "a b", "-ocut", "3"}},
      {"-keep_class 2 3\t-drop_z_below 1.5  ", {"-keep_class", "2", "3", "-drop_z_below", "1.5"}},
      {"\"\" x", {"", "x"}},
  };
  for (const auto& c : cases) EXPECT_EQ(split_words(c.text), c.words) << c.text;
}

TEST(SRwriteSettings, OptionTextInOrder) {
  SRwriteSettings defaults;
  std::string text;
  EXPECT_EQ(defaults.write_options(&text, true), 6u);
  EXPECT_EQ(text, "-oasc ");
  text.clear();
  EXPECT_EQ(defaults.write_options(&text, false), 0u);
  EXPECT_EQ(text, "");

  SRwriteSettings s;
  s.tiling_name = "t";
  s.tile_size = 500;
  s.nodata = -1;
  s.nodata_set = true;
  s.compression_quality = 80;
  s.kml = false;
  s.world_file = false;
  s.output_directory = "out dir";
  s.file_name = "x.tif";
  s.appendix = "_d";
  s.cut = 2;
  s.format = "tif";
  text = "";
  s.write_options(&text, true);
  EXPECT_EQ(text,
            "-tiling_ns t 500 -nodata -1 -compression_quality 80 -no_kml -no_world_file -odir "
            "\"out dir\" -o \"x.tif\" -odix \"_d\" -ocut 2 -otif ");
  s.set_file_name(nullptr);
  EXPECT_EQ(s.file_name, "");
  EXPECT_EQ(s.format, "tif");
}

TEST(Batching, ListFileName) {
  EXPECT_EQ(batch_list_file_name("", 42), "file_list_buffered.42.txt");
  EXPECT_EQ(batch_list_file_name("/tmp/x", 7), "/tmp/x/file_list_buffered.7.txt");
}

struct JobCase {
  const char* name;
  BatchInputs inputs;
  std::vector<const char*> argv;  // "" entries were blanked by a parser
  int mode;
  std::vector<Words> jobs;  // "LIST" stands for the list file
  bool list_file;
};

TEST(Batching, ChildArgumentVectors) {
  ScopedTempDir dir;
  BatchInputs two;
  two.names = {"a.asc", "dir with blank/b.asc"};
  BatchInputs three = two;
  three.names.push_back("c.asc");
  BatchInputs merged = two;
  merged.merged = true;
  merged.read_options = "-merged ";
  BatchInputs rich = three;
  rich.read_options = "-inside_rectangle 1.000000 2.000000 3.000000 4.000000 -faf ";
  rich.files_are_flightlines = 1;
  rich.filter_options = "-keep_class 2 ";
  rich.transform_options = "-translate_z 1.5 ";
  BatchInputs buffered = two;
  buffered.buffered = true;
  buffered.buffer_size = 25.0f;
  buffered.temp_dir = dir.path();
  const std::string list = batch_list_file_name("", 99);
  const std::string temp_list = batch_list_file_name(dir.path(), 99);
  const JobCase cases[] = {
      {"one job per input, leftovers verbatim",
       three,
       {"kelmora", "", "", "-v", "", "a b"},
       0,
       {{"-i", "a.asc", "-v", "a b"},
        {"-i", "dir with blank/b.asc", "-v", "a b"},
        {"-i", "c.asc", "-v", "a b"}},
       false},
      {"two inputs are one pair: one job compares them",
       two,
       {"kelmora", "-v"},
       1,
       {{"-i", "a.asc", "-i", "dir with blank/b.asc", "-v"}},
       false},
      {"merged: one job with the list",
       merged,
       {"kelmora", "-quiet"},
       1,
       {{"-lof", "LIST", "-merged", "-quiet"}},
       true},
      {"read, filter and transform options",
       rich,
       {"kelmora"},
       0,
       {{"-i", "a.asc", "-inside_rectangle", "1.000000", "2.000000", "3.000000", "4.000000", "-faf",
         "-faf_index", "0", "-keep_class", "2", "-translate_z", "1.5"},
        {"-i", "dir with blank/b.asc", "-inside_rectangle", "1.000000", "2.000000", "3.000000",
         "4.000000", "-faf", "-faf_index", "1", "-keep_class", "2", "-translate_z", "1.5"},
        {"-i", "c.asc", "-inside_rectangle", "1.000000", "2.000000", "3.000000", "4.000000", "-faf",
         "-faf_index", "2", "-keep_class", "2", "-translate_z", "1.5"}},
       false},
      {"buffered: neighbours from the list in the temp folder",
       buffered,
       {"kelmora"},
       0,
       {{"-i", "a.asc", "-i", "dir with blank/b.asc", "-buffered", "25", "-neighbors_lof", "LIST"}},
       true},
  };
  for (const auto& c : cases) {
    std::vector<std::string> storage(c.argv.begin(), c.argv.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(&s[0]);
    BatchJobs jobs;
    ASSERT_TRUE(
        build_child_jobs(static_cast<int>(argv.size()), argv.data(), c.inputs, c.mode, 99, &jobs))
        << c.name;
    const std::string expected_list = c.inputs.temp_dir.empty() ? list : temp_list;
    std::vector<Words> expected = c.jobs;
    for (auto& job : expected) {
      for (auto& w : job) {
        if (w == "LIST") w = expected_list;
      }
    }
    EXPECT_EQ(jobs.arguments, expected) << c.name;
    EXPECT_FALSE(jobs.executable.empty());
    if (c.list_file) {
      EXPECT_EQ(jobs.list_file, expected_list) << c.name;
      FILE* f = fopen(jobs.list_file.c_str(), "r");
      ASSERT_NE(f, nullptr) << c.name;
      char text[256] = {};
      size_t n = fread(text, 1, sizeof(text) - 1, f);
      fclose(f);
      EXPECT_EQ(std::string(text, n), "a.asc\ndir with blank/b.asc\n") << c.name;
      remove(jobs.list_file.c_str());
    } else {
      EXPECT_EQ(jobs.list_file, "") << c.name;
    }
  }
}

TEST(Batching, ListFileThatCannotBeWritten) {
  BatchInputs merged;
  merged.names = {"a.asc"};
  merged.merged = true;
  merged.temp_dir = "/no/such/folder";
  char name[] = "kelmora";
  char* argv[] = {name};
  BatchJobs jobs;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(build_child_jobs(1, argv, merged, 0, 5, &jobs));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: cannot open '/no/such/folder/file_list_buffered.5.txt'\n");
}

struct PoolCase {
  const char* name;
  std::string executable;
  std::vector<Words> jobs;
  int cores;
  int result;
};

TEST(Batching, PoolCollectsEveryExitCode) {
  ScopedTempDir dir;
  const std::string mark = dir.file("m");
  // Each job appends its letter, so the file shows that every job ran.
  auto job = [&](const char* letter, int code) {
    return Words{
        "-c", "printf " + std::string(letter) + " >> '" + mark + "'; exit " + std::to_string(code)};
  };
  const PoolCase cases[] = {
      {"all succeed, two at a time", "/bin/sh", {job("a", 0), job("b", 0), job("c", 0)}, 2, 0},
      {"one fails", "/bin/sh", {job("a", 0), job("b", 3), job("c", 0)}, 2, 1},
      {"one core", "/bin/sh", {job("a", 0), job("b", 0), job("c", 1)}, 1, 1},
      {"more cores than jobs", "/bin/sh", {job("a", 0), job("b", 0), job("c", 0)}, 8, 0},
  };
  for (const auto& c : cases) {
    remove(mark.c_str());
    BatchJobs jobs;
    jobs.executable = c.executable;
    jobs.arguments = c.jobs;
    EXPECT_EQ(run_children(jobs, c.cores), c.result) << c.name;
    FILE* f = fopen(mark.c_str(), "r");
    ASSERT_NE(f, nullptr) << c.name;
    char text[16] = {};
    size_t n = fread(text, 1, sizeof(text) - 1, f);
    fclose(f);
    std::string got(text, n);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, "abc") << c.name;
  }
}

TEST(Batching, PoolRefusals) {
  BatchJobs jobs;
  jobs.executable = "/bin/true";
  jobs.arguments = {{}, {}};
  testing::internal::CaptureStderr();
  EXPECT_EQ(run_children(jobs, 200), 1);
  EXPECT_EQ(run_children(jobs, 0), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: cannot run on 200 cores. use 1 to 128\nERROR: cannot run on 0 cores. use 1 to "
            "128\n");
  jobs.executable = "/no/such/program";
  testing::internal::CaptureStderr();
  EXPECT_EQ(run_children(jobs, 2), 1);
  EXPECT_EQ(
      testing::internal::GetCapturedStderr().rfind("ERROR: cannot start '/no/such/program'", 0),
      0u);
}

}  // namespace
