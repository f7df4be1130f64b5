// BIL rasters written here in both byte orders and every cell type, and by
// gdal_translate's EHdr driver: cells north to south by rows, the .hdr and
// .blw side files, the defaults of a bare header and the raster record.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "io/formats/las_reader_asc.hpp"
#include "io/formats/las_reader_bil.hpp"
#include "raster_fixtures.hpp"
#include "raster_record_check.hpp"
#include "side_fixtures.hpp"
#include "side_test_points.hpp"
#include "temp_dir.hpp"

namespace {

using side_fixtures::BilRaster;

using Opened = OpenedReader<LASreaderBIL>;

Opened open_bil(const std::string& name, LASreaderBIL* reader = nullptr) {
  return open_side(name, reader);
}

// A 4 x 3 raster with one nodata cell, its values fit for every cell type.
BilRaster small_raster() {
  BilRaster r;
  r.ncols = 4;
  r.nrows = 3;
  r.ulxmap = 630001.0;
  r.ulymap = 4830005.0;
  r.xdim = 2.0;
  r.ydim = 2.0;
  r.cells = {1, 2, 3, 4, 5, -9999, 7, 8, 9, 10, 11, 120};
  return r;
}

struct Cell {
  double x, y, z;
};

std::vector<Cell> cells_of(const BilRaster& r, double nodata) {
  std::vector<Cell> cells;
  for (int row = 0; row < r.nrows; row++) {
    for (int c = 0; c < r.ncols; c++) {
      const double z = r.cells[static_cast<size_t>(row * r.ncols + c)];
      if (z == nodata) continue;
      cells.push_back({r.ulxmap + c * r.xdim, r.ulymap - row * r.ydim, z});
    }
  }
  return cells;
}

void expect_cells(const std::vector<SidePoint>& read, const std::vector<Cell>& cells) {
  ASSERT_EQ(read.size(), cells.size());
  for (size_t k = 0; k < read.size(); k++) {
    EXPECT_NEAR(read[k].x, cells[k].x, 0.005) << k;
    EXPECT_NEAR(read[k].y, cells[k].y, 0.005) << k;
    EXPECT_NEAR(read[k].z, cells[k].z, 0.005) << k;
  }
}

TEST(LASreaderBIL, CellTypesInBothByteOrders) {
  TempDir dir;
  struct Case {
    const char* name;
    int nbits;
    const char* pixeltype;
    const char* nodata;
  };
  const Case cases[] = {
      {"float", 32, "float", "-9999"},
      {"signed 32", 32, "SIGNEDINT", "-9999"},
      {"signed 16", 16, "SIGNEDINT", "-9999"},
      {"unsigned 16", 16, "UNSIGNEDINT", "0"},
      {"unsigned 16, no pixel type", 16, nullptr, "0"},
      {"unsigned 8", 8, "UNSIGNEDINT", "0"},
  };
  for (const Case& c : cases) {
    for (bool big : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (big ? " M" : " I"));
      BilRaster r = small_raster();
      r.nbits = c.nbits;
      r.pixeltype = c.pixeltype;
      r.nodata = c.nodata;
      r.big_endian = big;
      const bool unsigned_cells = std::string(c.nodata) == "0";
      if (unsigned_cells) r.cells[5] = 0;
      const std::string name = dir.path + "/r.bil";
      ASSERT_TRUE(side_fixtures::write_bil(name, r));
      Opened o = open_bil(name);
      ASSERT_TRUE(o.ok) << o.messages;
      EXPECT_EQ(o.reader->is_big_endian(), big);
      EXPECT_EQ(o.messages, "WARNING: cannot open files '" + dir.path + "/r.blw' or '" + dir.path +
                                "/r.BLW'\nWARNING: reading the *.blw file for '" + name + "'\n");
      const LASheader& h = o.reader->header;
      EXPECT_EQ(o.reader->npoints, 11);
      EXPECT_EQ(h.number_of_point_records, 11u);
      EXPECT_EQ(h.x_scale_factor, 0.01);
      EXPECT_EQ(h.min_x, 630001.0);
      EXPECT_EQ(h.max_y, 4830005.0);
      EXPECT_EQ(h.min_z, 1.0);
      EXPECT_EQ(h.max_z, 120.0);
      EXPECT_STREQ(h.generating_software, "via LASreaderBIL (210531)");
      expect_raster_record(h, 4, 3, 2.0, 2.0, 630000.0, 4830000.0);
      expect_cells(side_points_of(*o.reader), cells_of(r, unsigned_cells ? 0 : -9999));
    }
  }
}

// Signed cells read as signed only when the header says so.
TEST(LASreaderBIL, SignednessOfSmallCells) {
  TempDir dir;
  for (const char* pixeltype : {"SIGNEDINT", "UNSIGNEDINT"}) {
    for (int nbits : {8, 16}) {
      SCOPED_TRACE(std::string(pixeltype) + " " + std::to_string(nbits));
      BilRaster r;
      r.ncols = 2;
      r.nrows = 1;
      r.nbits = nbits;
      r.pixeltype = pixeltype;
      r.nodata = "7";
      r.cells = {-1, 5};
      const std::string name = dir.path + "/s.bil";
      ASSERT_TRUE(side_fixtures::write_bil(name, r));
      Opened o = open_bil(name);
      ASSERT_TRUE(o.ok) << o.messages;
      const std::vector<SidePoint> read = side_points_of(*o.reader);
      ASSERT_EQ(read.size(), 2u);
      const bool is_signed = std::string(pixeltype) == "SIGNEDINT";
      EXPECT_NEAR(read[0].z, is_signed ? -1.0 : (nbits == 8 ? 255.0 : 65535.0), 0.005);
    }
  }
}

// Band 1 of rasters of several bands as GDAL's EHdr driver lays them out:
// band-interleaved by line (its default, with BANDROWBYTES and TOTALROWBYTES),
// by pixel and band-sequential, rows padded, after leading SKIPBYTES, for
// every cell width. The other bands hold other values, so a cell of the
// wrong band shows.
TEST(LASreaderBIL, Band1OfEveryLayout) {
  TempDir dir;
  struct Case {
    const char* layout;
    int nbands;
    int64_t skipbytes;
    int64_t band_row_padding;
    int64_t total_row_padding;
  };
  const Case cases[] = {
      {"BIL", 3, 0, -1, -1},   {"BIL", 3, 0, 0, 0},   {"BIL", 3, 100, 0, 0}, {"BIL", 2, 0, 6, 10},
      {"BIL", 1, 100, -1, -1}, {"BIP", 3, 0, -1, -1}, {"BIP", 3, 7, -1, 0},  {"BIP", 2, 0, -1, 12},
      {"BSQ", 3, 0, -1, -1},   {"BSQ", 2, 5, 4, -1},
  };
  struct Cells {
    int nbits;
    const char* pixeltype;
  };
  const Cells widths[] = {{8, nullptr}, {16, "SIGNEDINT"}, {32, "FLOAT"}};
  for (const Case& c : cases) {
    for (const Cells& w : widths) {
      for (bool big : {false, true}) {
        SCOPED_TRACE(std::string(c.layout) + " bands " + std::to_string(c.nbands) + " skip " +
                     std::to_string(c.skipbytes) + " pads " + std::to_string(c.band_row_padding) +
                     "/" + std::to_string(c.total_row_padding) + " bits " +
                     std::to_string(w.nbits) + (big ? " M" : " I"));
        BilRaster r = small_raster();
        r.nbits = w.nbits;
        r.pixeltype = w.pixeltype;
        r.nodata = "0";
        r.cells[5] = 0;
        r.nbands = c.nbands;
        r.band_step = 100;
        r.layout = c.layout;
        r.skipbytes = c.skipbytes;
        r.band_row_padding = c.band_row_padding;
        r.total_row_padding = c.total_row_padding;
        r.big_endian = big;
        const std::string name = dir.path + "/b.bil";
        ASSERT_TRUE(side_fixtures::write_bil(name, r));
        Opened o = open_bil(name);
        ASSERT_TRUE(o.ok) << o.messages;
        EXPECT_EQ(o.reader->header.max_z, 120.0);
        expect_cells(side_points_of(*o.reader), cells_of(r, 0));
        // The opener's second pass reads the same cells.
        ASSERT_TRUE(o.reader->reopen(name.c_str()));
        expect_cells(side_points_of(*o.reader), cells_of(r, 0));
      }
    }
  }
}

// A world file places the cells over the header; a bare header gets cells of
// 1 whose lower-left corner lies at 0, 0.
TEST(LASreaderBIL, WorldFileAndDefaults) {
  TempDir dir;
  BilRaster r = small_raster();
  const std::string name = dir.path + "/w.bil";
  ASSERT_TRUE(side_fixtures::write_bil(name, r));
  dir.file("w.blw", "0.5\n0\n0\n-0.25\n1000.25\n2000.125\n");
  Opened o = open_bil(name);
  ASSERT_TRUE(o.ok) << o.messages;
  EXPECT_EQ(o.messages, "");
  EXPECT_EQ(o.reader->header.x_scale_factor, 0.01);
  EXPECT_EQ(o.reader->header.y_scale_factor, 0.001);
  BilRaster placed = r;
  placed.xdim = 0.5;
  placed.ydim = 0.25;
  placed.ulxmap = 1000.25;
  placed.ulymap = 2000.125;
  const std::vector<SidePoint> read = side_points_of(*o.reader);
  expect_cells(read, cells_of(placed, -9999));
  expect_raster_record(o.reader->header, 4, 3, 0.5, 0.25, 1000.0, 1999.5);

  // A world file without all six lines changes nothing.
  dir.file("w.blw", "0.5\n0\n0\n-0.25\n");
  Opened partial = open_bil(name);
  ASSERT_TRUE(partial.ok);
  EXPECT_EQ(partial.messages,
            "WARNING: corrupt world file\nWARNING: reading the *.blw file for '" + name + "'\n");
  expect_cells(side_points_of(*partial.reader), cells_of(r, -9999));

  const std::string bare_name = dir.path + "/bare.bil";
  ASSERT_TRUE(side_fixtures::write_bil(bare_name, r));
  dir.file("bare.hdr", "nrows 3\nncols 4\nnbands 1\nnbits 32\npixeltype float\n");
  Opened bare = open_bil(bare_name);
  ASSERT_TRUE(bare.ok);
  EXPECT_NE(bare.messages.find("WARNING: xdim was not set. setting to 1\n"), std::string::npos);
  EXPECT_NE(bare.messages.find("WARNING: ulycenter was not set. setting to 2.5\n"),
            std::string::npos);
  expect_raster_record(bare.reader->header, 4, 3, 1.0, 1.0, 0.0, 0.0);
  ASSERT_TRUE(bare.reader->read_point());
  EXPECT_NEAR(bare.reader->point.get_x(), 0.5, 1e-9);
  EXPECT_NEAR(bare.reader->point.get_y(), 2.5, 1e-9);
}

TEST(LASreaderBIL, ShortDataAndBadHeaders) {
  TempDir dir;
  BilRaster r = small_raster();
  const std::string name = dir.path + "/c.bil";
  ASSERT_TRUE(side_fixtures::write_bil(name, r));
  // Cut inside the third row.
  {
    std::ifstream in(name, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    dir.file("c.bil", all.str().substr(0, 4 * 9 + 2));
  }
  // Rows are placed from the top by the header's count: a file that holds
  // fewer cells than it promises is refused, not read as far as it goes.
  Opened o = open_bil(name);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.messages, "WARNING: cannot open files '" + dir.path + "/c.blw' or '" + dir.path +
                            "/c.BLW'\nWARNING: reading the *.blw file for '" + name +
                            "'\nERROR: BIL raster '" + name +
                            "' of 4 cols and 3 rows needs 48 bytes but has 38\n");

  struct Case {
    const char* name;
    const char* hdr;
    const char* message;
  };
  const Case cases[] = {
      {"no nbits", "ncols 4\nnrows 3\nnbands 1\n",
       "WARNING: not able to find all entries in HDR file\n       ncols  = 4\n       nrows  = 3\n"
       "       nbands = 1\n       nbits  = 0\n"},
      {"negative rows", "ncols 4\nnrows -3\nnbands 1\nnbits 32\n",
       "WARNING: not able to find all entries in HDR file\n       ncols  = 4\n       nrows  = -3\n"
       "       nbands = 1\n       nbits  = 32\n"},
      {"rows beyond 32 bits", "ncols 4\nnrows 4294967299\nnbands 1\nnbits 32\n",
       "WARNING: not able to find all entries in HDR file\n       ncols  = 4\n       nrows  = 0\n"
       "       nbands = 1\n       nbits  = 32\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.file("c.hdr", c.hdr);
    Opened bad = open_bil(name);
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.messages,
              std::string(c.message) + "ERROR: reading the *.hdr file for '" + name + "'\n");
  }
  for (const char* hdr :
       {"ncols 4\nnrows 3\nnbands 1\nnbits 64\n", "ncols 4\nnrows 3\nnbands 1\nnbits 4\n",
        "ncols 4\nnrows 3\nnbands 1\nnbits 16\npixeltype float\n"}) {
    SCOPED_TRACE(hdr);
    dir.file("c.hdr", hdr);
    Opened refused = open_bil(name);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.messages.find("ERROR: BIL cells of "), std::string::npos) << refused.messages;
  }
  // Huge grids and many bands of bytes are refused by their size, before a
  // cell is read or a byte allocated.
  dir.file("c.hdr", "ncols 2147483647\nnrows 2147483647\nnbands 2147483647\nnbits 8\n");
  Opened huge = open_bil(name);
  EXPECT_FALSE(huge.ok);
  EXPECT_NE(huge.messages.find("ERROR: the *.hdr file for '" + name +
                               "' cannot be read: its cells lie beyond 64 bits of bytes\n"),
            std::string::npos)
      << huge.messages;

  Opened none = open_bil(dir.path + "/none.bil");
  EXPECT_FALSE(none.ok);
  EXPECT_EQ(none.messages, "ERROR: cannot open files '" + dir.path + "/none.hdr' or '" + dir.path +
                               "/none.HDR'\nERROR: reading the *.hdr file for '" + dir.path +
                               "/none.bil'\n");
  Opened nameless = open_bil("bil");
  EXPECT_FALSE(nameless.ok);
  EXPECT_EQ(nameless.messages,
            "ERROR: file name 'bil' is not a valid BIL file\nERROR: reading the *.hdr file for "
            "'bil'\n");
}

// Headers that promise what the file cannot be: more cells than its bytes,
// an extent no point integer holds, rows shorter than their cells, a layout
// that is none. Each is refused with its reason; none gives points.
TEST(LASreaderBIL, HeadersThatLieAreRefused) {
  TempDir dir;
  const std::string name = dir.path + "/l.bil";
  struct Case {
    const char* what;
    int32_t ncols;
    double xdim;
    const char* layout;
    int64_t band_row_padding;
    std::string extra_hdr;
    std::string message;
  };
  const Case cases[] = {
      {"2000000000 cols over 12 cells", 2000000000, 2.0, "BIL", -1, "",
       "ERROR: BIL raster '" + name +
           "' of 2000000000 cols and 3 rows needs 24000000000 bytes "
           "but has 48\n"},
      {"cells of 1e30", 4, 1e30, "BIL", -1, "",
       "does not fit a 32-bit integer with scale factor 0.01 and offset "},
      {"a row of band 1 longer than BANDROWBYTES", 4, 2.0, "BIL", -1, "BANDROWBYTES 15\n",
       "ERROR: the *.hdr file for '" + name +
           "' cannot be read: BANDROWBYTES is shorter than a row of band 1\n"},
      {"rows longer than TOTALROWBYTES", 4, 2.0, "BIL", -1, "TOTALROWBYTES 8\n",
       "ERROR: the *.hdr file for '" + name +
           "' cannot be read: TOTALROWBYTES is shorter than a row of every band\n"},
      {"SKIPBYTES beyond the data", 4, 2.0, "BIL", -1, "SKIPBYTES 1\n",
       "ERROR: BIL raster '" + name + "' of 4 cols and 3 rows needs 49 bytes but has 48\n"},
      {"SKIPBYTES negative", 4, 2.0, "BIL", -1, "SKIPBYTES -1\n",
       "ERROR: the *.hdr file for '" + name +
           "' cannot be read: SKIPBYTES, BANDROWBYTES and TOTALROWBYTES must be counts of "
           "bytes\n"},
      {"no layout we read", 4, 2.0, "BIT", -1, "", "ERROR: BIL layout 'BIT' is not supported\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BilRaster r = small_raster();
    r.layout = c.layout;
    r.band_row_padding = c.band_row_padding;
    r.extra_hdr = c.extra_hdr;
    ASSERT_TRUE(side_fixtures::write_bil(name, r));
    // The header of the lie beside the cells of the true raster.
    r.ncols = c.ncols;
    r.xdim = c.xdim;
    ASSERT_TRUE(side_fixtures::write_file(dir.path + "/l.hdr", side_fixtures::bil_hdr_text(r)));
    Opened o = open_bil(name);
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.messages.find(c.message), std::string::npos) << o.messages;
    EXPECT_EQ(o.messages.find("integer overflows"), std::string::npos) << o.messages;
  }
}

bool have_gdal_translate() {
  return std::system("command -v gdal_translate >/dev/null 2>&1") == 0;
}

std::string read_text(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// The same cells with the other byte order and a header that says so.
void swap_to_big_endian(const std::string& bil, const std::string& hdr, int cell_size) {
  std::string data = read_text(bil);
  for (size_t at = 0; at + cell_size <= data.size(); at += cell_size) {
    for (int b = 0; b < cell_size / 2; b++) std::swap(data[at + b], data[at + cell_size - 1 - b]);
  }
  std::ofstream(bil, std::ios::binary) << data;
  std::string text = read_text(hdr);
  const size_t at = text.find("BYTEORDER      I");
  ASSERT_NE(at, std::string::npos);
  text[at + 15] = 'M';
  std::ofstream(hdr, std::ios::binary) << text;
}

// BIL rasters as users get them from gdal_translate (EHdr), made here from a
// grid of our own, read as the ASCII grid they came from. GDAL writes the
// host's byte order only; the big-endian copy is GDAL's file with its cells
// swapped and its header saying M, checked by letting GDAL read it back.
TEST(LASreaderBIL, RastersWrittenByGdalTranslate) {
  if (!have_gdal_translate()) {
    GTEST_SKIP() << "gdal_translate is not installed (scripts/setup.sh installs it)";
  }
  TempDir dir;
  raster_fixtures::DemGrid g = raster_fixtures::make_dem(19, 13, 210.0, 390.0, 6);
  const std::string asc = dir.path + "/ours.asc";
  ASSERT_TRUE(raster_fixtures::write_asc(asc, g));
  LASreaderASC asc_reader;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(asc_reader.open(asc.c_str(), false));
  testing::internal::GetCapturedStderr();
  const std::vector<SidePoint> expected = side_points_of(asc_reader);
  ASSERT_FALSE(expected.empty());
  struct Case {
    const char* type;
    int cell_size;
    double factor;  // integer cells hold the heights times this
  };
  const Case cases[] = {{"Float32", 4, 1.0}, {"Int32", 4, 1.0}, {"Int16", 2, 1.0}};
  for (const Case& c : cases) {
    for (bool big : {false, true}) {
      SCOPED_TRACE(std::string(c.type) + (big ? " M" : " I"));
      const std::string base = dir.path + "/" + c.type + (big ? "_m" : "_i");
      const std::string command = std::string("gdal_translate -q -of EHdr -ot ") + c.type + " '" +
                                  asc + "' '" + base + ".bil' 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
      if (big) {
        swap_to_big_endian(base + ".bil", base + ".hdr", c.cell_size);
        const std::string back =
            "gdal_translate -q -of AAIGrid '" + base + ".bil' '" + base + "_back.asc' 2>&1";
        ASSERT_EQ(std::system(back.c_str()), 0);
        LASreaderASC check;
        testing::internal::CaptureStderr();
        ASSERT_TRUE(check.open((base + "_back.asc").c_str(), false));
        testing::internal::GetCapturedStderr();
        const std::vector<SidePoint> gdal_read = side_points_of(check);
        ASSERT_EQ(gdal_read.size(), expected.size());
      }
      Opened o = open_bil(base + ".bil");
      ASSERT_TRUE(o.ok) << o.messages;
      EXPECT_EQ(o.reader->is_big_endian(), big);
      EXPECT_EQ(o.messages.find("not recognized"), std::string::npos) << o.messages;
      const std::vector<SidePoint> read = side_points_of(*o.reader);
      ASSERT_EQ(read.size(), expected.size());
      const bool integer = std::string(c.type) != "Float32";
      for (size_t k = 0; k < read.size(); k++) {
        EXPECT_NEAR(read[k].x, expected[k].x, 1e-6) << k;
        EXPECT_NEAR(read[k].y, expected[k].y, 1e-6) << k;
        // Integer cells hold the heights rounded by GDAL.
        EXPECT_NEAR(read[k].z, expected[k].z, integer ? 0.5 + 1e-9 : 0.005) << k;
      }
      expect_raster_record(o.reader->header, 19, 13, 2.0, 2.0, g.llx, g.lly);
    }
  }
}

}  // namespace
