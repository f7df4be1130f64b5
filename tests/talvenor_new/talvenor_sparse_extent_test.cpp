// Sparse points over a wide extent through the built program: a few thousand points spread
// evenly over a hundred kilometres square, the header's bounds right and nothing stray. Memory
// follows the points, not the grid tiles they touch (one tile of every seed grid per point).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "las_fixture.hpp"
#include "run_program.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

ProgramLimits bounded() {
  ProgramLimits limits;
  limits.memory_bytes = 4ull << 30;
  limits.cpu_seconds = 600;
  return limits;
}

// `side` x `side` points `spacing` metres apart on a plane rising 1 m per kilometre eastwards.
std::vector<FixturePoint> sparse_plane(int side, double spacing) {
  std::vector<FixturePoint> points;
  for (int j = 0; j < side; j++) {
    for (int i = 0; i < side; i++) {
      FixturePoint p;
      p.X = int32_t(std::lround(i * spacing * 100));
      p.Y = int32_t(std::lround(j * spacing * 100));
      p.Z = int32_t(std::lround(i * spacing * 0.1));
      p.classification = 1;
      points.push_back(p);
    }
  }
  return points;
}

TEST(TalvenorSparseExtent, MemoryFollowsThePoints) {
  struct Row {
    const char* what;
    int side;
    double spacing;
  };
  const Row rows[] = {
      {"5,041 points over 100 km", 71, 1420.0},
      {"10,000 points over 300 km", 100, 3000.0},
  };
  ProgramDir dir;
  for (const Row& row : rows) {
    FixtureFile file;
    file.version_minor = 2;
    file.point_data_format = 1;
    file.scale[0] = file.scale[1] = file.scale[2] = 0.01;
    const std::vector<FixturePoint> points = sparse_plane(row.side, row.spacing);
    ASSERT_TRUE(fixture_write_file(dir.file("in.las"), file, points)) << row.what;
    const ProgramRun run = run_program(kProgram, {"-i", "in.las", "-o", "out.las", "-quiet"},
                                       dir.path(), "", bounded());
    ASSERT_EQ(run.exit_code, 0) << row.what << run.err;
    // A run over a compact file of as many points takes about 6 MB; one seed-grid tile per
    // point took 81 kB for each of four grids.
    EXPECT_LT(run.peak_memory_kb, 64 * 1024) << row.what;
    FixtureContents out;
    ASSERT_TRUE(fixture_read_file(dir.file("out.las"), &out)) << row.what;
    ASSERT_EQ(out.points.size(), points.size()) << row.what;
    for (size_t i = 0; i < points.size(); i++) {
      ASSERT_EQ(out.points[i].X, points[i].X) << row.what << " point " << i;
      ASSERT_EQ(out.points[i].Y, points[i].Y) << row.what << " point " << i;
      ASSERT_EQ(out.points[i].Z, points[i].Z) << row.what << " point " << i;
    }
  }
}

}  // namespace
