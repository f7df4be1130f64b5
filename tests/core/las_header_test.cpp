#include "core/las_header.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/las_point.hpp"

namespace {

std::unique_ptr<uint8_t[]> bytes(size_t n, uint8_t fill = 0xAB) {
  std::unique_ptr<uint8_t[]> data(new uint8_t[n]);
  std::memset(data.get(), fill, n);
  return data;
}

std::string description_of(const LASvlrRecord& vlr) {
  return std::string(vlr.description, strnlen(vlr.description, 32));
}

TEST(LASheaderDefaults, NewHeader) {
  LASheader header;
  EXPECT_EQ(std::string(header.file_signature, 4), "LASF");
  EXPECT_EQ(header.version_major, 1);
  EXPECT_EQ(header.version_minor, 2);
  EXPECT_EQ(header.header_size, 227);
  EXPECT_EQ(header.offset_to_point_data, 227u);
  EXPECT_EQ(header.point_data_record_length, 20);
  EXPECT_EQ(header.point_data_format, 0);
  EXPECT_EQ(header.x_scale_factor, 0.01);
  EXPECT_EQ(header.y_scale_factor, 0.01);
  EXPECT_EQ(header.z_scale_factor, 0.01);
  EXPECT_EQ(header.x_offset, 0.0);
  EXPECT_EQ(header.number_of_variable_length_records, 0u);
  EXPECT_EQ(header.number_attributes, 0);
  EXPECT_EQ(header.vlr_compressor, nullptr);
}

TEST(LASheaderVlrs, OffsetToPointDataFollowsEveryChange) {
  LASheader header;
  struct Step {
    const char* what;
    uint16_t record_id;
    int payload;  // -1: erase
    bool append;
    uint32_t offset;
    uint32_t count;
  };
  const Step steps[] = {
      {"insert 100", 1, 100, false, 381, 1},    {"replace with 40", 1, 40, false, 321, 1},
      {"replace with 0", 1, 0, false, 281, 1},  {"replace with 10", 1, 10, false, 291, 1},
      {"append same ids", 1, 20, true, 365, 2}, {"other id", 2, 0, false, 419, 3},
      {"erase", 2, -1, false, 365, 2},          {"erase first match", 1, -1, false, 301, 1},
      {"erase last", 1, -1, false, 227, 0},
  };
  for (const auto& s : steps) {
    if (s.payload < 0) {
      EXPECT_TRUE(header.erase_vlr("test", s.record_id)) << s.what;
    } else {
      EXPECT_TRUE(header.insert_vlr("test", s.record_id, static_cast<uint16_t>(s.payload),
                                    s.payload ? bytes(s.payload) : nullptr, false, nullptr,
                                    s.append))
          << s.what;
    }
    EXPECT_EQ(header.offset_to_point_data, s.offset) << s.what;
    EXPECT_EQ(header.number_of_variable_length_records, s.count) << s.what;
    EXPECT_EQ(header.vlrs.size(), s.count) << s.what;
  }
  EXPECT_FALSE(header.erase_vlr("test", 1));
  EXPECT_FALSE(header.erase_vlr_at(0));
  EXPECT_EQ(header.offset_to_point_data, 227u);
}

TEST(LASheaderVlrs, FieldsAndDescriptions) {
  LASheader header;
  header.insert_vlr("a_user_id_of_more_than_16", 7, 3, bytes(3, 5));
  const LASvlrRecord& vlr = header.vlrs[0];
  EXPECT_EQ(std::string(vlr.user_id, 16), "a_user_id_of_mor");
  EXPECT_EQ(vlr.record_id, 7);
  EXPECT_EQ(vlr.record_length_after_header, 3);
  EXPECT_EQ(vlr.data[2], 5);
  EXPECT_EQ(description_of(vlr), "by Mirvelox of Zentoravik GmbH");

  header.insert_vlr("x", 1, 0, nullptr, false, "0123456789012345678901234567890123456789");
  EXPECT_EQ(description_of(header.vlrs[1]), "0123456789012345678901234567890");
  EXPECT_EQ(header.vlrs[1].data, nullptr);

  // keep-description keeps the earlier text of an existing record only
  header.insert_vlr("x", 1, 2, bytes(2), true, "new text");
  EXPECT_EQ(description_of(header.vlrs[1]), "0123456789012345678901234567890");
  header.insert_vlr("x", 2, 2, bytes(2), true, "new text");
  EXPECT_EQ(description_of(header.vlrs[2]), "new text");
  header.insert_vlr("x", 1, 2, bytes(2), false, "replaced");
  EXPECT_EQ(description_of(header.vlrs[1]), "replaced");
}

TEST(LASheaderVlrs, ErasingMovesTheLastIntoTheGap) {
  LASheader header;
  for (uint16_t id = 1; id <= 3; id++) header.insert_vlr("u", id, id, bytes(id));
  ASSERT_TRUE(header.erase_vlr_at(0));
  ASSERT_EQ(header.vlrs.size(), 2u);
  EXPECT_EQ(header.vlrs[0].record_id, 3);
  EXPECT_EQ(header.vlrs[1].record_id, 2);
  EXPECT_EQ(header.offset_to_point_data, 227u + 2 * 54 + 5);
  EXPECT_FALSE(header.erase_vlr_at(2));

  // without freeing, the payload belongs to whoever took it
  std::unique_ptr<uint8_t[]> kept(header.vlrs[1].data.get());
  ASSERT_TRUE(header.erase_vlr_at(1, false));
  EXPECT_EQ(kept[0], 0xAB);
}

TEST(LASheaderVlrs, ErasingOrReplacingClearsPointersIntoThePayload) {
  LASheader header;
  const LASvlrKeyEntry keys[2] = {{1024, 0, 1, 1}, {3072, 0, 1, 32633}};
  ASSERT_TRUE(header.store_geo_key_directory(2, keys));
  const double doubles[2] = {1.5, 2.5};
  ASSERT_TRUE(header.store_geo_doubles(2, doubles));
  header.insert_vlr("LASF_Projection", 2112, 4, bytes(4, 'A'));
  header.vlr_geo_ogc_wkt = reinterpret_cast<char*>(header.vlrs[2].data.get());
  header.insert_vlr("LASF_Spec", 100, 26, bytes(26, 8));
  header.vlr_wave_packet_descr.reset(new LASvlrWavePacketDescr*[256]());
  header.vlr_wave_packet_descr[1] =
      reinterpret_cast<LASvlrWavePacketDescr*>(header.vlrs[3].data.get());

  ASSERT_NE(header.vlr_geo_keys, nullptr);
  EXPECT_EQ(header.vlr_geo_keys->number_of_keys, 2);
  EXPECT_EQ(header.vlr_geo_key_entries[1].value_offset, 32633);
  EXPECT_EQ(header.vlr_geo_double_params[1], 2.5);

  ASSERT_TRUE(header.erase_vlr("LASF_Projection", 34735));
  EXPECT_EQ(header.vlr_geo_keys, nullptr);
  EXPECT_EQ(header.vlr_geo_key_entries, nullptr);
  EXPECT_NE(header.vlr_geo_double_params, nullptr) << "other records keep theirs";

  header.insert_vlr("LASF_Projection", 34736, 8, bytes(8));  // replaced by a caller
  EXPECT_EQ(header.vlr_geo_double_params, nullptr);

  ASSERT_TRUE(header.erase_vlr("LASF_Spec", 100));
  EXPECT_EQ(header.vlr_wave_packet_descr[1], nullptr);
  EXPECT_NE(header.vlr_geo_ogc_wkt, nullptr);
  header.reset_vlrs();
  EXPECT_EQ(header.vlr_geo_ogc_wkt, nullptr);
  EXPECT_EQ(header.offset_to_point_data, 227u);
}

// Erasing an EVLR keeps the others in their order, forgets pointers into its payload, and with
// none left announces none.
TEST(LASheaderEvlrs, ErasingForgetsThePayloadAndTheStart) {
  LASheader header;
  header.start_of_first_extended_variable_length_record = 5000;
  header.insert_evlr("LASF_Projection", 2112, 6, bytes(6, 'W'));
  header.vlr_geo_ogc_wkt = reinterpret_cast<char*>(header.evlrs[0].data.get());
  header.insert_evlr("u", 7, 3, bytes(3));
  header.insert_evlr("u", 8, 2, bytes(2));
  ASSERT_EQ(header.number_of_extended_variable_length_records, 3u);

  EXPECT_FALSE(header.erase_evlr("LASF_Projection", 2111));
  ASSERT_TRUE(header.erase_evlr("LASF_Projection", 2112));
  EXPECT_EQ(header.vlr_geo_ogc_wkt, nullptr);
  ASSERT_EQ(header.evlrs.size(), 2u);
  EXPECT_EQ(header.number_of_extended_variable_length_records, 2u);
  EXPECT_EQ(header.evlrs[0].record_id, 7);
  EXPECT_EQ(header.evlrs[1].record_id, 8);
  EXPECT_EQ(header.start_of_first_extended_variable_length_record, 5000u);

  ASSERT_TRUE(header.erase_evlr("u", 7));
  ASSERT_TRUE(header.erase_evlr("u", 8));
  EXPECT_EQ(header.number_of_extended_variable_length_records, 0u);
  EXPECT_EQ(header.start_of_first_extended_variable_length_record, 0u);
  EXPECT_FALSE(header.erase_evlr("u", 8));
}

TEST(LASheaderGeo, KeyDirectoryLimits) {
  struct Case {
    uint32_t keys;
    bool ok;
  };
  for (const Case& c : {Case{0, true}, Case{1, true}, Case{8190, true}, Case{8191, false}}) {
    LASheader header;
    std::vector<LASvlrKeyEntry> keys(c.keys, LASvlrKeyEntry{3072, 0, 1, 7});
    EXPECT_EQ(header.store_geo_key_directory(c.keys, keys.data()), c.ok) << c.keys;
    if (!c.ok) {
      EXPECT_TRUE(header.vlrs.empty());
      EXPECT_EQ(header.offset_to_point_data, 227u);
      continue;
    }
    ASSERT_EQ(header.vlrs.size(), 1u);
    const LASvlrRecord& vlr = header.vlrs[0];
    EXPECT_EQ(std::string(vlr.user_id), "LASF_Projection");
    EXPECT_EQ(vlr.record_id, 34735);
    EXPECT_EQ(vlr.record_length_after_header, (c.keys + 1) * 8);
    const uint8_t directory[8] = {
        1, 0, 1, 0, 0, 0, static_cast<uint8_t>(c.keys), static_cast<uint8_t>(c.keys >> 8)};
    EXPECT_EQ(std::memcmp(vlr.data.get(), directory, 8), 0);
    EXPECT_EQ(header.offset_to_point_data, 227u + 54 + (c.keys + 1) * 8);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(header.vlr_geo_keys), vlr.data.get());
    EXPECT_EQ(reinterpret_cast<uint8_t*>(header.vlr_geo_key_entries), vlr.data.get() + 8);
  }
}

TEST(LASheaderGeo, DoublesLimits) {
  LASheader header;
  std::vector<double> values(8192, 1.0);
  EXPECT_FALSE(header.store_geo_doubles(8192, values.data()));
  EXPECT_TRUE(header.vlrs.empty());
  EXPECT_TRUE(header.store_geo_doubles(8191, values.data()));
  EXPECT_EQ(header.vlrs[0].record_length_after_header, 65528);
  EXPECT_EQ(header.vlrs[0].record_id, 34736);
}

TEST(LASheaderBounds, LookGeographic) {
  struct Case {
    double min_x, max_x, min_y, max_y;
    float extent;
    bool expected;
  };
  const Case cases[] = {
      {5.9, 6.1, 50.2, 50.3, 1.0f, true},
      {590000.0, 610000.0, 5020000.0, 5030000.0, 1.0f, false},
      {5.9, 6.1, 50.2, 50.3, 0.1f, false},
      {-360.0, 360.0, -90.0, 90.0, 720.0f, true},
      {-360.1, 0.0, 0.0, 1.0, 1000.0f, false},
      {0.0, 1.0, 0.0, 90.1, 1000.0f, false},
  };
  for (const auto& c : cases) {
    LASheader header;
    header.min_x = c.min_x;
    header.max_x = c.max_x;
    header.min_y = c.min_y;
    header.max_y = c.max_y;
    EXPECT_EQ(header.bounds_look_geographic(c.extent), c.expected) << c.min_x << " " << c.extent;
  }
}

TEST(LASheaderLifecycle, ResetReturnsToDefaults) {
  LASheader header;
  header.version_minor = 4;
  header.x_scale_factor = 0.001;
  header.insert_vlr("u", 1, 10, bytes(10));
  header.insert_evlr("u", 2, 100, bytes(100));
  header.vlr_compressor.reset(new LAScompressorSetup);
  header.user_data_after_header_size = 4;
  header.user_data_after_header = bytes(4);
  LASattributeDescriptor d = {};
  d.data_type = 1;
  header.load_descriptors(1, &d);
  header.reset();
  EXPECT_EQ(header.version_minor, 2);
  EXPECT_EQ(header.x_scale_factor, 0.01);
  EXPECT_EQ(header.offset_to_point_data, 227u);
  EXPECT_TRUE(header.vlrs.empty());
  EXPECT_TRUE(header.evlrs.empty());
  EXPECT_EQ(header.number_of_extended_variable_length_records, 0u);
  EXPECT_EQ(header.vlr_compressor, nullptr);
  EXPECT_EQ(header.user_data_after_header, nullptr);
  EXPECT_EQ(header.number_attributes, 0);
}

TEST(LASheaderLifecycle, AssignDuplicatesAndDropReferencesForgets) {
  LASheader inner;
  inner.version_minor = 4;
  inner.x_offset = 500.0;
  inner.point_data_format = 6;
  const LASvlrKeyEntry key = {1024, 0, 1, 2};
  inner.store_geo_key_directory(1, &key);
  inner.insert_evlr("LASF_Projection", 2112, 5, bytes(5, 'W'));
  inner.vlr_geo_ogc_wkt = reinterpret_cast<char*>(inner.evlrs[0].data.get()) + 1;
  inner.vlr_compressor.reset(new LAScompressorSetup);
  inner.vlr_compressor->chunk_size = 77;
  inner.vlr_lastiling.reset(new LAStiling);
  inner.vlr_lastiling->level = 3;
  inner.user_data_in_header_size = 2;
  inner.user_data_in_header = bytes(2, 9);
  inner.header_size = 229;
  inner.offset_to_point_data += 2;
  LASattributeDescriptor d = {};
  d.data_type = 3;
  inner.load_descriptors(1, &d);

  LASheader outer;
  outer.assign(inner);
  EXPECT_EQ(outer.version_minor, 4);
  EXPECT_EQ(outer.x_offset, 500.0);
  EXPECT_EQ(outer.point_data_format, 6);
  EXPECT_EQ(outer.offset_to_point_data, inner.offset_to_point_data);
  ASSERT_EQ(outer.vlrs.size(), 1u);
  EXPECT_NE(outer.vlrs[0].data.get(), inner.vlrs[0].data.get()) << "never freed twice";
  EXPECT_EQ(reinterpret_cast<uint8_t*>(outer.vlr_geo_keys), outer.vlrs[0].data.get());
  EXPECT_EQ(outer.vlr_geo_key_entries[0].key_id, 1024);
  EXPECT_EQ(outer.vlr_geo_ogc_wkt, reinterpret_cast<char*>(outer.evlrs[0].data.get()) + 1);
  EXPECT_EQ(outer.vlr_compressor->chunk_size, 77u);
  EXPECT_EQ(outer.vlr_lastiling->level, 3u);
  EXPECT_EQ(outer.user_data_in_header[1], 9);
  EXPECT_EQ(outer.number_attributes, 1);
  EXPECT_EQ(outer.attribute_sizes[0], 2);

  outer.drop_references();
  EXPECT_TRUE(outer.vlrs.empty());
  EXPECT_TRUE(outer.evlrs.empty());
  EXPECT_EQ(outer.number_of_variable_length_records, 0u);
  EXPECT_EQ(outer.vlr_geo_keys, nullptr);
  EXPECT_EQ(outer.vlr_compressor, nullptr);
  EXPECT_EQ(outer.user_data_in_header_size, 0u);
  EXPECT_EQ(outer.offset_to_point_data, 229u);
  EXPECT_EQ(outer.number_attributes, 1) << "the attribute table stays";
  EXPECT_EQ(inner.vlr_geo_key_entries[0].key_id, 1024) << "the inner header is untouched";
}

}  // namespace
