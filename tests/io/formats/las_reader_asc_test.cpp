// ESRI ASCII grids written here and by gdal_translate: cells north to south
// by rows, the header's spellings and positions, nodata compared as written,
// lines of any length, files that end early, hostile sizes and the raster
// record.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "io/formats/las_reader_asc.hpp"
#include "io/las_input_options.hpp"
#include "raster_fixtures.hpp"
#include "raster_record_check.hpp"
#include "side_test_points.hpp"
#include "temp_dir.hpp"

namespace {

struct Cell {
  double x, y, z;
};

// The value cells of a grid (rows from the top) in the order the reader
// delivers them: north to south, west to east.
std::vector<Cell> cells_of(const raster_fixtures::DemGrid& g) {
  std::vector<Cell> cells;
  for (int r = 0; r < g.nrows; r++) {
    for (int c = 0; c < g.ncols; c++) {
      const double z = g.at(c, r);
      if (z == g.nodata) continue;
      cells.push_back({g.llx + (c + 0.5) * g.cell, g.lly + (g.nrows - r - 0.5) * g.cell, z});
    }
  }
  return cells;
}

void expect_cells(const std::vector<SidePoint>& read, const std::vector<Cell>& cells,
                  double tolerance = 0.005) {
  ASSERT_EQ(read.size(), cells.size());
  for (size_t k = 0; k < read.size(); k++) {
    EXPECT_NEAR(read[k].x, cells[k].x, tolerance) << k;
    EXPECT_NEAR(read[k].y, cells[k].y, tolerance) << k;
    EXPECT_NEAR(read[k].z, cells[k].z, tolerance) << k;
  }
}

using Opened = OpenedReader<LASreaderASC>;

Opened open_asc(const std::string& name, bool comma = false, LASreaderASC* reader = nullptr) {
  return open_caught(reader ? reader : new LASreaderASC(),
                     [&](LASreaderASC& r) { return r.open(name.c_str(), comma); });
}

TEST(LASreaderASC, CellsNorthToSouthWithTheRasterRecord) {
  TempDir dir;
  raster_fixtures::DemGrid g = raster_fixtures::make_dem(7, 5, 100.0, 180.0, 4);
  for (int per_line : {0, 5}) {
    SCOPED_TRACE(per_line ? "five values a line" : "a row a line");
    const std::string name = dir.path + "/g.asc";
    ASSERT_TRUE(raster_fixtures::write_asc(name, g, 2, per_line));
    Opened o = open_asc(name);
    ASSERT_TRUE(o.ok) << o.messages;
    EXPECT_EQ(o.messages, "");
    const std::vector<Cell> cells = cells_of(g);
    const LASheader& h = o.reader->header;
    EXPECT_EQ(o.reader->npoints, static_cast<int64_t>(cells.size()));
    EXPECT_EQ(h.number_of_point_records, cells.size());
    EXPECT_EQ(h.point_data_format, 0);
    EXPECT_EQ(h.x_scale_factor, 0.01);
    EXPECT_EQ(h.min_x, g.llx + 1.0);
    EXPECT_EQ(h.max_x, g.llx + 13.0);
    EXPECT_EQ(h.max_y, g.lly + 9.0);
    EXPECT_STREQ(h.generating_software, "via LASreaderASC (210531)");
    expect_raster_record(h, 7, 5, 2.0, 2.0, g.llx, g.lly);
    const std::vector<SidePoint> read = side_points_of(*o.reader);
    expect_cells(read, cells);
    double min_z = 1e9, max_z = -1e9;
    for (const Cell& c : cells) {
      min_z = std::min(min_z, c.z);
      max_z = std::max(max_z, c.z);
    }
    EXPECT_NEAR(h.min_z, min_z, 1e-9);
    EXPECT_NEAR(h.max_z, max_z, 1e-9);
    // A second pass from the first cell gives the same.
    ASSERT_TRUE(o.reader->reopen(name.c_str()));
    EXPECT_EQ(side_points_of(*o.reader), read);
  }
}

// Positions by corner or centre, spellings, decimal commas and nodata values
// compared as the file writes them.
TEST(LASreaderASC, HeaderForms) {
  TempDir dir;
  struct Case {
    const char* name;
    const char* text;
    bool comma;
    std::vector<Cell> cells;
  };
  const Case cases[] = {
      {"corner",
       "ncols 2\nnrows 2\nxllcorner 100\nyllcorner 200\ncellsize 10\n1 2\n3 4\n",
       false,
       {{105, 215, 1}, {115, 215, 2}, {105, 205, 3}, {115, 205, 4}}},
      {"centre",
       "NCOLS 2\nNROWS 2\nXLLCENTER 100\nYLLCENTER 200\nCELLSIZE 10\n1 2\n3 4\n",
       false,
       {{100, 210, 1}, {110, 210, 2}, {100, 200, 3}, {110, 200, 4}}},
      {"corner decides",
       "ncols 2\nnrows 1\nxllcenter 0\nyllcenter 0\nxllcorner 100\n"
       "yllcorner 200\ncellsize 10\n1 2\n",
       false,
       {{105, 205, 1}, {115, 205, 2}}},
      {"default nodata",
       "ncols 3\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n5 -9999 6\n",
       false,
       {{0.5, 0.5, 5}, {2.5, 0.5, 6}}},
      {"nodata a float cannot hold",
       "ncols 3\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999.99\n"
       "-9999.99 -9999.990 -9999.98\n",
       false,
       {{2.5, 0.5, -9999.98}}},
      {"nan cells are no heights",
       "ncols 4\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value nan\n"
       "1 nan NaN inf\n",
       false,
       {{0.5, 0.5, 1}}},
      {"decimal commas",
       "ncols 2\nnrows 1\nxllcorner 0,5\nyllcorner 1\ncellsize 0,5\n1,5 2,25\n",
       true,
       {{0.75, 1.25, 1.5}, {1.25, 1.25, 2.25}}},
      {"windows line ends",
       "ncols 2\r\nnrows 1\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 1\r\n"
       "7 8\r\n",
       false,
       {{0.5, 0.5, 7}, {1.5, 0.5, 8}}},
      {"a text line before the cells",
       "ncols 2\nnrows 1\ncomment\nxllcorner 0\nyllcorner 0\ncellsize 1\n\n 7 8\n",
       false,
       {{0.5, 0.5, 7}, {1.5, 0.5, 8}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Opened o = open_asc(dir.file("h.asc", c.text), c.comma);
    ASSERT_TRUE(o.ok) << o.messages;
    const std::vector<SidePoint> read = side_points_of(*o.reader);
    ASSERT_EQ(read.size(), c.cells.size());
    for (size_t k = 0; k < read.size(); k++) {
      EXPECT_NEAR(read[k].x, c.cells[k].x, 1e-6) << k;
      EXPECT_NEAR(read[k].y, c.cells[k].y, 1e-6) << k;
      EXPECT_NEAR(read[k].z, c.cells[k].z, 0.005) << k;
    }
  }
}

// Lines longer than any line buffer, and a grid whose header claims far more
// cells than the file holds: no memory follows from the stated size.
TEST(LASreaderASC, LongLinesAndStatedSizes) {
  TempDir dir;
  raster_fixtures::DemGrid g = raster_fixtures::make_dem(3000, 3, 1000.0, 2000.0, 0);
  ASSERT_TRUE(raster_fixtures::write_asc(dir.path + "/long.asc", g, 3));
  Opened o = open_asc(dir.path + "/long.asc");
  ASSERT_TRUE(o.ok) << o.messages;
  expect_cells(side_points_of(*o.reader), cells_of(g));

  Opened huge = open_asc(dir.file("huge.asc",
                                  "ncols 2147483647\nnrows 2147483647\nxllcorner 0\n"
                                  "yllcorner 0\ncellsize 1\n1 2 3 4 5 6\n"));
  EXPECT_FALSE(huge.ok);
  EXPECT_EQ(huge.messages, "ERROR: ASC raster '" + dir.path +
                               "/huge.asc' ends after 0 of 2147483647 rows and 6 of 2147483647 "
                               "cols\n");
}

TEST(LASreaderASC, FilesThatEndEarlyOrHoldNoHeights) {
  TempDir dir;
  Opened early = open_asc(dir.file(
      "early.asc", "ncols 3\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n4 -9999\n"));
  // Rows are placed from the top by the header's count: a grid with fewer
  // cells than it declares would shift every point, so it is refused.
  EXPECT_FALSE(early.ok);
  EXPECT_EQ(early.messages, "ERROR: ASC raster '" + dir.path +
                                "/early.asc' ends after 1 of 3 rows and 2 of 3 "
                                "cols\n");

  Opened empty = open_asc(dir.file(
      "empty.asc", "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n-9999 -9999\n"));
  ASSERT_TRUE(empty.ok);
  EXPECT_EQ(empty.messages, "WARNING: ASC raster contains only no data values\n");
  EXPECT_EQ(empty.reader->npoints, 0);
  EXPECT_EQ(empty.reader->header.min_z, 0.0);
  EXPECT_FALSE(empty.reader->read_point());

  Opened word = open_asc(dir.file(
      "word.asc", "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n4 x 6\n"));
  ASSERT_TRUE(word.ok);
  EXPECT_EQ(word.messages, "WARNING: ASC cell 'x' is not a number. taken as no data\n");
  EXPECT_EQ(word.reader->npoints, 5);
}

TEST(LASreaderASC, HeadersThatAreNoGridAreRefused) {
  TempDir dir;
  const char* const texts[] = {
      "",
      "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3 4\n5 6 7 8\n",
      "ncols 0\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n",
      "ncols -3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n",
      "ncols 2\nnrows 2\nxllcorner 0\nyllcenter 0\ncellsize 1\n1 2\n",
      "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 0\n1 2\n",
      "ncols 2\nnrows 2\nxllcorner nan\nyllcorner 0\ncellsize 1\n1 2\n",
      "ncols 99999999999\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n",
      "\x01\x02\x03\n\xff\xfe",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    Opened o = open_asc(dir.file("bad.asc", text));
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.messages, "ERROR: was not able to find header\n");
  }
  LASreaderASC reader;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(reader.open(nullptr, false));
  EXPECT_FALSE(reader.open((dir.path + "/missing.asc").c_str(), false));
  EXPECT_EQ(
      testing::internal::GetCapturedStderr(),
      "ERROR: file name pointer is zero\nERROR: cannot open file '" + dir.path + "/missing.asc'\n");
}

// Requested scale factors and offsets are chosen from the start; a 0 on an
// axis leaves it to the default rule, and integers beyond 32 bits are counted.
TEST(LASreaderASC, VariantsChooseTheQuantization) {
  TempDir dir;
  raster_fixtures::DemGrid g = raster_fixtures::make_dem(4, 3, 10.0, 20.0, 0);
  const std::string name = dir.path + "/v.asc";
  ASSERT_TRUE(raster_fixtures::write_asc(name, g));
  Opened o = open_asc(name, false, new LASreaderASCrescalereoffset(0.001, 0, 0, 630000, 0, 0));
  ASSERT_TRUE(o.ok) << o.messages;
  EXPECT_EQ(o.reader->header.x_scale_factor, 0.001);
  EXPECT_EQ(o.reader->header.y_scale_factor, 0.01);
  EXPECT_EQ(o.reader->header.z_scale_factor, 0.01);
  EXPECT_EQ(o.reader->header.x_offset, 630000.0);
  EXPECT_EQ(o.reader->header.y_offset, 0.0);
  const std::vector<SidePoint> read = side_points_of(*o.reader);
  expect_cells(read, cells_of(g));
  EXPECT_EQ(read[0].X, 1000);

  // Scale factors and offsets that cannot hold the grid are refused rather
  // than clamping every point.
  Opened fine = open_asc(name, false, new LASreaderASCrescalereoffset(1e-6, 1e-6, 0, 630000, 0, 0));
  EXPECT_FALSE(fine.ok);
  EXPECT_EQ(fine.messages,
            "ERROR: min_y = 4.83e+06 does not fit a 32-bit integer with scale factor 1e-06 and "
            "offset 0\n");
}

// The nodata value and the cells compared as a float raster stores them:
// GDAL prints float cells with all their digits and the header's value in
// short form, or the reverse; a cell equal to nodata as a float is no point.
TEST(LASreaderASC, NodataComparedAsTheCellsAreStored) {
  TempDir dir;
  struct Case {
    const char* name;
    const char* nodata;
    const char* cells;  // the second cell holds a value
    double z;
  };
  const Case cases[] = {
      {"long header, float digits in the cells", "-3.4028234663852886e+38", "-3.4028235e+38 5", 5},
      {"short header, float digits in the cells", "1e+30", "1.0000000150474662199e+30 7", 7},
      {"short decimals, float digits in the cells", "-9999.99", "-9999.990234375 3", 3},
      {"float digits in the header, short cells", "-9999.990234375", "-9999.99 4", 4},
      {"as written", "-9999", "-9999.0 6", 6},
      {"beyond a float: as written", "1e300", "1e300 8", 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = std::string(
                                 "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\n"
                                 "cellsize 1\nNODATA_value ") +
                             c.nodata + "\n" + c.cells + "\n";
    Opened o = open_asc(dir.file("n.asc", text));
    ASSERT_TRUE(o.ok) << o.messages;
    EXPECT_EQ(o.messages, "");
    const std::vector<SidePoint> read = side_points_of(*o.reader);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_NEAR(read[0].x, 1.5, 1e-9);
    EXPECT_NEAR(read[0].z, c.z, 1e-9);
    EXPECT_EQ(o.reader->header.min_z, c.z);
  }
}

// Headers that promise what the file does not hold: more columns or rows
// than its cells, an extent no point integer holds. Refused, never read as
// far as they go (rows are placed from the top, so every point would shift).
TEST(LASreaderASC, HeadersThatLieAreRefused) {
  TempDir dir;
  // 15 rows of 20 cells.
  std::string rows;
  for (int r = 0; r < 15; r++) {
    for (int c = 0; c < 20; c++) rows += " " + std::to_string(100 + r * 20 + c);
    rows += "\n";
  }
  const std::string name = dir.path + "/l.asc";
  struct Case {
    const char* what;
    std::string header;
    std::string message;
  };
  const Case cases[] = {
      {"2000000000 cols over 300 cells",
       "ncols 2000000000\nnrows 15\nxllcorner 630000\nyllcorner 4830000\ncellsize 1\n",
       "ERROR: ASC raster '" + name + "' ends after 0 of 15 rows and 300 of 2000000000 cols\n"},
      {"30 rows over 15", "ncols 20\nnrows 30\nxllcorner 630000\nyllcorner 4830000\ncellsize 1\n",
       "ERROR: ASC raster '" + name + "' ends after 15 of 30 rows and 0 of 20 cols\n"},
      {"cells of 1e30", "ncols 20\nnrows 15\nxllcorner 630000\nyllcorner 4830000\ncellsize 1e30\n",
       "does not fit a 32-bit integer with scale factor 0.01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Opened o = open_asc(dir.file("l.asc", c.header + rows));
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.messages.find(c.message), std::string::npos) << o.messages;
    EXPECT_EQ(o.messages.find("WARNING"), std::string::npos) << o.messages;
  }
}

// A cell that is no number is taken as no data with a warning, wherever it
// stands: in the first row it once made the row a header line and shifted
// the grid by a row.
TEST(LASreaderASC, WordsThatAreNoNumberInAnyRow) {
  TempDir dir;
  for (int ncols : {3, 6}) {
    for (int bad_row = 0; bad_row < 3; bad_row++) {
      SCOPED_TRACE("cols " + std::to_string(ncols) + " row " + std::to_string(bad_row));
      std::string text = "ncols " + std::to_string(ncols) +
                         "\nnrows 3\nxllcorner 100\nyllcorner 200\ncellsize 10\n";
      std::vector<Cell> cells;
      for (int r = 0; r < 3; r++) {
        for (int c = 0; c < ncols; c++) {
          const int z = 10 * r + c;
          if (r == bad_row && c == 1) {
            text += " abc";
            continue;
          }
          text += " " + std::to_string(z);
          cells.push_back({105.0 + 10 * c, 225.0 - 10 * r, double(z)});
        }
        text += "\n";
      }
      Opened o = open_asc(dir.file("w.asc", text));
      ASSERT_TRUE(o.ok) << o.messages;
      EXPECT_EQ(o.messages, "WARNING: ASC cell 'abc' is not a number. taken as no data\n");
      expect_cells(side_points_of(*o.reader), cells, 1e-9);
    }
  }
}

bool have_gdal_translate() {
  return std::system("command -v gdal_translate >/dev/null 2>&1") == 0;
}

// A grid as gdal_translate writes it (its own spacing, a leading blank on
// every row, its digits) reads as the grid it was made from.
TEST(LASreaderASC, GridWrittenByGdalTranslate) {
  if (!have_gdal_translate()) {
    GTEST_SKIP() << "gdal_translate is not installed (scripts/setup.sh installs it)";
  }
  TempDir dir;
  raster_fixtures::DemGrid g = raster_fixtures::make_dem(23, 17, -12.0, 480.0, 5);
  ASSERT_TRUE(raster_fixtures::write_asc(dir.path + "/ours.asc", g));
  const std::string command =
      "gdal_translate -q -of AAIGrid '" + dir.path + "/ours.asc' '" + dir.path + "/gdal.asc' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  Opened o = open_asc(dir.path + "/gdal.asc");
  ASSERT_TRUE(o.ok) << o.messages;
  EXPECT_EQ(o.messages, "");
  expect_cells(side_points_of(*o.reader), cells_of(g));
  expect_raster_record(o.reader->header, 23, 17, 2.0, 2.0, g.llx, g.lly);
}

// "-comma_not_point" reaches the grid reader through the opener.
TEST(LASreaderASC, OpenerHandsTheCommaOver) {
  TempDir dir;
  const std::string name = dir.file(
      "c.asc", "ncols 2\nnrows 1\nxllcorner 630000,5\nyllcorner 4830000\ncellsize 0,5\n1,5 2,25\n");
  LASinputOptions options;
  ArgVector av({"-i", name, "-comma_not_point"});
  ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
  testing::internal::CaptureStderr();
  std::unique_ptr<LASreader> reader(options.open_next_reader());
  ASSERT_NE(reader, nullptr) << testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(reader->format_code(), LASformatCode::asc);
  const std::vector<SidePoint> read = side_points_of(*reader);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_NEAR(read[0].x, 630000.75, 1e-6);
  EXPECT_NEAR(read[1].z, 2.25, 1e-6);
}

}  // namespace
