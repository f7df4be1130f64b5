// Input options turned back into option text for child runs.
#include "input_batch.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/las_input_options.hpp"

namespace {

struct ReadOptionsCase {
  std::vector<std::string> arguments;
  std::string read_options;
};

TEST(InputBatch, ReadOptionsText) {
  const ReadOptionsCase cases[] = {
      {{}, ""},
      {{"-inside_tile", "10", "20", "100"}, "-inside_tile 10 20 100 "},
      {{"-inside_circle", "1", "2", "3"}, "-inside_circle 1.000000 2.000000 3.000000 "},
      {{"-inside_rectangle", "1", "2", "3", "4"},
       "-inside_rectangle 1.000000 2.000000 3.000000 4.000000 "},
      {{"-merged", "-faf"}, "-merged -faf "},
      {{"-rescale", "0.01", "0.01", "0.001"}, "-rescale 0.010000 0.010000 0.001000 "},
      {{"-rescale_z", "0.001"}, "-rescale_z 0.001000 "},
      {{"-rescale_xy", "0.1", "0.1"}, "-rescale_xy 0.100000 0.100000 "},
      {{"-reoffset", "100", "200", "0"}, "-reoffset 100.000000 200.000000 0.000000 "},
      {{"-auto_reoffset", "-populate"}, "-auto_reoffset -populate "},
      {{"-io_ibuffer", "1000"}, "-io_ibuffer 1000 "},
  };
  for (const auto& c : cases) {
    std::vector<std::string> storage = {"kelmora"};
    storage.insert(storage.end(), c.arguments.begin(), c.arguments.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(&s[0]);
    LASinputOptions options;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(options.take_arguments(static_cast<int>(argv.size()), argv.data(), false))
        << testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStderr();
    std::string text;
    EXPECT_EQ(write_read_options(options, &text), c.read_options.size());
    EXPECT_EQ(text, c.read_options) << storage.back();
  }
}

TEST(InputBatch, InputsFilterAndTransform) {
  std::vector<std::string> storage = {"kelmora", "-keep_class", "2",           "-translate_z",
                                      "1.5",     "-merged",     "-temp_files", "/tmp/x"};
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(&s[0]);
  LASinputOptions options;
  options.add_file_name("b.asc", false);
  options.add_file_name("a.asc", false);
  ASSERT_TRUE(options.take_arguments(static_cast<int>(argv.size()), argv.data(), false));
  BatchInputs b = batch_inputs_from(options);
  EXPECT_EQ(b.names, (std::vector<std::string>{"b.asc", "a.asc"}));
  EXPECT_TRUE(b.merged);
  EXPECT_EQ(b.temp_dir, "/tmp/x");
  EXPECT_EQ(b.read_options, "-merged -temp_files \"/tmp/x\" ");
  EXPECT_NE(b.filter_options.find("-keep_class 2"), std::string::npos) << b.filter_options;
  EXPECT_NE(b.transform_options.find("-translate_z 1.5"), std::string::npos) << b.transform_options;
}

TEST(InputBatch, IgnoreOptionsAreRefused) {
  std::vector<std::string> storage = {"kelmora", "-i", "a.asc", "-ignore_class", "2"};
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(&s[0]);
  LASinputOptions options;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(options.take_arguments(static_cast<int>(argv.size()), argv.data(), false));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: this tool does not process '-ignore_xxxx' options\n");
}

}  // namespace
