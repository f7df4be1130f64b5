// The built talvenor_new over ASCII grids, BIL and DTM rasters whose cells
// lie at the edges of what a LAS file can hold: local metres around the
// origin, longitude and latitude, northings of 4.8e6, +-3e7, heights of 1e6
// and +-3e7, and beyond, with every -rescale and -reoffset the input options
// take. Each
// run ends with every cell centre and height within half the output's
// quantum, or refused with an "ERROR: ..." and exit code 1; never clamped.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/las_reader_las.hpp"
#include "quantum_checks.hpp"
#include "run_program.hpp"
#include "side_fixtures.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

// A grid by its lower-left corner and square cells; heights run 10, 10.5,
// 11, ... over the cells in the order of the rows from the top, except the
// first cell (z_first) and the last (z_last), which carry the extremes.
struct Grid {
  const char* name;
  double llx, lly;
  double cell;
  int ncols, nrows;
  double z_first, z_last;
  // Beyond every quantum up to 1: refused whatever is requested, and without
  // a request with this message.
  const char* beyond = nullptr;

  double height(int col, int row) const {  // row 0 is the northernmost
    const int k = row * ncols + col;
    if (k == 0) return z_first;
    if (k == ncols * nrows - 1) return z_last;
    return 10.0 + 0.5 * k;
  }
  XYZ centre(int col, int row) const {
    return {llx + (col + 0.5) * cell, lly + (nrows - row - 0.5) * cell, height(col, row)};
  }
};

const Grid kGrids[] = {
    {"local metres around the origin", -320.0, -320.0, 40.0, 16, 16, 10.0, 10.0},
    {"local metres from the origin", 0.0, 0.0, 1.0, 350, 2, 10.0, 10.0},
    {"longitude latitude", -180.0, -90.0, 22.5, 16, 8, 10.0, 10.0},
    {"northings of 4.8e6", 500000.0, 4830000.0, 2.0, 16, 16, 10.0, 10.0},
    {"plus minus 3e7", -3e7, -3e7, 6e6, 10, 10, 10.0, 10.0},
    {"heights of 1e6", 500000.0, 4830000.0, 2.0, 16, 16, 0.0, 1e6},
    {"heights of plus minus 3e7", 500000.0, 4830000.0, 2.0, 16, 16, -3e7, 3e7},
    {"cells of 0.25 m at 4.8e6", 499999.875, 4829999.875, 0.25, 16, 16, 10.0, 10.0},
    {"plus minus 3e9", -3e9, -3e9, 6e8, 10, 10, 10.0, 10.0,
     "ERROR: min_x = -2.7e+09 does not fit a 32-bit integer with scale factor 0.01 and offset 0, "
     "nor with a coarser one up to 1\n"},
    {"heights of plus minus 3e9", 500000.0, 4830000.0, 2.0, 16, 16, -3e9, 3e9,
     "ERROR: min_z = -3e+09 does not fit a 32-bit integer with scale factor 0.01 and offset 0, "
     "nor with a coarser one up to 1\n"},
};

// The cell centres in the order each format gives its cells.
std::vector<XYZ> rows_from_the_top(const Grid& g) {
  std::vector<XYZ> points;
  for (int r = 0; r < g.nrows; r++) {
    for (int c = 0; c < g.ncols; c++) points.push_back(g.centre(c, r));
  }
  return points;
}

std::vector<XYZ> columns_from_the_west(const Grid& g) {
  std::vector<XYZ> points;
  for (int c = 0; c < g.ncols; c++) {
    for (int r = g.nrows - 1; r >= 0; r--) points.push_back(g.centre(c, r));
  }
  return points;
}

// As GDAL's AAIGrid driver writes a float32 band: lower-case keys, the
// corner with twelve decimals, cells with the digits of a float. Other
// writers give the centre of the lower-left cell, with upper-case keys.
std::string asc_text(const Grid& g, bool centre) {
  char line[256];
  if (centre) {
    std::snprintf(line, sizeof(line),
                  "NCOLS %d\nNROWS %d\nXLLCENTER %.17g\nYLLCENTER %.17g\nCELLSIZE %.9g\n"
                  "NODATA_VALUE -9999\n",
                  g.ncols, g.nrows, g.llx + 0.5 * g.cell, g.lly + 0.5 * g.cell, g.cell);
  } else {
    std::snprintf(line, sizeof(line),
                  "ncols        %d\nnrows        %d\nxllcorner    %.12f\nyllcorner    %.12f\n"
                  "cellsize     %.12f\nNODATA_value  -9999\n",
                  g.ncols, g.nrows, g.llx, g.lly, g.cell);
  }
  std::string text = line;
  for (int r = 0; r < g.nrows; r++) {
    for (int c = 0; c < g.ncols; c++) {
      std::snprintf(line, sizeof(line), " %.9g", static_cast<float>(g.height(c, r)));
      text += line;
    }
    text += "\n";
  }
  return text;
}

side_fixtures::BilRaster bil_raster(const Grid& g) {
  side_fixtures::BilRaster b;
  b.ncols = g.ncols;
  b.nrows = g.nrows;
  b.pixeltype = "FLOAT";
  b.ulxmap = g.llx + 0.5 * g.cell;
  b.ulymap = g.lly + (g.nrows - 0.5) * g.cell;
  b.xdim = b.ydim = g.cell;
  for (const XYZ& p : rows_from_the_top(g)) b.cells.push_back(p.z);
  return b;
}

side_fixtures::Bytes dtm_file(const Grid& g) {
  side_fixtures::DtmRaster d;
  d.llx = g.llx;
  d.lly = g.lly;
  d.xdim = d.ydim = g.cell;
  d.ncols = g.ncols;
  d.nrows = g.nrows;
  for (const XYZ& p : columns_from_the_west(g)) d.cells.push_back(p.z);
  return side_fixtures::dtm_bytes(d);
}

// -rescale and -reoffset as the input options take them, with the grids (by
// name) whose cells they cannot hold.
struct Request {
  std::vector<std::string> args;
  std::vector<std::string> refused;
};

const Request kRequests[] = {
    {{}, {}},
    {{"-rescale", "0.001", "0.001", "0.001"}, {"plus minus 3e7", "heights of plus minus 3e7"}},
    {{"-rescale", "0.01", "0.01", "0.01"}, {"plus minus 3e7", "heights of plus minus 3e7"}},
    {{"-rescale_xy", "0.001", "0.001"}, {"plus minus 3e7"}},
    {{"-rescale_z", "0.001"}, {"heights of plus minus 3e7"}},
    {{"-rescale", "0.0000001", "0.0000001", "0.01"},
     {"local metres around the origin", "plus minus 3e7", "heights of plus minus 3e7"}},
    {{"-reoffset", "0", "0", "0"}, {}},
    {{"-rescale", "0.001", "0.001", "0.001", "-reoffset", "0", "0", "0"},
     {"northings of 4.8e6", "plus minus 3e7", "heights of 1e6", "heights of plus minus 3e7",
      "cells of 0.25 m at 4.8e6"}},
    {{"-rescale", "0.01", "0.01", "0.01", "-reoffset", "0", "0", "0"},
     {"plus minus 3e7", "heights of plus minus 3e7"}},
    {{"-rescale", "1", "1", "0.001", "-reoffset", "0", "0", "0"}, {"heights of plus minus 3e7"}},
};

bool listed(const std::vector<std::string>& names, const char* name) {
  for (const std::string& n : names) {
    if (n == name) return true;
  }
  return false;
}

TEST(TalvenorGridValues, EveryCellIsHeldOrTheGridRefused) {
  ProgramDir dir;
  for (const Grid& g : kGrids) {
    ASSERT_TRUE(side_fixtures::write_file(dir.file("in.asc"), asc_text(g, false)));
    ASSERT_TRUE(side_fixtures::write_file(dir.file("centre.asc"), asc_text(g, true)));
    ASSERT_TRUE(side_fixtures::write_bil(dir.file("in.bil"), bil_raster(g)));
    ASSERT_TRUE(side_fixtures::write_file(dir.file("in.dtm"), dtm_file(g)));
    const struct {
      const char* file;
      std::vector<XYZ> cells;
    } inputs[] = {{"in.asc", rows_from_the_top(g)},
                  {"centre.asc", rows_from_the_top(g)},
                  {"in.bil", rows_from_the_top(g)},
                  {"in.dtm", columns_from_the_west(g)}};
    for (const auto& input : inputs) {
      for (const Request& request : kRequests) {
        std::vector<std::string> args = {"-i", input.file, "-o", "out.las"};
        args.insert(args.end(), request.args.begin(), request.args.end());
        std::string what = std::string(input.file) + " " + g.name + " with";
        for (const std::string& a : request.args) what += " " + a;
        std::remove(dir.file("out.las").c_str());
        const ProgramRun run = run_program(kProgram, args, dir.path());
        EXPECT_EQ(run.err.find("integer overflows"), std::string::npos) << what << run.err;
        if (g.beyond || listed(request.refused, g.name)) {
          EXPECT_EQ(run.exit_code, 1) << what << run.err;
          EXPECT_NE(run.err.find("ERROR: "), std::string::npos) << what << run.err;
          if (g.beyond && request.args.empty()) {
            EXPECT_NE(run.err.find(g.beyond), std::string::npos) << what << run.err;
          }
          EXPECT_FALSE(read_las_output(dir.file("out.las")).opened) << what;
          continue;
        }
        EXPECT_EQ(run.exit_code, 0) << what << run.err;
        if (run.exit_code == 0)
          expect_points_exact(input.cells, read_las_output(dir.file("out.las")), what);
      }
    }
  }
}

}  // namespace
