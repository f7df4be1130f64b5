// A LAS file in, a classified LAS file out, through the library's LAS reader and writer; the
// output is read back with the independent fixture reader.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <string>
#include <vector>

#include "classify_in_process.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "ground/ground_driver.hpp"
#include "io/las_input_options.hpp"
#include "io/las_output_options.hpp"
#include "las_fixture.hpp"
#include "scene.hpp"


namespace {

std::string temp_path(const char* name) {
  return std::string(PL_BINARY_DIR) + "/ground_file_test_" + std::to_string(getpid()) + "_" + name;
}

TEST(GroundFile, ClassifiesALasFile) {
  const Scene scene = make_scene(scene_params(ScenePreset::kUrban, 80.0, 2.0, 21));
  const std::string in = temp_path("in.las"), out = temp_path("out.las");
  SceneLasOptions options;
  options.point_data_format = 3;
  options.classification = 0;
  ASSERT_TRUE(write_scene_las(scene, in, options));

  GroundSettings settings;
  settings.quiet = true;
  settings.compute_height = true;
  const GroundFileReport report = classify_las_in_process(in, out, settings);
  ASSERT_EQ(report.result, GroundFileResult::kClassified);

  FixtureContents before, after;
  ASSERT_TRUE(fixture_read_file(in, &before));
  ASSERT_TRUE(fixture_read_file(out, &after));
  ASSERT_EQ(after.points.size(), before.points.size());
  EXPECT_EQ(after.header.generating_software, "talvenor_dor64 (210531)");
  std::vector<uint8_t> classes;
  for (size_t i = 0; i < before.points.size(); i++) {
    FixturePoint expected = before.points[i];
    expected.classification = after.points[i].classification;
    expected.user_data = after.points[i].user_data;
    ASSERT_EQ(fixture_point_difference(after.points[i], expected), "") << i;
    classes.push_back(after.points[i].classification);
  }
  SceneScore score;
  ASSERT_TRUE(score_scene(scene, classes, &score));
  std::printf("[ file ] recall %.4f commission %.4f\n", score.ground_recall(),
              score.commission_rate());
  EXPECT_GE(score.ground_recall(), 0.8);
  EXPECT_LE(score.commission_rate(), 0.03);
  EXPECT_EQ(score.outliers_as_ground, 0u);
  std::remove(in.c_str());
  std::remove(out.c_str());
}

// A file without points goes through the option holders and comes out as a copy.
TEST(GroundFile, FileWithoutPointsIsCopiedThroughTheOptionHolders) {
  const std::string in = temp_path("empty_in.las"), out = temp_path("empty_out.las");
  FixtureFile file;
  file.point_data_format = 1;
  file.scale = {0.001, 0.001, 0.01};
  file.offset = {300000.0, 5000000.0, 0.0};
  file.file_source_ID = 77;
  ASSERT_TRUE(fixture_write_file(in, file, {}));

  LASinputOptions input;
  ASSERT_TRUE(input.append_name(in.c_str(), false));
  LASoutputOptions output;
  output.set_name(out.c_str());
  std::unique_ptr<LASreader> reader(input.open_next_reader());
  ASSERT_NE(reader, nullptr);
  GroundFileIO io = ground_file_io(input, output, false);
  GroundSettings settings;
  settings.quiet = true;
  derive_mode_settings(settings);
  testing::internal::CaptureStderr();
  const GroundFileReport report = ground_classify_file(settings, reader, io);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(report.result, GroundFileResult::kCopied) << err;
  EXPECT_NE(err.find("WARNING: input has zero points. copying '" + in + "' ...\n"),
            std::string::npos)
      << err;

  FixtureContents copy;
  ASSERT_TRUE(fixture_read_file(out, &copy));
  EXPECT_TRUE(copy.points.empty());
  EXPECT_EQ(copy.header.file_source_ID, 77);
  EXPECT_EQ(copy.header.scale[0], 0.001);
  EXPECT_EQ(copy.header.offset[1], 5000000.0);
  std::remove(in.c_str());
  std::remove(out.c_str());
}

}  // namespace
