// Generated scenes through the built talvenor_new program: the classification it writes, and
// that it changes nothing else. Outputs are read back with the independent fixture reader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/las_item.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"
#include "scene.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

const Scene& urban_scene() {
  static const Scene scene = make_scene(scene_params(ScenePreset::kUrban, 80.0, 2.0, 21));
  return scene;
}

// A smaller scene for the runs that repeat one classification in every format.
const Scene& format_scene() {
  static const Scene scene = make_scene(scene_params(ScenePreset::kUrban, 50.0, 1.5, 21));
  return scene;
}

// Point format 3 carries GPS time and colour as well, so that every field is compared.
SceneLasOptions scene_options() {
  SceneLasOptions options;
  options.point_data_format = 3;
  options.classification = 1;
  return options;
}

// Which fields a run may change besides the classification.
enum Changes : unsigned { kClassOnly = 0, kUserData = 1, kZ = 2 };

// Compares the output with the input point by point: same count and order, every field equal
// except those the run may change.
void expect_only_changes(const FixtureContents& in, const FixtureContents& out, unsigned changes,
                         const std::string& what) {
  ASSERT_EQ(out.points.size(), in.points.size()) << what;
  for (size_t i = 0; i < in.points.size(); i++) {
    FixturePoint expected = in.points[i];
    expected.classification = out.points[i].classification;
    if (changes & kUserData) expected.user_data = out.points[i].user_data;
    if (changes & kZ) expected.Z = out.points[i].Z;
    ASSERT_EQ(fixture_point_difference(out.points[i], expected), "") << what << " point " << i;
  }
}

std::vector<uint8_t> classes_of(const FixtureContents& contents) {
  std::vector<uint8_t> classes;
  for (const FixturePoint& p : contents.points) classes.push_back(p.classification);
  return classes;
}

// Classes as the library reads them, for compressed files the fixture reader does not read.
[[maybe_unused]] std::vector<uint8_t> library_classes(const std::string& path) {
  std::vector<uint8_t> classes;
  LASreaderLAS reader;
  if (!reader.open_file(path.c_str())) return classes;
  while (reader.read_point()) classes.push_back(reader.point.get_classification());
  reader.close_input(true);
  return classes;
}

class TalvenorEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    ASSERT_TRUE(write_scene_las(urban_scene(), dir.file("a.las"), scene_options()));
    ASSERT_TRUE(fixture_read_file(dir.file("a.las"), &input));
    input_bytes = file_text(dir.file("a.las"));
  }

  // Runs the program in the directory; expects it to succeed.
  void run(const std::vector<std::string>& args) {
    const ProgramRun r = run_program(kProgram, args, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }

  FixtureContents read(const std::string& name) {
    FixtureContents contents;
    EXPECT_TRUE(fixture_read_file(dir.file(name), &contents)) << name;
    return contents;
  }

  // The classes of the smaller scene in the default format, which every other format must give.
  std::vector<uint8_t> reference_classes() {
    EXPECT_TRUE(write_scene_las(format_scene(), dir.file("r.las"), scene_options()));
    run({"-i", "r.las", "-o", "o.las", "-quiet"});
    return classes_of(read("o.las"));
  }

  // The smaller scene as "f.las" of LAS 1.<minor> in point format `format`, read back into `in`;
  // false when either failed.
  bool write_format(uint8_t minor, uint8_t format, FixtureContents* in) {
    SceneLasOptions options = scene_options();
    options.version_minor = minor;
    options.point_data_format = format;
    return write_scene_las(format_scene(), dir.file("f.las"), options) &&
           fixture_read_file(dir.file("f.las"), in);
  }

  ProgramDir dir;
  FixtureContents input;
  std::string input_bytes;
};

TEST_F(TalvenorEndToEnd, ClassifiesAndChangesNothingElse) {
  run({"-i", "a.las", "-o", "o.las", "-quiet"});
  const FixtureContents out = read("o.las");
  expect_only_changes(input, out, kClassOnly, "plain");
  EXPECT_EQ(out.header.generating_software, "talvenor_dor64 (210531)");
  FixtureFile expected = input.file;  // the header changes only the names of its maker
  expected.system_identifier = out.file.system_identifier;
  expected.generating_software = "talvenor_dor64 (210531)";
  EXPECT_EQ(fixture_file_difference(out.file, expected), "");
  for (const uint8_t c : classes_of(out)) ASSERT_TRUE(c == 1 || c == 2) << int(c);

  SceneScore score;
  ASSERT_TRUE(score_scene(urban_scene(), classes_of(out), &score));
  std::printf("[ scene ] recall %.4f commission %.4f\n", score.ground_recall(),
              score.commission_rate());
  EXPECT_GE(score.ground_recall(), 0.8);
  EXPECT_LE(score.commission_rate(), 0.05);
  EXPECT_EQ(score.outliers_as_ground, 0u);
  EXPECT_EQ(file_text(dir.file("a.las")), input_bytes) << "the input changed";
}

TEST_F(TalvenorEndToEnd, EveryPointFormatClassifiesAlike) {
  struct Row {
    uint8_t minor, format;
  };
  const Row rows[] = {{0, 0}, {2, 1}, {2, 2}, {3, 5}, {4, 6}, {4, 7}, {4, 8}, {4, 10}};
  const std::vector<uint8_t> classes = reference_classes();
  ASSERT_GT(std::count(classes.begin(), classes.end(), 2), 1000);
  for (const Row& row : rows) {
    const std::string what =
        "1." + std::to_string(row.minor) + " format " + std::to_string(row.format);
    FixtureContents in;
    ASSERT_TRUE(write_format(row.minor, row.format, &in)) << what;
    run({"-i", "f.las", "-o", "g.las", "-quiet"});
    const FixtureContents out = read("g.las");
    expect_only_changes(in, out, kClassOnly, what);
    EXPECT_EQ(classes_of(out), classes) << what;
  }
}

TEST_F(TalvenorEndToEnd, HeightsGoWhereTheyAreAskedFor) {
  struct Row {
    std::vector<std::string> options;
    unsigned changes;
  };
  const Row rows[] = {
      {{"-compute_height"}, kUserData},
      {{"-replace_z"}, kZ},
      {{"-replace_z", "-store_in_user_data"}, kZ | kUserData},
      {{"-store_in_user_data", "-replace_z"}, kZ | kUserData},
  };
  run({"-i", "a.las", "-o", "plain.las", "-quiet"});
  const std::vector<uint8_t> plain = classes_of(read("plain.las"));
  for (const Row& row : rows) {
    std::string what;
    std::vector<std::string> args = {"-i", "a.las", "-o", "h.las", "-quiet"};
    for (const std::string& o : row.options) {
      args.push_back(o);
      what += o + " ";
    }
    run(args);
    const FixtureContents out = read("h.las");
    expect_only_changes(input, out, row.changes, what);
    EXPECT_EQ(classes_of(out), plain) << what;
    size_t user_data_changed = 0, z_changed = 0;
    for (size_t i = 0; i < out.points.size(); i++) {
      user_data_changed += out.points[i].user_data != input.points[i].user_data;
      z_changed += out.points[i].Z != input.points[i].Z;
    }
    EXPECT_EQ(user_data_changed > 0, (row.changes & kUserData) != 0) << what;
    EXPECT_EQ(z_changed > 0, (row.changes & kZ) != 0) << what;
    if (row.changes & kZ) {
      EXPECT_EQ(out.header.offset[2], 0.0) << what;
    }
  }
}

// A class the legacy field cannot hold is refused, not cut to its low five bits (34 would be
// written as 2).
TEST_F(TalvenorEndToEnd, ClassNumbersBeyondFiveBitsAreRefused) {
  const ProgramRun r = run_program(
      kProgram, {"-i", "a.las", "-o", "thirty_four.las", "-quiet", "-ground_class", "34"},
      dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err,
            "ERROR: '-ground_class' needs 1 argument: classification but '34' is not a valid "
            "value\n");
  EXPECT_FALSE(path_exists(dir.file("thirty_four.las")));
}

TEST_F(TalvenorEndToEnd, EveryInputGetsItsOwnOutput) {
  ASSERT_EQ(link(dir.file("a.las").c_str(), dir.file("b.las").c_str()), 0);
  run({"-i", "a.las", "b.las", "-odix", "_g", "-quiet"});
  ASSERT_TRUE(path_exists(dir.file("a_g.las")));
  ASSERT_TRUE(path_exists(dir.file("b_g.las")));
  EXPECT_EQ(file_text(dir.file("a_g.las")), file_text(dir.file("b_g.las")));
}

TEST_F(TalvenorEndToEnd, FilesThatCannotBeClassifiedAreCopiedOrSkipped) {
  FixtureFile file;
  file.point_data_format = 1;
  file.scale = {0.01, 0.01, 0.01};
  file.offset = {500000.0, 4000000.0, 0.0};
  std::vector<FixturePoint> points = fixture_random_points(7, 8, 1);
  ASSERT_TRUE(fixture_write_file(dir.file("few.las"), file, points));
  const FixtureContents few = read("few.las");

  const ProgramRun copy = run_program(kProgram, {"-i", "few.las", "-o", "c.las"}, dir.path());
  EXPECT_EQ(copy.exit_code, 0) << copy.err;
  EXPECT_NE(copy.err.find(" copying 'few.las' ...\n"), std::string::npos) << copy.err;
  const FixtureContents copied = read("c.las");
  EXPECT_EQ(fixture_file_difference(copied.file, few.file), "");
  ASSERT_EQ(copied.points.size(), few.points.size());
  for (size_t i = 0; i < few.points.size(); i++) {
    EXPECT_EQ(fixture_point_difference(copied.points[i], few.points[i]), "") << i;
  }

  const ProgramRun skip =
      run_program(kProgram, {"-i", "few.las", "-o", "s.las", "-skip_files"}, dir.path());
  EXPECT_EQ(skip.exit_code, 0) << skip.err;
  EXPECT_NE(skip.err.find(" skipping 'few.las' ...\n"), std::string::npos) << skip.err;
  EXPECT_FALSE(path_exists(dir.file("s.las")));
}

// A file without ground has every point at height 0: asked for heights, its copy carries them
// (Z the raw value of elevation 0, user data 0, the header re-counted) and says why.
TEST_F(TalvenorEndToEnd, CopiesWithoutGroundCarryHeightsOfZero) {
  struct Row {
    const char* name;
    std::vector<std::string> options;
    double z_offset;
    bool z_zero, user_data_zero;
    double written_z_offset;
  };
  const Row rows[] = {
      {"replace z", {"-replace_z"}, 100.0, true, false, 100.0},
      {"compute height", {"-compute_height"}, 100.0, false, true, 100.0},
      {"replace z into user data", {"-replace_z", "-store_in_user_data"}, 100.0, true, true, 100.0},
      // The raw value of 0 at this offset overflows 32 bits: the offset goes to 0 instead.
      {"replace z far offset", {"-replace_z"}, 1.0e8, true, false, 0.0},
  };
  for (const Row& row : rows) {
    FixtureFile file;
    file.point_data_format = 1;
    file.scale = {0.01, 0.01, 0.01};
    file.offset = {500000.0, 4000000.0, row.z_offset};
    std::vector<FixturePoint> points = fixture_random_points(7, 8, 1);
    for (FixturePoint& p : points) p.user_data = 77;
    ASSERT_TRUE(fixture_write_file(dir.file("few.las"), file, points)) << row.name;
    const FixtureContents few = read("few.las");

    std::vector<std::string> args = {"-i", "few.las", "-o", "c.las"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const ProgramRun copy = run_program(kProgram, args, dir.path());
    EXPECT_EQ(copy.exit_code, 0) << row.name << copy.err;
    EXPECT_NE(copy.err.find(" copying 'few.las' ...\n"), std::string::npos) << copy.err;
    const std::string warning = "WARNING: no ground found in 'few.las'. all heights are 0.\n";
    const size_t at = copy.err.find(warning);
    EXPECT_NE(at, std::string::npos) << row.name << copy.err;
    EXPECT_EQ(copy.err.find(warning, at + 1), std::string::npos) << row.name << copy.err;

    const FixtureContents copied = read("c.las");
    EXPECT_EQ(copied.header.offset[2], row.written_z_offset) << row.name;
    if (row.z_zero) {
      EXPECT_EQ(copied.header.min_z, 0.0) << row.name;
      EXPECT_EQ(copied.header.max_z, 0.0) << row.name;
    }
    EXPECT_EQ(copied.header.number_of_point_records, few.header.number_of_point_records);
    EXPECT_EQ(copied.header.number_of_points_by_return, few.header.number_of_points_by_return);
    ASSERT_EQ(copied.points.size(), few.points.size()) << row.name;
    for (size_t i = 0; i < few.points.size(); i++) {
      FixturePoint expected = few.points[i];
      if (row.z_zero) {
        expected.Z = int32_t(std::lround(-row.written_z_offset / 0.01));
        EXPECT_EQ(copied.points[i].Z * 0.01 + copied.header.offset[2], 0.0) << row.name << i;
      }
      if (row.user_data_zero) expected.user_data = 0;
      EXPECT_EQ(fixture_point_difference(copied.points[i], expected), "") << row.name << i;
    }
  }
}

TEST_F(TalvenorEndToEnd, CompressedInputsAndOutputsClassifyAlike) {
  struct Row {
    uint8_t minor, format;
  };
  const Row rows[] = {
      {2, 1},
      {2, 3},
      {4, 6},
      {4, 8},
  };
  const std::vector<uint8_t> classes = reference_classes();
  ASSERT_GT(std::count(classes.begin(), classes.end(), 2), 1000);
  for (const Row& row : rows) {
    const std::string what =
        "1." + std::to_string(row.minor) + " format " + std::to_string(row.format);
    FixtureContents in;
    ASSERT_TRUE(write_format(row.minor, row.format, &in)) << what;
    {
      LASreaderLAS reader;
      ASSERT_TRUE(reader.open_file(dir.file("f.las").c_str())) << what;
      LASwriterLAS writer;
      ASSERT_TRUE(writer.open_file(dir.file("f.vpk").c_str(), &reader.header,
                                   LAScompressorKind::multistream_chunked, 2, 50000))
          << what;
      while (reader.read_point()) ASSERT_TRUE(writer.write_one_point(&reader.point)) << what;
      writer.close_output(true);
      reader.close_input(true);
    }
    run({"-i", "f.las", "-o", "las_vpk.vpk", "-quiet"});
    run({"-i", "f.vpk", "-o", "vpk_las.las", "-quiet"});
    run({"-i", "f.vpk", "-o", "vpk_vpk.vpk", "-quiet"});
    EXPECT_EQ(library_classes(dir.file("las_vpk.vpk")), classes) << what;
    EXPECT_EQ(library_classes(dir.file("vpk_vpk.vpk")), classes) << what;
    const FixtureContents from_vpk = read("vpk_las.las");
    EXPECT_EQ(classes_of(from_vpk), classes) << what;
    expect_only_changes(in, from_vpk, kClassOnly, what + " from vpk");
  }
}

}  // namespace
