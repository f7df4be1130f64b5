// The built talvenor_new over grids in the shapes real writers give them:
// ASCII grids with float digits against a short nodata value, BIL rasters of
// several bands with GDAL's row lengths and leading bytes, and headers that
// lie (more cells than the file, extents no point integer holds, fewer rows
// than declared, a QFIT point offset inside its header). Each ends with every
// value exact, or refused with its message and exit code 1, never shifted or
// clamped.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "las_fixture.hpp"
#include "run_program.hpp"
#include "side_fixtures.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

struct Xyz {
  double x, y, z;
};

struct GridCase {
  const char* what;
  std::string input;  // name in the run's folder
  int exit_code;
  std::string message;      // a part of standard error ("" when none is wanted)
  std::vector<Xyz> points;  // written, in the format's order
};

// 4 x 3 cells of 2 m, rows from the north; the cell at column 1 of row 0
// holds `first_cell` as text (a nodata value, a word).
std::string asc_text(const std::string& header_tail, const std::string& first_cell, int nrows = 3,
                     const std::string& cellsize = "2") {
  std::string text = "ncols        4\nnrows        " + std::to_string(nrows) +
                     "\nxllcorner    630000.000000000000\nyllcorner    4830000.000000000000\n"
                     "cellsize     " +
                     cellsize + "\n" + header_tail;
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < 4; c++) {
      text += " " + (r == 0 && c == 1 ? first_cell : std::to_string(100 + 10 * r + c) + ".25");
    }
    text += "\n";
  }
  return text;
}

// The cells of asc_text but the first row's second, at their centres.
std::vector<Xyz> asc_points() {
  std::vector<Xyz> points;
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < 4; c++) {
      if (r == 0 && c == 1) continue;
      points.push_back({630001.0 + 2 * c, 4830005.0 - 2 * r, 100 + 10 * r + c + 0.25});
    }
  }
  return points;
}

// The same cells as a BIL raster of `nbands` bands (the others hold other
// heights), band 1 without its second cell.
side_fixtures::BilRaster bil_raster(int nbits, const char* pixeltype, int nbands) {
  side_fixtures::BilRaster b;
  b.ncols = 4;
  b.nrows = 3;
  b.nbits = nbits;
  b.nbands = nbands;
  b.band_step = 50;
  b.pixeltype = pixeltype;
  b.ulxmap = 630001.0;
  b.ulymap = 4830005.0;
  b.xdim = b.ydim = 2.0;
  b.nodata = "0";
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < 4; c++) b.cells.push_back(r == 0 && c == 1 ? 0 : 100 + 10 * r + c);
  }
  return b;
}

std::vector<Xyz> bil_points() {
  std::vector<Xyz> points = asc_points();
  for (Xyz& p : points) p.z -= 0.25;
  return points;
}

void expect_output(const std::string& out, const std::vector<Xyz>& points) {
  FixtureContents contents;
  std::string error;
  ASSERT_TRUE(fixture_read_file(out, &contents, &error)) << error;
  const FixtureHeader& h = contents.header;
  ASSERT_EQ(contents.points.size(), points.size());
  for (size_t k = 0; k < points.size(); k++) {
    const FixturePoint& p = contents.points[k];
    EXPECT_NEAR(p.X * h.scale[0] + h.offset[0], points[k].x, 1e-6) << k;
    EXPECT_NEAR(p.Y * h.scale[1] + h.offset[1], points[k].y, 1e-6) << k;
    EXPECT_NEAR(p.Z * h.scale[2] + h.offset[2], points[k].z, 1e-6) << k;
  }
}

TEST(TalvenorGridInputs, ExactOrRefused) {
  ProgramDir dir;
  using side_fixtures::write_file;
  std::vector<GridCase> cases;

  // GDAL prints float32 cells with all their digits; the header's nodata
  // value it prints short, or as the double it was given.
  const struct {
    const char* what;
    const char* header;
    const char* cell;
  } nodata_forms[] = {
      {"nodata 1e+30, cells of float digits", "1e+30", "1.0000000150474662199e+30"},
      {"nodata -9999.99, cells of float digits", "-9999.99", "-9999.9902343750000"},
      {"nodata -3.4028234663852886e+38, cells -3.4028235e+38", "-3.4028234663852886e+38",
       "-3.4028235e+38"},
  };
  int n = 0;
  for (const auto& f : nodata_forms) {
    const std::string name = "nodata" + std::to_string(n++) + ".asc";
    write_file(dir.file(name), asc_text(std::string("NODATA_value  ") + f.header + "\n", f.cell));
    cases.push_back({f.what, name, 0, "", asc_points()});
  }
  write_file(dir.file("word.asc"), asc_text("NODATA_value  -9999\n", "abc"));
  cases.push_back({"a word in the first row", "word.asc", 0,
                   "WARNING: ASC cell 'abc' is not a number. taken as no data\n", asc_points()});
  std::string wide_rows =
      "ncols 2000000000\nnrows 15\nxllcorner 630000\nyllcorner 4830000\ncellsize 1\n";
  for (int k = 0; k < 300; k++) wide_rows += std::to_string(k) + (k % 20 == 19 ? "\n" : " ");
  write_file(dir.file("cols.asc"), wide_rows);
  cases.push_back({"2000000000 cols over 300 cells",
                   "cols.asc",
                   1,
                   "ERROR: ASC raster '" + dir.file("cols.asc") +
                       "' ends after 0 of 15 rows and 300 of 2000000000 cols\n",
                   {}});
  write_file(dir.file("rows.asc"), asc_text("", "-9999", 6));
  cases.push_back(
      {"6 rows over 3",
       "rows.asc",
       1,
       "ERROR: ASC raster '" + dir.file("rows.asc") + "' ends after 3 of 6 rows and 0 of 4 cols\n",
       {}});
  write_file(dir.file("size.asc"), asc_text("", "-9999", 3, "1e30"));
  cases.push_back({"cells of 1e30 m",
                   "size.asc",
                   1,
                   "does not fit a 32-bit integer with scale factor 0.01",
                   {}});

  // BIL rasters as GDAL's EHdr driver writes them: several bands by line
  // with BANDROWBYTES and TOTALROWBYTES, 8 and 16 bits unsigned without a
  // PIXELTYPE, leading bytes.
  side_fixtures::BilRaster bands = bil_raster(8, nullptr, 3);
  bands.band_row_padding = 0;
  bands.total_row_padding = 0;
  side_fixtures::write_bil(dir.file("bands.bil"), bands);
  cases.push_back({"3 bands of bytes by line", "bands.bil", 0, "", bil_points()});
  side_fixtures::BilRaster wide = bil_raster(16, nullptr, 1);
  wide.cells[0] = 40000;
  side_fixtures::write_bil(dir.file("unsigned.bil"), wide);
  std::vector<Xyz> wide_points = bil_points();
  wide_points[0].z = 40000;
  cases.push_back({"16 bits without PIXELTYPE", "unsigned.bil", 0, "", wide_points});
  side_fixtures::BilRaster skipped = bil_raster(32, "FLOAT", 2);
  skipped.skipbytes = 100;
  skipped.layout = "BIP";
  side_fixtures::write_bil(dir.file("skip.bil"), skipped);
  cases.push_back({"SKIPBYTES 100, 2 bands by pixel", "skip.bil", 0, "", bil_points()});
  side_fixtures::BilRaster lie = bil_raster(32, "FLOAT", 1);
  side_fixtures::write_bil(dir.file("lie.bil"), lie);
  lie.ncols = 2000000000;
  write_file(dir.file("lie.hdr"), side_fixtures::bil_hdr_text(lie));
  cases.push_back({"BIL of 2000000000 cols over 12 cells",
                   "lie.bil",
                   1,
                   "ERROR: BIL raster '" + dir.file("lie.bil") +
                       "' of 2000000000 cols and 3 rows needs 24000000000 bytes but has 48\n",
                   {}});
  side_fixtures::BilRaster far = bil_raster(32, "FLOAT", 1);
  far.xdim = 1e30;
  side_fixtures::write_bil(dir.file("far.bil"), far);
  cases.push_back({"BIL cells of 1e30 m",
                   "far.bil",
                   1,
                   "does not fit a 32-bit integer with scale factor 0.01",
                   {}});

  side_fixtures::DtmRaster dtm;
  dtm.ncols = 4;
  dtm.nrows = 3;
  dtm.cells.assign(12, 5.0);
  side_fixtures::Bytes dtm_bytes = side_fixtures::dtm_bytes(dtm);
  dtm.ncols = 2000000000;
  const side_fixtures::Bytes dtm_header = side_fixtures::dtm_bytes(dtm);
  std::copy(dtm_header.begin(), dtm_header.begin() + 200, dtm_bytes.begin());
  write_file(dir.file("lie.dtm"), dtm_bytes);
  cases.push_back({"DTM of 2000000000 cols over 12 cells",
                   "lie.dtm",
                   1,
                   "ERROR: DTM raster '" + dir.file("lie.dtm") +
                       "' of 2000000000 cols and 3 rows needs 24000000200 bytes but has 248\n",
                   {}});

  std::vector<side_fixtures::QfitRecord> records(4);
  for (size_t k = 0; k < records.size(); k++) {
    records[k].longitude = 250000000 + 30 * static_cast<int32_t>(k);
    records[k].latitude = 69000000;
    records[k].elevation = 1000;
  }
  for (int offset : {0, 4}) {
    const std::string name = "offset" + std::to_string(offset) + ".qi";
    write_file(dir.file(name), side_fixtures::qfit_bytes(48, false, records, offset));
    cases.push_back({"QFIT point offset inside the header",
                     name,
                     1,
                     "ERROR: QFIT point start offset " + std::to_string(offset) +
                         " lies inside the header that ends at byte 56\n",
                     {}});
  }

  for (const GridCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = dir.file(c.input + ".las");
    const ProgramRun run = run_program(kProgram, {"-i", dir.file(c.input), "-o", out}, dir.path());
    EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
    if (!c.message.empty()) {
      EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(run.err.find("integer overflows"), std::string::npos) << run.err;
    if (c.exit_code != 0) {
      EXPECT_FALSE(std::ifstream(out).good());
      continue;
    }
    EXPECT_EQ(run.err.find("ERROR"), std::string::npos) << run.err;
    expect_output(out, c.points);
  }
}

}  // namespace
