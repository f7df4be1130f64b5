// The built talvenor_new on option values it must refuse: a value out of its range, text where a
// number belongs, and the next option word where a value belongs (taken as a value, the word is
// lost as an option and its text becomes a class, a number or a file name). Each ends with its
// ERROR line and code 1 and writes no file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"
#include "scene.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

struct ValueCase {
  std::vector<std::string> options;  // behind "-i a.las"
  std::string message;               // the whole of standard error
};

std::string option_word(const char* option, const char* needs, const char* value) {
  return std::string("ERROR: '") + option + "' needs " + needs + " but '" + value +
         "' is an option, not a value\n";
}

std::string not_valid(const char* option, const char* needs, const char* value) {
  return std::string("ERROR: '") + option + "' needs " + needs + " but '" + value +
         "' is not a valid value\n";
}

std::vector<std::string> files_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

TEST(TalvenorOptionValues, RefusedValuesEndTheRunBeforeAnyOutput) {
  const char* kClass = "1 argument: classification";
  const ValueCase cases[] = {
      // classes: the legacy class field holds 0 to 31
      {{"-ground_class", "40"}, not_valid("-ground_class", kClass, "40")},
      {{"-ground_class", "32"}, not_valid("-ground_class", kClass, "32")},
      {{"-ground_class", "-1"}, not_valid("-ground_class", kClass, "-1")},
      {{"-ground_class", "2x"}, not_valid("-ground_class", kClass, "2x")},
      {{"-ground_class", "-quiet"}, option_word("-ground_class", kClass, "-quiet")},
      {{"-non_ground_class", "300"}, not_valid("-non_ground_class", kClass, "300")},
      {{"-non_ground_class", "-v"}, option_word("-non_ground_class", kClass, "-v")},
      // the tool's numbers
      {{"-spike", "-quiet"}, option_word("-spike", "1 argument: value", "-quiet")},
      {{"-bulge", "big"}, not_valid("-bulge", "1 argument: value", "big")},
      {{"-offset", "0.1m"}, not_valid("-offset", "1 argument: value", "0.1m")},
      {{"-down_spike", "-city"}, option_word("-down_spike", "1 argument: value", "-city")},
      {{"-iterate", "-1"}, not_valid("-iterate", "1 argument: passes", "-1")},
      {{"-refine", "many"}, not_valid("-refine", "1 argument: passes", "many")},
      {{"-step", "-quiet"}, option_word("-step", "1 argument: value", "-quiet")},
      {{"-cutoff_z_above", "-v"}, option_word("-cutoff_z_above", "1 argument: value", "-v")},
      // names and directories
      {{"-odix", "-quiet"}, option_word("-odix", "1 argument: appendix", "-quiet")},
      {{"-odir", "-quiet"}, option_word("-odir", "1 argument: directory", "-quiet")},
      {{"-o", "-olas"}, option_word("-o", "1 argument: file_name", "-olas")},
      {{"-olaydir", "-quiet"}, option_word("-olaydir", "1 argument: directory name", "-quiet")},
      {{"-lof", "-quiet"}, option_word("-lof", "1 argument: list_of_files", "-quiet")},
      {{"-oparse", "-quiet"}, option_word("-oparse", "1 argument: string", "-quiet")},
      // the output options' numbers
      {{"-ocut", "two"}, not_valid("-ocut", "1 argument: number of characters to cut", "two")},
      {{"-chunk_size", "-quiet"},
       option_word("-chunk_size", "1 argument: number_points", "-quiet")},
      {{"-chunk_size", "5000x"}, not_valid("-chunk_size", "1 argument: number_points", "5000x")},
      {{"-io_obuffer", "-1"}, not_valid("-io_obuffer", "1 argument: size", "-1")},
      {{"-oscale_rgb", "x"}, not_valid("-oscale_rgb", "1 argument: scale", "x")},
      {{"-buffered", "-quiet"}, option_word("-buffered", "1 argument: buffer_size", "-quiet")},
  };
  ProgramDir dir;
  ASSERT_TRUE(write_scene_las(make_scene(scene_params(ScenePreset::kFlat, 30.0, 1.0, 3)),
                              dir.file("a.las")));
  for (const ValueCase& c : cases) {
    std::vector<std::string> args = {"-i", "a.las"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    SCOPED_TRACE(c.options[0] + " " + c.options[1]);
    const ProgramRun run = run_program(kProgram, args, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(files_in(dir.path()), std::vector<std::string>{"a.las"});
  }
}

// Values in range are taken as given: the ground points get the class asked for, and a negative
// number is a value, not an option word.
TEST(TalvenorOptionValues, ValuesInRangeAreTaken) {
  struct Case {
    std::vector<std::string> options;
    uint8_t ground_class;
  };
  const Case cases[] = {
      {{"-ground_class", "31"}, 31},
      {{"-ground_class", "0", "-non_ground_class", "9"}, 0},
      {{"-ground_class", "12", "-translate_z", "-10", "-cores", "-quiet"}, 12},
  };
  ProgramDir dir;
  ASSERT_TRUE(write_scene_las(make_scene(scene_params(ScenePreset::kFlat, 30.0, 1.0, 3)),
                              dir.file("a.las")));
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-i", "a.las", "-o", "o.las", "-quiet"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    SCOPED_TRACE(c.options[0] + " " + c.options[1]);
    const ProgramRun run = run_program(kProgram, args, dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    FixtureContents out;
    ASSERT_TRUE(fixture_read_file(dir.file("o.las"), &out));
    size_t ground = 0;
    for (const FixturePoint& p : out.points) ground += p.classification == c.ground_class;
    EXPECT_GT(ground, out.points.size() / 4);
  }
}

}  // namespace
