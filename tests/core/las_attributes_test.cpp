#include "core/las_attributes.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/las_point.hpp"

namespace {

LASattributeDescriptor descriptor(uint8_t data_type, uint8_t options = 0, double scale = 1.0,
                                  double offset = 0.0, const char* name = "") {
  LASattributeDescriptor d;
  std::memset(&d, 0, sizeof(d));
  d.data_type = data_type;
  d.options = options;
  d.scale[0] = scale;
  d.offset[0] = offset;
  std::strncpy(d.name, name, 31);
  return d;
}

TEST(LASattributeDescriptor, ByteSizes) {
  struct Case {
    uint8_t data_type;
    uint8_t options;
    int size;
  };
  const Case cases[] = {{1, 0, 1},  {2, 0, 1},   {3, 0, 2}, {4, 0, 2},  {5, 0, 4},  {6, 0, 4},
                        {7, 0, 8},  {8, 0, 8},   {9, 0, 4}, {10, 0, 8}, {19, 0, 8}, {29, 0, 12},
                        {13, 0, 4}, {30, 0, 24}, {0, 7, 7}, {0, 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(descriptor(c.data_type, c.options).byte_size(), c.size) << int(c.data_type);
  }
}

TEST(LASattributeDescriptor, ReadValues) {
  struct Case {
    LASattributeDescriptor d;
    std::vector<uint8_t> raw;
    double expected;
  };
  const Case cases[] = {
      {descriptor(8), {0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -5.0},
      {descriptor(7), {0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -5.0},  // read as signed
      {descriptor(3, 0x18, 0.5, 10.0), {4, 0}, 12.0},
      {descriptor(3, 0x08, 0.5, 10.0), {4, 0}, 2.0},
      {descriptor(3, 0x10, 0.5, 10.0), {4, 0}, 14.0},
      {descriptor(2), {0xFF}, -1.0},
      {descriptor(1), {0xFF}, 255.0},
      {descriptor(4), {0x00, 0x80}, -32768.0},
      {descriptor(5), {0xFF, 0xFF, 0xFF, 0xFF}, 4294967295.0},
      {descriptor(6), {0xFF, 0xFF, 0xFF, 0xFF}, -1.0},
      {descriptor(9), {0x00, 0x00, 0xC0, 0x3F}, 1.5},
      {descriptor(10), {0, 0, 0, 0, 0, 0, 0x04, 0xC0}, -2.5},
      {descriptor(13), {7, 0, 9, 0}, 7.0},  // first element of a pair
      {descriptor(0, 2), {7, 0}, 0.0},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(c.d.value_as_double(c.raw.data()), c.expected) << int(c.d.data_type);
  }
}

TEST(LASattributeDescriptor, StoreValuesRoundAndClamp) {
  struct Case {
    LASattributeDescriptor d;
    double value;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {descriptor(3, 0x18, 0.5, 10.0), 13.4, {7, 0}},
      {descriptor(1), -2.6, {0}},
      {descriptor(2), -2.6, {0xFD}},
      {descriptor(2), 2.5, {3}},
      // out of range: clamped to the field instead of wrapped
      {descriptor(1), 300.0, {0xFF}},
      {descriptor(2), 200.0, {0x7F}},
      {descriptor(2), -200.0, {0x80}},
      {descriptor(3), 70000.0, {0xFF, 0xFF}},
      {descriptor(4), -40000.0, {0x00, 0x80}},
      {descriptor(4), 32767.4, {0xFF, 0x7F}},
      {descriptor(5), 1e10, {0xFF, 0xFF, 0xFF, 0xFF}},
      {descriptor(5), 4294967294.6, {0xFF, 0xFF, 0xFF, 0xFF}},
      {descriptor(6), 1e10, {0xFF, 0xFF, 0xFF, 0x7F}},
      {descriptor(6), -1e10, {0x00, 0x00, 0x00, 0x80}},
      {descriptor(7), 1e30, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {descriptor(7), 9223372036854775808.0, {0, 0, 0, 0, 0, 0, 0, 0x80}},
      {descriptor(8), 1e30, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
      {descriptor(8), -1e30, {0, 0, 0, 0, 0, 0, 0, 0x80}},
      {descriptor(8), -5.0, {0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {descriptor(9), 1.5, {0x00, 0x00, 0xC0, 0x3F}},
      {descriptor(10), -2.5, {0, 0, 0, 0, 0, 0, 0x04, 0xC0}},
      {descriptor(1, 0x08, 0.0), 1.0, {0xFF}},  // a zero scale gives infinity: clamped
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> raw(c.expected.size(), 0x55);
    c.d.store_value(raw.data(), c.value);
    EXPECT_EQ(raw, c.expected) << int(c.d.data_type) << " " << c.value;
  }
}

TEST(LASattributeTable, LoadLaysOutAttributesInOrder) {
  const LASattributeDescriptor list[] = {descriptor(3, 0, 1, 0, "a"), descriptor(0, 5),
                                         descriptor(29, 0, 1, 0, "c")};
  LASattributeTable table;
  ASSERT_TRUE(table.load_descriptors(3, list));
  EXPECT_EQ(table.number_attributes, 3);
  EXPECT_EQ(table.attribute_starts, (std::vector<int32_t>{0, 2, 7}));
  EXPECT_EQ(table.attribute_sizes, (std::vector<int32_t>{2, 5, 12}));
  EXPECT_EQ(table.total_attribute_size(), 19);
  EXPECT_EQ(table.get_attribute_index("c"), 2);
  EXPECT_EQ(table.get_attribute_index("x"), -1);
  ASSERT_TRUE(table.load_descriptors(0, list));
  EXPECT_EQ(table.number_attributes, 0);
  EXPECT_TRUE(table.attributes.empty());
}

TEST(LASattributeTable, AttributesPastTheExtraBytesAreRefused) {
  const LASattributeDescriptor list[] = {descriptor(3, 0, 1, 0, "fits"),
                                         descriptor(10, 0, 1, 0, "too_long"),
                                         descriptor(1, 0, 1, 0, "after")};
  LASattributeTable table;
  ASSERT_TRUE(table.load_descriptors(3, list));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(table.check_extra_bytes(6));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("WARNING: attribute 1 ('too_long') of 8 bytes at offset 2"), std::string::npos)
      << err;
  EXPECT_NE(err.find("WARNING: attribute 2 ('after')"), std::string::npos) << err;
  EXPECT_EQ(table.number_attributes, 1);
  EXPECT_TRUE(table.check_extra_bytes(6));
  EXPECT_TRUE(table.check_extra_bytes(2));
}

TEST(LASattributeTable, PointValuesStayInsideTheExtraBytes) {
  const LASattributeDescriptor list[] = {descriptor(3, 0x18, 0.5, 10.0), descriptor(10)};
  LASattributeTable table;
  ASSERT_TRUE(table.load_descriptors(2, list));
  LASpoint point;  // 4 extra bytes: attribute 1 (8 bytes at 2) does not fit
  ASSERT_TRUE(point.init_for_point_type(nullptr, 0, 24, &table));
  double value = 0.0;
  EXPECT_TRUE(table.set_value(point, 0, 13.4));
  EXPECT_EQ(point.extra_bytes[0], 7);
  EXPECT_TRUE(table.get_value(point, 0, &value));
  EXPECT_EQ(value, 13.5);
  EXPECT_FALSE(table.set_value(point, 1, 1.0));
  EXPECT_FALSE(table.get_value(point, 1, &value));
  EXPECT_FALSE(table.get_value(point, 2, &value));
  EXPECT_FALSE(table.get_value(point, -1, &value));
  EXPECT_EQ(point.extra_bytes[2], 0);
  EXPECT_EQ(point.extra_bytes[3], 0);

  LASpoint bare;
  ASSERT_TRUE(bare.init_for_point_type(nullptr, 0, 20, &table));
  EXPECT_FALSE(table.get_value(bare, 0, &value));
}

}  // namespace
