// PLANS DTM rasters written from their layout: every cell type, cells by
// columns from the west and each column from the south, the GeoTIFF keys of
// the coordinate-system codes, the raster record at the grid's corner and
// hostile headers.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "io/formats/las_reader_dtm.hpp"
#include "raster_record_check.hpp"
#include "side_fixtures.hpp"
#include "side_test_points.hpp"
#include "temp_dir.hpp"

namespace {

using side_fixtures::DtmRaster;

using Opened = OpenedReader<LASreaderDTM>;

Opened open_dtm(const TempDir& dir, const side_fixtures::Bytes& bytes,
                LASreaderDTM* reader = nullptr) {
  return open_side(dir.file("f.dtm", std::string(bytes.begin(), bytes.end())), reader);
}

// Three columns of two cells, from the south: one nodata cell.
DtmRaster small_raster(int16_t data_type) {
  DtmRaster r;
  r.llx = 500000.0;
  r.lly = 4000000.0;
  r.xdim = 10.0;
  r.ydim = 5.0;
  r.ncols = 3;
  r.nrows = 2;
  r.data_type = data_type;
  r.cells = {11, 12, 21, -9999, 31, 32};
  return r;
}

std::map<int, int> geo_keys_of(const LASheader& h) {
  std::map<int, int> keys;
  if (h.vlr_geo_keys == nullptr) return keys;
  for (int k = 0; k < h.vlr_geo_keys->number_of_keys; k++) {
    keys[h.vlr_geo_key_entries[k].key_id] = h.vlr_geo_key_entries[k].value_offset;
  }
  return keys;
}

TEST(LASreaderDTM, CellTypesByColumnsFromTheSouth) {
  TempDir dir;
  for (int16_t type : {0, 1, 2, 3}) {
    SCOPED_TRACE(type);
    Opened o = open_dtm(dir, side_fixtures::dtm_bytes(small_raster(type)));
    ASSERT_TRUE(o.ok) << o.messages;
    EXPECT_EQ(o.messages, "");
    const LASheader& h = o.reader->header;
    EXPECT_EQ(o.reader->npoints, 5);
    EXPECT_EQ(h.number_of_point_records, 5u);
    EXPECT_EQ(h.min_x, 500005.0);
    EXPECT_EQ(h.min_y, 4000002.5);
    EXPECT_EQ(h.max_x, 500025.0);
    EXPECT_EQ(h.max_y, 4000007.5);
    EXPECT_EQ(h.min_z, 11.0);
    EXPECT_EQ(h.max_z, 32.0);
    EXPECT_EQ(o.reader->format_code(), LASformatCode::bil);
    EXPECT_STREQ(h.generating_software, "via LASreaderDTM (210531)");
    // The record places the grid's lower-left corner, as for the other rasters.
    expect_raster_record(h, 3, 2, 10.0, 5.0, 500000.0, 4000000.0);
    const std::vector<SidePoint> read = side_points_of(*o.reader);
    const double expected[5][3] = {{500005, 4000002.5, 11},
                                   {500005, 4000007.5, 12},
                                   {500015, 4000002.5, 21},
                                   {500025, 4000002.5, 31},
                                   {500025, 4000007.5, 32}};
    ASSERT_EQ(read.size(), 5u);
    for (int k = 0; k < 5; k++) {
      EXPECT_EQ(read[k].x, expected[k][0]) << k;
      EXPECT_EQ(read[k].y, expected[k][1]) << k;
      EXPECT_EQ(read[k].z, expected[k][2]) << k;
    }
    ASSERT_TRUE(o.reader->reopen((dir.path + "/f.dtm").c_str()));
    EXPECT_EQ(side_points_of(*o.reader), read);
  }
}

// 64-bit cells give the height range from the doubles and the points from
// their single-precision values.
TEST(LASreaderDTM, DoubleCells) {
  TempDir dir;
  DtmRaster r = small_raster(3);
  r.cells = {100.123456789, -9999, 200.5, 300.25, -9999, -9999};
  Opened o = open_dtm(dir, side_fixtures::dtm_bytes(r));
  ASSERT_TRUE(o.ok) << o.messages;
  // Snapped to the 0.01 of z like every bound.
  EXPECT_NEAR(o.reader->header.min_z, 100.12, 1e-9);
  EXPECT_NEAR(o.reader->header.max_z, 300.25, 1e-9);
  const std::vector<SidePoint> read = side_points_of(*o.reader);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_NEAR(read[0].z, static_cast<float>(100.123456789), 0.005);
}

TEST(LASreaderDTM, CoordinateSystemsBecomeGeoKeys) {
  TempDir dir;
  struct Case {
    const char* name;
    int16_t system, zone, datum, hunits, vunits, vdatum;
    std::map<int, int> keys;
    const char* message;
  };
  const Case cases[] = {
      {"UTM 17 NAD83",
       2,
       17,
       2,
       1,
       1,
       2,
       {{1024, 1}, {3072, 26917}, {3076, 9001}, {4099, 9001}, {4096, 5103}},
       ""},
      {"UTM 32 NAD83",
       2,
       32,
       2,
       0,
       0,
       1,
       {{1024, 1}, {3072, 25832}, {3076, 9002}, {4099, 9002}, {4096, 5102}},
       ""},
      {"UTM 25 NAD83",
       2,
       25,
       2,
       1,
       1,
       3,
       {{3076, 9001}, {4099, 9001}, {4096, 5030}},
       "UTM zone 25 for NAD83 out-of-range\n"},
      {"UTM 10 NAD27",
       2,
       10,
       1,
       1,
       1,
       0,
       {{1024, 1}, {3072, 26710}, {3076, 9001}, {4099, 9001}},
       ""},
      {"UTM 2 NAD27", 2, 2, 1, 2, 2, 0, {}, "UTM zone 2 for NAD27 out-of-range\n"},
      {"UTM 33 WGS84", 2, 33, 3, 1, -1, 0, {{1024, 1}, {3072, 32633}, {3076, 9001}}, ""},
      {"state plane 1601",
       3,
       1601,
       2,
       0,
       0,
       0,
       {{1024, 1}, {3072, 2205}, {3076, 9002}, {4099, 9002}},
       ""},
      {"state plane 5200",
       3,
       5200,
       2,
       1,
       1,
       0,
       {{1024, 1}, {3072, 32161}, {3076, 9001}, {4099, 9001}},
       ""},
      {"state plane unknown",
       3,
       1234,
       2,
       1,
       1,
       0,
       {{3076, 9001}, {4099, 9001}},
       "state plane NAD83 zone 1234 not implemented\n"},
      {"state plane NAD27", 3, 1601, 1, 5, 5, 9, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DtmRaster r = small_raster(2);
    r.coordinate_system = c.system;
    r.zone = c.zone;
    r.horizontal_datum = c.datum;
    r.horizontal_units = c.hunits;
    r.vertical_units = c.vunits;
    r.vertical_datum = c.vdatum;
    Opened o = open_dtm(dir, side_fixtures::dtm_bytes(r));
    ASSERT_TRUE(o.ok) << o.messages;
    EXPECT_EQ(o.messages, c.message);
    EXPECT_EQ(geo_keys_of(o.reader->header), c.keys);
  }
}

TEST(LASreaderDTM, HostileHeaders) {
  TempDir dir;
  const std::string name = dir.path + "/f.dtm";
  const side_fixtures::Bytes good = side_fixtures::dtm_bytes(small_raster(2));
  struct Cut {
    size_t size;
    std::string message;
  };
  const Cut cuts[] = {
      {0, "ERROR: reading 21 byte signature for '" + name + "'\n"},
      {50, "ERROR: reading 61 byte description for '" + name + "'\n"},
      {84, "ERROR: reading 4 byte version for '" + name + "'\n"},
      {100, "ERROR: reading 8 byte lower_left_y for '" + name + "'\n"},
      {144, "ERROR: reading 4 byte number_of_columns for '" + name + "'\n"},
      {151, "ERROR: reading 2 byte horizontal_units for '" + name + "'\n"},
      {157, "ERROR: reading 2 byte coordinate_system for '" + name + "'\n"},
      {163, "ERROR: reading 2 byte vertical_datum for '" + name + "'\n"},
      {199, "ERROR: reading 36 byte reserved for '" + name + "'\n"},
  };
  for (const Cut& c : cuts) {
    SCOPED_TRACE(c.size);
    Opened o = open_dtm(dir, side_fixtures::Bytes(good.begin(), good.begin() + c.size));
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.messages, c.message);
  }
  struct Change {
    const char* what;
    DtmRaster raster;
    const char* message;
  };
  std::vector<Change> changes;
  DtmRaster r = small_raster(4);
  changes.push_back({"data type 4", r, "ERROR: unknown data type 4\n"});
  r = small_raster(2);
  r.ncols = 0;
  changes.push_back({"no columns", r, "has 0 columns and 2 rows\n"});
  r = small_raster(2);
  r.nrows = -7;
  changes.push_back({"negative rows", r, "has 3 columns and -7 rows\n"});
  r = small_raster(2);
  r.llx = std::numeric_limits<double>::quiet_NaN();
  changes.push_back({"corner not a number", r, "has no lower-left corner (nan, 4e+06)\n"});
  for (const Change& c : changes) {
    SCOPED_TRACE(c.what);
    Opened o = open_dtm(dir, side_fixtures::dtm_bytes(c.raster));
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.messages.find(c.message), std::string::npos) << o.messages;
  }
  side_fixtures::Bytes wrong = good;
  wrong[0] = 'X';
  Opened o = open_dtm(dir, wrong);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.messages, "ERROR: cannot open DTM file '" + name +
                            "', wrong signature ' XLANS-PC BINARY .DTM'\n");

  // Spacings that are no sizes become 1, and the centres follow from them.
  r = small_raster(2);
  r.xdim = -5;
  r.ydim = std::numeric_limits<double>::infinity();
  r.version = 2.5f;
  r.rotation = 0.5;
  Opened fixed = open_dtm(dir, side_fixtures::dtm_bytes(r));
  ASSERT_TRUE(fixed.ok);
  EXPECT_EQ(fixed.messages,
            "WARNING: expected 3.1 but version is 2.5\nWARNING: expected 0.0 but rotation is "
            "0.5\nWARNING: xdim was -5. setting to 1.0\nWARNING: ydim was inf. setting to 1.0\n");
  EXPECT_EQ(fixed.reader->header.min_x, 500000.5);
  expect_raster_record(fixed.reader->header, 3, 2, 1.0, 1.0, 500000.0, 4000000.0);

  // Grids that promise more cells than the file holds, or an extent no point
  // integer holds, are refused before a point is given.
  struct Lie {
    const char* what;
    int32_t ncols, nrows;
    double xdim;
    int16_t data_type;
    std::string message;
  };
  const Lie lies[] = {
      {"the largest grid", 2147483647, 2147483647, 10.0, 3,
       "ERROR: DTM raster '" + name +
           "' of 2147483647 cols and 2147483647 rows needs 18446744073709551615 bytes but has "
           "248\n"},
      {"2000000000 cols over 6 cells", 2000000000, 2, 10.0, 2,
       "ERROR: DTM raster '" + name +
           "' of 2000000000 cols and 2 rows needs 16000000200 bytes but has 224\n"},
      {"one row more than the cells", 3, 3, 10.0, 2,
       "ERROR: DTM raster '" + name + "' of 3 cols and 3 rows needs 236 bytes but has 224\n"},
      {"cells of 1e30", 3, 2, 1e30, 2, "does not fit a 32-bit integer with scale factor 0.01"},
  };
  for (const Lie& lie : lies) {
    SCOPED_TRACE(lie.what);
    r = small_raster(lie.data_type);
    side_fixtures::Bytes bytes = side_fixtures::dtm_bytes(r);
    r.ncols = lie.ncols;
    r.nrows = lie.nrows;
    r.xdim = lie.xdim;
    const side_fixtures::Bytes header = side_fixtures::dtm_bytes(r);
    std::copy(header.begin(), header.begin() + 200, bytes.begin());
    Opened o = open_dtm(dir, bytes);
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.messages.find(lie.message), std::string::npos) << o.messages;
    EXPECT_EQ(o.messages.find("WARNING"), std::string::npos) << o.messages;
  }
}

}  // namespace
