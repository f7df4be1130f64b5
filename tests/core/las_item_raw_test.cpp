#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_point.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

namespace {

// A 30-byte POINT14 file record built from its fields, by the record layout.
std::vector<uint8_t> point14_record(int32_t x, uint8_t return_number, uint8_t number_of_returns,
                                    uint8_t flags, uint8_t classification, int16_t scan_angle,
                                    double gps_time) {
  std::vector<uint8_t> r(30, 0);
  std::memcpy(&r[0], &x, 4);
  const int32_t y = -7;
  const int32_t z = 123456;
  std::memcpy(&r[4], &y, 4);
  std::memcpy(&r[8], &z, 4);
  r[12] = 0x34;  // intensity 0x1234
  r[13] = 0x12;
  r[14] = static_cast<uint8_t>(return_number | (number_of_returns << 4));
  r[15] = flags;
  r[16] = classification;
  r[17] = 99;  // user data
  std::memcpy(&r[18], &scan_angle, 2);
  r[20] = 0xCD;  // point source 0xABCD
  r[21] = 0xAB;
  std::memcpy(&r[22], &gps_time, 8);
  return r;
}

}  // namespace

// File record to point: the extended fields as stored, the legacy fields as
// far as they reach.
TEST(LASitemRawPoint14, RecordToPoint) {
  struct Case {
    uint8_t return_number, number_of_returns, flags, classification;
    int16_t scan_angle;
    // expected legacy fields
    uint8_t legacy_return, legacy_count, legacy_class;
    int8_t scan_angle_rank;
  };
  const Case cases[] = {
      {9, 10, 0, 2, 0, 6, 7, 2, 0},
      {10, 10, 0, 2, 0, 7, 7, 2, 0},
      {3, 12, 0, 2, 0, 3, 7, 2, 0},
      {7, 15, 0, 2, 0, 6, 7, 2, 0},
      {15, 15, 0, 2, 0, 7, 7, 2, 0},
      {2, 5, 0, 2, 0, 2, 5, 2, 0},
      {7, 7, 0, 2, 0, 7, 7, 2, 0},
      {9, 7, 0, 2, 0, 1, 7, 2, 0},  // fewer than 8 returns: low 3 bits
      {1, 1, 0, 40, 0, 1, 1, 0, 0},
      {1, 1, 0, 31, 0, 1, 1, 31, 0},
      {1, 1, 0, 32, 0, 1, 1, 0, 0},
      {1, 1, 0, 2, -30000, 1, 1, 2, -128},
      {1, 1, 0, 2, 30000, 1, 1, 2, 127},
      {1, 1, 0, 2, 15000, 1, 1, 2, 90},
      {1, 1, 0, 2, -15000, 1, 1, 2, -90},
      {1, 1, 0, 2, 250, 1, 1, 2, 2},  // 1.5 rounds away from zero
      {1, 1, 0, 2, -250, 1, 1, 2, -2},
      {1, 1, 0, 2, 83, 1, 1, 2, 0},  // 0.498
  };
  for (const Case& c : cases) {
    LASpoint point;
    LASitem item{LASitem::POINT14, 30, 0};
    ASSERT_TRUE(point.init_for_items(nullptr, 1, &item, nullptr));
    const std::vector<uint8_t> r = point14_record(-5, c.return_number, c.number_of_returns, c.flags,
                                                  c.classification, c.scan_angle, 1.25);
    LASreadItemRaw_POINT14_LE::record_to_point(r.data(), point.point_items[0]);
    EXPECT_EQ(point.X, -5);
    EXPECT_EQ(point.Y, -7);
    EXPECT_EQ(point.Z, 123456);
    EXPECT_EQ(point.intensity, 0x1234);
    EXPECT_EQ(point.user_data, 99);
    EXPECT_EQ(point.point_source_ID, 0xABCD);
    EXPECT_EQ(point.gps_time, 1.25);
    EXPECT_EQ(point.get_extended_point_type(), 1) << "left as the point has it";
    EXPECT_EQ(point.get_extended_return_number(), c.return_number);
    EXPECT_EQ(point.get_extended_number_of_returns(), c.number_of_returns);
    EXPECT_EQ(point.get_extended_classification(), c.classification);
    EXPECT_EQ(point.get_extended_scan_angle(), c.scan_angle);
    EXPECT_EQ(point.get_return_number(), c.legacy_return)
        << int(c.return_number) << "/" << int(c.number_of_returns);
    EXPECT_EQ(point.get_number_of_returns(), c.legacy_count)
        << int(c.return_number) << "/" << int(c.number_of_returns);
    EXPECT_EQ(point.get_classification(), c.legacy_class) << int(c.classification);
    EXPECT_EQ(point.scan_angle_rank, c.scan_angle_rank) << c.scan_angle;
  }
}

TEST(LASitemRawPoint14, FlagsByteToPoint) {
  struct Case {
    uint8_t flags;
    uint8_t synthetic, keypoint, withheld, overlap, channel, direction, edge;
  };
  const Case cases[] = {
      {0x00, 0, 0, 0, 0, 0, 0, 0}, {0x01, 1, 0, 0, 0, 0, 0, 0}, {0x02, 0, 1, 0, 0, 0, 0, 0},
      {0x04, 0, 0, 1, 0, 0, 0, 0}, {0x08, 0, 0, 0, 1, 0, 0, 0}, {0x30, 0, 0, 0, 0, 3, 0, 0},
      {0x20, 0, 0, 0, 0, 2, 0, 0}, {0x40, 0, 0, 0, 0, 0, 1, 0}, {0x80, 0, 0, 0, 0, 0, 0, 1},
      {0xFF, 1, 1, 1, 1, 3, 1, 1},
  };
  for (const Case& c : cases) {
    LASpoint point;
    LASitem item{LASitem::POINT14, 30, 0};
    ASSERT_TRUE(point.init_for_items(nullptr, 1, &item, nullptr));
    const std::vector<uint8_t> r = point14_record(1, 1, 1, c.flags, 2, 0, 0.0);
    LASreadItemRaw_POINT14_LE::record_to_point(r.data(), point.point_items[0]);
    EXPECT_EQ(point.get_synthetic_flag(), c.synthetic) << int(c.flags);
    EXPECT_EQ(point.get_keypoint_flag(), c.keypoint) << int(c.flags);
    EXPECT_EQ(point.get_withheld_flag(), c.withheld) << int(c.flags);
    EXPECT_EQ(point.get_extended_synthetic_flag(), c.synthetic) << int(c.flags);
    EXPECT_EQ(point.get_extended_keypoint_flag(), c.keypoint) << int(c.flags);
    EXPECT_EQ(point.get_extended_withheld_flag(), c.withheld) << int(c.flags);
    EXPECT_EQ(point.get_extended_overlap_flag(), c.overlap) << int(c.flags);
    EXPECT_EQ(point.get_extended_scanner_channel(), c.channel) << int(c.flags);
    EXPECT_EQ(point.get_scan_direction_flag(), c.direction) << int(c.flags);
    EXPECT_EQ(point.get_edge_of_flight_line(), c.edge) << int(c.flags);
    EXPECT_EQ(point.get_extended_point_type(), 1);
  }
}

// Point to file record: an extended point writes its extended fields (but
// the legacy synthetic/keypoint/withheld flags, and the legacy class unless
// it is 0); a legacy point writes its legacy fields.
TEST(LASitemRawPoint14, PointToRecord) {
  LASpoint point;
  LASitem item{LASitem::POINT14, 30, 0};
  ASSERT_TRUE(point.init_for_items(nullptr, 1, &item, nullptr));
  point.X = -5;
  point.Y = -7;
  point.Z = 123456;
  point.intensity = 0x1234;
  point.user_data = 99;
  point.point_source_ID = 0xABCD;
  point.gps_time = 1.25;
  point.set_scan_direction_flag(1);
  point.set_edge_of_flight_line(0);
  point.set_synthetic_flag(1);
  point.set_keypoint_flag(0);
  point.set_withheld_flag(1);
  point.set_extended_synthetic_flag(0);  // not consulted
  point.set_extended_keypoint_flag(1);   // not consulted
  point.set_extended_overlap_flag(1);
  point.set_extended_scanner_channel(2);
  point.set_classification(0);
  point.set_extended_classification(40);
  point.set_extended_return_number(9);
  point.set_extended_number_of_returns(10);
  point.set_extended_scan_angle(-30000);

  uint8_t r[30];
  LASwriteItemRaw_POINT14_LE::point_to_record(point.point_items[0], r);
  EXPECT_EQ(std::vector<uint8_t>(r, r + 30),
            point14_record(-5, 9, 10, 0x01 | 0x04 | 0x08 | 0x20 | 0x40, 40, -30000, 1.25));

  // A legacy class other than 0 wins over the extended one.
  point.set_classification(6);
  LASwriteItemRaw_POINT14_LE::point_to_record(point.point_items[0], r);
  EXPECT_EQ(r[16], 6);

  // A legacy point: return fields, scan angle rank in 0.006-degree units, no
  // overlap and no channel.
  point.set_extended_point_type(0);
  point.set_return_number(2);
  point.set_number_of_returns(3);
  point.scan_angle_rank = -90;
  LASwriteItemRaw_POINT14_LE::point_to_record(point.point_items[0], r);
  EXPECT_EQ(std::vector<uint8_t>(r, r + 30),
            point14_record(-5, 2, 3, 0x01 | 0x04 | 0x40, 6, -15000, 1.25));
}

// Every raw item moves through a stream and back unchanged.
TEST(LASitemRaw, ItemsRoundTripThroughAStream) {
  const LASitem items[] = {{LASitem::POINT10, 20, 0},
                           {LASitem::GPSTIME11, 8, 0},
                           {LASitem::RGB12, 6, 0},
                           {LASitem::WAVEPACKET13, 29, 0},
                           {LASitem::BYTE, 5, 0}};
  LASpoint in;
  ASSERT_TRUE(in.init_for_items(nullptr, 5, items, nullptr));
  in.X = 1;
  in.Y = -2;
  in.Z = 3;
  in.intensity = 4;
  in.return_byte = 0x5A;
  in.class_byte = 0xA5;
  in.scan_angle_rank = -9;
  in.user_data = 10;
  in.point_source_ID = 11;
  in.gps_time = 12.5;
  in.set_R(13);
  in.set_G(14);
  in.set_B(15);
  in.wavepacket.set_offset(0x123456789ull);
  in.wavepacket.set_zt(1.5f);
  for (int i = 0; i < 5; i++) in.extra_bytes[i] = static_cast<uint8_t>(0xE0 + i);

  ByteStreamOutArrayLE out;
  LASwriteItemRaw_POINT10_LE w0;
  LASwriteItemRaw_GPSTIME11_LE w1;
  LASwriteItemRaw_RGB12_LE w2;
  LASwriteItemRaw_WAVEPACKET13_LE w3;
  LASwriteItemRaw_BYTE w4(5);
  LASwriteItemRaw* writers[] = {&w0, &w1, &w2, &w3, &w4};
  uint32_t context = 0;
  for (int i = 0; i < 5; i++) {
    ASSERT_TRUE(writers[i]->init(&out));
    ASSERT_TRUE(writers[i]->write_item(in.point_items[i], context));
  }
  ASSERT_EQ(out.get_size(), 20 + 8 + 6 + 29 + 5);

  LASpoint back;
  ASSERT_TRUE(back.init_for_items(nullptr, 5, items, nullptr));
  ByteStreamInArrayLE stream(out.get_data(), out.get_size());
  LASreadItemRaw_POINT10_LE r0;
  LASreadItemRaw_GPSTIME11_LE r1;
  LASreadItemRaw_RGB12_LE r2;
  LASreadItemRaw_WAVEPACKET13_LE r3;
  LASreadItemRaw_BYTE r4(5);
  LASreadItemRaw* readers[] = {&r0, &r1, &r2, &r3, &r4};
  for (int i = 0; i < 5; i++) {
    ASSERT_TRUE(readers[i]->init(&stream));
    readers[i]->read_item(back.point_items[i], context);
  }
  EXPECT_EQ(std::memcmp(back.raw(), in.raw(), 20), 0);
  EXPECT_EQ(back.gps_time, 12.5);
  EXPECT_EQ(back.get_B(), 15);
  EXPECT_EQ(back.wavepacket.get_offset(), 0x123456789ull);
  EXPECT_EQ(back.wavepacket.get_zt(), 1.5f);
  EXPECT_EQ(std::memcmp(back.extra_bytes.get(), in.extra_bytes.get(), 5), 0);
  // The end of the data throws -1 out of a raw reader.
  try {
    readers[0]->read_item(back.point_items[0], context);
    ADD_FAILURE() << "no exception";
  } catch (int e) {
    EXPECT_EQ(e, -1);
  }
}
