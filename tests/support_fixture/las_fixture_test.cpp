#include "las_fixture.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Bytes at `at` as a little-endian unsigned value of `width` bytes, read by hand.
uint64_t raw(const std::vector<uint8_t>& bytes, size_t at, int width) {
  uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | bytes.at(at + i);
  return v;
}

FixtureFile layout_file() {
  FixtureFile f;
  f.version_minor = 4;
  f.point_data_format = 1;
  f.file_source_ID = 0x1234;
  f.global_encoding = 0x0011;
  f.guid_data_1 = 0xA1B2C3D4;
  f.guid_data_2 = 0x0506;
  f.guid_data_3 = 0x0708;
  f.guid_data_4 = {1, 2, 3, 4, 5, 6, 7, 8};
  f.system_identifier = "SYS";
  f.generating_software = "GEN";
  f.file_creation_day = 45;
  f.file_creation_year = 2021;
  f.scale = {0.01, 0.5, 0.25};
  f.offset = {1000.0, -2.0, 0.0};
  f.user_data_in_header = {0xEE, 0xEE, 0xEE};
  FixtureVlr v;
  v.reserved = 0xAABB;
  v.user_id = "user";
  v.record_id = 77;
  v.description = "desc";
  v.data = std::vector<uint8_t>(10, 0x5A);
  f.vlrs.push_back(v);
  f.user_data_after_header = {0xDD, 0xDD};
  FixtureEvlr e;
  e.user_id = "evlr";
  e.record_id = 9;
  e.data = {1, 2, 3};
  f.evlrs.push_back(e);
  return f;
}

std::vector<FixturePoint> layout_points() {
  FixturePoint a;
  a.X = 100;
  a.Y = -4;
  a.Z = 8;
  a.return_number = 1;
  a.number_of_returns = 2;
  FixturePoint b;
  b.X = -300;
  b.Y = 6;
  b.Z = 40;
  b.return_number = 2;
  b.number_of_returns = 2;
  return {a, b};
}

}  // namespace

TEST(LasFixtureLayout, HeaderFieldsAtTheirOffsets) {
  const std::vector<uint8_t> bytes = fixture_write_bytes(layout_file(), layout_points());
  // Header 375 + 3 bytes of user data; one VLR of 54 + 10; 2 bytes after it;
  // two records of 28 bytes; one EVLR of 60 + 3.
  ASSERT_EQ(bytes.size(), 378u + 64u + 2u + 56u + 63u);
  struct Row {
    size_t offset;
    int width;
    uint64_t value;
    const char* field;
  };
  const Row rows[] = {
      {0, 4, 0x4653414C, "file_signature LASF"},
      {4, 2, 0x1234, "file_source_ID"},
      {6, 2, 0x0011, "global_encoding"},
      {8, 4, 0xA1B2C3D4, "project_ID_GUID_data_1"},
      {12, 2, 0x0506, "project_ID_GUID_data_2"},
      {14, 2, 0x0708, "project_ID_GUID_data_3"},
      {16, 8, 0x0807060504030201ull, "project_ID_GUID_data_4"},
      {24, 1, 1, "version_major"},
      {25, 1, 4, "version_minor"},
      {26, 4, 0x00535953, "system_identifier SYS, zero padded"},
      {54, 4, 0, "system_identifier end"},
      {58, 4, 0x004E4547, "generating_software GEN"},
      {90, 2, 45, "file_creation_day"},
      {92, 2, 2021, "file_creation_year"},
      {94, 2, 378, "header_size"},
      {96, 4, 444, "offset_to_point_data"},
      {100, 4, 1, "number_of_variable_length_records"},
      {104, 1, 1, "point_data_format"},
      {105, 2, 28, "point_data_record_length"},
      {107, 4, 2, "number_of_point_records"},
      {111, 4, 1, "number_of_points_by_return[0]"},
      {115, 4, 1, "number_of_points_by_return[1]"},
      {119, 4, 0, "number_of_points_by_return[2]"},
      {131, 8, 0x3F847AE147AE147Bull, "x_scale_factor 0.01"},
      {139, 8, 0x3FE0000000000000ull, "y_scale_factor 0.5"},
      {147, 8, 0x3FD0000000000000ull, "z_scale_factor 0.25"},
      {155, 8, 0x408F400000000000ull, "x_offset 1000"},
      {163, 8, 0xC000000000000000ull, "y_offset -2"},
      {171, 8, 0, "z_offset 0"},
      {179, 8, 0x408F480000000000ull, "max_x 1001 = 100 * 0.01 + 1000"},
      {187, 8, 0x408F280000000000ull, "min_x 997 = -300 * 0.01 + 1000"},
      {195, 8, 0x3FF0000000000000ull, "max_y 1 = 6 * 0.5 - 2"},
      {203, 8, 0xC010000000000000ull, "min_y -4 = -4 * 0.5 - 2"},
      {211, 8, 0x4024000000000000ull, "max_z 10 = 40 * 0.25"},
      {219, 8, 0x4000000000000000ull, "min_z 2 = 8 * 0.25"},
      {227, 8, 0, "start_of_waveform_data_packet_record"},
      {235, 8, 500, "start_of_first_extended_variable_length_record = 444 + 2 * 28"},
      {243, 4, 1, "number_of_extended_variable_length_records"},
      {247, 8, 2, "extended_number_of_point_records"},
      {255, 8, 1, "extended_number_of_points_by_return[0]"},
      {263, 8, 1, "extended_number_of_points_by_return[1]"},
      {367, 8, 0, "extended_number_of_points_by_return[14]"},
      {375, 3, 0xEEEEEE, "user data in header"},
      {378, 2, 0xAABB, "vlr reserved"},
      {380, 4, 0x72657375, "vlr user_id 'user'"},
      {384, 4, 0, "vlr user_id padding"},
      {396, 2, 77, "vlr record_id"},
      {398, 2, 10, "vlr record_length_after_header"},
      {400, 4, 0x63736564, "vlr description 'desc'"},
      {432, 2, 0x5A5A, "vlr payload"},
      {442, 2, 0xDDDD, "user data after header"},
      {444, 4, 100, "first point X"},
      {472, 4, static_cast<uint32_t>(-300), "second point X"},
      {500, 2, 0, "evlr reserved"},
      {502, 4, 0x726C7665, "evlr user_id 'evlr'"},
      {518, 2, 9, "evlr record_id"},
      {520, 8, 3, "evlr record_length_after_header (64 bits)"},
      {560, 3, 0x030201, "evlr payload"},
  };
  for (const Row& r : rows) EXPECT_EQ(raw(bytes, r.offset, r.width), r.value) << r.field;
}

TEST(LasFixtureLayout, KnownHeaderSizesAndRecordLengths) {
  EXPECT_EQ(fixture_known_header_size(0), 227);
  EXPECT_EQ(fixture_known_header_size(2), 227);
  EXPECT_EQ(fixture_known_header_size(3), 235);
  EXPECT_EQ(fixture_known_header_size(4), 375);
  const uint16_t lengths[] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  for (uint8_t f = 0; f <= 10; ++f) EXPECT_EQ(fixture_standard_record_length(f), lengths[f]) << +f;
  EXPECT_EQ(fixture_standard_record_length(11), 0);
  struct Row {
    uint8_t minor;
    uint8_t highest_format;
  };
  for (const Row& r : {Row{0, 1}, Row{1, 1}, Row{2, 3}, Row{3, 5}, Row{4, 10}}) {
    EXPECT_TRUE(fixture_format_allowed(r.minor, r.highest_format)) << +r.minor;
    EXPECT_FALSE(fixture_format_allowed(r.minor, r.highest_format + 1)) << +r.minor;
  }
}

TEST(LasFixtureLayout, Format1PointByteByByte) {
  FixturePoint p;
  p.X = 0x01020304;
  p.Y = -2;
  p.Z = 1000;
  p.intensity = 0xABCD;
  p.return_number = 3;
  p.number_of_returns = 5;
  p.scan_direction_flag = true;
  p.classification = 6;
  p.keypoint_flag = true;
  p.scan_angle_rank = -12;
  p.user_data = 0x7F;
  p.point_source_ID = 0x0102;
  p.gps_time = 1.5;
  const std::vector<uint8_t> expected = {
      0x04, 0x03, 0x02, 0x01,  // X
      0xFE, 0xFF, 0xFF, 0xFF,  // Y = -2
      0xE8, 0x03, 0x00, 0x00,  // Z = 1000
      0xCD, 0xAB,              // intensity
      0x6B,                    // return 3, of 5 (<< 3), scan direction (0x40)
      0x46,                    // class 6, keypoint (0x40)
      0xF4,                    // scan angle rank -12
      0x7F,                    // user data
      0x02, 0x01,              // point source ID
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,  // GPS time 1.5
  };
  std::vector<uint8_t> out(28, 0xCC);
  fixture_encode_point(p, 1, 28, out.data());
  EXPECT_EQ(out, expected);
  EXPECT_EQ(fixture_point_difference(fixture_decode_point(expected.data(), 1, 28), p), "");
}

TEST(LasFixtureLayout, Format6PointByteByByte) {
  FixturePoint p;
  p.X = 1;
  p.Y = 2;
  p.Z = -1;
  p.intensity = 500;
  p.return_number = 9;
  p.number_of_returns = 12;
  p.synthetic_flag = true;
  p.withheld_flag = true;
  p.overlap_flag = true;
  p.scanner_channel = 2;
  p.edge_of_flight_line = true;
  p.classification = 200;
  p.user_data = 9;
  p.extended_scan_angle = -2500;
  p.point_source_ID = 7;
  p.gps_time = 2.0;
  const std::vector<uint8_t> expected = {
      0x01, 0x00, 0x00, 0x00,  // X
      0x02, 0x00, 0x00, 0x00,  // Y
      0xFF, 0xFF, 0xFF, 0xFF,  // Z = -1
      0xF4, 0x01,              // intensity 500
      0xC9,                    // return 9, of 12 (<< 4)
      0xAD,        // synthetic 0x01, withheld 0x04, overlap 0x08, channel 2 << 4, edge 0x80
      0xC8,        // class 200
      0x09,        // user data
      0x3C, 0xF6,  // scan angle -2500
      0x07, 0x00,  // point source ID
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  // GPS time 2.0
  };
  std::vector<uint8_t> out(30, 0xCC);
  fixture_encode_point(p, 6, 30, out.data());
  EXPECT_EQ(out, expected);
  EXPECT_EQ(fixture_point_difference(fixture_decode_point(expected.data(), 6, 30), p), "");
}

TEST(LasFixtureLayout, PartsOfEveryFormatAtTheirOffsets) {
  // Where GPS time, colour, NIR, wave packet and extra bytes start; -1 absent.
  struct Row {
    uint8_t format;
    int gps, rgb, nir, wave, extra;
  };
  const Row rows[] = {
      {0, -1, -1, -1, -1, 20}, {1, 20, -1, -1, -1, 28},  {2, -1, 20, -1, -1, 26},
      {3, 20, 28, -1, -1, 34}, {4, 20, -1, -1, 28, 57},  {5, 20, 28, -1, 34, 63},
      {6, 22, -1, -1, -1, 30}, {7, 22, 30, -1, -1, 36},  {8, 22, 30, 36, -1, 38},
      {9, 22, -1, -1, 30, 59}, {10, 22, 30, 36, 38, 67},
  };
  for (const Row& r : rows) {
    FixturePoint p;
    p.gps_time = -0.0;  // only the sign bit: byte 7 is 0x80
    p.rgb = {0x1111, 0x2222, 0x3333};
    p.nir = 0x4444;
    p.wavepacket.fill(0x55);
    p.extra_bytes = {0x66, 0x77};
    const uint16_t length = static_cast<uint16_t>(r.extra + 2);
    std::vector<uint8_t> out(length);
    fixture_encode_point(p, r.format, length, out.data());
    if (r.gps >= 0) {
      EXPECT_EQ(raw(out, r.gps, 8), 0x8000000000000000ull) << +r.format;
    }
    if (r.rgb >= 0) {
      EXPECT_EQ(raw(out, r.rgb, 6), 0x333322221111ull) << +r.format;
    }
    if (r.nir >= 0) {
      EXPECT_EQ(raw(out, r.nir, 2), 0x4444u) << +r.format;
    }
    if (r.wave >= 0) {
      EXPECT_EQ(raw(out, r.wave, 1), 0x55u) << +r.format;
      EXPECT_EQ(raw(out, r.wave + 28, 1), 0x55u) << +r.format;
    }
    EXPECT_EQ(raw(out, r.extra, 2), 0x7766u) << +r.format;
    size_t marked = 0;  // no stray bytes: exactly the parts the format has
    for (uint8_t b : out) marked += b != 0;
    size_t expected =
        2 + (r.gps >= 0) + (r.rgb >= 0 ? 6 : 0) + (r.nir >= 0 ? 2 : 0) + (r.wave >= 0 ? 29 : 0);
    // The return byte of a reset point (1 of 1) is set as well.
    EXPECT_EQ(marked, expected + 1) << +r.format;
  }
}

TEST(LasFixtureLayout, AttributeDescriptorAndSizes) {
  struct Row {
    uint8_t data_type, options;
    uint32_t size;
  };
  const Row rows[] = {{1, 0, 1},  {2, 0, 1},   {3, 0, 2},  {4, 0, 2},   {5, 0, 4},
                      {6, 0, 4},  {7, 0, 8},   {8, 0, 8},  {9, 0, 4},   {10, 0, 8},
                      {19, 0, 8}, {29, 0, 12}, {13, 0, 4}, {30, 0, 24}, {0, 7, 7}};
  for (const Row& r : rows) {
    EXPECT_EQ(fixture_attribute_size(r.data_type, r.options), r.size) << +r.data_type;
  }
  FixtureAttribute a;
  a.data_type = 3;
  a.options = 0x18;
  a.name = "height";
  a.min = {0x10};
  a.scale = {0.5, 0.0, 0.0};
  a.offset = {10.0, 0.0, 0.0};
  a.description = "above ground";
  std::array<uint8_t, 192> d = fixture_encode_attribute(a);
  std::vector<uint8_t> v(d.begin(), d.end());
  EXPECT_EQ(raw(v, 0, 2), 0u);
  EXPECT_EQ(v[2], 3);
  EXPECT_EQ(v[3], 0x18);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&v[4])), "height");
  EXPECT_EQ(raw(v, 36, 4), 0u);
  EXPECT_EQ(v[64], 0x10);                            // min
  EXPECT_EQ(raw(v, 112, 8), 0x3FE0000000000000ull);  // scale 0.5
  EXPECT_EQ(raw(v, 136, 8), 0x4024000000000000ull);  // offset 10
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&v[160])), "above ground");
  FixtureVlr vlr = fixture_extra_bytes_vlr({a, a});
  EXPECT_EQ(vlr.user_id, "LASF_Spec");
  EXPECT_EQ(vlr.record_id, 4);
  EXPECT_EQ(vlr.data.size(), 384u);
}

TEST(LasFixtureRoundTrip, EveryVersionAndFormat) {
  for (uint8_t minor = 0; minor <= 4; ++minor) {
    for (uint8_t format = 0; format <= 10; ++format) {
      if (!fixture_format_allowed(minor, format)) continue;
      SCOPED_TRACE("LAS 1." + std::to_string(minor) + " format " + std::to_string(format));
      FixtureFile f;
      f.version_minor = minor;
      f.point_data_format = format;
      f.extra_bytes = 3;
      f.scale = {0.001, 0.01, 0.1};
      f.offset = {500000.0, 4000000.0, -10.0};
      f.file_source_ID = static_cast<uint16_t>(minor * 100 + format);
      f.user_data_in_header = {1, 2};
      FixtureAttribute attribute;
      attribute.data_type = 0;
      attribute.options = 3;
      attribute.name = "three bytes";
      f.vlrs.push_back(fixture_extra_bytes_vlr({attribute}));
      FixtureVlr empty;
      empty.user_id = "exactly16chars..";
      empty.record_id = 65535;
      empty.description = "a description of thirty-two char";
      f.vlrs.push_back(empty);
      f.user_data_after_header = {9, 8, 7};
      if (minor == 4) {
        FixtureEvlr e;
        e.user_id = "big";
        e.data = std::vector<uint8_t>(70000, 0x42);
        f.evlrs.push_back(e);
      }
      const std::vector<FixturePoint> points =
          fixture_random_points(1000u + minor * 16u + format, 50, format, 3);
      const std::vector<uint8_t> bytes = fixture_write_bytes(f, points);
      FixtureContents c;
      std::string error;
      ASSERT_TRUE(fixture_read_bytes(bytes, &c, &error)) << error;
      EXPECT_EQ(fixture_file_difference(c.file, f), "");
      ASSERT_EQ(c.points.size(), points.size());
      for (size_t i = 0; i < points.size(); ++i) {
        ASSERT_EQ(fixture_point_difference(c.points[i], points[i]), "") << "point " << i;
      }
      const FixtureHeader expected = fixture_make_header(f, points);
      EXPECT_EQ(c.header.number_of_point_records, minor == 4 && format > 5 ? 0u : 50u);
      EXPECT_EQ(c.header.extended_number_of_point_records, minor == 4 ? 50u : 0u);
      EXPECT_EQ(c.header.number_of_points_by_return, expected.number_of_points_by_return);
      EXPECT_EQ(c.header.extended_number_of_points_by_return,
                expected.extended_number_of_points_by_return);
      EXPECT_EQ(c.header.offset_to_point_data, expected.offset_to_point_data);
      EXPECT_EQ(c.header.max_x, expected.max_x);
      EXPECT_EQ(c.header.min_z, expected.min_z);
      // The description read back writes the same bytes again.
      EXPECT_EQ(fixture_write_bytes(c.file, c.points), bytes);
    }
  }
}

TEST(LasFixtureRoundTrip, CountsByReturnAndLegacyZero) {
  FixtureFile f;
  f.version_minor = 4;
  f.point_data_format = 6;
  std::vector<FixturePoint> points(4);
  const uint8_t returns[4][2] = {{1, 1}, {1, 12}, {7, 12}, {12, 12}};
  for (size_t i = 0; i < 4; ++i) {
    points[i].return_number = returns[i][0];
    points[i].number_of_returns = returns[i][1];
  }
  FixtureHeader h = fixture_make_header(f, points);
  EXPECT_EQ(h.number_of_point_records, 0u);
  EXPECT_EQ(h.number_of_points_by_return, (std::array<uint32_t, 5>{}));
  EXPECT_EQ(h.extended_number_of_points_by_return,
            (std::array<uint64_t, 15>{2, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0}));

  f.point_data_format = 1;
  for (FixturePoint& p : points) {
    p.return_number = static_cast<uint8_t>((p.return_number - 1) % 7 + 1);
    p.number_of_returns = 7;
  }
  h = fixture_make_header(f, points);
  EXPECT_EQ(h.number_of_point_records, 4u);
  EXPECT_EQ(h.number_of_points_by_return, (std::array<uint32_t, 5>{2, 0, 0, 0, 1}));
  f.counts = FixtureCounts::kLegacyZero;
  std::vector<uint8_t> bytes = fixture_write_bytes(f, points);
  EXPECT_EQ(raw(bytes, 107, 4), 0u);
  EXPECT_EQ(raw(bytes, 247, 8), 4u);
  FixtureContents c;
  ASSERT_TRUE(fixture_read_bytes(bytes, &c));
  EXPECT_EQ(c.points.size(), 4u);
  EXPECT_EQ(c.file.counts, FixtureCounts::kLegacyZero);
}

TEST(LasFixtureRoundTrip, ExplicitHeaderSizes) {
  struct Row {
    uint8_t minor;
    uint16_t header_size;
    size_t user_data;
  };
  // 1.2 with 229 holds 2 bytes of user data; 1.3 with 227 ends before the
  // waveform field and holds none.
  for (const Row& r : {Row{2, 229, 2}, Row{3, 227, 0}, Row{3, 240, 5}, Row{4, 380, 5}}) {
    FixtureFile f;
    f.version_minor = r.minor;
    f.header_size = r.header_size;
    std::vector<FixturePoint> points = fixture_random_points(5, 3, 0);
    std::vector<uint8_t> bytes = fixture_write_bytes(f, points);
    EXPECT_EQ(raw(bytes, 94, 2), r.header_size);
    EXPECT_EQ(raw(bytes, 96, 4), r.header_size);
    EXPECT_EQ(bytes.size(), r.header_size + 3u * 20u);
    FixtureContents c;
    std::string error;
    ASSERT_TRUE(fixture_read_bytes(bytes, &c, &error)) << error;
    EXPECT_EQ(c.file.user_data_in_header.size(), r.user_data) << r.header_size;
    EXPECT_EQ(c.points.size(), 3u);
    EXPECT_EQ(fixture_write_bytes(c.file, c.points), bytes);
  }
}

TEST(LasFixtureRead, RefusesBrokenFiles) {
  FixtureFile f;
  f.version_minor = 4;
  f.point_data_format = 3;
  FixtureEvlr e;
  e.data = {1, 2, 3, 4};
  f.evlrs.push_back(e);
  const std::vector<uint8_t> good = fixture_write_bytes(f, fixture_random_points(3, 10, 3));
  struct Row {
    const char* name;
    size_t at;
    int width;  // 0: cut the file to `at` bytes
    uint64_t value;
    const char* error;
  };
  const size_t points_end = 375 + 10 * 34;
  const Row rows[] = {
      {"signature", 0, 1, 'X', "file signature is not LASF"},
      {"too short", 200, 0, 0, "shorter than 227 bytes"},
      {"header size", 94, 2, 226, "header size below 227"},
      {"1.4 header size", 94, 2, 300, "LAS 1.4 header size below 375"},
      {"compressed", 104, 1, 0x83, "point data format above 10 (compressed?)"},
      {"record length", 105, 2, 33, "record length below standard"},
      {"offset", 96, 4, 100000, "offset to point data beyond the end"},
      {"truncated points", points_end - 1, 0, 0, "point records run past the end"},
      {"evlr start", 235, 8, points_end + 10, "EVLR header runs past the end"},
      {"evlr length", points_end + 20, 8, 5, "EVLR payload runs past the end"},
  };
  for (const Row& r : rows) {
    std::vector<uint8_t> bytes = good;
    if (r.width == 0) {
      bytes.resize(r.at);
    } else {
      for (int i = 0; i < r.width; ++i) bytes[r.at + i] = static_cast<uint8_t>(r.value >> (8 * i));
    }
    FixtureContents c;
    std::string error;
    EXPECT_FALSE(fixture_read_bytes(bytes, &c, &error)) << r.name;
    EXPECT_EQ(error, r.error) << r.name;
  }
}

TEST(LasFixtureRead, RefusesBrokenVlrs) {
  FixtureFile f;
  std::vector<uint8_t> bytes = fixture_write_bytes(f, {});
  fixture_put_u32(bytes, 100, 1);  // one VLR announced, none there
  FixtureContents c;
  std::string error;
  EXPECT_FALSE(fixture_read_bytes(bytes, &c, &error));
  EXPECT_EQ(error, "VLR header runs past the end");

  FixtureVlr v;
  v.data = std::vector<uint8_t>(20, 1);
  f.vlrs.push_back(v);
  bytes = fixture_write_bytes(f, {});
  ASSERT_EQ(fixture_get_u32(bytes, 96), 227u + 54u + 20u);
  fixture_put_u16(bytes, 227 + 20, 21);  // payload one byte longer than the data
  EXPECT_FALSE(fixture_read_bytes(bytes, &c, &error));
  EXPECT_EQ(error, "VLR payload runs past the end");
  fixture_put_u16(bytes, 227 + 20, 20);
  fixture_put_u32(bytes, 96, 227 + 54 + 19);  // point data starts inside the payload
  EXPECT_FALSE(fixture_read_bytes(bytes, &c, &error));
  EXPECT_EQ(error, "VLRs run past the offset to point data");
}

TEST(LasFixtureFile, WritesAndReadsAFile) {
  const std::string path = ::testing::TempDir() + "las_fixture_file_test.las";
  FixtureFile f;
  f.point_data_format = 3;
  std::vector<FixturePoint> points = fixture_random_points(11, 20, 3);
  std::string error;
  ASSERT_TRUE(fixture_write_file(path, f, points, &error)) << error;
  FixtureContents c;
  ASSERT_TRUE(fixture_read_file(path, &c, &error)) << error;
  EXPECT_EQ(c.points, points);
  std::remove(path.c_str());
  EXPECT_FALSE(fixture_read_file(path, &c, &error));
  EXPECT_EQ(error, "cannot open '" + path + "' for reading");
}

TEST(LasFixtureRandom, PointsAreValidAndRepeatable) {
  for (uint8_t format = 0; format <= 10; ++format) {
    std::vector<FixturePoint> a = fixture_random_points(42, 500, format, 2);
    std::vector<FixturePoint> b = fixture_random_points(42, 500, format, 2);
    EXPECT_EQ(a, b);
    const int max_returns = format >= 6 ? 15 : 7;
    bool saw_max = false;
    for (const FixturePoint& p : a) {
      ASSERT_GE(p.return_number, 1);
      ASSERT_LE(p.return_number, p.number_of_returns);
      ASSERT_LE(p.number_of_returns, max_returns);
      saw_max = saw_max || p.number_of_returns == max_returns;
      if (format < 6) {
        ASSERT_LT(p.classification, 32);
        ASSERT_EQ(p.extended_scan_angle, 0);
        ASSERT_FALSE(p.overlap_flag);
      } else {
        ASSERT_EQ(p.scan_angle_rank, 0);
      }
      ASSERT_EQ(p.extra_bytes.size(), 2u);
    }
    EXPECT_TRUE(saw_max) << +format;
  }
  EXPECT_NE(fixture_random_points(1, 5, 1), fixture_random_points(2, 5, 1));
}
