// The transform: its list, registers, flags, owned filter and overflow report.

#include <gtest/gtest.h>

#include <string>

#include "core/las_reader.hpp"
#include "filter/las_filter.hpp"
#include "filter/operations_coordinates.hpp"
#include "filter/operations_fields.hpp"
#include "transform_test_point.hpp"

namespace {

// The input options hand the filter to the transform when "-filtered_transform"
// is given; here the two parsers walk one vector as they do there.
TEST(Transform, FilteredTransformChangesOnlyThePointsTheFilterKeeps) {
  Argv args({"-translate_z", "1.25", "-set_classification", "2", "-keep_class", "1",
             "-filtered_transform"});
  auto* filter = new LASfilter();
  ASSERT_TRUE(filter->take_arguments(args.argc(), args.data()));
  LAStransform transform;
  ASSERT_TRUE(transform.take_arguments(args.argc(), args.data()));
  for (int i = 1; i < args.argc(); i++) EXPECT_EQ(args.entry(i), "") << i;
  ASSERT_EQ(transform.is_filtered, 1);
  transform.attach_filter(filter);
  EXPECT_EQ(transform_text(transform),
            "-keep_class 1 -filtered_transform -translate_z 1.250000 -set_classification 2 ");

  const struct {
    Fields before;
    Fields after;
  } cases[] = {
      {Fields().cls(1).rawz(100), Fields().cls(2).rawz(225)},
      {Fields().cls(3).rawz(100), Fields().cls(3).rawz(100)},
      {Fields().cls(2).rawz(-200), Fields().cls(2).rawz(-200)},
      {Fields().cls(1).rawz(-200), Fields().cls(2).rawz(-75)},
  };
  for (const auto& c : cases) {
    ScaledPoint p;
    p.set(c.before);
    transform.apply(&p.point);
    expect_same_fields(p.fields(), c.after, "filtered");
  }
  // the rejecting criterion counted the two points it dropped
  EXPECT_EQ(transform.get_filter()->counter(0), 2);
  transform.attach_filter(nullptr);
  EXPECT_EQ(transform.is_filtered, 0);
  EXPECT_EQ(transform.get_filter(), nullptr);
}

TEST(Transform, SourceIdOperationIsReplacedAndMovedToTheEnd) {
  LAStransform transform;
  transform.set_source_id_operation(3);
  transform.set_source_id_operation(5);
  ASSERT_EQ(transform.num_operations(), 1u);
  EXPECT_EQ(transform_text(transform), "-set_point_source 5 ");

  LAStransform parsed;
  ASSERT_TRUE(parse_transform(parsed, "-set_point_source 7 -translate_x 1"));
  parsed.set_source_id_operation(9);
  EXPECT_EQ(transform_text(parsed), "-translate_x 1.000000 -set_point_source 9 ");
}

TEST(Transform, RemoveOperationTakesOnlyTheFirstOfItsName) {
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "-translate_x 1 -scale_x 2 -translate_x 3"));
  transform.remove_operation("no_such_operation");
  EXPECT_EQ(transform.num_operations(), 3u);
  transform.remove_operation("translate_x");
  EXPECT_EQ(transform_text(transform), "-scale_x 2.000000 -translate_x 3.000000 ");
  LAStransform empty;
  empty.remove_operation("translate_x");
  EXPECT_EQ(empty.num_operations(), 0u);
}

TEST(Transform, SeventeenOperationsGrowTheListOnce) {
  LAStransform transform;
  for (int i = 0; i < 17; i++) transform.append_operation(new LASoperationTranslateRawX(i));
  EXPECT_EQ(transform.num_operations(), 17u);
  EXPECT_EQ(transform.alloc_operations(), 32u);
  for (uint32_t i = 0; i < 17; i++) {
    char text[64];
    transform.operation(i)->write_option_text(text);
    EXPECT_EQ(std::string(text), "-translate_raw_x " + std::to_string(i) + " ");
  }
  ScaledPoint p;
  transform.apply(&p.point);
  EXPECT_EQ(p.point.X, 136);
}

TEST(Transform, RemoveAllClearsListFlagsAndFilterButNotRegisters) {
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "-translate_x 1 -filtered_transform"));
  transform.attach_filter(new LASfilter());
  transform.registers[4] = 2.0;
  transform.remove_all();
  EXPECT_EQ(transform.num_operations(), 0u);
  EXPECT_EQ(transform.alloc_operations(), 0u);
  EXPECT_EQ(transform.change_flags, 0);
  EXPECT_EQ(transform.get_filter(), nullptr);
  EXPECT_EQ(transform.is_filtered, 1);
  EXPECT_EQ(transform.registers[4], 2.0);
}

TEST(Transform, ArgumentStringSplitsAtRunsOfBlanks) {
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "  -translate_x   2 "));
  EXPECT_EQ(transform_text(transform), "-translate_x 2.000000 ");
  LAStransform empty;
  EXPECT_TRUE(parse_transform(empty, ""));
  EXPECT_EQ(empty.num_operations(), 0u);
  // more words than a 64-entry vector holds
  std::string text;
  for (int i = 0; i < 40; i++) text += "-translate_raw_x 1 ";
  LAStransform many;
  ASSERT_TRUE(parse_transform(many, text));
  EXPECT_EQ(many.num_operations(), 40u);
}

TEST(Transform, RegistersCarryFromPointToPointUntilRestart) {
  LAStransform transform;
  ASSERT_TRUE(
      parse_transform(transform, "-translate_register 0 1 -copy_register_into_intensity 0"));
  for (int i = 1; i <= 3; i++) {
    ScaledPoint p;
    transform.apply(&p.point);
    EXPECT_EQ(p.point.intensity, i);
  }
  transform.restart_all();
  for (double r : transform.registers) EXPECT_EQ(r, 0.0);
  ScaledPoint p;
  transform.apply(&p.point);
  EXPECT_EQ(p.point.intensity, 1);
}

TEST(Transform, ChangeFlagsAccumulatePerOptionWord) {
  const struct {
    const char* options;
    int32_t flags;
  } cases[] = {
      {"-translate_x 0", 1},
      {"-translate_y 1 -translate_z 1", 6},
      {"-translate_xyz 0 0 5", 4},
      {"-translate_xyz 1 2 0", 3},
      {"-scale_xyz 1 1 1", 0},
      {"-scale_xyz 2 1 1", 1},
      {"-scale_z 1", 0},
      {"-scale_y 2", 2},
      {"-translate_raw_xyz 0 1 0", 2},
      {"-translate_raw_xy_at_random 0 2", 2},
      {"-translate_raw_z 0", 4},
      {"-rotate_xy 1 0 0", 3},
      {"-rotate_xz 1 0 0", 5},
      {"-rotate_yz 1 0 0", 6},
      {"-clamp_z 0 1 -clamp_raw_z 0 1", 4},
      {"-copy_intensity_into_z", 4},
      {"-copy_user_data_into_z", 0},
      {"-copy_attribute_into_y 0", 2},
      {"-copy_register_into_x 0", 1},
      {"-add_scaled_attribute_to_z 0 2", 4},
      {"-multiply_scaled_intensity_into_RGB_green 2", 0x20000},
      {"-multiply_divided_intensity_into_RGB_nir 2", 0x2000000},
      {"-transform_helmert 1,2,3", 0},
      {"-set_intensity 3 -set_RGB 1 2 3", 0},
  };
  for (const auto& c : cases) {
    LAStransform transform;
    ASSERT_TRUE(parse_transform(transform, c.options)) << c.options;
    EXPECT_EQ(transform.change_flags, c.flags) << c.options;
  }
}

TEST(Transform, OverflowsAreReportedOnceWithTheOptionText) {
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "-translate_z 30000000 -translate_x 1"));
  for (int i = 0; i < 3; i++) {
    ScaledPoint p;
    transform.apply(&p.point);
  }
  testing::internal::CaptureStderr();
  transform.report_overflows();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: total of 3 overflows caused by '-translate_z 30000000.000000 '\n");
  transform.restart_all();
  EXPECT_EQ(transform.operation(0)->overflow, 0);
  testing::internal::CaptureStderr();
  transform.report_overflows();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A text longer than a fixed line ("%lf" of 1e300 has 301 digits) is printed
// whole.
TEST(Transform, OverflowReportHoldsTextsOfAnyLength) {
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "-translate_xyz 1e300 -1e300 1e300"));
  ScaledPoint p;
  transform.apply(&p.point);
  char expected[2048];
  snprintf(expected, sizeof(expected),
           "WARNING: total of 3 overflows caused by '-translate_xyz %lf %lf %lf '\n", 1e300, -1e300,
           1e300);
  testing::internal::CaptureStderr();
  transform.report_overflows();
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_GT(printed.size(), 900u);
  EXPECT_EQ(printed, expected);
}

// Points at z = 0 from memory, in point format 0 at the header's scale 0.01.
class ZeroReader : public LASreader {
 public:
  explicit ZeroReader(int64_t n) {
    point.init_for_point_type(&header, 0, 20, &header);
    npoints = n;
  }
  int format_code() const override { return LASformatCode::las; }
  bool seek_point(int64_t) override { return false; }
  ByteStreamIn* input_stream() const override { return nullptr; }
  void close_input(bool) override {}

 protected:
  bool read_one_point() override {
    if (p_count == npoints) return false;
    point.Z = 0;
    point.set_classification(uint8_t(p_count % 2));
    p_count++;
    return true;
  }
};

TEST(Transform, ReaderReportsOverflowsWhenDestroyed) {
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "-translate_z 30000000 -set_user_data 1"));
  auto* filter = new LASfilter();
  Argv args({"-keep_class", "1"});
  ASSERT_TRUE(filter->take_arguments(args.argc(), args.data()));
  transform.attach_filter(filter);
  auto* reader = new ZeroReader(7);
  reader->attach_transform(&transform);
  int read = 0;
  while (reader->read_point()) read++;
  EXPECT_EQ(read, 7);
  testing::internal::CaptureStderr();
  delete reader;
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: total of 3 overflows caused by '-translate_z 30000000.000000 '\n");
}

}  // namespace
