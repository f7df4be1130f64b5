// Shapefiles of every point shape type written from their layout and by
// ogr2ogr: vertices in file order, records without M values, null shapes,
// records of another type, stated counts and lengths that do not fit, and
// the quantization the reader chooses.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "io/formats/las_reader_shp.hpp"
#include "side_fixtures.hpp"
#include "side_test_points.hpp"
#include "temp_dir.hpp"

namespace {

using side_fixtures::ShpRecord;
using side_fixtures::ShpVertex;

using Opened = OpenedReader<LASreaderSHP>;

Opened open_shp(const std::string& name, LASreaderSHP* reader = nullptr) {
  return open_side(name, reader);
}

std::string write_shp(const TempDir& dir, int32_t type, const std::vector<ShpRecord>& records) {
  const side_fixtures::Bytes bytes = side_fixtures::shp_bytes(type, records);
  return dir.file("f.shp", std::string(bytes.begin(), bytes.end()));
}

std::vector<ShpVertex> vertices(int n, double base) {
  std::vector<ShpVertex> v;
  for (int i = 0; i < n; i++) {
    v.push_back({base + 1.25 * i, 4830000.5 + 0.75 * i, 100.0 + 0.01 * i, 7.0 * i});
  }
  return v;
}

// The coordinates delivered, to the 0.01 the reader chooses for projected
// coordinates.
void expect_vertices(const std::vector<SidePoint>& read, const std::vector<ShpVertex>& expected,
                     bool with_z) {
  ASSERT_EQ(read.size(), expected.size());
  for (size_t k = 0; k < read.size(); k++) {
    EXPECT_NEAR(read[k].x, expected[k].x, 0.005) << k;
    EXPECT_NEAR(read[k].y, expected[k].y, 0.005) << k;
    EXPECT_NEAR(read[k].z, with_z ? expected[k].z : 0.0, 0.005) << k;
  }
}

TEST(LASreaderSHP, EveryPointShapeTypeWithAndWithoutM) {
  TempDir dir;
  struct Case {
    const char* name;
    int32_t type;
    bool with_m;
    int per_record;
  };
  const Case cases[] = {
      {"point", 1, false, 1},
      {"point z with m", 11, true, 1},
      {"point z without m", 11, false, 1},
      {"point m", 21, true, 1},
      {"multipoint", 8, false, 3},
      {"multipoint z with m", 18, true, 3},
      {"multipoint z without m", 18, false, 4},
      {"multipoint m", 28, true, 2},
      {"multipoint m without m", 28, false, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ShpRecord> records;
    std::vector<ShpVertex> all;
    for (int r = 0; r < 3; r++) {
      ShpRecord record;
      record.type = c.type;
      record.with_m = c.with_m;
      record.vertices = vertices(c.per_record, 630000.0 + 10.0 * r);
      all.insert(all.end(), record.vertices.begin(), record.vertices.end());
      records.push_back(record);
    }
    Opened o = open_shp(write_shp(dir, c.type, records));
    ASSERT_TRUE(o.ok) << o.messages;
    EXPECT_EQ(o.messages, "");
    EXPECT_EQ(o.reader->get_shape_type(), c.type);
    const LASheader& h = o.reader->header;
    EXPECT_EQ(h.point_data_format, 0);
    EXPECT_EQ(o.reader->npoints, static_cast<int64_t>(all.size()));
    EXPECT_EQ(h.number_of_point_records, all.size());
    EXPECT_EQ(h.number_of_points_by_return[0], all.size());
    EXPECT_EQ(h.x_scale_factor, 0.01);
    EXPECT_EQ(h.z_scale_factor, 0.01);
    EXPECT_EQ(h.x_offset, 600000.0);
    EXPECT_EQ(h.y_offset, 4800000.0);
    EXPECT_STREQ(h.generating_software, "via LASreaderSHP (210531)");
    const bool z = c.type == 11 || c.type == 18;
    expect_vertices(side_points_of(*o.reader), all, z);
    EXPECT_FALSE(o.reader->failed());
  }
}

// Coordinates in degrees get 1e-7; the offsets keep the integers small.
TEST(LASreaderSHP, DegreesGetFineScaleFactors) {
  TempDir dir;
  ShpRecord record;
  record.type = 1;
  record.vertices = {{12.3456789, 47.1234567, 0, 0}};
  ShpRecord other = record;
  other.vertices = {{12.5, 47.5, 0, 0}};
  Opened o = open_shp(write_shp(dir, 1, {record, other}));
  ASSERT_TRUE(o.ok) << o.messages;
  EXPECT_EQ(o.reader->header.x_scale_factor, 1e-7);
  EXPECT_EQ(o.reader->header.y_scale_factor, 1e-7);
  EXPECT_EQ(o.reader->header.z_scale_factor, 0.01);
  ASSERT_TRUE(o.reader->read_point());
  EXPECT_NEAR(o.reader->point.get_x(), 12.3456789, 1e-9);
}

// Null shapes, records of another point type and records of no point type
// keep the reading in step by their content length.
TEST(LASreaderSHP, NullShapesAndOtherTypesKeepStep) {
  TempDir dir;
  std::vector<ShpRecord> records(6);
  records[0].type = 11;
  records[0].vertices = vertices(1, 630000);
  records[1].type = 0;
  records[2].type = 1;  // another point type: read as what it is
  records[2].vertices = vertices(1, 631000);
  records[3].type = 5;  // a polygon's bytes: skipped
  records[3].trailing = std::string(40, 'p');
  records[4].type = 11;
  records[4].vertices = vertices(1, 632000);
  records[4].trailing = std::string(16, 'x');  // more than it needs
  records[5].type = 18;
  records[5].vertices = vertices(2, 633000);
  records[5].with_m = false;
  Opened o = open_shp(write_shp(dir, 11, records));
  ASSERT_TRUE(o.ok) << o.messages;
  EXPECT_EQ(o.messages,
            "WARNING: wrong shape type 1 != 11 in record\n"
            "WARNING: wrong shape type 5 != 11 in record\n"
            "WARNING: wrong shape type 18 != 11 in record\n");
  testing::internal::CaptureStderr();
  const std::vector<SidePoint> read = side_points_of(*o.reader);
  testing::internal::GetCapturedStderr();
  std::vector<ShpVertex> expected = {records[0].vertices[0], records[2].vertices[0],
                                     records[4].vertices[0], records[5].vertices[0],
                                     records[5].vertices[1]};
  expected[1].z = 0.0;
  expect_vertices(read, expected, true);
}

TEST(LASreaderSHP, StatedCountsAndLengthsAreChecked) {
  TempDir dir;
  struct Case {
    const char* name;
    int32_t type;
    bool count_given;
    int32_t stated_count;
    bool length_given;
    int32_t stated_length;  // words
    const char* message;
  };
  const Case cases[] = {
      {"count beyond the record", 8, true, 4, false, 0,
       "ERROR: shapefile record 2 of shape type 8 has 4 points but only 48 bytes for them\n"},
      {"negative count", 18, true, -1, false, 0,
       "ERROR: shapefile record 2 of shape type 18 has -1 points but only 128 bytes for them\n"},
      {"huge count", 28, true, 2147483647, false, 0,
       "ERROR: shapefile record 2 of shape type 28 has 2147483647 points but only 88 bytes for "
       "them\n"},
      {"length below the shape type", 1, false, 0, true, 1,
       "ERROR: shapefile record 2 is 2 bytes long\n"},
      {"negative length", 1, false, 0, true, -5, "ERROR: shapefile record 2 is -10 bytes long\n"},
      {"length below the point", 11, false, 0, true, 10,
       "ERROR: shapefile record 2 of shape type 11 has 1 points but only 16 bytes for them\n"},
      {"multipoint below its box", 8, false, 0, true, 10,
       "ERROR: shapefile record 2 of shape type 8 is 20 bytes long\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ShpRecord> records(3);
    for (ShpRecord& r : records) {
      r.type = c.type;
      r.vertices = vertices(c.type == 8 || c.type == 18 || c.type == 28 ? 3 : 1, 630000);
    }
    records[1].count_given = c.count_given;
    records[1].stated_count = c.stated_count;
    records[1].length_given = c.length_given;
    records[1].stated_length = c.stated_length;
    Opened o = open_shp(write_shp(dir, c.type, records));
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.messages, c.message);
  }
}

// A file cut inside a record delivers the records before it, with a warning.
TEST(LASreaderSHP, CutFileDeliversWholeRecords) {
  TempDir dir;
  std::vector<ShpRecord> records(4);
  for (ShpRecord& r : records) {
    r.type = 18;
    r.vertices = vertices(2, 630000);
  }
  side_fixtures::Bytes bytes = side_fixtures::shp_bytes(18, records);
  bytes.resize(bytes.size() - 20);
  const std::string name = dir.file("cut.shp", std::string(bytes.begin(), bytes.end()));
  Opened o = open_shp(name);
  ASSERT_TRUE(o.ok) << o.messages;
  EXPECT_EQ(o.messages,
            "WARNING: end-of-file inside shapefile record 4. its points are not read\n");
  EXPECT_EQ(o.reader->npoints, 6);
  EXPECT_EQ(side_points_of(*o.reader).size(), 6u);
}

TEST(LASreaderSHP, HostileMainHeadersAreRefused) {
  TempDir dir;
  ShpRecord record;
  record.type = 1;
  record.vertices = vertices(1, 630000);
  struct Case {
    const char* name;
    size_t at;
    uint8_t value;
    size_t cut;
    const char* message;
  };
  const Case cases[] = {
      {"file code", 3, 0x0B, 0, "ERROR: wrong shapefile code 9995 != 9994\n"},
      {"version", 28, 0xE9, 0, "ERROR: wrong shapefile version 1001 != 1000\n"},
      {"polygon", 32, 5, 0, "ERROR: wrong shape type 5 != 1,11,21,8,18,28\n"},
      {"short header", 0, 0, 60, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    side_fixtures::Bytes bytes = side_fixtures::shp_bytes(1, {record});
    if (c.cut) {
      bytes.resize(c.cut);
    } else {
      bytes[c.at] = c.value;
    }
    Opened o = open_shp(dir.file("h.shp", std::string(bytes.begin(), bytes.end())));
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.messages, c.message);
  }
}

TEST(LASreaderSHP, VariantsReplaceTheQuantization) {
  TempDir dir;
  std::vector<ShpRecord> records(3);
  for (int k = 0; k < 3; k++) {
    records[k].type = 11;
    records[k].vertices = {vertices(3, 630000)[k]};
  }
  const std::string name = write_shp(dir, 11, records);
  Opened o = open_shp(name, new LASreaderSHPrescalereoffset(0.001, 0.001, 0, 630000, 4830000, 50));
  ASSERT_TRUE(o.ok) << o.messages;
  EXPECT_EQ(o.reader->header.x_scale_factor, 0.001);
  EXPECT_EQ(o.reader->header.z_scale_factor, 0.01);
  EXPECT_EQ(o.reader->header.z_offset, 50.0);
  const std::vector<SidePoint> read = side_points_of(*o.reader);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[1].X, 1250);
  EXPECT_EQ(read[1].Y, 1250);
  EXPECT_EQ(read[1].Z, 5001);
  // Reopened, the same points come again.
  ASSERT_TRUE(o.reader->reopen(name.c_str()));
  EXPECT_EQ(side_points_of(*o.reader), read);
}

bool have_ogr2ogr() {
  return std::system("command -v ogr2ogr >/dev/null 2>&1") == 0;
}

// Point shapefiles as users get them from ogr2ogr, built here from CSV files
// of well-known text: the common PointZ without M, PointZM, MultiPointZ and
// 2D points, read with the right points in the right order.
TEST(LASreaderSHP, ShapefilesWrittenByOgr2ogr) {
  if (!have_ogr2ogr()) GTEST_SKIP() << "ogr2ogr is not installed (scripts/setup.sh installs it)";
  TempDir dir;
  struct Case {
    const char* name;
    const char* wkt;  // one geometry per row; %d is the row
    int32_t type;
    int per_row;
  };
  const Case cases[] = {
      {"pointz", "POINT Z (%d.25 4830000.5 %d.5)", 11, 1},
      {"pointzm", "POINT ZM (%d.25 4830000.5 %d.5 9)", 11, 1},
      {"multipointz", "MULTIPOINT Z ((%d.25 4830000.5 %d.5),(%d.75 4830001 1),(1 2 3))", 18, 3},
      {"point", "POINT (%d.25 4830000.5)", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string csv = "WKT,id\n";
    std::vector<ShpVertex> expected;
    for (int row = 0; row < 5; row++) {
      const int x = 630000 + 3 * row;
      const int z = 100 + row;
      char line[256];
      std::snprintf(line, sizeof(line), c.wkt, x, z, x);
      csv += std::string("\"") + line + "\"," + std::to_string(row) + "\n";
      expected.push_back({x + 0.25, 4830000.5, c.type == 1 ? 0.0 : z + 0.5, 0});
      if (c.per_row == 3) {
        expected.push_back({x + 0.75, 4830001, 1, 0});
        expected.push_back({1, 2, 3, 0});
      }
    }
    const std::string csv_name = dir.file(std::string(c.name) + ".csv", csv);
    const std::string shp_name = dir.path + "/" + c.name + ".shp";
    const std::string command =
        "ogr2ogr -q -f 'ESRI Shapefile' '" + shp_name + "' '" + csv_name + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    Opened o = open_shp(shp_name);
    ASSERT_TRUE(o.ok) << o.messages;
    EXPECT_EQ(o.messages, "");
    EXPECT_EQ(o.reader->get_shape_type(), c.type);
    EXPECT_EQ(o.reader->npoints, static_cast<int64_t>(expected.size()));
    expect_vertices(side_points_of(*o.reader), expected, true);
  }
}

}  // namespace
