// QFIT files written from their layout: the three record sizes in both byte
// orders, the attributes and derived fields, the box of the whole file, the
// re-quantizing variants and hostile layouts.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "io/formats/las_reader_qfit.hpp"
#include "side_fixtures.hpp"
#include "side_test_points.hpp"
#include "temp_dir.hpp"

namespace {

using side_fixtures::QfitRecord;

std::vector<QfitRecord> some_records(int n) {
  std::vector<QfitRecord> records;
  for (int i = 0; i < n; i++) {
    QfitRecord r;
    r.time_ms = 36000000 + 7 * i;
    r.latitude = 69123456 + 1000 * i;
    // East of 180 degrees the longitude is taken west of Greenwich.
    r.longitude = i % 2 ? 200000000 + i : 45000000 - i;
    r.elevation = 1500123 - 11 * i;
    r.intensity_word = 0x12340000 + 17 * i;
    r.azimuth = i == 0 ? 0 : i == 1 ? 90000 : i == 2 ? 359999 : 123456 + i;
    r.pitch = -1500 + i;
    r.roll = 2500 - i;
    r.pulse_width = static_cast<uint8_t>(30 + i);
    records.push_back(r);
  }
  return records;
}

using Opened = OpenedReader<LASreaderQFIT>;

Opened open_qfit(const TempDir& dir, const side_fixtures::Bytes& bytes,
                 LASreaderQFIT* reader = nullptr) {
  return open_side(dir.file("f.qi", std::string(bytes.begin(), bytes.end())), reader);
}

TEST(LASreaderQFIT, RecordSizesAndByteOrders) {
  TempDir dir;
  const std::vector<QfitRecord> records = some_records(5);
  for (int size : {40, 48, 56}) {
    for (bool big : {false, true}) {
      SCOPED_TRACE(std::to_string(size) + (big ? " big-endian" : " little-endian"));
      Opened o = open_qfit(dir, side_fixtures::qfit_bytes(size, big, records));
      ASSERT_TRUE(o.ok) << o.messages;
      EXPECT_EQ(o.reader->get_record_size(), size);
      EXPECT_EQ(o.reader->is_big_endian(), big);
      const LASheader& h = o.reader->header;
      EXPECT_EQ(h.point_data_format, 1);
      const int attributes = size >= 48 ? 4 : 3;
      ASSERT_EQ(h.number_attributes, attributes);
      EXPECT_EQ(h.point_data_record_length, 28 + 12 + (size >= 48 ? 1 : 0));
      EXPECT_STREQ(h.attributes[0].name, "scan azimuth");
      EXPECT_STREQ(h.attributes[1].name, "pitch");
      EXPECT_STREQ(h.attributes[2].name, "roll");
      EXPECT_EQ(h.attributes[0].data_type, 6);
      EXPECT_EQ(h.attributes[0].scale[0], 0.001);
      if (size >= 48) {
        EXPECT_STREQ(h.attributes[3].name, "pulse width");
        EXPECT_EQ(h.attributes[3].data_type, 1);
        EXPECT_EQ(h.attributes[3].options, 0);
      }
      EXPECT_NE(h.find_vlr("LASF_Spec", 4), nullptr);
      EXPECT_NE(h.find_vlr("LASF_Projection", 34735), nullptr);
      EXPECT_EQ(h.number_of_point_records, 5u);
      EXPECT_EQ(h.number_of_points_by_return[0], 5u);
      EXPECT_EQ(h.x_scale_factor, 1e-6);
      EXPECT_EQ(h.z_scale_factor, 0.001);
      EXPECT_STREQ(h.generating_software, "via LASreaderQFIT (210531)");
      const std::vector<SidePoint> read = side_points_of(*o.reader);
      ASSERT_EQ(read.size(), records.size());
      for (size_t k = 0; k < records.size(); k++) {
        SCOPED_TRACE(k);
        const QfitRecord& r = records[k];
        const int32_t lon = r.longitude > 180000000 ? r.longitude - 360000000 : r.longitude;
        EXPECT_EQ(read[k].X, lon);
        EXPECT_EQ(read[k].Y, r.latitude);
        EXPECT_EQ(read[k].Z, r.elevation);
        EXPECT_EQ(read[k].gps_time, r.time_ms * 0.001);
        EXPECT_EQ(read[k].intensity, r.intensity_word & 0xFFFF);
        ASSERT_EQ(read[k].attributes.size(), static_cast<size_t>(attributes));
        EXPECT_DOUBLE_EQ(read[k].attributes[0], r.azimuth * 0.001);
        EXPECT_DOUBLE_EQ(read[k].attributes[1], r.pitch * 0.001);
        EXPECT_DOUBLE_EQ(read[k].attributes[2], r.roll * 0.001);
        if (size >= 48) {
          EXPECT_EQ(read[k].attributes[3], r.pulse_width);
        }
      }
      // Azimuth 0 limits to -128, 90 degrees gives -90, 359.999 limits to 127.
      EXPECT_EQ(read[0].scan_angle, -128);
      EXPECT_EQ(read[1].scan_angle, -90);
      EXPECT_EQ(read[2].scan_angle, 127);
      EXPECT_NEAR(read[1].x, -159.999999, 1e-9);
    }
  }
}

// The box holds every record, not a sample of them; a seek goes to its record.
TEST(LASreaderQFIT, BoxHoldsEveryRecord) {
  TempDir dir;
  std::vector<QfitRecord> records = some_records(120);
  for (QfitRecord& r : records) r.longitude = 10000000;
  records[77].longitude = 9000000;
  records[101].elevation = 9999999;
  records[3].latitude = -1000000;
  Opened o = open_qfit(dir, side_fixtures::qfit_bytes(48, true, records));
  ASSERT_TRUE(o.ok) << o.messages;
  const LASheader& h = o.reader->header;
  EXPECT_DOUBLE_EQ(h.min_x, 9.0);
  EXPECT_DOUBLE_EQ(h.max_x, 10.0);
  EXPECT_DOUBLE_EQ(h.min_y, -1.0);
  EXPECT_DOUBLE_EQ(h.max_z, 9999.999);
  EXPECT_EQ(side_points_of(*o.reader).size(), 120u);
  ASSERT_TRUE(o.reader->seek_point(101));
  ASSERT_TRUE(o.reader->read_point());
  EXPECT_EQ(o.reader->point.Z, 9999999);
  EXPECT_FALSE(o.reader->seek_point(120));
  // A second pass from the file's name starts at its first record.
  ASSERT_TRUE(o.reader->reopen((dir.path + "/f.qi").c_str()));
  EXPECT_EQ(side_points_of(*o.reader).size(), 120u);
}

TEST(LASreaderQFIT, VariantsRequantizeEveryPoint) {
  TempDir dir;
  const side_fixtures::Bytes bytes = side_fixtures::qfit_bytes(40, false, some_records(6));
  Opened plain = open_qfit(dir, bytes);
  ASSERT_TRUE(plain.ok);
  const std::vector<SidePoint> expected = side_points_of(*plain.reader);
  Opened o = open_qfit(dir, bytes, new LASreaderQFITrescalereoffset(1e-5, 0, 0.01, -100, 60, 0));
  ASSERT_TRUE(o.ok) << o.messages;
  EXPECT_EQ(o.reader->header.x_scale_factor, 1e-5);
  EXPECT_EQ(o.reader->header.y_scale_factor, 1e-6);
  EXPECT_EQ(o.reader->header.x_offset, -100.0);
  const std::vector<SidePoint> read = side_points_of(*o.reader);
  ASSERT_EQ(read.size(), expected.size());
  for (size_t k = 0; k < read.size(); k++) {
    EXPECT_NEAR(read[k].x, expected[k].x, 0.5e-5 + 1e-9) << k;
    EXPECT_NEAR(read[k].y, expected[k].y, 0.5e-6 + 1e-9) << k;
    EXPECT_NEAR(read[k].z, expected[k].z, 0.005 + 1e-9) << k;
    EXPECT_EQ(read[k].attributes, expected[k].attributes);
  }
}

TEST(LASreaderQFIT, HostileLayoutsAreRefused) {
  TempDir dir;
  const std::vector<QfitRecord> records = some_records(3);
  struct Case {
    const char* name;
    side_fixtures::Bytes bytes;
    const char* message;
  };
  side_fixtures::Bytes size64 = side_fixtures::qfit_bytes(40, false, records);
  size64[0] = 64;
  side_fixtures::Bytes cut_first = side_fixtures::qfit_bytes(40, false, records);
  cut_first.resize(46);
  side_fixtures::Bytes no_records = side_fixtures::qfit_bytes(48, true, {});
  const Case cases[] = {
      {"empty", {}, "ERROR: reading QFIT header\n"},
      {"record size 64", size64, "ERROR: corrupt QFIT header.\n"},
      {"no offset word", cut_first, "ERROR: reading point start offset from QFIT header\n"},
      {"no records", no_records, "ERROR: no QFIT point record after the offset 56 in 56 bytes\n"},
      {"offset beyond the end", side_fixtures::qfit_bytes(40, false, records, 0), ""},
      {"offset 0", side_fixtures::qfit_bytes(40, false, records, 0),
       "ERROR: QFIT point start offset 0 lies inside the header that ends at byte 48\n"},
      {"offset 4", side_fixtures::qfit_bytes(48, true, records, 4),
       "ERROR: QFIT point start offset 4 lies inside the header that ends at byte 56\n"},
      {"offset at the offset word", side_fixtures::qfit_bytes(56, false, records, 60),
       "ERROR: QFIT point start offset 60 lies inside the header that ends at byte 64\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    side_fixtures::Bytes bytes = c.bytes;
    if (std::string(c.name) == "offset beyond the end") {
      bytes[46] = 0xFF;
      bytes[47] = 0xFF;
    }
    Opened o = open_qfit(dir, bytes);
    EXPECT_FALSE(o.ok);
    if (*c.message) {
      EXPECT_EQ(o.messages, c.message);
    } else {
      EXPECT_NE(o.messages.find("ERROR: no QFIT point record"), std::string::npos) << o.messages;
    }
  }
}

}  // namespace
