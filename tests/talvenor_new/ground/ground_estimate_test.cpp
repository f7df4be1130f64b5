#include "ground/ground_estimate.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/las_point.hpp"
#include "ground/ground_output.hpp"
#include "platform/crt_random.hpp"

namespace {

GroundSettings settings_with_step(float step) {
  GroundSettings s;
  s.quiet = true;
  s.step = step;
  derive_mode_settings(s);
  return s;
}

// A regular lattice of points at `spacing`, with z from `height`.
struct Lattice {
  GroundSettings settings;
  GroundParameters param;
  GroundEstimate estimate;

  Lattice(int n, float spacing, float (*height)(float, float), float step = 25)
      : settings(settings_with_step(step)),
        param(ground_parameters(settings, false, false)),
        estimate(settings, param) {
    estimate.begin(uint32_t(n * n));
    for (int j = 0; j < n; j++) {
      for (int i = 0; i < n; i++) {
        const float x = i * spacing, y = j * spacing;
        const float z = height(x, y);
        estimate.add_point(x, y, z, int32_t(std::lround(z * 100)), 0.0);
      }
    }
    estimate.allocate_bits();
    for (uint32_t i = 0; i < estimate.count(); i++) estimate.set_tin_bit(i);
  }
};

float flat(float, float) {
  return 10.0f;
}

// The lattice point at the centre of a 9 x 9 lattice of spacing 5.
constexpr uint32_t kCentre = 40;

TEST(GroundEstimate, SpikeAboveFlatGroundIsRemoved) {
  struct Row {
    float dz;
    bool spike;
  };
  const Row rows[] = {{+1.5f, true},  {+0.9f, false}, {-1.5f, true},
                      {-0.9f, false}, {0.0f, false},  {+1.01f, true}};
  for (const Row& row : rows) {
    Lattice lattice(9, 5.0f, flat);
    lattice.estimate.point(kCentre)[2] += row.dz;
    lattice.estimate.build_tin(nullptr);
    const uint32_t found = lattice.estimate.remove_spikes(1.0f, 1.0f, nullptr);
    EXPECT_EQ(found, row.spike ? 1u : 0u) << row.dz;
    EXPECT_EQ(lattice.estimate.delete_bit(kCentre), row.spike) << row.dz;
    EXPECT_EQ(lattice.estimate.tin_bit(kCentre), !row.spike) << row.dz;
    if (row.spike) {
      EXPECT_EQ(lattice.estimate.point(kCentre)[2], GROUND_EXCLUDED);
      EXPECT_EQ(lattice.estimate.delete_marked_points(), 1u);
      EXPECT_FALSE(lattice.estimate.delete_bit(kCentre));
    }
  }
}

// A point refused by the TIN because a vertex stands at its x and y is ground only as that
// vertex's twin: within the offset of its z, and only while the vertex stays.
TEST(GroundEstimate, RefusedDuplicateIsGroundOnlyAsTheTwinOfItsVertex) {
  const GroundSettings settings = settings_with_step(25);
  const GroundParameters param = ground_parameters(settings, false, false);  // offset 0.05
  GroundEstimate estimate(settings, param);
  estimate.begin(81 + 2);
  for (int j = 0; j < 9; j++) {
    for (int i = 0; i < 9; i++) estimate.add_point(i * 5.0, j * 5.0, 10.0, 1000, 0.0);
  }
  const uint32_t twin = estimate.count();
  estimate.add_point(20.0, 20.0, 10.04, 1004, 0.0);  // within the offset of the centre
  const uint32_t other = estimate.count();
  estimate.add_point(20.0, 20.0, 8.5, 850, 0.0);  // a low outlier under it
  estimate.allocate_bits();
  for (uint32_t i = 0; i < 81; i++) {
    if (i != kCentre) estimate.set_tin_bit(i);
  }
  estimate.build_tin(nullptr);
  for (uint32_t i : {kCentre, twin, other}) estimate.set_insert_bit(i);
  EXPECT_EQ(estimate.insert_marked_points(), 3u);
  EXPECT_TRUE(estimate.tin_bit(kCentre));
  EXPECT_TRUE(estimate.tin_bit(twin));
  EXPECT_FALSE(estimate.tin_bit(other));
  EXPECT_NE(estimate.point(other)[2], GROUND_EXCLUDED);  // still a candidate for later passes

  // The centre turns out a spike: its twin leaves with it.
  estimate.point(kCentre)[2] = 12.0f;
  EXPECT_EQ(estimate.remove_spikes(1.0f, 1.0f, nullptr), 1u);
  EXPECT_FALSE(estimate.tin_bit(kCentre));
  EXPECT_FALSE(estimate.tin_bit(twin));
  EXPECT_EQ(estimate.point(twin)[2], GROUND_EXCLUDED);
}

// A roof that spans more than one lowest-point cell is a plateau in the seed TIN. Only a vertex
// above all its neighbours is tested, so a plateau loses at most its highest vertex per call:
// this is why roofs two cells wide and more stay among the seeds.
TEST(GroundEstimate, PlateauLosesOnlyItsHighestVertex) {
  struct Row {
    const char* name;
    std::vector<uint32_t> raised;  // lattice indices lifted by 5 m (roof vertices)
    float jitter;                  // extra height of the first raised vertex
    uint32_t spikes;
  };
  const Row rows[] = {
      {"single vertex", {kCentre}, 0.0f, 1},
      {"two equal vertices", {kCentre, kCentre + 1}, 0.0f, 0},
      {"two vertices, one 2 cm higher", {kCentre, kCentre + 1}, 0.02f, 1},
      {"row of four, one 2 cm higher", {kCentre - 1, kCentre, kCentre + 1, kCentre + 2}, 0.02f, 1},
      {"three by three, centre 2 cm higher",
       {kCentre, kCentre - 1, kCentre + 1, kCentre - 9, kCentre - 10, kCentre - 8, kCentre + 9,
        kCentre + 8, kCentre + 10},
       0.02f,
       1},
  };
  for (const Row& row : rows) {
    Lattice lattice(9, 5.0f, flat);
    for (uint32_t i : row.raised) lattice.estimate.point(i)[2] += 5.0f;
    lattice.estimate.point(row.raised[0])[2] += row.jitter;
    lattice.estimate.build_tin(nullptr);
    EXPECT_EQ(lattice.estimate.remove_spikes(1.0f, 1.0f, nullptr), row.spikes) << row.name;
    uint32_t left = 0;
    for (uint32_t i : row.raised) left += lattice.estimate.tin_bit(i);
    EXPECT_EQ(left, uint32_t(row.raised.size()) - row.spikes) << row.name;
  }
}

// With a set, a spike only leaves the set.
TEST(GroundEstimate, SpikeLeavesTheSet) {
  Lattice lattice(9, 5.0f, flat);
  lattice.estimate.point(kCentre)[2] += 3.0f;
  std::vector<uint32_t> set;
  for (uint32_t i = 0; i < 81; i++) set.push_back(i);
  lattice.estimate.build_tin(&set);
  EXPECT_EQ(lattice.estimate.remove_spikes(1.0f, 1.0f, &set), 1u);
  EXPECT_EQ(set.size(), 80u);
  EXPECT_FALSE(std::binary_search(set.begin(), set.end(), kCentre));
  EXPECT_EQ(lattice.estimate.point(kCentre)[2], 13.0f);
  EXPECT_FALSE(lattice.estimate.delete_bit(kCentre));
}

// Equal to the lowest of its neighbours is no local extremum.
TEST(GroundEstimate, VertexEqualToItsLowestNeighbourIsNoSpike) {
  Lattice lattice(9, 5.0f, [](float x, float) { return x < 20 ? 0.0f : 10.0f; });
  lattice.estimate.build_tin(nullptr);
  EXPECT_EQ(lattice.estimate.remove_spikes(1.0f, 1.0f, nullptr), 0u);
}

// At step 25 an edge longer than 50 is long; an edge of exactly 50 is not.
TEST(GroundEstimate, LongEdges) {
  struct Row {
    float far_x;  // (0, 0) to (far_x, 40): 50 long at 30
    bool long_edge;
  };
  for (const Row& row : {Row{30.0f, false}, Row{30.1f, true}}) {
    const GroundSettings s = settings_with_step(25);
    GroundEstimate estimate(s, ground_parameters(s, false, false));
    estimate.begin(3);
    estimate.add_point(0, 0, 1, 100, 0.0);
    estimate.add_point(row.far_x, 40, 1, 100, 0.0);
    estimate.add_point(-10, 40, 1, 100, 0.0);
    estimate.allocate_bits();
    for (uint32_t i = 0; i < 3; i++) estimate.set_tin_bit(i);
    estimate.build_tin(nullptr);
    estimate.mark_long_edges();
    uint32_t hull = 0, finite = 0;
    for (uint32_t t = 0; t < tin_triangle_count(); t++) {
      const TINtriangle* q = tin_triangle_at(t);
      if (!tin_in_use(q)) continue;
      if (!q->v[0]) {
        hull++;
        EXPECT_TRUE(tin_long_or_hull(q));
        continue;
      }
      finite++;
      EXPECT_EQ(tin_long_or_hull(q), row.long_edge) << row.far_x;
      // The long edge is the one between the points 0 and 1.
      int marked = 0;
      for (int k = 0; k < 3; k++) {
        if (q->flag & (TIN_LONG_EDGE_01 << k)) {
          marked++;
          const uint32_t a = estimate.index_of(q->v[k]), b = estimate.index_of(q->v[(k + 1) % 3]);
          EXPECT_EQ(a + b, 1u);
        }
      }
      EXPECT_EQ(marked, row.long_edge ? 1 : 0);
    }
    EXPECT_EQ(hull, 3u);
    EXPECT_EQ(finite, 1u);
  }
}

// Linear interpolation reproduces a plane; bulge lifts a convex surface and leaves a plane.
TEST(GroundEstimate, InterpolationOnPlanesAndHills) {
  Lattice plane(7, 5.0f, [](float x, float y) { return 0.1f * x - 0.2f * y + 3.0f; });
  plane.estimate.build_tin(nullptr);
  plane.estimate.mark_long_edges();
  TINlocation hint = {nullptr, 0};
  const float positions[][2] = {{7.3f, 11.1f}, {12.5f, 2.5f}, {1.0f, 29.0f}, {15.1f, 14.9f}};
  for (const auto& p : positions) {
    float z_ground;
    ASSERT_TRUE(ground_surface_z(p[0], p[1], 0.01, 0.01, &hint, &z_ground));
    EXPECT_NEAR(z_ground, 0.1f * p[0] - 0.2f * p[1] + 3.0f, 1e-4) << p[0] << " " << p[1];
    const float q[3] = {p[0] + 0.01f, p[1] + 0.013f, 0.0f};
    TINlocation found;
    tin_locate(&found, q, nullptr);
    ASSERT_NE(found.triangle, nullptr);
    float linear, bulged;
    ASSERT_TRUE(ground_z_linear(found.triangle, q[0], q[1], &linear));
    ASSERT_TRUE(ground_z_with_bulge(found.triangle, q[0], q[1], 2.0f, &bulged));
    EXPECT_NEAR(bulged, linear, 1e-4);
  }

  Lattice hill(7, 5.0f, [](float x, float y) {
    return 20.0f - 0.02f * ((x - 15) * (x - 15) + (y - 15) * (y - 15));
  });
  hill.estimate.build_tin(nullptr);
  hill.estimate.mark_long_edges();
  const float q[3] = {13.3f, 12.1f, 0.0f};
  TINlocation found;
  tin_locate(&found, q, nullptr);
  ASSERT_NE(found.triangle, nullptr);
  float linear, bulged, capped;
  ASSERT_TRUE(ground_z_linear(found.triangle, q[0], q[1], &linear));
  ASSERT_TRUE(ground_z_with_bulge(found.triangle, q[0], q[1], 2.0f, &bulged));
  ASSERT_TRUE(ground_z_with_bulge(found.triangle, q[0], q[1], 0.01f, &capped));
  const float truth = 20.0f - 0.02f * ((q[0] - 15) * (q[0] - 15) + (q[1] - 15) * (q[1] - 15));
  EXPECT_LT(linear, truth);
  EXPECT_GT(bulged, linear);
  EXPECT_LE(bulged, linear + 2.0f);
  EXPECT_NEAR(capped, linear + 0.01f, 1e-5);

  // A bowl lies below its corners' tangent planes nowhere: no bulge.
  Lattice bowl(7, 5.0f, [](float x, float y) {
    return 0.02f * ((x - 15) * (x - 15) + (y - 15) * (y - 15));
  });
  bowl.estimate.build_tin(nullptr);
  bowl.estimate.mark_long_edges();
  tin_locate(&found, q, nullptr);
  ASSERT_NE(found.triangle, nullptr);
  ASSERT_TRUE(ground_z_linear(found.triangle, q[0], q[1], &linear));
  ASSERT_TRUE(ground_z_with_bulge(found.triangle, q[0], q[1], 2.0f, &bulged));
  EXPECT_EQ(bulged, linear);
}

// A position on a vertex is moved off it before it is located.
TEST(GroundEstimate, PositionOnAVertexIsMovedOff) {
  Lattice plane(5, 5.0f, [](float x, float) { return 0.5f * x; });
  plane.estimate.build_tin(nullptr);
  TINlocation hint = {nullptr, 0};
  float z_ground;
  ASSERT_TRUE(ground_surface_z(10.0f, 10.0f, 0.01, 0.01, &hint, &z_ground));
  EXPECT_NEAR(z_ground, 5.0f + 0.5f * 0.01f, 1e-4);
}

TEST(GroundEstimate, PertubeMovesXAndYTogether) {
  const GroundSettings s = settings_with_step(25);
  const GroundParameters p = ground_parameters(s, false, false);
  GroundEstimate estimate(s, p);
  estimate.begin(200);
  crt_srand(1);
  for (int i = 0; i < 200; i++) estimate.add_point(100.0, 200.0, 5.0, 500, 0.01);
  bool moved = false;
  for (uint32_t i = 0; i < 200; i++) {
    const float dx = estimate.point(i)[0] - 100.0f;
    const float dy = estimate.point(i)[1] - 200.0f;
    const double steps = dx / 0.01;
    EXPECT_NEAR(steps, std::round(steps), 0.01) << i;
    EXPECT_LE(std::fabs(steps), 10.01) << i;
    EXPECT_NEAR(dx, dy, 2e-5) << i;
    moved |= dx != 0.0f;
  }
  EXPECT_TRUE(moved);
  EXPECT_FALSE(estimate.add_point(1, 1, 1, 100, 0.0));  // full: nothing more is stored
  EXPECT_EQ(estimate.count(), 200u);
  EXPECT_FALSE(estimate.is_ground(200));
  EXPECT_FALSE(estimate.is_ground(uint64_t(1) << 40));
}

// Where every point lies alone in its cell, every shifted grid of every seed level gathers all
// the points: their TIN is built once, not once per grid, and not at all where the points lie
// too far apart for any of them to be ground against another. Dense points fill each grid's
// cells differently, and each grid builds its own.
TEST(GroundEstimate, SeedGridsOfTheSamePointsBuildOneTin) {
  enum Tins { kNone, kOne, kEachGrid };
  struct Row {
    const char* what;
    int columns, rows;
    float spacing;
    Tins tins;
    GroundOutcome outcome;
  };
  const Row rows[] = {
      {"1 km apart", 20, 20, 1000.0f, kNone, GroundOutcome::kTooFewSeeds},
      // Without a triangle no vertex is tested: none is a spike.
      {"1 km apart on one line", 20, 1, 1000.0f, kOne, GroundOutcome::kNoTriangles},
      {"30 m apart", 30, 30, 30.0f, kOne, GroundOutcome::kReady},
      {"1 m apart", 40, 40, 1.0f, kEachGrid, GroundOutcome::kReady},
  };
  for (const Row& row : rows) {
    const GroundSettings s = settings_with_step(25);
    const GroundParameters p = ground_parameters(s, false, false);
    GroundEstimate estimate(s, p);
    estimate.begin(uint32_t(row.columns * row.rows));
    for (int j = 0; j < row.rows; j++) {
      for (int i = 0; i < row.columns; i++) {
        const float x = float(i) * row.spacing, y = float(j) * row.spacing;
        const float z = 100.0f + 3.0f * std::sin(x / 90.0f) * std::cos(y / 70.0f);
        estimate.add_point(x, y, z, int32_t(std::lround(z * 100)), 0.0);
      }
    }
    EXPECT_EQ(estimate.run(), row.outcome) << row.what;
    const uint32_t levels = p.has_fine ? 3 : 2;
    const uint32_t tins[] = {0, 1, levels * uint32_t(p.sub * p.sub)};
    EXPECT_EQ(estimate.seed_tin_count(), tins[row.tins]) << row.what;
  }
}

struct HeightRow {
  float height;
  uint8_t user_data;
};

TEST(GroundOutput, HeightsInTenths) {
  const HeightRow rows[] = {{3.14f, 31}, {-0.04f, 0},  {-0.06f, 0}, {30.0f, 255},
                            {0.05f, 1},  {25.5f, 255}, {0.0f, 0},   {12.34f, 123}};
  for (const HeightRow& row : rows) {
    EXPECT_EQ(height_to_user_data(row.height), row.user_data) << row.height;
  }
  EXPECT_EQ(height_to_raw_z(1.234f, 0.01), 123);
  EXPECT_EQ(height_to_raw_z(-1.236f, 0.01), -124);
}

TEST(GroundOutput, ClassKeepsTheFlags) {
  LASpoint point;
  point.class_byte = 0xE0 | 5;
  set_ground_tool_class(point, 2);
  EXPECT_EQ(point.class_byte, 0xE0 | 2);
  EXPECT_EQ(point.extended_classification, 2);
}

}  // namespace
