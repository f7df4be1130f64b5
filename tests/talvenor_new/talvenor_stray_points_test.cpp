// Stray points through the built program: records far outside the header's bounding box, a
// valid file with a few points thousands of kilometres from the rest, and thinning across such
// distances. Time and memory must follow the points, never the extent between them. Every run
// is bounded in memory and CPU time so that a fault fails the test instead of taking the machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"
#include "scene.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

// Far more than a run over 50,000 points needs; an array over the extent needs far more.
ProgramLimits bounded() {
  ProgramLimits limits;
  limits.memory_bytes = 2ull << 30;
  limits.cpu_seconds = 600;
  return limits;
}

// About 45,000 points of hilly terrain with trees and outliers.
const Scene& hilly_scene() {
  static const Scene scene = make_scene(scene_params(ScenePreset::kHilly, 140.0, 2.0, 3));
  return scene;
}

size_t count_of(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) n++;
  return n;
}

class TalvenorStrayPoints : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    ASSERT_TRUE(write_scene_las(hilly_scene(), dir.file("a.las")));
    ASSERT_TRUE(fixture_read_file(dir.file("a.las"), &input));
  }

  ProgramRun run(const std::vector<std::string>& args) {
    return run_program(kProgram, args, dir.path(), "", bounded());
  }

  FixtureContents read(const std::string& name) {
    FixtureContents contents;
    EXPECT_TRUE(fixture_read_file(dir.file(name), &contents)) << name;
    return contents;
  }

  // Single returns spread over the file, so that each one would take part in the estimate.
  std::vector<size_t> single_returns(size_t wanted) const {
    std::vector<size_t> found;
    const size_t n = input.points.size();
    for (size_t i = 0; i < n && found.size() < wanted; i += n / (wanted + 1)) {
      size_t k = i;
      while (k < n && input.points[k].number_of_returns != 1) k++;
      if (k < n) found.push_back(k);
    }
    return found;
  }

  ProgramDir dir;
  FixtureContents input;
};

// Damaged records: X or Y moved by 30, 1,000 and 5,000 km with the header left as it was, three
// single returns and a first return. All four are counted in one warning; none takes part in
// the estimate or is ground. Every other point gets the class and height it gets in the same
// file without those records, so the indexes of the estimate stay aligned with the output pass.
TEST_F(TalvenorStrayPoints, RecordsFarOutsideTheHeaderBoxAreLeftOut) {
  std::vector<size_t> moved = single_returns(3);
  ASSERT_EQ(moved.size(), 3u);
  size_t first_return = input.points.size() / 2;
  while (first_return < input.points.size() && (input.points[first_return].number_of_returns < 2 ||
                                                input.points[first_return].return_number != 1)) {
    first_return++;
  }
  ASSERT_LT(first_return, input.points.size());
  moved.push_back(first_return);
  const int32_t shift_x[4] = {100000000, 0, -3000000, 100000000};  // 1,000 km east, 30 km west
  const int32_t shift_y[4] = {0, -500000000, 3000000, 0};          // 5,000 km south, 30 km north
  auto is_moved = [&moved](size_t i) {
    return std::find(moved.begin(), moved.end(), i) != moved.end();
  };
  const std::vector<uint8_t> bytes = file_bytes(dir.file("a.las"));
  const size_t start = input.header.offset_to_point_data;
  const size_t length = input.header.point_data_record_length;
  std::vector<uint8_t> damaged = bytes;
  for (size_t m = 0; m < moved.size(); m++) {
    const size_t at = start + moved[m] * length;
    fixture_put_u32(damaged, at, fixture_get_u32(damaged, at) + uint32_t(shift_x[m]));
    fixture_put_u32(damaged, at + 4, fixture_get_u32(damaged, at + 4) + uint32_t(shift_y[m]));
  }
  ASSERT_TRUE(write_bytes(dir.file("damaged.las"), damaged));
  // The same header (bounds and all) without the four records, all of them first returns.
  std::vector<uint8_t> without(bytes.begin(), bytes.begin() + long(start));
  for (size_t i = 0; i < input.points.size(); i++) {
    if (is_moved(i)) continue;
    without.insert(without.end(), bytes.begin() + long(start + i * length),
                   bytes.begin() + long(start + (i + 1) * length));
  }
  fixture_put_u32(without, 107, uint32_t(input.points.size() - moved.size()));
  fixture_put_u32(without, 111, fixture_get_u32(without, 111) - uint32_t(moved.size()));
  ASSERT_TRUE(write_bytes(dir.file("without.las"), without));

  const ProgramRun clean = run({"-i", "without.las", "-o", "without_out.las", "-compute_height"});
  ASSERT_EQ(clean.exit_code, 0) << clean.err;
  EXPECT_EQ(clean.err.find("outside the bounding box"), std::string::npos) << clean.err;
  // Without -quiet: under it only errors are printed.
  const ProgramRun run_damaged =
      run({"-i", "damaged.las", "-o", "damaged_out.las", "-compute_height"});
  ASSERT_EQ(run_damaged.exit_code, 0) << run_damaged.err;
  EXPECT_EQ(count_of(run_damaged.err,
                     "WARNING: 4 points lie more than one step outside the bounding box of the "
                     "header. they are left out of the ground estimate and are not ground.\n"),
            1u)
      << run_damaged.err;

  const FixtureContents expected = read("without_out.las");
  const FixtureContents out = read("damaged_out.las");
  ASSERT_EQ(out.points.size(), input.points.size());
  ASSERT_EQ(expected.points.size(), input.points.size() - moved.size());
  size_t ground = 0;
  for (size_t i = 0, j = 0; i < out.points.size(); i++) {
    if (is_moved(i)) {
      EXPECT_EQ(out.points[i].classification, 1) << i;
      continue;
    }
    ASSERT_EQ(out.points[i].classification, expected.points[j].classification) << i;
    ASSERT_EQ(out.points[i].user_data, expected.points[j].user_data) << i;
    ground += out.points[i].classification == 2;
    j++;
  }
  EXPECT_GT(ground, input.points.size() / 4);
}

// Bounds that a writer rounded inwards leave points just outside: within one step they are used
// as any other, without a warning.
TEST_F(TalvenorStrayPoints, PointsJustOutsideTheHeaderBoxAreUsed) {
  std::vector<uint8_t> bytes = file_bytes(dir.file("a.las"));
  // max x and max y of a 1.2 header, half a metre in.
  fixture_put_f64(bytes, 179, input.header.max_x - 0.5);
  fixture_put_f64(bytes, 195, input.header.max_y - 0.5);
  ASSERT_TRUE(write_bytes(dir.file("b.las"), bytes));
  const ProgramRun whole = run({"-i", "a.las", "-o", "a_out.las", "-quiet"});
  ASSERT_EQ(whole.exit_code, 0) << whole.err;
  const ProgramRun rounded = run({"-i", "b.las", "-o", "b_out.las", "-quiet"});
  ASSERT_EQ(rounded.exit_code, 0) << rounded.err;
  EXPECT_EQ(rounded.err.find("outside the bounding box"), std::string::npos) << rounded.err;
  const FixtureContents expected = read("a_out.las");
  const FixtureContents out = read("b_out.las");
  ASSERT_EQ(out.points.size(), expected.points.size());
  for (size_t i = 0; i < out.points.size(); i++) {
    ASSERT_EQ(out.points[i].classification, expected.points[i].classification) << i;
  }
}

// A valid file (its header holds them) with two single returns 5,000 km from the rest, east and
// north: the grids and the seeding visit only cells that hold points, so the run ends like any
// other with every point written and only the classes changed. An array over the extent would
// need hundreds of gigabytes, a walk over it days.
TEST_F(TalvenorStrayPoints, AFileWithPointsThousandsOfKilometresAwayIsClassified) {
  std::vector<FixturePoint> points = input.points;
  const std::vector<size_t> copied = single_returns(2);
  ASSERT_EQ(copied.size(), 2u);
  FixturePoint east = points[copied[0]];
  east.X += 500000000;
  FixturePoint north = points[copied[1]];
  north.Y += 500000000;
  points.push_back(east);
  points.push_back(north);
  ASSERT_TRUE(fixture_write_file(dir.file("far.las"), input.file, points));

  const ProgramRun whole = run({"-i", "a.las", "-o", "a_out.las", "-quiet"});
  ASSERT_EQ(whole.exit_code, 0) << whole.err;
  const ProgramRun far = run({"-i", "far.las", "-o", "far_out.las", "-quiet"});
  ASSERT_EQ(far.exit_code, 0) << far.err;
  EXPECT_EQ(far.err, "");
  const FixtureContents expected = read("a_out.las");
  const FixtureContents out = read("far_out.las");
  ASSERT_EQ(out.points.size(), points.size());
  size_t same = 0;
  for (size_t i = 0; i < points.size(); i++) {
    FixturePoint unchanged = points[i];
    unchanged.classification = out.points[i].classification;
    ASSERT_EQ(fixture_point_difference(out.points[i], unchanged), "") << i;
    if (i < expected.points.size()) {
      same += out.points[i].classification == expected.points[i].classification;
    }
  }
  // The far points join the TIN's hull; the ground of the scene itself stays what it was.
  EXPECT_GE(same, expected.points.size() * 99 / 100);
}

// Thinning with cells of a millimetre over points 40,000 km apart: the cells seen are kept, not
// the extent. Eight points (fewer than ten) make the run a copy through the filter.
TEST_F(TalvenorStrayPoints, ThinningWithAFineGridOverAHugeExtent) {
  FixtureFile file;
  file.point_data_format = 1;
  file.scale = {0.01, 0.01, 0.01};
  file.offset = {0.0, 0.0, 0.0};
  std::vector<FixturePoint> points;
  const int32_t far = 2000000000;  // 20,000 km at 0.01
  const int32_t places[4][2] = {{-far, -far}, {far, far}, {-far, far}, {far, -far}};
  for (const auto& place : places) {
    for (int copy = 0; copy < 2; copy++) {
      FixturePoint p;
      p.X = place[0];
      p.Y = place[1];
      p.Z = 100 + copy;  // the second of a cell differs only in Z
      points.push_back(p);
    }
  }
  ASSERT_TRUE(fixture_write_file(dir.file("t.las"), file, points));
  const ProgramRun thin = run({"-i", "t.las", "-o", "t_out.las", "-thin_with_grid", "0.001"});
  ASSERT_EQ(thin.exit_code, 0) << thin.err;
  const FixtureContents out = read("t_out.las");
  ASSERT_EQ(out.points.size(), 4u);
  for (size_t i = 0; i < 4; i++) {
    EXPECT_EQ(out.points[i].X, places[i][0]) << i;
    EXPECT_EQ(out.points[i].Y, places[i][1]) << i;
    EXPECT_EQ(out.points[i].Z, 100) << i;
  }
}

}  // namespace

namespace {

// A damaged header whose bounding box reaches 10^13 m west and south of the points puts every
// point at the last cell index of the seeding grids; the cells around it lie beyond the index
// range and are not looked up (the sanitizer build saw the neighbour's index overflow). Every
// point is written with only its class changed.
TEST_F(TalvenorStrayPoints, AHeaderBoxReachingBeyondTheCellIndexesIsClassified) {
  std::vector<uint8_t> bytes = file_bytes(dir.file("a.las"));
  fixture_put_f64(bytes, 187, -1e13);  // min x of a 1.2 header
  fixture_put_f64(bytes, 203, -1e13);  // min y
  ASSERT_TRUE(write_bytes(dir.file("box.las"), bytes));
  const ProgramRun box = run({"-i", "box.las", "-o", "box_out.las", "-quiet"});
  ASSERT_EQ(box.exit_code, 0) << box.err;
  const FixtureContents out = read("box_out.las");
  ASSERT_EQ(out.points.size(), input.points.size());
  for (size_t i = 0; i < out.points.size(); i++) {
    FixturePoint unchanged = input.points[i];
    unchanged.classification = out.points[i].classification;
    ASSERT_EQ(fixture_point_difference(out.points[i], unchanged), "") << i;
  }
}

}  // namespace
