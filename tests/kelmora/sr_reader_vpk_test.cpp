// Rasters stored as points: opening checks against the raster record, and the
// cells the points fill.
#include "sr_reader_vpk.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/las_vlr_payload.hpp"
#include "las_fixture.hpp"
#include "raster_compare.hpp"
#include "raster_fixtures.hpp"

using raster_fixtures::DemGrid;
using raster_fixtures::ScopedTempDir;
using raster_fixtures::VpkOptions;
using raster_fixtures::VpkPoint;

namespace {

DemGrid small_dem() {
  DemGrid g;
  g.ncols = 4;
  g.nrows = 3;
  g.llx = 100.0;
  g.lly = 200.0;
  g.cell = 2.0;
  g.z = {10.00, 10.01, 10.02, 10.03,  //
         11.00, -9999, 11.02, 11.03,  //
         12.00, 12.01, 12.02, 12.03};
  return g;
}

std::string open_error(const std::string& path) {
  SRreader_vpk r;
  testing::internal::CaptureStderr();
  bool ok = r.open(path.c_str());
  std::string err = testing::internal::GetCapturedStderr();
  return ok ? "opened" : err;
}

// Every cell of the raster: its value, or "-" for nodata.
std::vector<std::string> read_cells(const std::string& path, std::string* err = nullptr) {
  std::vector<std::string> cells;
  SRreader_vpk r;
  testing::internal::CaptureStderr();
  if (r.open(path.c_str())) {
    while (r.read_value()) cells.push_back(r.is_nodata() ? "-" : std::to_string(r.value[0]));
    r.close(true);
  }
  std::string e = testing::internal::GetCapturedStderr();
  if (err) *err = e;
  return cells;
}

TEST(SRreaderVpk, OpenTakesTheRasterFromItsRecord) {
  ScopedTempDir dir;
  VpkOptions o;
  o.fixture_writer = true;
  ASSERT_TRUE(raster_fixtures::write_vpk(dir.file("a.vpk"), small_dem(), o));
  SRreader_vpk r;
  ASSERT_TRUE(r.open(dir.file("a.vpk").c_str()));
  EXPECT_EQ(r.ncols, 4);
  EXPECT_EQ(r.nrows, 3);
  EXPECT_EQ(r.nbands, 1);
  EXPECT_EQ(r.nbits, 32);
  EXPECT_DOUBLE_EQ(r.llx, 100.0);
  EXPECT_DOUBLE_EQ(r.lly, 200.0);
  EXPECT_DOUBLE_EQ(r.urx, 108.0);
  EXPECT_DOUBLE_EQ(r.ury, 206.0);
  EXPECT_DOUBLE_EQ(r.stepx, 2.0);
  EXPECT_DOUBLE_EQ(r.stepy, 2.0);
  EXPECT_DOUBLE_EQ(r.scale[0], 0.01) << "cells at the quantum of every float raster";
  EXPECT_DOUBLE_EQ(r.offset[0], 0.0);
  EXPECT_EQ(r.r_count, 0);
}

TEST(SRreaderVpk, OpenRefusals) {
  ScopedTempDir dir;
  const DemGrid g = small_dem();
  VpkOptions plain;
  plain.fixture_writer = true;
  VpkOptions no_record = plain;
  no_record.with_record = false;
  const struct {
    const char* name;
    VpkOptions options;
    std::vector<VpkPoint> extra;
    const char* error;  // with %s for the path
  } cases[] = {
      {"norecord.vpk", no_record, {}, "ERROR: cannot find RasterVPK VLR in '%s'\n"},
      {"left.vpk",
       plain,
       {{99.99, 203.0, 1.0}},
       "ERROR: invalid RasterVPK (min_x is smaller than llx) for '%s'\n"},
      {"below.vpk",
       plain,
       {{101.0, 199.99, 1.0}},
       "ERROR: invalid RasterVPK (min_y is smaller than lly) for '%s'\n"},
      {"right.vpk",
       plain,
       {{108.01, 203.0, 1.0}},
       "ERROR: invalid RasterVPK (max_x is larger than urx) for '%s'\n"},
      {"above.vpk",
       plain,
       {{101.0, 206.01, 1.0}},
       "ERROR: invalid RasterVPK (max_y is larger than ury) for '%s'\n"},
      {"edges.vpk", plain, {{108.0, 200.0, 1.0}, {100.0, 206.0, 1.0}}, nullptr},
  };
  for (const auto& c : cases) {
    VpkOptions o = c.options;
    o.extra = c.extra;
    const std::string path = dir.file(c.name);
    ASSERT_TRUE(raster_fixtures::write_vpk(path, g, o));
    std::string expected = "opened";
    if (c.error) {
      char line[512];
      snprintf(line, sizeof(line), c.error, path.c_str());
      expected = line;
    }
    EXPECT_EQ(open_error(path), expected) << c.name;
  }
  const std::string err = open_error(dir.file("missing.vpk"));
  const std::string tail =
      "ERROR: cannot open lasreaderlas with file name '" + dir.file("missing.vpk") + "'\n";
  ASSERT_GE(err.size(), tail.size()) << err;
  EXPECT_EQ(err.substr(err.size() - tail.size()), tail) << "the last line is the reader's own";
}

TEST(SRreaderVpk, ShortRecordIsCorrupt) {
  ScopedTempDir dir;
  LASvlrRasterVPK record;
  MallocBuffer payload = record.serialize();
  FixtureFile f;
  FixtureVlr vlr;
  vlr.user_id = "Raster VPK";
  vlr.record_id = 7113;
  vlr.data.assign(payload.get(), payload.get() + 40);
  f.vlrs.push_back(vlr);
  const std::string path = dir.file("short.vpk");
  ASSERT_TRUE(fixture_write_file(path, f, {FixturePoint()}));
  EXPECT_EQ(
      open_error(path),
      "ERROR: reading LASvlrRasterVPK.stepy\nERROR: corrupt RasterVPK VLR in '" + path + "'\n");
}

const std::vector<std::string> kSmallDemCells = {"1000", "1001", "1002", "1003", "1100", "-",
                                                 "1102", "1103", "1200", "1201", "1202", "1203"};

TEST(SRreaderVpk, CellsFromPointsRowByRowFromTheTop) {
  ScopedTempDir dir;
  const struct {
    const char* name;
    bool fixture_writer;
  } writers[] = {{"plain.vpk", true}, {"library.vpk", false}};
  for (const auto& w : writers) {
    VpkOptions o;
    o.fixture_writer = w.fixture_writer;
    o.corner_points = !w.fixture_writer;
    std::string why;
    const std::string path = dir.file(w.name);
    ASSERT_TRUE(raster_fixtures::write_vpk(path, small_dem(), o, &why)) << w.name << ": " << why;
    std::string err;
    EXPECT_EQ(read_cells(path, &err), kSmallDemCells) << w.name;
    EXPECT_EQ(err, "") << w.name;
  }
}

TEST(SRreaderVpk, CompressedCells) {
  ScopedTempDir dir;
  VpkOptions o;
  o.compressor = 2;
  o.corner_points = true;
  const std::string path = dir.file("packed.vpk");
  testing::internal::CaptureStderr();
  const bool written = raster_fixtures::write_vpk(path, small_dem(), o);
  const std::string messages = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(written) << messages;
  std::string err;
  EXPECT_EQ(read_cells(path, &err), kSmallDemCells);
  EXPECT_EQ(err, "");
}

struct PlacementCase {
  const char* name;
  std::vector<VpkPoint> points;  // the whole file
  bool extent_as_bounds;
  std::vector<std::string> cells;
  const char* warning;  // nullptr: none
};

TEST(SRreaderVpk, PointPlacement) {
  DemGrid empty = small_dem();
  for (double& z : empty.z) z = empty.nodata;
  const std::vector<std::string> none(12, "-");
  auto with = [&](std::vector<std::pair<int, const char*>> set) {
    std::vector<std::string> c = none;
    for (auto& s : set) c[s.first] = s.second;
    return c;
  };
  const PlacementCase cases[] = {
      {"later point wins",
       {{101.0, 205.0, 5.0}, {101.5, 204.5, 6.0}},
       false,
       with({{0, "600"}}),
       nullptr},
      {"upper-right corner in last column of top row",
       {{108.0, 206.0, 1.0}},
       false,
       with({{3, "100"}}),
       nullptr},
      {"lower-left corner in first column of last row",
       {{100.0, 200.0, 2.0}},
       false,
       with({{8, "200"}}),
       nullptr},
      {"lower-right corner", {{108.0, 200.0, 3.0}}, false, with({{11, "300"}}), nullptr},
      {"inner cell edges belong to the next cell",
       {{102.0, 204.0, 4.0}},
       false,
       with({{5, "400"}}),
       nullptr},
      {"half the cells",
       {{101, 205, 1}, {103, 205, 2}, {105, 203, 3}, {107, 203, 4}, {101, 201, 5}, {107, 201, 6}},
       false,
       with({{0, "100"}, {1, "200"}, {6, "300"}, {7, "400"}, {8, "500"}, {11, "600"}}),
       nullptr},
      {"stale box: points outside are skipped",
       {{101.0, 205.0, 1.0},
        {130.0, 203.0, 9.0},
        {101.0, 190.0, 9.0},
        {99.0, 203.0, 9.0},
        {101.0, 206.5, 9.0}},
       true,
       with({{0, "100"}}),
       "WARNING (SRreader_vpk): skipped 4 points outside the raster of '%s'\n"},
  };
  ScopedTempDir dir;
  int i = 0;
  for (const auto& c : cases) {
    VpkOptions o;
    o.extra = c.points;
    o.extent_as_bounds = c.extent_as_bounds;
    const std::string path = dir.file("p" + std::to_string(i++) + ".vpk");
    std::string why;
    ASSERT_TRUE(raster_fixtures::write_vpk(path, empty, o, &why)) << why;
    std::string err;
    EXPECT_EQ(read_cells(path, &err), c.cells) << c.name;
    std::string expected;
    if (c.warning) {
      char line[512];
      snprintf(line, sizeof(line), c.warning, path.c_str());
      expected = line;
    }
    EXPECT_EQ(err, expected) << c.name;
  }
}

TEST(SRreaderVpk, OtherZQuantaCompareOnTheCommonOne) {
  ScopedTempDir dir;
  const DemGrid g = raster_fixtures::make_dem(23, 17, 100.0, 300.0, 9);
  ASSERT_TRUE(raster_fixtures::write_asc(dir.file("dem.asc"), g));
  const struct {
    double z_scale, z_offset;
  } quanta[] = {{0.01, 0.0}, {0.001, 0.0}, {0.01, 100.0}, {0.0025, -50.0}};
  for (const auto& q : quanta) {
    VpkOptions o;
    o.z_scale = q.z_scale;
    o.z_offset = q.z_offset;
    std::string why;
    ASSERT_TRUE(raster_fixtures::write_vpk(dir.file("dem.vpk"), g, o, &why)) << why;
    RasterCellCounts counts;
    testing::internal::CaptureStderr();
    RasterPairStatus s =
        compare_raster_files(dir.file("dem.asc").c_str(), dir.file("dem.vpk").c_str(), &counts);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(s, RasterPairStatus::kCompared);
    EXPECT_EQ(counts.values_differ, 0) << q.z_scale << " " << q.z_offset;
    EXPECT_EQ(counts.nodata_differ, 0);
    EXPECT_GT(counts.values_equal, 300);
    EXPECT_EQ(err.rfind("rasters are identical.", 0), 0u) << err;
  }
}

TEST(SRreaderVpk, CloseBeforeTheEndWarnsOnce) {
  ScopedTempDir dir;
  ASSERT_TRUE(raster_fixtures::write_vpk(dir.file("a.vpk"), small_dem(), VpkOptions()));
  SRreader_vpk r;
  ASSERT_TRUE(r.open(dir.file("a.vpk").c_str()));
  ASSERT_TRUE(r.read_value());
  testing::internal::CaptureStderr();
  r.close(true);
  r.close(true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING (SRreader_vpk): r_count is 1 but nrows (3) * ncols (4) is 12\n");
}

}  // namespace
