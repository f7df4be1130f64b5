#include "core/las_writer.hpp"

#include <gtest/gtest.h>

namespace {

void add(LASpointInventory& inventory, LASpoint& point, int32_t x, int32_t y, int32_t z,
         uint8_t r) {
  point.X = x;
  point.Y = y;
  point.Z = z;
  if (point.get_extended_point_type()) {
    point.set_extended_return_number(r);
  } else {
    point.set_return_number(r);
  }
  inventory.count_point(point);
}

TEST(LASpointInventory, CountsAndBounds) {
  LASpoint legacy, extended;
  ASSERT_TRUE(legacy.init_for_point_type(nullptr, 1, 28, nullptr));
  ASSERT_TRUE(extended.init_for_point_type(nullptr, 6, 30, nullptr));
  LASpointInventory inventory;
  EXPECT_TRUE(inventory.first);
  add(inventory, legacy, 10, 20, 30, 1);
  EXPECT_EQ(inventory.min_X, 10);
  EXPECT_EQ(inventory.max_X, 10);
  add(inventory, legacy, -5, 25, 30, 2);
  add(inventory, extended, 7, 19, 40, 12);
  add(inventory, legacy, 100, 0, -3, 7);
  EXPECT_EQ(inventory.number_of_point_records, 4);
  EXPECT_EQ(inventory.number_of_points_by_return[1], 1);
  EXPECT_EQ(inventory.number_of_points_by_return[2], 1);
  EXPECT_EQ(inventory.number_of_points_by_return[7], 1);
  EXPECT_EQ(inventory.number_of_points_by_return[12], 1);
  EXPECT_EQ(inventory.min_X, -5);
  EXPECT_EQ(inventory.max_X, 100);
  EXPECT_EQ(inventory.min_Y, 0);
  EXPECT_EQ(inventory.max_Y, 25);
  EXPECT_EQ(inventory.min_Z, -3);
  EXPECT_EQ(inventory.max_Z, 40);

  LASheader header;
  header.x_scale_factor = 0.5;
  header.x_offset = 100;
  ASSERT_TRUE(inventory.write_to_header(&header));
  EXPECT_EQ(header.number_of_point_records, 4u);
  EXPECT_EQ(header.number_of_points_by_return[0], 1u);
  EXPECT_EQ(header.number_of_points_by_return[1], 1u);
  EXPECT_EQ(header.number_of_points_by_return[4], 0u);
  EXPECT_EQ(header.min_x, 97.5);
  EXPECT_EQ(header.max_x, 150.0);
  EXPECT_EQ(header.max_z, 0.4);
  EXPECT_EQ(header.extended_number_of_point_records, 4u);
  EXPECT_EQ(header.extended_number_of_points_by_return[11], 1u);
  EXPECT_FALSE(inventory.write_to_header(nullptr));
}

TEST(LASpointInventory, CountsBeyond32Bits) {
  LASpointInventory inventory;
  inventory.number_of_point_records = int64_t{1} << 32;
  inventory.number_of_points_by_return[1] = int64_t{1} << 32;
  LASheader header;
  EXPECT_FALSE(inventory.write_to_header(&header)) << "LAS 1.2 cannot hold the count";
  header.version_minor = 4;
  ASSERT_TRUE(inventory.write_to_header(&header));
  EXPECT_EQ(header.number_of_point_records, 0u);
  EXPECT_EQ(header.number_of_points_by_return[0], 0u);
  EXPECT_EQ(header.extended_number_of_point_records, uint64_t{1} << 32);
}

}  // namespace
