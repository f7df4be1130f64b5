// The built talvenor_new over BIN, shapefile, QFIT, ASCII grid, BIL and DTM
// input: "-i f.xxx -o f.las" writes every point of the fixture in the order
// the format delivers them (grids and BIL rasters north to south by rows, DTM
// rasters by columns south to north) with a class of ground or not, and
// keeps the raster record of the three rasters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/las_reader.hpp"
#include "core/las_vlr_payload.hpp"
#include "io/las_input_options.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"
#include "file_bytes.hpp"
#include "side_fixtures.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

struct Xyz {
  double x, y, z;
};

// A gently sloping surface with a few bumps, so that the ground tool has
// something to classify.
double height(int c, int r) {
  return 100.0 + 0.5 * c + 0.25 * r + ((c * 7 + r * 3) % 11 == 0 ? 4.0 : 0.0);
}

struct SideCase {
  std::string name;  // of the input file
  std::vector<Xyz> points;
  // Of the coordinates; 1e-6 are degrees, for which the ground tool's steps of
  // metres see one cell and the points are copied unclassified.
  double resolution_xy;
  bool raster;
  LASvlrRasterVPK record;  // of rasters
};

const int kCols = 12, kRows = 9;

SideCase bin_case(const ProgramDir& dir) {
  SideCase c{dir.file("f.bin"), {}, 0.01, false, {}};
  side_fixtures::BinFile file;
  file.units = 100;
  std::vector<side_fixtures::BinPoint> points;
  for (int r = 0; r < kRows; r++) {
    for (int k = 0; k < kCols; k++) {
      side_fixtures::BinPoint p;
      p.x = 63000000 + 200 * k + (r % 2) * 37;
      p.y = 483000000 + 200 * r;
      p.z = static_cast<int32_t>(std::lround(height(k, r) * 100));
      points.push_back(p);
      c.points.push_back({p.x / 100.0, p.y / 100.0, p.z / 100.0});
    }
  }
  side_fixtures::write_file(c.name, side_fixtures::bin_bytes(file, points));
  return c;
}

SideCase qfit_case(const ProgramDir& dir, bool big) {
  SideCase c{dir.file(big ? "big.qi" : "f.qi"), {}, 1e-6, false, {}};
  std::vector<side_fixtures::QfitRecord> records;
  for (int r = 0; r < kRows; r++) {
    for (int k = 0; k < kCols; k++) {
      side_fixtures::QfitRecord q;
      q.longitude = 250000000 + 30 * k;  // west of Greenwich
      q.latitude = 69000000 + 20 * r;
      q.elevation = static_cast<int32_t>(std::lround(height(k, r) * 1000));
      q.time_ms = 1000 * (r * kCols + k);
      records.push_back(q);
      c.points.push_back({(q.longitude - 360000000) * 1e-6, q.latitude * 1e-6, q.elevation * 1e-3});
    }
  }
  side_fixtures::write_file(c.name, side_fixtures::qfit_bytes(56, big, records));
  return c;
}

SideCase shp_case(const ProgramDir& dir) {
  SideCase c{dir.file("f.shp"), {}, 0.01, false, {}};
  std::vector<side_fixtures::ShpRecord> records;
  for (int r = 0; r < kRows; r++) {
    side_fixtures::ShpRecord rec;
    rec.type = r % 3 == 0 ? 18 : 11;
    rec.with_m = false;
    for (int k = 0; k < kCols; k++) {
      const Xyz p{630000.0 + 2.0 * k, 4830000.0 + 2.0 * r, height(k, r)};
      if (rec.type == 11) {
        side_fixtures::ShpRecord single;
        single.type = 11;
        single.with_m = r % 2 == 0;
        single.vertices.push_back({p.x, p.y, p.z, 0.0});
        records.push_back(single);
      } else {
        rec.vertices.push_back({p.x, p.y, p.z, 0});
      }
      c.points.push_back(p);
    }
    if (rec.type == 18) records.push_back(rec);
  }
  side_fixtures::write_file(c.name, side_fixtures::shp_bytes(11, records));
  return c;
}

LASvlrRasterVPK raster_record(double stepx, double stepy, double llx, double lly) {
  LASvlrRasterVPK r;
  r.nbands = 1;
  r.nbits = 32;
  r.ncols = kCols;
  r.nrows = kRows;
  r.reserved1 = r.reserved2 = 0;
  r.stepx = stepx;
  r.stepy = stepy;
  r.llx = llx;
  r.lly = lly;
  return r;
}

bool nodata_cell(int c, int r) {
  return c == 5 && r == 4;
}

SideCase asc_case(const ProgramDir& dir) {
  SideCase c{dir.file("f.asc"), {}, 0.01, true, raster_record(2.0, 2.0, 630000.0, 4830000.0)};
  std::string text =
      "ncols 12\nnrows 9\nxllcorner 630000\nyllcorner 4830000\ncellsize 2\n"
      "NODATA_value -9999\n";
  for (int r = 0; r < kRows; r++) {
    for (int k = 0; k < kCols; k++) {
      char cell[32];
      std::snprintf(cell, sizeof(cell), " %.2f", nodata_cell(k, r) ? -9999.0 : height(k, r));
      text += cell;
      if (!nodata_cell(k, r)) {
        c.points.push_back({630001.0 + 2.0 * k, 4830017.0 - 2.0 * r, height(k, r)});
      }
    }
    text += "\n";
  }
  side_fixtures::write_file(c.name, text);
  return c;
}

SideCase bil_case(const ProgramDir& dir, bool big) {
  SideCase c{dir.file(big ? "big.bil" : "f.bil"),
             {},
             0.01,
             true,
             raster_record(2.0, 2.0, 630000.0, 4830000.0)};
  side_fixtures::BilRaster b;
  b.ncols = kCols;
  b.nrows = kRows;
  b.big_endian = big;
  b.ulxmap = 630001.0;
  b.ulymap = 4830017.0;
  b.xdim = b.ydim = 2.0;
  for (int r = 0; r < kRows; r++) {
    for (int k = 0; k < kCols; k++) {
      b.cells.push_back(nodata_cell(k, r) ? -9999.0 : height(k, r));
      if (!nodata_cell(k, r)) {
        c.points.push_back({630001.0 + 2.0 * k, 4830017.0 - 2.0 * r, height(k, r)});
      }
    }
  }
  side_fixtures::write_bil(c.name, b);
  return c;
}

SideCase dtm_case(const ProgramDir& dir) {
  SideCase c{dir.file("f.dtm"), {}, 0.01, true, raster_record(2.0, 2.0, 630000.0, 4830000.0)};
  side_fixtures::DtmRaster d;
  d.ncols = kCols;
  d.nrows = kRows;
  d.llx = 630000.0;
  d.lly = 4830000.0;
  d.xdim = d.ydim = 2.0;
  d.data_type = 2;
  for (int k = 0; k < kCols; k++) {
    for (int r = 0; r < kRows; r++) {
      d.cells.push_back(nodata_cell(k, r) ? -9999.0 : height(k, r));
      if (!nodata_cell(k, r))
        c.points.push_back({630001.0 + 2.0 * k, 4830001.0 + 2.0 * r, height(k, r)});
    }
  }
  side_fixtures::write_file(c.name, side_fixtures::dtm_bytes(d));
  return c;
}

TEST(TalvenorSideInput, EveryFormatReadsItsPointsInOrder) {
  ProgramDir dir;
  const SideCase cases[] = {bin_case(dir),       qfit_case(dir, false), qfit_case(dir, true),
                            shp_case(dir),       asc_case(dir),         bil_case(dir, false),
                            bil_case(dir, true), dtm_case(dir)};
  for (const SideCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = c.name + ".las";
    const ProgramRun run = run_program(kProgram, {"-i", c.name, "-o", out}, dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err.find("ERROR"), std::string::npos) << run.err;
    FixtureContents contents;
    std::string error;
    ASSERT_TRUE(fixture_read_file(out, &contents, &error)) << error;
    const FixtureHeader& h = contents.header;
    ASSERT_EQ(contents.points.size(), c.points.size());
    EXPECT_EQ(h.number_of_point_records, c.points.size());
    size_t ground = 0;
    for (size_t k = 0; k < c.points.size(); k++) {
      const FixturePoint& p = contents.points[k];
      EXPECT_NEAR(p.X * h.scale[0] + h.offset[0], c.points[k].x, c.resolution_xy / 2) << k;
      EXPECT_NEAR(p.Y * h.scale[1] + h.offset[1], c.points[k].y, c.resolution_xy / 2) << k;
      EXPECT_NEAR(p.Z * h.scale[2] + h.offset[2], c.points[k].z, 0.0005 + 1e-9) << k;
      if (c.resolution_xy < 0.01) continue;
      EXPECT_TRUE(p.classification == 1 || p.classification == 2) << k;
      ground += p.classification == 2;
    }
    if (c.resolution_xy >= 0.01) {
      EXPECT_GT(ground, 0u);
    }
    const FixtureVlr* raster = nullptr;
    for (const FixtureVlr& v : contents.file.vlrs) {
      if (v.user_id == "Raster VPK" && v.record_id == LASvlrRasterVPK::kRecordId) raster = &v;
    }
    if (!c.raster) {
      EXPECT_EQ(raster, nullptr);
      continue;
    }
    ASSERT_NE(raster, nullptr);
    LASvlrRasterVPK record;
    ASSERT_TRUE(
        record.deserialize(raster->data.data(), static_cast<uint32_t>(raster->data.size())));
    EXPECT_EQ(record.ncols, c.record.ncols);
    EXPECT_EQ(record.nrows, c.record.nrows);
    EXPECT_EQ(record.nbands, 1);
    EXPECT_EQ(record.nbits, 32);
    EXPECT_EQ(record.stepx, c.record.stepx);
    EXPECT_EQ(record.stepy, c.record.stepy);
    EXPECT_EQ(record.llx, c.record.llx);
    EXPECT_EQ(record.lly, c.record.lly);
  }
}

// A raster cut short (a copy that broke off) is refused: its rows are placed
// from the header's count, so the cells before the cut would land at places
// they do not belong. The run names the file and where its cells end, exits
// 1 and writes no output. It once exited 0 with the cells before the cut.
TEST(TalvenorSideInput, RastersCutShortAreRefused) {
  ProgramDir dir;
  const size_t kept_cells = 50;
  struct Cut {
    SideCase c;
    size_t header_bytes;
    std::string message;
  };
  const Cut cuts[] = {
      {bil_case(dir, false), 0,
       "ERROR: BIL raster '" + dir.file("f.bil") +
           "' of 12 cols and 9 rows needs 432 bytes but "
           "has 202\n"},
      {dtm_case(dir), 200,
       "ERROR: DTM raster '" + dir.file("f.dtm") +
           "' of 12 cols and 9 rows needs 632 bytes but "
           "has 402\n"},
  };
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.c.name);
    // Cells of 4 bytes in the order the format stores them.
    std::string bytes;
    {
      std::ifstream in(cut.c.name, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(bytes.size(), cut.header_bytes + 4 * kept_cells);
    bytes.resize(cut.header_bytes + 4 * kept_cells + 2);  // half a cell more
    ASSERT_TRUE(side_fixtures::write_file(cut.c.name, bytes));
    const std::string out = cut.c.name + ".las";
    const ProgramRun run = run_program(kProgram, {"-i", cut.c.name, "-o", out}, dir.path());
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find(cut.message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("WARNING: end-of-file"), std::string::npos) << run.err;
    EXPECT_FALSE(std::ifstream(out).good());
  }
}

// Hostile side-format headers end the run with the reader's message and the
// opener's, and code 1, never a crash.
TEST(TalvenorSideInput, RefusedInputsEndTheRun) {
  ProgramDir dir;
  struct Case {
    std::string name;
    std::string content;
    std::string message;
  };
  side_fixtures::Bytes bin = side_fixtures::bin_bytes(side_fixtures::BinFile(), {{}, {}});
  for (int b = 20; b < 24; b++) bin[b] = 0;  // units 0
  side_fixtures::Bytes shp = side_fixtures::shp_bytes(8, {});
  side_fixtures::ShpRecord bad;
  bad.type = 8;
  bad.vertices.push_back({1, 2, 3, 4});
  bad.count_given = true;
  bad.stated_count = 1 << 30;
  shp = side_fixtures::shp_bytes(8, {bad});
  const Case cases[] = {
      {"units.bin", std::string(bin.begin(), bin.end()),
       "ERROR: corrupt terrasolid header. units 0 is not positive.\n"},
      {"count.shp", std::string(shp.begin(), shp.end()),
       "ERROR: shapefile record 1 of shape type 8 has 1073741824 points but only 16 bytes for "
       "them\n"},
      {"grid.asc", "ncols 3\nnrows 2\n1 2 3\n", "ERROR: was not able to find header\n"},
      {"wide.qi", std::string(4, '\x40'), "ERROR: corrupt QFIT header.\n"},
      {"signature.dtm", std::string(200, 'x'), "wrong signature"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = dir.file(c.name);
    side_fixtures::write_file(name, c.content);
    const ProgramRun run = run_program(kProgram, {"-i", name, "-o", name + ".las"}, dir.path());
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("ERROR: cannot open lasreader"), std::string::npos) << run.err;
  }
}

}  // namespace
