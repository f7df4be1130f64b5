#include "core/las_item.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using T = LASitem;

std::string suffixed(const std::string& message) {
  return message + " (Vexpak v3.4r3)";
}

std::string error_of(const LAScompressorSetup& setup) {
  return setup.last_error() ? setup.last_error() : "";
}

struct ListCase {
  int format;
  int record_length;
  std::vector<LASitem> expected;
};

class ItemListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(ItemListTest, BuildsListAndDerivesFormatBack) {
  const ListCase& c = GetParam();
  LAScompressorSetup setup;
  uint16_t n = 0;
  std::vector<LASitem> list;
  ASSERT_TRUE(setup.setup_from_point_type(static_cast<uint8_t>(c.format),
                                          static_cast<uint16_t>(c.record_length), &n, &list));
  EXPECT_EQ(n, c.expected.size());
  EXPECT_EQ(list, c.expected);
  uint8_t format = 0;
  uint16_t size = 0;
  ASSERT_TRUE(setup.derive_point_type(n, list.data(), &format, &size)) << error_of(setup);
  EXPECT_EQ(format, c.format);
  EXPECT_EQ(size, c.record_length);
}

const LASitem P10{T::POINT10, 20, 0}, GPS{T::GPSTIME11, 8, 0}, RGB{T::RGB12, 6, 0},
    WP13{T::WAVEPACKET13, 29, 0}, P14{T::POINT14, 30, 0}, RGB14{T::RGB14, 6, 0},
    NIR{T::RGBNIR14, 8, 0}, WP14{T::WAVEPACKET14, 29, 0};
LASitem byte(uint16_t n) {
  return {T::BYTE, n, 0};
}
LASitem byte14(uint16_t n) {
  return {T::BYTE14, n, 0};
}

INSTANTIATE_TEST_SUITE_P(
    EveryFormat, ItemListTest,
    ::testing::Values(ListCase{0, 20, {P10}}, ListCase{0, 23, {P10, byte(3)}},
                      ListCase{1, 28, {P10, GPS}}, ListCase{1, 30, {P10, GPS, byte(2)}},
                      ListCase{2, 26, {P10, RGB}}, ListCase{2, 27, {P10, RGB, byte(1)}},
                      ListCase{3, 34, {P10, GPS, RGB}}, ListCase{3, 40, {P10, GPS, RGB, byte(6)}},
                      ListCase{4, 57, {P10, GPS, WP13}}, ListCase{4, 61, {P10, GPS, WP13, byte(4)}},
                      ListCase{5, 63, {P10, GPS, RGB, WP13}},
                      ListCase{5, 64, {P10, GPS, RGB, WP13, byte(1)}}, ListCase{6, 30, {P14}},
                      ListCase{6, 40, {P14, byte14(10)}}, ListCase{7, 36, {P14, RGB14}},
                      ListCase{7, 38, {P14, RGB14, byte14(2)}}, ListCase{8, 38, {P14, NIR}},
                      ListCase{8, 39, {P14, NIR, byte14(1)}}, ListCase{9, 59, {P14, WP14}},
                      ListCase{9, 62, {P14, WP14, byte14(3)}}, ListCase{10, 67, {P14, NIR, WP14}},
                      ListCase{10, 100, {P14, NIR, WP14, byte14(33)}}));

TEST(ItemListBuilder, TooShortRecordWarnsAndDropsExtraBytes) {
  LAScompressorSetup setup;
  uint16_t n = 0;
  std::vector<LASitem> list;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(setup.setup_from_point_type(3, 30, &n, &list));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: point size 30 too small by 4 bytes for point type 3. assuming point_size "
            "of 34\n");
  EXPECT_EQ(list, (std::vector<LASitem>{P10, GPS, RGB}));
}

TEST(ItemListBuilder, UnknownFormatFails) {
  LAScompressorSetup setup;
  uint16_t n = 0;
  std::vector<LASitem> list;
  EXPECT_FALSE(setup.setup_from_point_type(11, 30, &n, &list));
  EXPECT_EQ(error_of(setup), suffixed("point type 11 unknown"));
}

struct LegacyLayoutCase {
  int format;
  int record_length;
  std::vector<LASitem> expected;
};

TEST(ItemListBuilder, OptionBitZeroLaysExtendedFormatsOutWithLegacyItems) {
  const LegacyLayoutCase cases[] = {
      {10, 67, {P10, GPS, RGB, WP13, byte(7)}}, {6, 30, {P10, GPS, byte(5)}},
      {7, 36, {P10, GPS, RGB, byte(5)}},        {8, 38, {P10, GPS, RGB, byte(7)}},
      {9, 59, {P10, GPS, WP13, byte(5)}},       {6, 32, {P10, GPS, byte(7)}},
  };
  for (const auto& c : cases) {
    LAScompressorSetup setup;
    setup.options = 1;
    uint16_t n = 0;
    std::vector<LASitem> list;
    ASSERT_TRUE(setup.setup_from_point_type(static_cast<uint8_t>(c.format),
                                            static_cast<uint16_t>(c.record_length), &n, &list));
    EXPECT_EQ(list, c.expected) << "format " << c.format;
    int sum = 0;
    for (const auto& item : list) sum += item.size;
    EXPECT_EQ(sum, c.record_length + 3) << "three bytes longer than the standard record";
  }
}

TEST(ItemCheck, MessagesByType) {
  struct Case {
    LASitem item;
    const char* message;  // null: passes
  };
  const Case cases[] = {
      {{T::BYTE, 0, 0}, "BYTE has size < 1"},
      {{T::BYTE, 1, 3}, "BYTE has version > 2"},
      {{T::BYTE, 1, 2}, nullptr},
      {{T::POINT10, 21, 0}, "POINT10 has size != 20"},
      {{T::POINT10, 20, 3}, "POINT10 has version > 2"},
      {{T::GPSTIME11, 4, 0}, "GPSTIME11 has size != 8"},
      {{T::GPSTIME11, 8, 3}, "GPSTIME11 has version > 2"},
      {{T::RGB12, 8, 0}, "RGB12 has size != 6"},
      {{T::RGB12, 6, 5}, "RGB12 has version > 2"},
      {{T::WAVEPACKET13, 26, 0}, "WAVEPACKET13 has size != 29"},
      {{T::WAVEPACKET13, 29, 2}, "WAVEPACKET13 has version > 1"},
      {{T::WAVEPACKET13, 29, 1}, nullptr},
      {{T::POINT14, 20, 0}, "POINT14 has size != 30"},
      {{T::POINT14, 30, 1}, "POINT14 has version != 0 and != 2 and != 3 and != 4"},
      {{T::POINT14, 30, 4}, nullptr},
      {{T::RGB14, 8, 0}, "RGB14 has size != 6"},
      {{T::RGB14, 6, 5}, "RGB14 has version != 0 and != 2 and != 3 and != 4"},
      {{T::RGBNIR14, 6, 0}, "RGBNIR14 has size != 8"},
      {{T::RGBNIR14, 8, 1}, "RGBNIR14 has version != 0 and != 2 and != 3 and != 4"},
      {{T::WAVEPACKET14, 30, 0}, "WAVEPACKET14 has size != 29"},
      {{T::WAVEPACKET14, 29, 2}, "WAVEPACKET14 has version != 0 and != 3 and != 4"},
      {{T::WAVEPACKET14, 29, 3}, nullptr},
      {{T::BYTE14, 0, 0}, "BYTE14 has size < 1"},
      {{T::BYTE14, 2, 1}, "BYTE14 has version != 0 and != 2 and != 3 and != 4"},
      {{static_cast<LASitemType>(3), 4, 0}, "item unknown (3,4,0)"},
      {{static_cast<LASitemType>(15), 1, 2}, "item unknown (15,1,2)"},
  };
  for (const auto& c : cases) {
    LAScompressorSetup setup;
    const bool ok = setup.check_item(c.item);
    EXPECT_EQ(ok, c.message == nullptr) << c.item.type;
    if (c.message) {
      EXPECT_EQ(error_of(setup), suffixed(c.message));
    }
  }
}

TEST(Validate, ChecksCompressorCoderItemsAndSize) {
  LAScompressorSetup setup;
  const LASitem list[] = {P10, GPS};
  ASSERT_TRUE(setup.setup(2, list, LAScompressorKind::sequential_chunked));
  EXPECT_TRUE(setup.validate(28));
  EXPECT_TRUE(setup.validate(0));
  EXPECT_FALSE(setup.validate(30));
  EXPECT_EQ(error_of(setup), suffixed("point has size of 30 but items only add up to 28 bytes"));
  setup.coder = 1;
  EXPECT_FALSE(setup.validate(28));
  EXPECT_EQ(error_of(setup), suffixed("coder 1 not supported"));
  setup.coder = 0;
  setup.compressor = 4;
  EXPECT_FALSE(setup.validate(28));
  EXPECT_EQ(error_of(setup), suffixed("compressor 4 not supported"));

  LAScompressorSetup empty;
  EXPECT_FALSE(empty.validate(0));
  EXPECT_EQ(error_of(empty), suffixed("number of items cannot be zero"));
  EXPECT_FALSE(empty.check_items(1, nullptr));
  EXPECT_EQ(error_of(empty), suffixed("items pointer cannot be NULL"));
}

// Items of one part of the point share its storage in the point: a list naming
// a part twice left the coders of the first writing into freed memory.
TEST(Validate, RefusesTwoItemsOfOnePart) {
  struct Case {
    std::vector<LASitem> list;
    const char* message;
  };
  const Case cases[] = {
      {{P10, byte(8), byte(6)}, "item 2 (BYTE) holds a part of the point an earlier item holds"},
      {{P10, GPS, GPS}, "item 2 (GPSTIME11) holds a part of the point an earlier item holds"},
      {{P14, NIR, RGB}, "item 2 (RGB12) holds a part of the point an earlier item holds"},
      {{P10, P14}, "item 1 (POINT14) holds a part of the point an earlier item holds"},
      {{P14, byte14(4), byte(8)}, "item 2 (BYTE) holds a part of the point an earlier item holds"},
  };
  for (const Case& c : cases) {
    LAScompressorSetup setup;
    EXPECT_FALSE(setup.check_items(static_cast<uint16_t>(c.list.size()), c.list.data()));
    EXPECT_EQ(error_of(setup), suffixed(c.message));
  }
  const LASitem fine[] = {P10, GPS, RGB, byte(8)};
  EXPECT_TRUE(LAScompressorSetup().check_items(4, fine));
}

TEST(Setup, CompressorKindByFirstItem) {
  struct Case {
    LASitem first;
    uint16_t requested;
    bool ok;
    uint16_t stored;
  };
  const Case cases[] = {
      {P14, 2, false, 2}, {P14, 3, true, 3}, {P14, 0, true, 0}, {P14, 1, false, 2},
      {P10, 3, true, 2},  {P10, 1, true, 1}, {P10, 2, true, 2}, {P10, 0, true, 0},
  };
  for (const auto& c : cases) {
    LAScompressorSetup setup;
    ASSERT_TRUE(setup.last_error() == nullptr);
    EXPECT_EQ(setup.setup(1, &c.first, c.requested), c.ok) << c.first.type << " " << c.requested;
    EXPECT_EQ(setup.compressor, c.stored);
    EXPECT_EQ(setup.last_error(), nullptr);
    EXPECT_EQ(setup.num_items, c.ok ? 1 : 0);
  }
  LAScompressorSetup bad;
  EXPECT_FALSE(bad.setup(1, &P10, 4));
  EXPECT_EQ(error_of(bad), suffixed("compressor 4 not supported"));
}

TEST(Setup, ChunkSizeRules) {
  LAScompressorSetup setup;
  EXPECT_FALSE(setup.change_chunk_size(100));
  EXPECT_EQ(error_of(setup), suffixed("call setup() before setting chunk size"));
  ASSERT_TRUE(setup.setup(1, &P10, LAScompressorKind::sequential_chunked));
  EXPECT_TRUE(setup.change_chunk_size(0));
  EXPECT_EQ(setup.chunk_size, 0u);
  ASSERT_TRUE(setup.setup(1, &P10, LAScompressorKind::sequential_chunked));
  EXPECT_EQ(setup.chunk_size, 50000u) << "a zero chunk size is restored by setup";
  EXPECT_TRUE(setup.change_chunk_size(0xFFFFFFFFu));
  EXPECT_EQ(setup.chunk_size, 0xFFFFFFFFu);
  ASSERT_TRUE(setup.setup(1, &P10, LAScompressorKind::sequential));
  EXPECT_FALSE(setup.change_chunk_size(7));
  EXPECT_EQ(setup.chunk_size, 0xFFFFFFFFu);
}

TEST(ChooseVersion, ByItemType) {
  struct Case {
    std::vector<LASitem> list;
    uint16_t compressor;
    uint16_t requested;
    std::vector<uint16_t> versions;
  };
  const Case cases[] = {
      {{P14, NIR, byte14(3)}, 3, 2, {3, 3, 3}},       {{P10, GPS, WP13}, 2, 2, {2, 2, 1}},
      {{P10, GPS, RGB, byte(2)}, 1, 1, {1, 1, 1, 1}}, {{P10, WP13}, 0, 0, {0, 1}},
      {{P14, RGB14, WP14}, 0, 0, {3, 3, 3}},
  };
  for (const auto& c : cases) {
    LAScompressorSetup setup;
    ASSERT_TRUE(setup.setup(static_cast<uint16_t>(c.list.size()), c.list.data(), c.compressor));
    ASSERT_TRUE(setup.choose_version(c.requested)) << error_of(setup);
    std::vector<uint16_t> versions;
    for (const auto& item : setup.items) versions.push_back(item.version);
    EXPECT_EQ(versions, c.versions);
  }
}

TEST(ChooseVersion, Refusals) {
  LAScompressorSetup setup;
  EXPECT_FALSE(setup.choose_version(2));
  EXPECT_EQ(error_of(setup), suffixed("call setup() before requesting version"));
  ASSERT_TRUE(setup.setup(1, &P10, 0));
  EXPECT_FALSE(setup.choose_version(1));
  EXPECT_EQ(error_of(setup), suffixed("without compression version is always 0"));
  ASSERT_TRUE(setup.setup(1, &P10, 2));
  EXPECT_FALSE(setup.choose_version(0));
  EXPECT_EQ(error_of(setup), suffixed("with compression version is at least 1"));
  EXPECT_FALSE(setup.choose_version(3));
  EXPECT_EQ(error_of(setup), suffixed("version larger than 2 not supported"));
  setup.items.push_back({static_cast<LASitemType>(2), 4, 0});
  setup.num_items = 2;
  EXPECT_FALSE(setup.choose_version(2));
  EXPECT_EQ(error_of(setup), suffixed("item type not supported"));
  EXPECT_EQ(setup.items[0].version, 2) << "items before the unknown one keep their version";
}

TEST(DerivePointType, Lists) {
  struct Case {
    std::vector<LASitem> list;
    int format;
    const char* message;
  };
  const Case cases[] = {
      {{P14, NIR, WP14, byte14(4)}, 10, nullptr},
      {{P14, NIR, WP13}, 10, nullptr},
      {{P14, WP13, byte(2)}, 9, nullptr},
      {{P14, byte(2)}, 6, nullptr},
      {{P10, byte(1)}, 0, nullptr},
      {{P10, byte(2), GPS}, 127, "LASitem array does not match LAS specification 1.4"},
      {{P10, GPS, byte14(2)}, 127, "LASitem array does not match LAS specification 1.4"},
      {{P10, RGB14}, 127, "LASitem array does not match LAS specification 1.4"},
      {{P10, GPS, RGB, WP13, byte(1), byte(1)}, 127, "more than five LASitem entries"},
      {{GPS, P10}, 127, "first LASitem is neither POINT10 nor POINT14"},
      {{{T::POINT10, 22, 0}}, 127, "first LASitem is neither POINT10 nor POINT14"},
      {{}, 127, "less than one LASitem entries"},
  };
  for (const auto& c : cases) {
    LAScompressorSetup setup;
    uint8_t format = 0;
    uint16_t size = 0;
    const bool ok = setup.derive_point_type(static_cast<uint16_t>(c.list.size()),
                                            c.list.empty() ? &P10 : c.list.data(), &format, &size);
    EXPECT_EQ(ok, c.message == nullptr);
    EXPECT_EQ(format, c.format);
    if (c.message) {
      EXPECT_EQ(error_of(setup), suffixed(c.message));
    }
  }
  LAScompressorSetup setup;
  uint8_t format = 0;
  uint16_t size = 0;
  EXPECT_FALSE(setup.derive_point_type(1, nullptr, &format, &size));
  EXPECT_EQ(error_of(setup), suffixed("LASitem array is zero"));
}

TEST(Payload, HandComputedBytesRoundTrip) {
  LAScompressorSetup setup;
  const LASitem list[] = {P10, GPS, byte(3)};
  ASSERT_TRUE(setup.setup(3, list, 2));
  ASSERT_TRUE(setup.choose_version(2));
  const std::vector<uint8_t> expected = {
      2,    0,    0,    0,    3,    4,    3,    0,     // compressor coder version
      0,    0,    0,    0,    0x50, 0xC3, 0,    0,     // options chunk_size 50000
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // special evlrs -1
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // offset -1
      3,    0,                                         // num_items
      6,    0,    20,   0,    2,    0,                 // POINT10
      7,    0,    8,    0,    2,    0,                 // GPSTIME11
      0,    0,    3,    0,    2,    0};                // BYTE
  EXPECT_EQ(setup.payload_size(), 52u);
  EXPECT_EQ(setup.to_payload(), expected);

  LAScompressorSetup back;
  back.compressor = 0;
  ASSERT_TRUE(back.from_payload(expected.data(), static_cast<uint32_t>(expected.size())));
  EXPECT_EQ(back.to_payload(), expected);
  EXPECT_EQ(back.items, setup.items);
  EXPECT_EQ(back.chunk_size, 50000u);
  EXPECT_EQ(back.number_of_special_evlrs, -1);
}

TEST(Payload, ShortRecordsAreRefusedLongOnesLeftToTheCaller) {
  LAScompressorSetup setup;
  const LASitem list[] = {P10, GPS};
  ASSERT_TRUE(setup.setup(2, list, 2));
  std::vector<uint8_t> bytes = setup.to_payload();
  bytes.push_back(0);  // one byte too many
  LAScompressorSetup back;
  EXPECT_TRUE(back.from_payload(bytes.data(), static_cast<uint32_t>(bytes.size())));
  EXPECT_EQ(back.num_items, 2);
  EXPECT_EQ(back.payload_size(), 46u) << "the caller sees the byte left over";

  bytes.resize(40);  // claims 2 items, holds one
  LAScompressorSetup refused;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(refused.from_payload(bytes.data(), static_cast<uint32_t>(bytes.size())));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: reading type 0 of item 1\n");
  EXPECT_EQ(refused.num_items, 0) << "nothing taken from a refused record";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(refused.from_payload(bytes.data(), 13));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: reading chunk_size 0\n");
}

TEST(IsType, SizesMatter) {
  EXPECT_TRUE(LAScompressorSetup::is_type(P10, T::POINT10));
  EXPECT_FALSE(LAScompressorSetup::is_type({T::POINT10, 30, 0}, T::POINT10));
  EXPECT_TRUE(LAScompressorSetup::is_type(byte(100), T::BYTE));
  EXPECT_FALSE(LAScompressorSetup::is_type(byte(0), T::BYTE));
  EXPECT_FALSE(LAScompressorSetup::is_type(byte14(2), T::BYTE));
}

}  // namespace
