#include "core/las_point.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using T = LASitem;

TEST(LASpointReset, ReturnOneOfOneEverythingElseZero) {
  LASpoint point;
  EXPECT_EQ(point.get_return_number(), 1);
  EXPECT_EQ(point.get_number_of_returns(), 1);
  EXPECT_EQ(point.return_byte, 0x09);
  EXPECT_EQ(point.get_extended_return_number(), 1);
  EXPECT_EQ(point.get_extended_number_of_returns(), 1);
  EXPECT_EQ(point.extended_return_byte, 0x11);
  EXPECT_EQ(point.X, 0);
  EXPECT_EQ(point.class_byte, 0);
  EXPECT_EQ(point.extended_flags_byte, 0);
  EXPECT_EQ(point.extended_scan_angle, 0);
  EXPECT_EQ(point.gps_time, 0.0);
  EXPECT_EQ(point.num_items, 0);
  EXPECT_EQ(point.total_point_size, 0);
  EXPECT_EQ(point.extra_bytes, nullptr);
  const uint8_t zeros[29] = {};
  EXPECT_EQ(std::memcmp(point.wavepacket.data, zeros, 29), 0);

  // reset after use returns to the same state but keeps quantizer and attributer
  LASscaler scaler;
  ASSERT_TRUE(point.init_for_point_type(&scaler, 3, 40, nullptr));
  point.X = 5;
  point.set_classification(7);
  point.extended_reserved = 9;
  point.rgb[3] = 4;
  point.coordinates[0] = 1.5;
  point.reset();
  EXPECT_EQ(point.X, 0);
  EXPECT_EQ(point.class_byte, 0);
  EXPECT_EQ(point.extended_reserved, 0);
  EXPECT_EQ(point.rgb[3], 0);
  EXPECT_EQ(point.return_byte, 0x09);
  EXPECT_EQ(point.extra_bytes, nullptr);
  EXPECT_TRUE(point.items.empty());
  EXPECT_TRUE(point.point_items.empty());
  EXPECT_FALSE(point.have_gps_time);
  EXPECT_EQ(point.quantizer, &scaler);
  EXPECT_EQ(point.coordinates[0], 1.5);
}

TEST(LASpointBits, AccessorsTouchOnlyTheirBits) {
  struct Case {
    void (LASpoint::*set)(uint8_t);
    uint8_t (LASpoint::*get)() const;
    uint8_t LASpointData::*byte;
    uint8_t value;
    uint8_t mask;
  };
  const Case cases[] = {
      {&LASpoint::set_return_number, &LASpoint::get_return_number, &LASpointData::return_byte, 5,
       0x07},
      {&LASpoint::set_number_of_returns, &LASpoint::get_number_of_returns,
       &LASpointData::return_byte, 7, 0x38},
      {&LASpoint::set_scan_direction_flag, &LASpoint::get_scan_direction_flag,
       &LASpointData::return_byte, 1, 0x40},
      {&LASpoint::set_edge_of_flight_line, &LASpoint::get_edge_of_flight_line,
       &LASpointData::return_byte, 1, 0x80},
      {&LASpoint::set_classification, &LASpoint::get_classification, &LASpointData::class_byte, 31,
       0x1F},
      {&LASpoint::set_synthetic_flag, &LASpoint::get_synthetic_flag, &LASpointData::class_byte, 1,
       0x20},
      {&LASpoint::set_keypoint_flag, &LASpoint::get_keypoint_flag, &LASpointData::class_byte, 1,
       0x40},
      {&LASpoint::set_withheld_flag, &LASpoint::get_withheld_flag, &LASpointData::class_byte, 1,
       0x80},
      {&LASpoint::set_extended_point_type, &LASpoint::get_extended_point_type,
       &LASpointData::extended_flags_byte, 3, 0x03},
      {&LASpoint::set_extended_scanner_channel, &LASpoint::get_extended_scanner_channel,
       &LASpointData::extended_flags_byte, 2, 0x0C},
      {&LASpoint::set_extended_classification_flags, &LASpoint::get_extended_classification_flags,
       &LASpointData::extended_flags_byte, 15, 0xF0},
      {&LASpoint::set_extended_synthetic_flag, &LASpoint::get_extended_synthetic_flag,
       &LASpointData::extended_flags_byte, 1, 0x10},
      {&LASpoint::set_extended_keypoint_flag, &LASpoint::get_extended_keypoint_flag,
       &LASpointData::extended_flags_byte, 1, 0x20},
      {&LASpoint::set_extended_withheld_flag, &LASpoint::get_extended_withheld_flag,
       &LASpointData::extended_flags_byte, 1, 0x40},
      {&LASpoint::set_extended_overlap_flag, &LASpoint::get_extended_overlap_flag,
       &LASpointData::extended_flags_byte, 1, 0x80},
      {&LASpoint::set_extended_return_number, &LASpoint::get_extended_return_number,
       &LASpointData::extended_return_byte, 15, 0x0F},
      {&LASpoint::set_extended_number_of_returns, &LASpoint::get_extended_number_of_returns,
       &LASpointData::extended_return_byte, 9, 0xF0},
  };
  for (const auto& c : cases) {
    for (uint8_t background : {uint8_t{0x00}, uint8_t{0xFF}}) {
      LASpoint point;
      point.*c.byte = background;
      (point.*c.set)(c.value);
      EXPECT_EQ((point.*c.get)(), c.value);
      EXPECT_EQ(point.*c.byte & ~c.mask, background & ~c.mask) << "other bits untouched";
      (point.*c.set)(0);
      EXPECT_EQ((point.*c.get)(), 0);
      EXPECT_EQ(point.*c.byte & c.mask, 0);
    }
  }
}

struct LayoutCase {
  int format;
  int record_length;
  std::vector<LASitemType> types;
  bool gps, rgb, nir, wave;
  int extra;
};

class LASpointLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LASpointLayoutTest, ItemPointersAndFlags) {
  const LayoutCase& c = GetParam();
  LASscaler scaler;
  LASpoint point;
  ASSERT_TRUE(point.init_for_point_type(&scaler, static_cast<uint8_t>(c.format),
                                        static_cast<uint16_t>(c.record_length), nullptr));
  ASSERT_EQ(point.num_items, c.types.size());
  ASSERT_EQ(point.point_items.size(), c.types.size());
  EXPECT_EQ(point.total_point_size, c.record_length);
  EXPECT_EQ(point.have_gps_time, c.gps);
  EXPECT_EQ(point.have_rgb, c.rgb);
  EXPECT_EQ(point.have_nir, c.nir);
  EXPECT_EQ(point.have_wavepacket, c.wave);
  EXPECT_EQ(point.extra_bytes_number, c.extra);
  EXPECT_EQ(point.get_extended_point_type(), c.format >= 6 ? 1 : 0);
  EXPECT_EQ(point.quantizer, &scaler);
  for (size_t i = 0; i < c.types.size(); i++) {
    EXPECT_EQ(point.items[i].type, c.types[i]);
    uint8_t* expected = nullptr;
    switch (c.types[i]) {
      case T::POINT10:
      case T::POINT14:
        expected = reinterpret_cast<uint8_t*>(&point.X);
        break;
      case T::GPSTIME11:
        expected = reinterpret_cast<uint8_t*>(&point.gps_time);
        break;
      case T::RGB12:
      case T::RGB14:
      case T::RGBNIR14:
        expected = reinterpret_cast<uint8_t*>(point.rgb);
        break;
      case T::WAVEPACKET13:
      case T::WAVEPACKET14:
        expected = point.wavepacket.data;
        break;
      default:
        expected = point.extra_bytes.get();
        break;
    }
    EXPECT_EQ(point.point_items[i], expected) << i;
  }
  if (c.extra) {
    for (int i = 0; i < c.extra; i++) EXPECT_EQ(point.extra_bytes[i], 0);
  } else {
    EXPECT_EQ(point.extra_bytes, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LASpointLayoutTest,
    ::testing::Values(
        LayoutCase{0, 20, {T::POINT10}, false, false, false, false, 0},
        LayoutCase{1, 28, {T::POINT10, T::GPSTIME11}, true, false, false, false, 0},
        LayoutCase{1, 30, {T::POINT10, T::GPSTIME11, T::BYTE}, true, false, false, false, 2},
        LayoutCase{3, 34, {T::POINT10, T::GPSTIME11, T::RGB12}, true, true, false, false, 0},
        LayoutCase{5,
                   63,
                   {T::POINT10, T::GPSTIME11, T::RGB12, T::WAVEPACKET13},
                   true,
                   true,
                   false,
                   true,
                   0},
        LayoutCase{6, 30, {T::POINT14}, true, false, false, false, 0},
        LayoutCase{7, 36, {T::POINT14, T::RGB14}, true, true, false, false, 0},
        LayoutCase{8, 40, {T::POINT14, T::RGBNIR14, T::BYTE14}, true, true, true, false, 2},
        LayoutCase{10, 67, {T::POINT14, T::RGBNIR14, T::WAVEPACKET14}, true, true, true, true, 0}));

TEST(LASpointLayout, UnknownFormatAndUnknownItem) {
  LASpoint point;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(point.init_for_point_type(nullptr, 11, 40, nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: unknown point type 11 with point size 40\n");

  LASscaler scaler;
  const LASitem list[] = {{T::POINT10, 20, 0}, {static_cast<LASitemType>(3), 4, 0}};
  EXPECT_FALSE(point.init_for_items(&scaler, 2, list, nullptr));
  EXPECT_EQ(point.point_items[0], point.raw()) << "items before the unknown one stay mapped";
  EXPECT_EQ(point.quantizer, nullptr);
}

TEST(LASpointLayout, RelayingOutStartsFromReset) {
  LASpoint point;
  ASSERT_TRUE(point.init_for_point_type(nullptr, 6, 34, nullptr));
  EXPECT_EQ(point.extra_bytes_number, 4);
  ASSERT_TRUE(point.init_for_point_type(nullptr, 0, 20, nullptr));
  EXPECT_EQ(point.extra_bytes_number, 0);
  EXPECT_EQ(point.extra_bytes, nullptr);
  EXPECT_EQ(point.get_extended_point_type(), 0);
  EXPECT_FALSE(point.have_gps_time);
  EXPECT_EQ(point.total_point_size, 20);
}

// Fills every raw field with distinct values.
void fill(LASpoint& p, uint8_t seed) {
  p.X = 1000 + seed;
  p.Y = -2000 - seed;
  p.Z = 300 + seed;
  p.intensity = static_cast<uint16_t>(400 + seed);
  p.return_byte = 0xEB;  // return 3 of 5, both flags
  p.class_byte = 0xB4;   // class 20, synthetic, withheld
  p.scan_angle_rank = -15;
  p.user_data = seed;
  p.point_source_ID = static_cast<uint16_t>(77 + seed);
  p.extended_reserved = 0x5A;
  p.gps_time = 12345.678 + seed;
  for (int i = 0; i < 4; i++) p.rgb[i] = static_cast<uint16_t>(1000 * (i + 1) + seed);
  for (int i = 0; i < 29; i++) p.wavepacket.data[i] = static_cast<uint8_t>(i + seed);
}

TEST(LASpointAssign, LegacyToExtendedDerivesExtendedFields) {
  LASpoint legacy, extended;
  ASSERT_TRUE(legacy.init_for_point_type(nullptr, 5, 63, nullptr));
  ASSERT_TRUE(extended.init_for_point_type(nullptr, 10, 67, nullptr));
  fill(legacy, 1);
  legacy.set_extended_scanner_channel(2);  // only a foreign source would carry it
  extended.extended_flags_byte |= 0x80;    // overlap set before: must be cleared
  extended.extended_classification = 200;
  extended.assign(legacy);
  EXPECT_EQ(extended.X, legacy.X);
  EXPECT_EQ(extended.Y, legacy.Y);
  EXPECT_EQ(extended.Z, legacy.Z);
  EXPECT_EQ(extended.intensity, legacy.intensity);
  EXPECT_EQ(extended.return_byte, 0xEB);
  EXPECT_EQ(extended.class_byte, 0xB4);
  EXPECT_EQ(extended.scan_angle_rank, -15);
  EXPECT_EQ(extended.user_data, 1);
  EXPECT_EQ(extended.point_source_ID, 78);
  EXPECT_EQ(extended.extended_reserved, 0x5A);
  EXPECT_EQ(extended.gps_time, legacy.gps_time);
  EXPECT_EQ(std::memcmp(extended.rgb, legacy.rgb, 6), 0);
  EXPECT_EQ(std::memcmp(extended.wavepacket.data, legacy.wavepacket.data, 29), 0);
  EXPECT_EQ(extended.get_extended_point_type(), 1);
  EXPECT_EQ(extended.extended_classification, 20);
  EXPECT_EQ(extended.get_extended_synthetic_flag(), 1);
  EXPECT_EQ(extended.get_extended_keypoint_flag(), 0);
  EXPECT_EQ(extended.get_extended_withheld_flag(), 1);
  EXPECT_EQ(extended.get_extended_overlap_flag(), 0);
  EXPECT_EQ(extended.get_extended_scanner_channel(), 2);
  EXPECT_EQ(extended.get_extended_return_number(), 3);
  EXPECT_EQ(extended.get_extended_number_of_returns(), 5);
  EXPECT_EQ(extended.extended_scan_angle, -2500);
}

TEST(LASpointAssign, LegacyToExtendedNirZeroWithoutSourceNir) {
  LASpoint legacy, extended;
  ASSERT_TRUE(legacy.init_for_point_type(nullptr, 3, 34, nullptr));
  ASSERT_TRUE(extended.init_for_point_type(nullptr, 8, 38, nullptr));
  fill(legacy, 0);
  extended.rgb[3] = 99;
  extended.assign(legacy);
  EXPECT_EQ(extended.rgb[2], 3000);
  EXPECT_EQ(extended.rgb[3], 0) << "an earlier point's NIR must not show through";
}

// Parts the source does not carry are 0 in the copy, whatever the copy held
// before: an earlier point's values must never reach a later one.
TEST(LASpointAssign, PartsTheSourceLacksBecomeZero) {
  struct Case {
    uint8_t source_format;
    uint16_t source_size;
    bool gps, rgb, nir, wavepacket;  // kept from the source
  };
  const Case cases[] = {
      {0, 20, false, false, false, false}, {1, 28, true, false, false, false},
      {2, 26, false, true, false, false},  {4, 57, true, false, false, true},
      {6, 30, true, false, false, false},  {7, 36, true, true, false, false},
      {8, 38, true, true, true, false},    {9, 59, true, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.source_format));
    LASpoint source, copy;
    ASSERT_TRUE(source.init_for_point_type(nullptr, c.source_format, c.source_size, nullptr));
    ASSERT_TRUE(copy.init_for_point_type(nullptr, 10, 67 + 3, nullptr));
    fill(source, 5);
    fill(copy, 9);
    for (int i = 0; i < 3; i++) copy.extra_bytes[i] = 0xEE;
    copy.assign(source);
    EXPECT_EQ(copy.gps_time, c.gps ? source.gps_time : 0.0);
    EXPECT_EQ(copy.rgb[0], c.rgb ? source.rgb[0] : 0);
    EXPECT_EQ(copy.rgb[2], c.rgb ? source.rgb[2] : 0);
    EXPECT_EQ(copy.rgb[3], c.nir ? source.rgb[3] : 0);
    EXPECT_EQ(copy.wavepacket.data[5], c.wavepacket ? source.wavepacket.data[5] : 0);
    EXPECT_EQ(copy.wavepacket.data[28], c.wavepacket ? source.wavepacket.data[28] : 0);
    for (int i = 0; i < 3; i++) EXPECT_EQ(copy.extra_bytes[i], 0) << i;
  }
}

TEST(LASpointAssign, ScanAngleConversionAtTheEdges) {
  struct Case {
    int8_t rank;
    int16_t expected;
  };
  const Case cases[] = {{-15, -2500}, {1, 167},       {-1, -167}, {0, 0},
                        {127, 21167}, {-128, -21333}, {3, 500},   {-3, -500}};
  for (const auto& c : cases) {
    LASpoint legacy, extended;
    ASSERT_TRUE(legacy.init_for_point_type(nullptr, 0, 20, nullptr));
    ASSERT_TRUE(extended.init_for_point_type(nullptr, 6, 30, nullptr));
    legacy.scan_angle_rank = c.rank;
    extended.assign(legacy);
    EXPECT_EQ(extended.extended_scan_angle, c.expected) << int(c.rank);
  }
}

TEST(LASpointAssign, ExtendedToLegacyKeepsReturnsAboveSevenAndClassesAbove31) {
  LASpoint extended, legacy;
  ASSERT_TRUE(extended.init_for_point_type(nullptr, 7, 36, nullptr));
  ASSERT_TRUE(legacy.init_for_point_type(nullptr, 3, 34, nullptr));
  fill(extended, 2);
  extended.set_extended_return_number(12);
  extended.set_extended_number_of_returns(15);
  extended.extended_classification = 64;
  extended.set_extended_classification_flags(0x9);  // synthetic + overlap
  extended.set_extended_scanner_channel(3);
  extended.extended_scan_angle = -30000;
  legacy.assign(extended);
  EXPECT_EQ(legacy.return_byte, 0xEB) << "legacy bytes copied as they are";
  EXPECT_EQ(legacy.class_byte, 0xB4);
  EXPECT_EQ(legacy.get_extended_point_type(), 0) << "keeps its own point type";
  EXPECT_EQ(legacy.get_extended_return_number(), 12);
  EXPECT_EQ(legacy.get_extended_number_of_returns(), 15);
  EXPECT_EQ(legacy.extended_classification, 64);
  EXPECT_EQ(legacy.get_extended_classification_flags(), 0x9);
  EXPECT_EQ(legacy.get_extended_scanner_channel(), 3);
  EXPECT_EQ(legacy.extended_scan_angle, -30000);
  EXPECT_EQ(legacy.rgb[0], extended.rgb[0]);

  // and back into an extended point, nothing is lost
  LASpoint again;
  ASSERT_TRUE(again.init_for_point_type(nullptr, 6, 30, nullptr));
  again.assign(extended);
  EXPECT_EQ(again.get_extended_return_number(), 12);
  EXPECT_EQ(again.get_extended_number_of_returns(), 15);
  EXPECT_EQ(again.extended_classification, 64);
  EXPECT_EQ(again.get_extended_point_type(), 1);
  EXPECT_EQ(again.get_extended_classification_flags(), 0x9);
}

// A legacy point's extended fields say what its legacy ones say, also in a
// legacy copy: filters on the extended class see the 5-bit class.
TEST(LASpointAssign, LegacyToLegacyMirrorsExtendedFields) {
  LASpoint a, b;
  ASSERT_TRUE(a.init_for_point_type(nullptr, 1, 28, nullptr));
  ASSERT_TRUE(b.init_for_point_type(nullptr, 0, 20, nullptr));
  fill(a, 3);
  b.extended_classification = 42;
  b.extended_scan_angle = 17;
  b.set_extended_overlap_flag(1);
  b.set_extended_return_number(9);
  b.assign(a);
  EXPECT_EQ(b.extended_classification, 20);
  EXPECT_EQ(b.extended_scan_angle, -2500);
  EXPECT_EQ(b.get_extended_overlap_flag(), 0);
  EXPECT_EQ(b.get_extended_synthetic_flag(), 1);
  EXPECT_EQ(b.get_extended_withheld_flag(), 1);
  EXPECT_EQ(b.get_extended_return_number(), 3);
  EXPECT_EQ(b.get_extended_number_of_returns(), 5);
  EXPECT_EQ(b.get_extended_point_type(), 0);
  EXPECT_EQ(b.gps_time, a.gps_time) << "the source's flags decide";
}

TEST(LASpointAssign, ExtraBytesUpToTheShorter) {
  struct Case {
    int source_extra;
    int dest_extra;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {{4, 2, {1, 2}}, {4, 0, {}}, {2, 4, {1, 2, 0, 0}}};
  for (const auto& c : cases) {
    LASpoint src, dst;
    ASSERT_TRUE(
        src.init_for_point_type(nullptr, 0, static_cast<uint16_t>(20 + c.source_extra), nullptr));
    ASSERT_TRUE(
        dst.init_for_point_type(nullptr, 0, static_cast<uint16_t>(20 + c.dest_extra), nullptr));
    for (int i = 0; i < c.source_extra; i++) src.extra_bytes[i] = static_cast<uint8_t>(i + 1);
    dst.assign(src);
    std::vector<uint8_t> got;
    for (int i = 0; i < dst.extra_bytes_number; i++) got.push_back(dst.extra_bytes[i]);
    EXPECT_EQ(got, c.expected);
  }
}

TEST(LASpointScanAngle, StoresIntoTheLayoutsField) {
  struct Case {
    int format;
    float degrees;
    int expected;
  };
  const Case cases[] = {
      {0, -12.5f, -13},
      {6, -12.5f, -2083},
      {0, 12.5f, 13},
      {0, 0.49f, 0},
      {0, 127.4f, 127},
      {0, 200.0f, 127},
      {0, -300.0f, -128},
      {0, -128.4f, -128},
      {6, 196.6f, 32767},
      {6, 500.0f, 32767},
      {6, -196.61f, -32768},
      {6, -1000.0f, -32768},
      {6, 0.003f, 1},
      {6, -0.003f, -1},
      {6, 90.0f, 15000},
      // in single precision the sums round up to the next integer
      {0, 0.49999997f, 0},
      {0, -0.49999997f, 0},
      {6, 0.0029999998f, 0},
  };
  for (const auto& c : cases) {
    LASpoint point;
    ASSERT_TRUE(point.init_for_point_type(nullptr, static_cast<uint8_t>(c.format),
                                          c.format ? 30 : 20, nullptr));
    point.store_scan_angle(c.degrees);
    if (c.format >= 6) {
      EXPECT_EQ(point.extended_scan_angle, c.expected) << c.degrees;
      EXPECT_EQ(point.scan_angle_rank, 0);
    } else {
      EXPECT_EQ(point.scan_angle_rank, c.expected) << c.degrees;
      EXPECT_EQ(point.extended_scan_angle, 0);
    }
  }
}

// The point between two streams: all 0 but return 1 of 1; the layout and the
// mark of an extended point stay, so that later copies keep every field.
TEST(LASpointZero, KeepsLayoutAndPointType) {
  for (uint8_t format : {uint8_t{3}, uint8_t{8}}) {
    SCOPED_TRACE(int(format));
    LASpoint point;
    ASSERT_TRUE(point.init_for_point_type(nullptr, format, format == 3 ? 36 : 40, nullptr));
    fill(point, 7);
    point.extended_classification = 99;
    point.set_extended_scanner_channel(3);
    point.set_extended_overlap_flag(1);
    point.extended_scan_angle = 1234;
    point.extended_return_byte = 0xC8;
    point.extra_bytes[0] = point.extra_bytes[1] = 0xAA;
    point.zero();
    LASpoint reset;
    ASSERT_TRUE(reset.init_for_point_type(nullptr, format, format == 3 ? 36 : 40, nullptr));
    // every field; the padding bytes between and after them aside
    const size_t gps = offsetof(LASpointData, gps_time);
    const size_t end = offsetof(LASpointData, wavepacket) + sizeof(LASwaveformPacket);
    EXPECT_EQ(std::memcmp(point.raw(), reset.raw(), offsetof(LASpointData, extended_reserved) + 1),
              0);
    EXPECT_EQ(std::memcmp(point.raw() + gps, reset.raw() + gps, end - gps), 0);
    EXPECT_EQ(point.get_extended_point_type(), format == 8 ? 1 : 0);
    EXPECT_EQ(point.get_return_number(), 1);
    EXPECT_EQ(point.get_extended_number_of_returns(), 1);
    EXPECT_EQ(point.extra_bytes_number, 2);
    EXPECT_EQ(point.extra_bytes[0], 0);
    EXPECT_EQ(point.extra_bytes[1], 0);
    EXPECT_EQ(point.point_items.size(), reset.point_items.size());
  }
}

// What a read leaves in the fields its layout does not store.
TEST(LASpointUnstored, LegacyFieldsMirrorAndMissingPartsAreZero) {
  struct Case {
    uint8_t format;
    uint16_t size;
  };
  for (const Case& c : {Case{0, 20}, Case{1, 28}, Case{2, 26}, Case{6, 30}, Case{7, 36}}) {
    SCOPED_TRACE(int(c.format));
    LASpoint point;
    ASSERT_TRUE(point.init_for_point_type(nullptr, c.format, c.size, nullptr));
    fill(point, 4);  // as a transform of an earlier point may have left them
    point.extended_classification = 40;
    point.set_extended_scanner_channel(1);
    point.set_extended_overlap_flag(1);
    point.extended_scan_angle = 777;
    point.extended_return_byte = 0xF9;
    const LASpointData before = point;
    point.clear_unstored_fields();
    EXPECT_EQ(point.gps_time, point.have_gps_time ? before.gps_time : 0.0);
    EXPECT_EQ(point.rgb[1], point.have_rgb ? before.rgb[1] : 0);
    EXPECT_EQ(point.rgb[3], 0);
    EXPECT_EQ(point.wavepacket.data[3], 0);
    if (c.format >= 6) {
      EXPECT_EQ(point.extended_classification, 40) << "stored by the extended record";
      EXPECT_EQ(point.extended_scan_angle, 777);
      EXPECT_EQ(point.get_extended_scanner_channel(), 1);
      EXPECT_EQ(point.get_extended_point_type(), 1);
    } else {
      EXPECT_EQ(point.extended_classification, 20);
      EXPECT_EQ(point.get_extended_scanner_channel(), 0);
      EXPECT_EQ(point.get_extended_overlap_flag(), 0);
      EXPECT_EQ(point.get_extended_synthetic_flag(), 1);
      EXPECT_EQ(point.get_extended_keypoint_flag(), 0);
      EXPECT_EQ(point.get_extended_withheld_flag(), 1);
      EXPECT_EQ(point.get_extended_return_number(), 3);
      EXPECT_EQ(point.get_extended_number_of_returns(), 5);
      EXPECT_EQ(point.extended_scan_angle, -2500);
      EXPECT_EQ(point.get_extended_point_type(), 0);
    }
    EXPECT_EQ(point.class_byte, before.class_byte);
    EXPECT_EQ(point.return_byte, before.return_byte);
  }
}

TEST(LASpointLike, LaysOutLikeSourceAndReleasesOwnedSource) {
  LASscaler scaler;
  auto* src = new LASpoint;
  ASSERT_TRUE(src->init_for_point_type(&scaler, 8, 42, nullptr));
  auto* like = new LASpoint;
  like->init_like(src, true);
  EXPECT_EQ(like->items, src->items);
  EXPECT_EQ(like->quantizer, &scaler);
  EXPECT_EQ(like->source, src);
  EXPECT_TRUE(like->owns_source);
  EXPECT_EQ(like->extra_bytes_number, 4);
  EXPECT_NE(like->extra_bytes.get(), src->extra_bytes.get()) << "never shares buffers";
  like->release_like(true);  // deletes src and like; the leak checker sees the rest

  LASpoint borrowed;
  LASpoint other;
  other.init_like(&borrowed, false);
  other.release_like(false);
  EXPECT_EQ(other.source, nullptr);
}

TEST(LASwaveformPacket, FieldsAtTheirByteOffsets) {
  LASpoint point;
  point.wavepacket.set_index(7);
  point.wavepacket.set_offset(0x0102030405060708ull);
  point.wavepacket.set_size(0xA0B0C0D0u);
  point.wavepacket.set_location(1.5f);
  point.wavepacket.set_zt(-2.0f);
  const uint8_t* d = point.wavepacket.data;
  EXPECT_EQ(d[0], 7);
  EXPECT_EQ(d[1], 0x08);
  EXPECT_EQ(d[8], 0x01);
  EXPECT_EQ(d[9], 0xD0);
  EXPECT_EQ(d[12], 0xA0);
  EXPECT_EQ(point.wavepacket.get_offset(), 0x0102030405060708ull);
  EXPECT_EQ(point.wavepacket.get_location(), 1.5f);
  EXPECT_EQ(point.wavepacket.get_zt(), -2.0f);
  const uint8_t expected_zt[4] = {0, 0, 0, 0xC0};
  EXPECT_EQ(std::memcmp(d + 25, expected_zt, 4), 0);
}

TEST(LASpointCoordinates, ThroughTheQuantizer) {
  LASscaler scaler;
  scaler.x_offset = 1000.0;
  scaler.z_scale_factor = 0.001;
  LASpoint point;
  ASSERT_TRUE(point.init_for_point_type(&scaler, 0, 20, nullptr));
  point.set_x(1000.125);  // 12.5 -> 13, half away from zero
  EXPECT_EQ(point.X, 13);
  point.set_x(999.875);
  EXPECT_EQ(point.X, -13);
  point.set_z(1e12);
  EXPECT_EQ(point.Z, INT32_MAX) << "clamped instead of wrapped";
  point.X = 250;
  EXPECT_DOUBLE_EQ(point.get_x(), 1002.5);
}

}  // namespace
