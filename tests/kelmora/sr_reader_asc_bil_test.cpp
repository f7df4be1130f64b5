#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "raster_fixtures.hpp"
#include "sr_reader_asc.hpp"
#include "sr_reader_bil.hpp"

using raster_fixtures::BilSample;
using raster_fixtures::DemGrid;
using raster_fixtures::ScopedTempDir;
using raster_fixtures::write_text;

namespace {

const char* kAscHeader = "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 0.5\n";

struct Cell {
  int32_t value;
  bool nodata;
};

template <class Reader>
std::vector<Cell> read_all(Reader* r, std::string* err = nullptr) {
  std::vector<Cell> cells;
  testing::internal::CaptureStderr();
  while (r->read_value()) cells.push_back({r->value[0], r->is_nodata()});
  std::string e = testing::internal::GetCapturedStderr();
  if (err) *err = e;
  return cells;
}

TEST(SRreaderAsc, HeaderAndCells) {
  ScopedTempDir dir;
  std::string path = dir.file("a.asc");
  ASSERT_TRUE(write_text(path, std::string(kAscHeader) +
                                   "NODATA_value -9999\n12.344 -12.346 -9999\n-9999.0 0.004 7\n"));
  SRreader_asc r;
  ASSERT_TRUE(r.open(path.c_str()));
  EXPECT_EQ(r.ncols, 3);
  EXPECT_EQ(r.nrows, 2);
  EXPECT_EQ(r.nbits, 32);
  EXPECT_EQ(r.nbands, 1);
  EXPECT_EQ(r.llx, 10.0);
  EXPECT_EQ(r.lly, 20.0);
  EXPECT_EQ(r.urx, 11.5);
  EXPECT_EQ(r.ury, 21.0);
  EXPECT_EQ(r.stepx, 0.5);
  EXPECT_EQ(r.stepy, 0.5);
  EXPECT_EQ(r.scale[0], 0.01);
  std::vector<Cell> cells = read_all(&r);
  const Cell expected[] = {{1234, false},   {-1235, false}, {-999900, true},
                           {-999900, true}, {0, false},     {700, false}};
  ASSERT_EQ(cells.size(), 6u);
  for (size_t i = 0; i < 6; i++) {
    EXPECT_EQ(cells[i].value, expected[i].value) << i;
    EXPECT_EQ(cells[i].nodata, expected[i].nodata) << i;
  }
  EXPECT_EQ(r.r_count, 6);
}

struct AscOpenCase {
  const char* text;
  const char* expected_error;  // "%s" stands for the path
};

TEST(SRreaderAsc, OpenFailures) {
  const AscOpenCase cases[] = {
      {"ncols 0\nnrows 2\nxllcorner 1\nyllcorner 1\ncellsize 1\nNODATA_value -9999\n",
       "ERROR in SRreader_asc::open(): ncols is 0 in '%s'\n"},
      {"ncols 2\nxllcorner 1\nyllcorner 1\ncellsize 1\nNODATA_value -9999\n",
       "ERROR in SRreader_asc::open(): nrows is -1 in '%s'\n"},
      {"ncols 2\nnrows 2\nxllcenter 1\nyllcenter 1\ncellsize 1\nNODATA_value -9999\n",
       "ERROR in SRreader_asc::open(): xllcorner is -32767 in '%s'\n"},
      {"ncols 2\nnrows 2\nxllcorner 1\ncellsize 1\nNODATA_value -9999\n",
       "ERROR in SRreader_asc::open(): yllcorner is -32767 in '%s'\n"},
      {"ncols 2\nnrows 2\nxllcorner 1\nyllcorner 1\ncellsize 0\nNODATA_value -9999\n",
       "ERROR in SRreader_asc::open(): cellsize is 0 in '%s'\n"},
      // a file that ends before its nodata line and its cells is refused instead of read on
      {"ncols 2\nnrows 1\nxllcorner 1\nyllcorner 1\ncellsize 1\n",
       "ERROR in SRreader_asc::open(): no NODATA_value line in '%s'\n"},
  };
  ScopedTempDir dir;
  for (const auto& c : cases) {
    std::string path = dir.file("bad.asc");
    ASSERT_TRUE(write_text(path, c.text));
    SRreader_asc r;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(r.open(path.c_str()));
    std::string err = testing::internal::GetCapturedStderr();
    std::string expected(c.expected_error);
    expected.replace(expected.find("%s"), 2, path);
    EXPECT_EQ(err, expected);
  }
}

// The nodata line may be left out, as GDAL does for rasters without nodata: the first line of
// numbers begins the cells, whatever its leading blanks, and the nodata is -9999.
TEST(SRreaderAsc, HeaderWithoutNodataLine) {
  ScopedTempDir dir;
  const char* cell_rows[] = {" 1 -9999 3\n-4.5 5 +6\n", ".5 2 3\n4 5 6\n"};
  for (const char* cells : cell_rows) {
    std::string path = dir.file("a.asc");
    ASSERT_TRUE(write_text(path, std::string(kAscHeader) + cells));
    SRreader_asc r;
    ASSERT_TRUE(r.open(path.c_str())) << cells;
    EXPECT_EQ(r.nodata_value(), -9999.0);
    std::string err;
    std::vector<Cell> read = read_all(&r, &err);
    EXPECT_EQ(err, "") << cells;
    ASSERT_EQ(read.size(), 6u) << cells;
    EXPECT_EQ(read[1].nodata, cells[0] == ' ') << cells;
    EXPECT_EQ(read[5].value, 600) << cells;
  }
}

TEST(SRreaderAsc, FractionalNodataIsKept) {
  ScopedTempDir dir;
  std::string path = dir.file("a.asc");
  ASSERT_TRUE(write_text(
      path, std::string(kAscHeader) + "nodata_value -9999.5\n-9999.5 -9999 1\n2 3 -9999.50\n"));
  SRreader_asc r;
  ASSERT_TRUE(r.open(path.c_str()));
  EXPECT_EQ(r.nodata_value(), -9999.5);
  std::vector<Cell> cells = read_all(&r);
  ASSERT_EQ(cells.size(), 6u);
  const bool nodata[] = {true, false, false, false, false, true};
  for (size_t i = 0; i < 6; i++) EXPECT_EQ(cells[i].nodata, nodata[i]) << i;
  EXPECT_EQ(cells[1].value, -999900);
}

TEST(SRreaderAsc, NanCells) {
  ScopedTempDir dir;
  struct {
    const char* nodata;
    bool nan_is_nodata;
  } const cases[] = {{"nan", true}, {"NaN", true}, {"-9999", false}};
  for (const auto& c : cases) {
    std::string path = dir.file("n.asc");
    ASSERT_TRUE(write_text(
        path, std::string(kAscHeader) + "NODATA_value " + c.nodata + "\nnan 1 -9999\nNaN 2 3\n"));
    SRreader_asc r;
    ASSERT_TRUE(r.open(path.c_str()));
    std::vector<Cell> cells = read_all(&r);
    ASSERT_EQ(cells.size(), 6u) << c.nodata;
    EXPECT_EQ(cells[0].nodata, c.nan_is_nodata) << c.nodata;
    EXPECT_EQ(cells[3].nodata, c.nan_is_nodata) << c.nodata;
    EXPECT_EQ(cells[2].nodata, !c.nan_is_nodata) << c.nodata;
    if (!c.nan_is_nodata) {
      EXPECT_EQ(cells[0].value, SR_VALUE_NAN);
    }
    EXPECT_EQ(cells[1].value, 100);
  }
}

TEST(SRreaderAsc, LongAndWrappedRowsKeepEveryCellInPlace) {
  ScopedTempDir dir;
  const int ncols = 40;
  std::string text =
      "ncols 40\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
  std::vector<int32_t> expected;
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < ncols; c++) {
      // 30 characters per value: longer than any fixed per-value line budget
      char v[64];
      snprintf(v, sizeof(v), "%d.%02d000000000000000000000001", r * 100 + c, c);
      text += v;
      text += (c % 7 == 6 || c + 1 == ncols) ? "\r\n" : "\t ";
      expected.push_back((r * 100 + c) * 100 + c);
    }
  }
  std::string path = dir.file("long.asc");
  ASSERT_TRUE(write_text(path, text));
  SRreader_asc r;
  ASSERT_TRUE(r.open(path.c_str()));
  std::vector<Cell> cells = read_all(&r);
  ASSERT_EQ(cells.size(), expected.size());
  for (size_t i = 0; i < cells.size(); i++) EXPECT_EQ(cells[i].value, expected[i]) << i;
}

struct AscReadFailCase {
  const char* cells;
  size_t good_cells;
  const char* error;
};

TEST(SRreaderAsc, ReadFailures) {
  const AscReadFailCase cases[] = {
      {"1 2 3\n4 5\n", 5, "ERROR in SRreader_asc::read_value(): file ends after 5 of 6 cells\n"},
      {"1 2 x3\n4 5 6\n", 2,
       "ERROR in SRreader_asc::read_value(): cannot parse 'x3' as a number\n"},
      {"1 2 3e999999\n4 5 6\n", 2,
       "ERROR in SRreader_asc::read_value(): value inf has no 32-bit integer at quantum 0.01\n"},
      {"1 2 123456789\n4 5 6\n", 2,
       "ERROR in SRreader_asc::read_value(): value 1.23457e+08 has no 32-bit integer at quantum "
       "0.01\n"},
      // a row longer than ncols shifts every later cell: refused at the last cell
      {"1 2 3 9\n4 5 6\n", 5,
       "ERROR in SRreader_asc::read_value(): more values than nrows (2) * ncols (3) cells\n"},
      {"1 2 3\n4 5 6\n7 8 9\n", 5,
       "ERROR in SRreader_asc::read_value(): more values than nrows (2) * ncols (3) cells\n"},
      {"1 2 3\n4 5 6\n \r\n\t\n", 6, ""},
  };
  ScopedTempDir dir;
  for (const auto& c : cases) {
    std::string path = dir.file("f.asc");
    ASSERT_TRUE(write_text(path, std::string(kAscHeader) + "NODATA_value -9999\n" + c.cells));
    SRreader_asc r;
    ASSERT_TRUE(r.open(path.c_str()));
    std::string err;
    std::vector<Cell> cells = read_all(&r, &err);
    EXPECT_EQ(cells.size(), c.good_cells) << c.cells;
    EXPECT_EQ(err, c.error);
  }
}

// ---------------------------------------------------------------------------

const char* kBilHeaderTail = "ulxmap 100\nulymap 200\nxdim 0.5\nydim 0.5\n";

std::string bil_header(const char* body) {
  return std::string(body) + kBilHeaderTail;
}

TEST(SRreaderBil, HeaderGivesExtentAndDefaults) {
  ScopedTempDir dir;
  ASSERT_TRUE(write_text(dir.file("b.hdr"), bil_header("ncols 4\nnrows 2\nnbands 1\nnbits 16\n")));
  ASSERT_TRUE(write_text(dir.file("b.bil"), std::string(16, '\0')));
  SRreader_bil r;
  ASSERT_TRUE(r.open(dir.file("b.bil").c_str()));
  // ulxmap and ulymap are the centre of the upper-left cell
  EXPECT_EQ(r.llx, 99.75);
  EXPECT_EQ(r.ury, 200.25);
  EXPECT_EQ(r.urx, 101.75);
  EXPECT_EQ(r.lly, 199.25);
  EXPECT_EQ(r.nodata, -9999);
  // the EHdr layout's default, as GDAL reads it
  EXPECT_TRUE(r.is_unsigned);
  EXPECT_FALSE(r.big_endian());
}

struct BilSampleCase {
  const char* header;
  std::string bytes;
  std::vector<int32_t> values;
};

TEST(SRreaderBil, SamplesByTypeAndByteOrder) {
  const BilSampleCase cases[] = {
      // no pixeltype and "unsignedint" read the same unsigned values (GDAL writes no
      // pixeltype line for Byte and UInt16 rasters)
      {"nbits 16\n", std::string("\xff\xff\x30\x75", 4), {65535, 30000}},
      {"nbits 16\npixeltype signedint\n", std::string("\xff\xff\x30\x75", 4), {-1, 30000}},
      {"NBITS 16\nPIXELTYPE SIGNEDINT\n", std::string("\xff\xff\x30\x75", 4), {-1, 30000}},
      {"nbits 16\npixeltype unsignedint\n", std::string("\xff\xff\x30\x75", 4), {65535, 30000}},
      {"nbits 16\nbyteorder M\n", std::string("\xff\xfe\x75\x30", 4), {65534, 30000}},
      {"nbits 16\nbyteorder I\npixeltype signedint\n",
       std::string("\xfe\xff\x30\x75", 4),
       {-2, 30000}},
      {"nbits 8\n", std::string("\xff\x7f", 2), {255, 127}},
      {"nbits 8\npixeltype signedint\n", std::string("\xff\x7f", 2), {-1, 127}},
      {"nbits 8\npixeltype unsignedint\n", std::string("\xff\x7f", 2), {255, 127}},
      {"nbits 32\npixeltype signedint\n",
       std::string("\xff\xff\xff\xff\x01\x02\x03\x04", 8),
       {-1, 0x04030201}},
      {"nbits 32\nbyteorder M\npixeltype signedint\n",
       std::string("\xff\xff\xff\xfe\x01\x02\x03\x04", 8),
       {-2, 0x01020304}},
      {"nbits 32\n", std::string("\xff\xff\xff\x7f\x01\x02\x03\x04", 8), {INT32_MAX, 0x04030201}},
      {"nbits 32\npixeltype unsignedint\n",
       std::string("\xff\xff\xff\x7f\x05\x00\x00\x00", 8),
       {INT32_MAX, 5}},
      // 12.345f and -0.5f, little- and big-endian
      {"nbits 32\npixeltype float\n",
       std::string("\x1f\x85\x45\x41\x00\x00\x00\xbf", 8),
       {1235, -50}},
      {"nbits 32\npixeltype float\nbyteorder M\n",
       std::string("\x41\x45\x85\x1f\xbf\x00\x00\x00", 8),
       {1235, -50}},
  };
  ScopedTempDir dir;
  for (const auto& c : cases) {
    ASSERT_TRUE(
        write_text(dir.file("b.hdr"),
                   bil_header((std::string("ncols 2\nnrows 1\nnbands 1\n") + c.header).c_str())));
    ASSERT_TRUE(write_text(dir.file("b.bil"), c.bytes));
    SRreader_bil r;
    ASSERT_TRUE(r.open(dir.file("b.bil").c_str())) << c.header;
    std::vector<Cell> cells = read_all(&r);
    ASSERT_EQ(cells.size(), c.values.size()) << c.header;
    for (size_t i = 0; i < cells.size(); i++) EXPECT_EQ(cells[i].value, c.values[i]) << c.header;
  }
}

struct BilLayoutCase {
  const char* header;
  std::string bytes;
  std::vector<int32_t> values;
};

// Band 1 of 2 x 2 cells of 16 bits in 2 bands (band 2 holds 9s, padding 0xEE),
// under the header GDAL writes: upper-case keys, LAYOUT, BANDROWBYTES,
// TOTALROWBYTES, SKIPBYTES.
TEST(SRreaderBil, Band1AsTheHeaderLaysItOut) {
  const std::string nine("\x09\x00", 2);
  auto cell = [](int v) { return std::string(1, static_cast<char>(v)) + std::string(1, '\0'); };
  const BilLayoutCase cases[] = {
      {"LAYOUT BIL\n",
       cell(1) + cell(2) + nine + nine + cell(3) + cell(4) + nine + nine,
       {1, 2, 3, 4}},
      {"LAYOUT BIL\nBANDROWBYTES 5\nTOTALROWBYTES 12\nSKIPBYTES 3\n",
       "\xee\xee\xee" + cell(1) + cell(2) + "\xee" + nine + nine + "\xee\xee\xee" + cell(3) +
           cell(4) + "\xee" + nine + nine + "\xee",
       {1, 2, 3, 4}},
      {"LAYOUT BIP\n",
       cell(1) + nine + cell(2) + nine + cell(3) + nine + cell(4) + nine,
       {1, 2, 3, 4}},
      {"LAYOUT BSQ\nSKIPBYTES 1\n",
       "\xee" + cell(1) + cell(2) + cell(3) + cell(4) + nine + nine + nine + nine,
       {1, 2, 3, 4}},
  };
  ScopedTempDir dir;
  for (const auto& c : cases) {
    ASSERT_TRUE(write_text(dir.file("b.hdr"),
                           std::string("NCOLS 2\nNROWS 2\nNBANDS 2\nNBITS 16\nULXMAP 100\n"
                                       "ULYMAP 200\nXDIM 0.5\nYDIM 0.5\n") +
                               c.header));
    ASSERT_TRUE(write_text(dir.file("b.bil"), c.bytes));
    SRreader_bil r;
    ASSERT_TRUE(r.open(dir.file("b.bil").c_str())) << c.header;
    EXPECT_EQ(r.llx, 99.75) << c.header;
    EXPECT_EQ(r.ury, 200.25) << c.header;
    std::string err;
    std::vector<Cell> cells = read_all(&r, &err);
    EXPECT_EQ(err, "") << c.header;
    ASSERT_EQ(cells.size(), c.values.size()) << c.header;
    for (size_t i = 0; i < cells.size(); i++) EXPECT_EQ(cells[i].value, c.values[i]) << c.header;
  }
}

TEST(SRreaderBil, UnsignedValueBeyondInt32FailsTheRead) {
  ScopedTempDir dir;
  ASSERT_TRUE(
      write_text(dir.file("b.hdr"),
                 bil_header("ncols 1\nnrows 1\nnbands 1\nnbits 32\npixeltype unsignedint\n")));
  ASSERT_TRUE(write_text(dir.file("b.bil"), std::string("\x00\x00\x00\x80", 4)));
  SRreader_bil r;
  ASSERT_TRUE(r.open(dir.file("b.bil").c_str()));
  std::string err;
  EXPECT_TRUE(read_all(&r, &err).empty());
  EXPECT_EQ(err, "ERROR in SRreader_bil::read_value(): value 2147483648 exceeds 32-bit signed\n");
}

struct BilNodataCase {
  const char* header;
  std::string bytes;
  int32_t nodata;
  std::vector<bool> is_nodata;
};

TEST(SRreaderBil, Nodata) {
  const BilNodataCase cases[] = {
      // -9999.0f, -9999.004f (same hundredth, but not the stored nodata), -9998.99f
      {"nbits 32\npixeltype float\nnodata -9999\n",
       std::string("\x00\x3c\x1c\xc6\x04\x3c\x1c\xc6\xd7\x3b\x1c\xc6", 12),
       -999900,
       {true, false, false}},
      // without a nodata line a float raster takes -9999
      {"nbits 32\npixeltype float\n",
       std::string("\x00\x3c\x1c\xc6\x00\x00\x80\x3f\x00\x00\x00\x00", 12),
       -999900,
       {true, false, false}},
      // a NaN nodata marks NaN cells; -3.4e38 has no int32 but still marks its cells
      {"nbits 32\npixeltype float\nnodata nan\n",
       std::string("\x00\x00\xc0\x7f\x00\x00\x80\x3f\x00\x00\xc0\xff", 12),
       SR_NODATA_NO_INT,
       {true, false, true}},
      {"nbits 32\npixeltype float\nnodata -3.4e38\n",
       std::string("\x9e\xc9\x7f\xff\x00\x00\x80\x3f\x00\x00\x00\x00", 12),
       SR_NODATA_NO_INT,
       {true, false, false}},
      // the nodata line is read as a number with decimals, integer rasters round it
      {"nbits 16\npixeltype signedint\nnodata -32768\n",
       std::string("\x00\x80\x01\x00\x00\x00", 6),
       -32768,
       {true, false, false}},
  };
  ScopedTempDir dir;
  for (const auto& c : cases) {
    ASSERT_TRUE(
        write_text(dir.file("b.hdr"),
                   bil_header((std::string("ncols 3\nnrows 1\nnbands 1\n") + c.header).c_str())));
    ASSERT_TRUE(write_text(dir.file("b.bil"), c.bytes));
    SRreader_bil r;
    ASSERT_TRUE(r.open(dir.file("b.bil").c_str())) << c.header;
    EXPECT_EQ(r.nodata, c.nodata) << c.header;
    std::string err;
    std::vector<Cell> cells = read_all(&r, &err);
    EXPECT_EQ(err, "") << c.header;
    ASSERT_EQ(cells.size(), c.is_nodata.size()) << c.header;
    for (size_t i = 0; i < cells.size(); i++)
      EXPECT_EQ(cells[i].nodata, c.is_nodata[i]) << c.header << i;
  }
}

struct BilOpenCase {
  const char* header;
  const char* error;
};

TEST(SRreaderBil, OpenFailures) {
  const BilOpenCase cases[] = {
      {"NCOLS 2\nNROWS 1\nNBITS 16\n",
       "ERROR in SRreader_bil::open(): 0 bands with 16 bits not supported\n"},
      {"ncols 2\nnrows 1\nnbands 3\nnbits 8\nlayout bit\n",
       "ERROR in SRreader_bil::open(): layout 'bit' not supported\n"},
      {"ncols 2\nnrows 1\nnbands 1\nnbits 64\n",
       "ERROR in SRreader_bil::open(): 1 band with 64 bits not supported\n"},
      {"ncols 2\nnrows 1\nnbands 1\nnbits 16\npixeltype float\n",
       "ERROR in SRreader_bil::open(): 1 band with 16 bits not supported\n"},
  };
  ScopedTempDir dir;
  for (const auto& c : cases) {
    ASSERT_TRUE(write_text(dir.file("b.hdr"), bil_header(c.header)));
    ASSERT_TRUE(write_text(dir.file("b.bil"), std::string(16, '\0')));
    SRreader_bil r;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(r.open(dir.file("b.bil").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.error);
  }
  ASSERT_TRUE(write_text(dir.file("b.hdr"),
                         bil_header("ncols 2\nnrows 1\nnbands 3\nnbits 8\nbandrowbytes 1\n")));
  SRreader_bil short_rows;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(short_rows.open(dir.file("b.bil").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR in SRreader_bil::open(): '" + dir.file("b.hdr") +
                "' cannot be read: BANDROWBYTES is shorter than a row of band 1\n");
  SRreader_bil r;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(r.open(dir.file("none.bil").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR in SRreader_bil::open(): cannot open '" + dir.file("none.hdr") + "'\n");
}

TEST(SRreaderBil, ShortRowFailsInsteadOfRepeatingTheLastRow) {
  ScopedTempDir dir;
  ASSERT_TRUE(write_text(dir.file("b.hdr"), bil_header("ncols 2\nnrows 2\nnbands 1\nnbits 16\n")));
  ASSERT_TRUE(write_text(dir.file("b.bil"), std::string("\x01\x00\x02\x00\x03", 5)));
  SRreader_bil r;
  ASSERT_TRUE(r.open(dir.file("b.bil").c_str()));
  std::string err;
  std::vector<Cell> cells = read_all(&r, &err);
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[1].value, 2);
  EXPECT_EQ(err, "ERROR in SRreader_bil::read_value(): file ends in row 1 of 2\n");
}

// ncols is read from the text header; a row longer than the whole data file once took
// gigabytes before the first read could fail.
TEST(SRreaderBil, RowLongerThanTheFileIsRefusedAtOpen) {
  ScopedTempDir dir;
  ASSERT_TRUE(
      write_text(dir.file("b.hdr"), bil_header("ncols 755555555\nnrows 5\nnbands 1\nnbits 32\n")));
  ASSERT_TRUE(write_text(dir.file("b.bil"), std::string(40, '\0')));
  SRreader_bil r;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(r.open(dir.file("b.bil").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR in SRreader_bil::open(): a row of 755555555 cells of 32 bits is longer than "
            "the 40 bytes of '" +
                dir.file("b.bil") + "'\n");
}

TEST(SRreaderBil, WrittenGridReadsBack) {
  ScopedTempDir dir;
  DemGrid g = raster_fixtures::make_dem(5, 3, 10.0, 20.0, 4);
  for (bool big : {false, true}) {
    ASSERT_TRUE(raster_fixtures::write_bil(dir.file("g.bil"), g, BilSample::kS32, big));
    SRreader_bil r;
    ASSERT_TRUE(r.open(dir.file("g.bil").c_str()));
    EXPECT_EQ(r.big_endian(), big);
    EXPECT_DOUBLE_EQ(r.llx, g.llx);
    EXPECT_DOUBLE_EQ(r.lly, g.lly);
    std::vector<Cell> cells = read_all(&r);
    ASSERT_EQ(cells.size(), g.z.size());
    for (size_t i = 0; i < cells.size(); i++) {
      EXPECT_EQ(cells[i].nodata, g.z[i] == g.nodata) << i;
      if (g.z[i] != g.nodata) {
        EXPECT_EQ(cells[i].value, std::lround(g.z[i] * 100)) << i;
      }
    }
  }
}

}  // namespace
