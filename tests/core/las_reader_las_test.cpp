#include "core/las_reader_las.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "las_fixture.hpp"

namespace {

struct Opened {
  bool ok;
  std::string err;
};

// Opens `bytes` (kept alive by the caller) through a memory stream.
Opened open_bytes(LASreaderLAS& reader, const std::vector<uint8_t>& bytes, bool peek = false) {
  testing::internal::CaptureStderr();
  const bool ok = reader.open_stream(
      new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size())), peek);
  return {ok, testing::internal::GetCapturedStderr()};
}

FixtureFile file_of(uint8_t minor, uint8_t format) {
  FixtureFile f;
  f.version_minor = minor;
  f.point_data_format = format;
  return f;
}

std::vector<uint8_t> payload(size_t n, uint8_t fill = 0) {
  return std::vector<uint8_t>(n, fill);
}

FixtureVlr vlr(const char* user_id, uint16_t record_id, std::vector<uint8_t> data) {
  FixtureVlr v;
  v.user_id = user_id;
  v.record_id = record_id;
  v.description = "test";
  v.data = std::move(data);
  return v;
}

std::vector<uint8_t> compressor_payload(uint8_t format, uint16_t record_length) {
  LAScompressorSetup setup;
  uint16_t n = 0;
  std::vector<LASitem> items;
  setup.setup_from_point_type(format, record_length, &n, &items);
  setup.setup(n, items.data(), format > 5 ? 3 : 2);
  setup.choose_version(2);
  return setup.to_payload();
}

TEST(LASreaderLASHeader, EveryFieldOfALas14Header) {
  FixtureFile f = file_of(4, 7);
  f.file_source_ID = 17;
  f.global_encoding = 0x11;
  f.guid_data_1 = 0xA1B2C3D4;
  f.guid_data_2 = 0x1234;
  f.guid_data_3 = 0x5678;
  f.guid_data_4 = {1, 2, 3, 4, 5, 6, 7, 8};
  f.system_identifier = "system";
  f.generating_software = "software";
  f.file_creation_day = 100;
  f.file_creation_year = 2021;
  f.scale = {0.001, 0.002, 0.004};
  f.offset = {1000, 2000, -5};
  f.extra_bytes = 3;
  const auto points = fixture_random_points(1, 25, 7, 3);
  const auto bytes = fixture_write_bytes(f, points);
  const FixtureHeader expected = fixture_make_header(f, points);

  LASreaderLAS reader;
  const Opened o = open_bytes(reader, bytes);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err, "");
  const LASheader& h = reader.header;
  EXPECT_EQ(std::string(h.file_signature, 4), "LASF");
  EXPECT_EQ(h.file_source_ID, 17);
  EXPECT_EQ(h.global_encoding, 0x11);
  EXPECT_EQ(h.project_ID_GUID_data_1, 0xA1B2C3D4u);
  EXPECT_EQ(h.project_ID_GUID_data_2, 0x1234);
  EXPECT_EQ(h.project_ID_GUID_data_3, 0x5678);
  EXPECT_EQ(h.project_ID_GUID_data_4[7], 8);
  EXPECT_EQ(std::string(h.system_identifier), "system");
  EXPECT_EQ(std::string(h.generating_software), "software");
  EXPECT_EQ(h.file_creation_day, 100);
  EXPECT_EQ(h.file_creation_year, 2021);
  EXPECT_EQ(h.version_minor, 4);
  EXPECT_EQ(h.header_size, 375);
  EXPECT_EQ(h.offset_to_point_data, expected.offset_to_point_data);
  EXPECT_EQ(h.point_data_format, 7);
  EXPECT_EQ(h.point_data_record_length, 39);
  EXPECT_EQ(h.number_of_point_records, expected.number_of_point_records);
  EXPECT_EQ(h.extended_number_of_point_records, 25u);
  for (int i = 0; i < 15; i++) {
    EXPECT_EQ(h.extended_number_of_points_by_return[i],
              expected.extended_number_of_points_by_return[i]);
  }
  EXPECT_EQ(h.x_scale_factor, 0.001);
  EXPECT_EQ(h.z_scale_factor, 0.004);
  EXPECT_EQ(h.y_offset, 2000);
  EXPECT_EQ(h.z_offset, -5);
  EXPECT_EQ(h.max_x, expected.max_x);
  EXPECT_EQ(h.min_z, expected.min_z);
  EXPECT_EQ(reader.npoints, 25);
  EXPECT_EQ(reader.format_code(), LASformatCode::las);
  EXPECT_EQ(reader.point.num_items, 3);  // POINT14, RGB14, BYTE14
  EXPECT_EQ(reader.point.extra_bytes_number, 3);
  EXPECT_EQ(reader.point.quantizer, &reader.header);
}

TEST(LASreaderLASHeader, HeaderSizesByVersion) {
  struct Case {
    uint8_t minor;
    uint16_t header_size;
    bool ok;
    uint32_t user_data;
    const char* message;
  };
  const Case cases[] = {
      {2, 229, true, 2, ""},
      {2, 226, false, 0, "ERROR: header size is 226 but should be at least 227\n"},
      {3, 227, true, 0,
       "WARNING: for LAS 1.3 header_size should at least be 235 but it is only 227\n"},
      {3, 240, true, 5, ""},
      {4, 235, false, 0,
       "WARNING: for LAS 1.4 header_size should at least be 235 but it is only 235\n"},
  };
  for (const auto& c : cases) {
    FixtureFile f = file_of(c.minor, 1);
    f.header_size = c.header_size;
    const auto bytes = fixture_write_bytes(f, fixture_random_points(2, 3, 1));
    LASreaderLAS reader;
    const Opened o = open_bytes(reader, bytes);
    EXPECT_EQ(o.ok, c.ok) << int(c.minor) << " " << c.header_size;
    if (c.minor == 4) {
      EXPECT_EQ(o.err,
                "ERROR: for LAS 1.4 header_size should at least be 375 but it is only 235\n");
      continue;
    }
    EXPECT_EQ(o.err, c.message);
    if (c.ok) {
      EXPECT_EQ(reader.header.user_data_in_header_size, c.user_data);
      EXPECT_EQ(reader.header.start_of_waveform_data_packet_record, 0u);
    }
  }
}

TEST(LASreaderLASHeader, ValidateRefusesAndWarns) {
  struct Case {
    size_t at;
    int bytes;
    uint64_t value;
    bool ok;
    const char* message;
  };
  const Case cases[] = {
      {0, 1, 'X', false, "ERROR: wrong file signature 'XASF'\n"},
      {24, 1, 2, true,
       "WARNING: unknown version 2.2 (should be 1.0 or 1.1 or 1.2 or 1.3 or 1.4)\n"},
      {96, 4, 200, false, "ERROR: offset to point data 200 is smaller than header size 227\n"},
      {131, 8, 0, true, "WARNING: x scale factor is zero.\n"},
  };
  for (const auto& c : cases) {
    auto bytes = fixture_write_bytes(file_of(2, 0), fixture_random_points(3, 2, 0));
    if (c.bytes == 1) fixture_put_u8(bytes, c.at, static_cast<uint8_t>(c.value));
    if (c.bytes == 4) fixture_put_u32(bytes, c.at, static_cast<uint32_t>(c.value));
    if (c.bytes == 8) fixture_put_u64(bytes, c.at, c.value);
    LASreaderLAS reader;
    const Opened o = open_bytes(reader, bytes);
    EXPECT_EQ(o.ok, c.ok) << c.at;
    EXPECT_EQ(o.err, c.message);
  }
  // swapped x bounds with points
  auto bytes = fixture_write_bytes(file_of(2, 0), fixture_random_points(3, 2, 0));
  fixture_put_f64(bytes, 179, -1.0);  // max_x
  fixture_put_f64(bytes, 187, 1.0);   // min_x
  LASreaderLAS reader;
  const Opened o = open_bytes(reader, bytes);
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.err.rfind("WARNING: invalid bounding box [ 1 ", 0), 0u) << o.err;
}

TEST(LASreaderLASHeader, TruncatedHeaderNamesTheField) {
  const auto full = fixture_write_bytes(file_of(4, 6), fixture_random_points(4, 2, 6));
  struct Case {
    size_t size;
    const char* message;
  };
  const Case cases[] = {
      {2, "ERROR: reading header.file_signature\n"},
      {120, "ERROR: reading header.number_of_points_by_return 2\n"},
      {190, "ERROR: reading header.min_x\n"},
      {300, "ERROR: reading header.extended_number_of_points_by_return[5]\n"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes(full.begin(), full.begin() + c.size);
    LASreaderLAS reader;
    const Opened o = open_bytes(reader, bytes);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.err, c.message);
  }
}

TEST(LASreaderLASHeader, ExtendedCountWhenLegacyCountIsZero) {
  FixtureFile f = file_of(4, 1);
  f.counts = FixtureCounts::kLegacyZero;
  const auto bytes = fixture_write_bytes(f, fixture_random_points(5, 1000, 1));
  LASreaderLAS reader;
  const Opened o = open_bytes(reader, bytes);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(reader.header.number_of_point_records, 0u);
  EXPECT_EQ(reader.npoints, 1000);
}

TEST(LASreaderLASHeader, PeekReadsOnlyTheHeader) {
  FixtureFile f = file_of(2, 3);
  f.vlrs.push_back(vlr("someone", 1, payload(10)));
  auto bytes = fixture_write_bytes(f, fixture_random_points(6, 2, 3));
  fixture_put_u8(bytes, 104, 3 | 128);
  LASreaderLAS reader;
  const Opened o = open_bytes(reader, bytes, true);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(reader.header.point_data_format, 3);
  EXPECT_TRUE(reader.header.vlrs.empty());
  EXPECT_EQ(reader.point.num_items, 0);
}

TEST(LASreaderLASVlrs, RecordsKeptRemovedAndPointedTo) {
  FixtureFile f = file_of(2, 1);
  std::vector<uint8_t> keys = {1, 0, 1, 0, 0, 0, 2, 0,  // directory, 2 keys
                               0, 4, 0, 0, 1, 0, 1, 0, 0, 12, 0, 0, 1, 0, 0x79, 0x7F};
  f.vlrs.push_back(vlr("LASF_Projection", 34735, keys));
  f.vlrs.push_back(vlr("Mirvelox", 1234, payload(7)));  // private: removed
  std::vector<uint8_t> tiling(28, 0);
  tiling[0] = 3;
  f.vlrs.push_back(vlr("Mirvelox", 10, tiling));
  f.vlrs.push_back(vlr("LASF_Projection", 2112, {'W', 'K', 'T', 0}));
  f.vlrs.push_back(vlr("Mirvelox", 2500, payload(3)));  // public id: kept
  f.vlrs.push_back(vlr("LASF_Spec", 0, payload(16, 9)));
  f.user_data_after_header = {1, 2, 3};
  const auto bytes = fixture_write_bytes(f, fixture_random_points(7, 2, 1));
  const FixtureHeader written = fixture_make_header(f, fixture_random_points(7, 2, 1));

  LASreaderLAS reader;
  const Opened o = open_bytes(reader, bytes);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err, "");
  const LASheader& h = reader.header;
  ASSERT_EQ(h.vlrs.size(), 4u);
  EXPECT_EQ(h.number_of_variable_length_records, 4u);
  EXPECT_EQ(h.vlrs[0].record_id, 34735);
  EXPECT_EQ(h.vlrs[1].record_id, 2112);
  EXPECT_EQ(h.vlrs[2].record_id, 2500);
  EXPECT_EQ(h.vlrs[3].record_id, 0);
  EXPECT_EQ(h.offset_to_point_data, written.offset_to_point_data - (54 + 7) - (54 + 28));
  ASSERT_NE(h.vlr_geo_keys, nullptr);
  EXPECT_EQ(h.vlr_geo_keys->number_of_keys, 2);
  EXPECT_EQ(h.vlr_geo_key_entries[1].value_offset, 32633);
  EXPECT_STREQ(h.vlr_geo_ogc_wkt, "WKT");
  ASSERT_NE(h.vlr_classification, nullptr);
  EXPECT_EQ(h.vlr_classification->class_number, 9);
  ASSERT_NE(h.vlr_lastiling, nullptr);
  EXPECT_EQ(h.vlr_lastiling->level, 3u);
  EXPECT_EQ(h.user_data_after_header_size, 3u);
  EXPECT_EQ(h.user_data_after_header[2], 3);
}

TEST(LASreaderLASVlrs, WarningsOfRecognisedRecords) {
  struct Case {
    FixtureVlr record;
    FixtureVlr second;
    const char* message;
  };
  std::vector<uint8_t> descr(26, 0);
  descr[0] = 8;
  descr[2] = 10;
  descr[6] = 1;
  std::vector<uint8_t> bad_descr = descr;
  bad_descr[0] = 12;
  bad_descr[2] = 0;
  bad_descr[6] = 0;
  const Case cases[] = {
      {vlr("LASF_Projection", 34736, {}),
       {},
       "WARNING: no payload for LASF_Projection VLR with record_id 34736.\n"},
      {vlr("LASF_Projection", 99, payload(2)),
       {},
       "WARNING: unknown LASF_Projection VLR with record_id 99.\n"},
      {vlr("LASF_Projection", 2111, payload(2)), vlr("LASF_Projection", 2111, payload(2)),
       "WARNING: variable length records contain more than one WKT OGC MATH TRANSFORM\n"},
      {vlr("LASF_Projection", 34737, payload(2)), vlr("LASF_Projection", 34737, payload(2)),
       "WARNING: variable length records contain more than one GeoAsciiParamsTag\n"},
      {vlr("LASF_Projection", 34735, {2, 0, 1, 0, 1, 0, 0, 0}),
       {},
       "WARNING: wrong vlr_geo_keys->key_directory_version: 2 != 1\n"
       "WARNING: wrong vlr_geo_keys->minor_revision: 1 != 0\n"},
      {vlr("LASF_Spec", 3, {}),
       {},
       "WARNING: no payload for LASF_Spec (not specification-conform).\n"},
      {vlr("LASF_Spec", 100, descr), vlr("LASF_Spec", 100, descr),
       "WARNING: variable length records defines wave packet descr 1 more than once\n"},
      {vlr("LASF_Spec", 101, bad_descr),
       {},
       "WARNING: bits per sample for wave packet descr 2 is 12 instead of 8 or 16\n"
       "WARNING: number of samples for wave packet descr 2 is zero\n"
       "WARNING: temporal spacing for wave packet descr 2 is zero\n"},
  };
  for (const auto& c : cases) {
    FixtureFile f = file_of(2, 0);
    f.vlrs.push_back(c.record);
    if (!c.second.user_id.empty()) f.vlrs.push_back(c.second);
    const auto bytes = fixture_write_bytes(f, {});
    LASreaderLAS reader;
    const Opened o = open_bytes(reader, bytes);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.err, c.message);
  }
}

TEST(LASreaderLASVlrs, ShortRecordsAreNotTrusted) {
  // a wave-packet descriptor shorter than 26 bytes is not registered
  {
    FixtureFile f = file_of(3, 4);
    f.vlrs.push_back(vlr("LASF_Spec", 105, payload(10, 8)));
    const auto bytes = fixture_write_bytes(f, {});
    LASreaderLAS reader;
    const Opened o = open_bytes(reader, bytes);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.err,
              "WARNING: variable length record payload for wave packet descr 6 is 10 instead of 26 "
              "bytes\n");
    ASSERT_NE(reader.header.vlr_wave_packet_descr, nullptr);
    EXPECT_EQ(reader.header.vlr_wave_packet_descr[6], nullptr);
  }
  // a GeoKey directory whose key count runs past its payload is ignored
  {
    FixtureFile f = file_of(2, 0);
    f.vlrs.push_back(
        vlr("LASF_Projection", 34735, {1, 0, 1, 0, 0, 0, 3, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
    const auto bytes = fixture_write_bytes(f, {});
    LASreaderLAS reader;
    const Opened o = open_bytes(reader, bytes);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.err, "WARNING: GeoKeyDirectoryTag of 16 bytes cannot hold 3 keys. ignoring it.\n");
    EXPECT_EQ(reader.header.vlr_geo_keys, nullptr);
    EXPECT_EQ(reader.header.vlr_geo_key_entries, nullptr);
    EXPECT_EQ(reader.header.vlrs.size(), 1u) << "the record itself stays";
  }
  // attributes claiming more than the extra bytes are refused
  {
    FixtureFile f = file_of(2, 0);
    f.extra_bytes = 4;
    FixtureAttribute a, b;
    a.data_type = 3;
    a.name = "short";
    b.data_type = 10;
    b.name = "double";
    f.vlrs.push_back(fixture_extra_bytes_vlr({a, b}));
    const auto bytes = fixture_write_bytes(f, {});
    LASreaderLAS reader;
    const Opened o = open_bytes(reader, bytes);
    EXPECT_TRUE(o.ok);
    EXPECT_NE(o.err.find("WARNING: attribute 1 ('double')"), std::string::npos) << o.err;
    EXPECT_EQ(reader.header.number_attributes, 1);
  }
}

TEST(LASreaderLASVlrs, TooManyAnnouncedVlrs) {
  FixtureFile f = file_of(2, 0);
  for (uint16_t i = 0; i < 3; i++) f.vlrs.push_back(vlr("u", i, payload(4)));
  auto bytes = fixture_write_bytes(f, fixture_random_points(8, 2, 0));
  fixture_put_u32(bytes, 100, 5);
  LASreaderLAS reader;
  const Opened o = open_bytes(reader, bytes);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err,
            "WARNING: only 0 bytes until point block after reading 3 of 5 vlrs. skipping "
            "remaining vlrs ...\n");
  EXPECT_EQ(reader.header.vlrs.size(), 3u);
  EXPECT_EQ(reader.header.number_of_variable_length_records, 3u);

  // an announced count in the billions allocates nothing up front
  fixture_put_u32(bytes, 100, 0xFFFFFFFFu);
  LASreaderLAS again;
  EXPECT_TRUE(open_bytes(again, bytes).ok);
  EXPECT_EQ(again.header.vlrs.size(), 3u);
}

TEST(LASreaderLASVlrs, PayloadRunningIntoThePoints) {
  FixtureFile f = file_of(2, 0);
  f.vlrs.push_back(vlr("u", 1, payload(20)));
  auto bytes = fixture_write_bytes(f, fixture_random_points(9, 2, 0));
  fixture_put_u16(bytes, 227 + 20, 30);
  LASreaderLAS reader;
  const Opened o = open_bytes(reader, bytes);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err,
            "WARNING: only 20 bytes until point block when trying to read 30 bytes into "
            "header.vlrs[0].data\n");
  EXPECT_EQ(reader.header.vlrs[0].record_length_after_header, 20);
}

TEST(LASreaderLASVlrs, TilingAndOriginalLengthsAreChecked) {
  struct Case {
    FixtureVlr record;
    const char* message;
  };
  const Case cases[] = {
      {vlr("Mirvelox", 10, payload(27)),
       "ERROR: record_length_after_header of VLR Mirvelox (10) is 27 instead of 28\n"},
      {vlr("mirvelox tile", 3, payload(30)),
       "ERROR: record_length_after_header of VLR mirvelox tile (3) is 30 instead of 28\n"},
      {vlr("Mirvelox", 20, payload(175)),
       "ERROR: record_length_after_header of VLR Mirvelox (20) is 175 instead of 176\n"},
  };
  for (const auto& c : cases) {
    FixtureFile f = file_of(2, 0);
    f.vlrs.push_back(c.record);
    const auto bytes = fixture_write_bytes(f, {});
    LASreaderLAS reader;
    const Opened o = open_bytes(reader, bytes);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.err, c.message);
  }
  FixtureFile f = file_of(2, 0);
  std::vector<uint8_t> original(176, 0);
  original[0] = 44;
  fixture_put_f64(original, 128, -7.5);  // min_x comes first on file
  f.vlrs.push_back(vlr("Mirvelox", 20, original));
  const auto bytes = fixture_write_bytes(f, {});
  LASreaderLAS reader;
  ASSERT_TRUE(open_bytes(reader, bytes).ok);
  ASSERT_NE(reader.header.vlr_lasoriginal, nullptr);
  EXPECT_EQ(reader.header.vlr_lasoriginal->number_of_point_records, 44u);
  EXPECT_EQ(reader.header.vlr_lasoriginal->min_x, -7.5);
  EXPECT_TRUE(reader.header.vlrs.empty());
}

TEST(LASreaderLASCompressed, CompressorRecordIsTakenOutOfTheList) {
  FixtureFile f = file_of(2, 3);
  f.vlrs.push_back(vlr("before", 1, payload(2)));
  f.vlrs.push_back(vlr("vexpak encoded", 22204, compressor_payload(3, 34)));
  f.vlrs.push_back(vlr("after", 1, payload(2)));
  auto bytes = fixture_write_bytes(f, {});
  const uint32_t written_offset = fixture_get_u32(bytes, 96);
  fixture_put_u8(bytes, 104, 3 | 128);
  LASreaderLAS reader;
  const Opened o = open_bytes(reader, bytes);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(reader.header.point_data_format, 3);
  EXPECT_EQ(reader.header.offset_to_point_data, written_offset - 54 - (34 + 3 * 6));
  ASSERT_EQ(reader.header.vlrs.size(), 2u);
  EXPECT_EQ(std::string(reader.header.vlrs[1].user_id), "after");
  ASSERT_NE(reader.header.vlr_compressor, nullptr);
  EXPECT_EQ(reader.header.vlr_compressor->num_items, 3);
  EXPECT_EQ(reader.format_code(), LASformatCode::vpk);
}

TEST(LASreaderLASCompressed, MissingOrBrokenCompressorRecord) {
  struct Case {
    std::vector<FixtureVlr> vlrs;
    uint32_t announced;  // 0: as written
    bool ok;
    std::string message;
  };
  auto longer = compressor_payload(0, 20);
  longer.push_back(0);
  auto shorter = compressor_payload(0, 20);
  shorter.pop_back();
  auto bad_size = compressor_payload(0, 20);
  const Case cases[] = {
      {{},
       0,
       false,
       "ERROR: this file was compressed with an experimental version of vexpak\n"
       "       please contact the makers of Mirvelox for assistance.\n"},
      {{vlr("u", 1, payload(2))},
       9,
       false,
       "WARNING: only 0 bytes until point block after reading 1 of 9 vlrs. skipping remaining "
       "vlrs ...\nERROR: your VPK file has corruptions in the LAS header resulting in\n"
       "ERROR: the vexpak VLR being lost. maybe your download failed?\n"},
      {{vlr("vexpak encoded", 22204, longer)},
       0,
       true,
       "WARNING: compressor record of 41 bytes holds 1 items of 40 bytes. skipping the rest.\n"},
      {{vlr("vexpak encoded", 22204, shorter)}, 0, false, "ERROR: reading version 0 of item 0\n"},
      {{vlr("vexpak encoded", 22204, compressor_payload(0, 24))},
       0,
       false,
       "ERROR: point has size of 20 but items only add up to 24 bytes (Vexpak v3.4r3)\n"
       "       please upgrade to the latest release of Mirvelox (with Vexpak)\n"
       "       or contact the makers of Mirvelox for assistance.\n"},
  };
  for (const auto& c : cases) {
    FixtureFile f = file_of(2, 0);
    f.vlrs = c.vlrs;
    auto bytes = fixture_write_bytes(f, {});
    fixture_put_u8(bytes, 104, 128);
    if (c.announced) fixture_put_u32(bytes, 100, c.announced);
    LASreaderLAS reader;
    const Opened o = open_bytes(reader, bytes);
    EXPECT_EQ(o.ok, c.ok);
    EXPECT_EQ(o.err, c.message);
  }
}

TEST(LASreaderLASEvlrs, ReadInterpretedAndBounded) {
  FixtureFile f = file_of(4, 6);
  FixtureEvlr wkt;
  wkt.user_id = "LASF_Projection";
  wkt.record_id = 2112;
  wkt.data = {'G', 'E', 'O', 0};
  FixtureEvlr priv;
  priv.user_id = "Mirvelox";
  priv.record_id = 30;
  priv.data = payload(12);
  FixtureEvlr other;
  other.user_id = "other";
  other.record_id = 5;
  other.data = payload(100, 7);
  f.evlrs = {wkt, priv, other};
  auto bytes = fixture_write_bytes(f, fixture_random_points(10, 4, 6));
  {
    LASreaderLAS reader;
    const Opened o = open_bytes(reader, bytes);
    ASSERT_TRUE(o.ok) << o.err;
    ASSERT_EQ(reader.header.evlrs.size(), 2u);
    EXPECT_EQ(reader.header.number_of_extended_variable_length_records, 2u);
    EXPECT_STREQ(reader.header.vlr_geo_ogc_wkt, "GEO");
    EXPECT_EQ(reader.header.evlrs[1].record_length_after_header, 100u);
    EXPECT_EQ(reader.header.evlrs[1].data[99], 7);
  }
  // a length beyond the end of the file is refused before any allocation
  const uint64_t start = fixture_get_u64(bytes, 235);
  fixture_put_u64(bytes, start + 20, 0x7FFFFFFFFFFFull);
  LASreaderLAS reader;
  const Opened o = open_bytes(reader, bytes);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err.rfind("ERROR: header.evlrs[0] claims 140737488355327 bytes but only ", 0), 0u)
      << o.err;
}

// EVLRs announced where the file has no room for them (a writer on a pipe
// whose points ended before it said): a warning, and the points are read.
TEST(LASreaderLASEvlrs, StartBeyondTheFileIsSkipped) {
  FixtureFile f = file_of(4, 6);
  FixtureEvlr e;
  e.user_id = "other";
  e.data = payload(4);
  f.evlrs = {e};
  const std::vector<FixturePoint> points = fixture_random_points(12, 5, 6);
  auto bytes = fixture_write_bytes(f, points);
  for (uint64_t moved : {uint64_t{bytes.size()} - 30, uint64_t{bytes.size()} + 30 * 10,
                         uint64_t{0x7FFFFFFFFFFFFFFFull}}) {
    SCOPED_TRACE(moved);
    fixture_put_u64(bytes, 235, moved);
    LASreaderLAS reader;
    const Opened o = open_bytes(reader, bytes);
    ASSERT_TRUE(o.ok) << o.err;
    EXPECT_EQ(o.err, "WARNING: no EVLRs at start_of_first_extended_variable_length_record " +
                         std::to_string(moved) + " of a file of " + std::to_string(bytes.size()) +
                         " bytes. skipping 1 EVLRs ...\n");
    EXPECT_EQ(reader.header.evlrs.size(), 0u);
    int n = 0;
    while (reader.read_point()) EXPECT_EQ(reader.point.X, points[static_cast<size_t>(n++)].X);
    EXPECT_EQ(n, 5);
  }
}

TEST(LASreaderLASEvlrs, NotSeekableStandardInputWarns) {
  FixtureFile f = file_of(4, 6);
  FixtureEvlr e;
  e.user_id = "other";
  e.data = payload(4);
  f.evlrs = {e};
  const auto bytes = fixture_write_bytes(f, fixture_random_points(11, 3, 6));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fds[1], bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    close(fds[1]);
  });
  FILE* in = fdopen(fds[0], "rb");
  LASreaderLAS reader;
  testing::internal::CaptureStderr();
  const bool ok = reader.open_cfile(in);
  const std::string err = testing::internal::GetCapturedStderr();
  reader.close_input(true);
  std::fclose(in);
  writer.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(err, "WARNING: LAS 1.4 file has 1 EVLRs but stream is not seekable ...\n");
}

TEST(LASreaderLASVariants, RescaleAndReoffsetHeaders) {
  FixtureFile f = file_of(2, 0);
  std::vector<FixturePoint> points(2);
  points[0].X = 30000000;  // 3.0e5 at 0.01
  points[1].X = 31000000;
  points[0].Y = 400000;
  points[1].Y = 600000;  // 4.0e3 .. 6.0e3
  const auto bytes = fixture_write_bytes(f, points);
  {
    LASreaderLASreoffset reader;
    const Opened o = open_bytes(reader, bytes);
    ASSERT_TRUE(o.ok) << o.err;
    EXPECT_EQ(reader.header.x_offset, 3.0e5);
    EXPECT_EQ(reader.header.y_offset, 0.0);
    EXPECT_TRUE(reader.reoffset_x);
    EXPECT_FALSE(reader.reoffset_y);
    EXPECT_EQ(reader.header.max_x, 3.1e5) << "the bounding box stays";
  }
  {
    LASreaderLASrescale reader(0.001, 0.0, 0.0);
    const Opened o = open_bytes(reader, bytes);
    ASSERT_TRUE(o.ok) << o.err;
    EXPECT_EQ(reader.header.x_scale_factor, 0.001);
    EXPECT_EQ(reader.header.y_scale_factor, 0.01);
    EXPECT_TRUE(reader.rescale_x);
    EXPECT_FALSE(reader.rescale_y);
  }
  {
    // 3.1e5 at 0.0001 is 3.1e9: does not fit 32 bits
    LASreaderLASrescale reader(0.0001, 0.0, 0.0);
    const Opened o = open_bytes(reader, bytes);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.err,
              "ERROR: rescaling from 0.01 to 0.0001 causes LAS integer overflow for min_x\n");
  }
  {
    LASreaderLASreoffset reader(-3.0e7, 0.0, 0.0);
    const Opened o = open_bytes(reader, bytes);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.err,
              "ERROR: reoffsetting from 0 to -3e+07 causes LAS integer overflow for min_x\n");
  }
  {
    LASreaderLASrescalereoffset reader(0.001, 0.001, 0.0);
    const Opened o = open_bytes(reader, bytes);
    ASSERT_TRUE(o.ok) << o.err;
    // automatic offsets with the new scale factors: 6.1e5 / 0.001 / 2e7 = 30.5 -> 30
    EXPECT_EQ(reader.header.x_offset, 30 * 10000000 * 0.001);
    EXPECT_EQ(reader.header.x_scale_factor, 0.001);
  }
  {
    LASreaderLASrescalereoffset reader(0.00001, 0.0, 0.0, 0.0, 0.0, 0.0);
    const Opened o = open_bytes(reader, bytes);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.err,
              "ERROR: rescaling from 0.01 to 1e-05 and reoffsetting from 0 to 0 causes LAS "
              "integer overflow for min_x\n");
  }
}

TEST(LASreaderLASOpen, FileErrors) {
  LASreaderLAS reader;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(reader.open_file(nullptr));
  EXPECT_FALSE(reader.open_file("/nonexistent/dir/x.las"));
  EXPECT_FALSE(reader.open_cfile(nullptr));
  EXPECT_FALSE(reader.open_stream(nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: file name pointer is zero\n"
            "ERROR: cannot open file '/nonexistent/dir/x.las' for read\n"
            "ERROR: file pointer is zero\n"
            "ERROR: ByteStreamIn* pointer is zero\n");
}

}  // namespace

namespace {

TEST(LASreaderLASVlrs, OffsetToPointDataBeyondTheFileIsRefusedBeforeAllocating) {
  auto bytes = fixture_write_bytes(file_of(2, 0), {});
  fixture_put_u32(bytes, 96, 0xF0000000u);
  LASreaderLAS reader;
  const Opened o = open_bytes(reader, bytes);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "ERROR: reading 4026531613 bytes of data into header.user_data_after_header\n");
}

}  // namespace
