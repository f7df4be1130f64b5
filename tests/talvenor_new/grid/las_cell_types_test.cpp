#include "grid/las_cell_types.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "grid/las_cell_grid.hpp"
#include "platform/crt_random.hpp"

namespace {

TEST(CellTypes, KeywordsChooseTypes) {
  struct Case {
    const char* keyword;
    const char* type;  // null: not recognised
    std::vector<uint32_t> components;
    int32_t class_of_interest;
  };
  const Case cases[] = {
      {"counter_quotient_16bit", "counter quotient 16bit", {32}, 0},
      {"counter_quotient", "counter quotient 8bit", {16}, 0},
      {"counter_16bit", "counter 16bit", {16}, 0},
      {"counter_32bit", "counter 32bit", {32}, 0},  // "32bit" before "2bit"
      {"counter_2bit", "counter 2bit", {2}, 0},
      {"counter_4bit", "counter 4bit", {4}, 0},
      {"counter", "counter 8bit", {8}, 0},
      {"counter_elevation_max", "counter 8bit", {8}, 0},  // first family wins
      {"elevation_highest", "elevation highest", {32, 1}, 0},
      {"elevation_max", "elevation highest", {32, 1}, 0},
      {"elevation_average", "elevation average", {32, 16}, 0},
      {"elevation_avg", "elevation average", {32, 16}, 0},
      {"elevation_mean", "elevation average", {32, 16}, 0},
      {"elevation_stddev", "elevation stddev", {64, 16}, 0},
      {"elevation_std", "elevation stddev", {64, 16}, 0},
      {"elevation_range", "elevation range", {32, 32, 1}, 0},
      {"lowest elevation index", "elevation lowest index", {32, 32, 1}, 0},
      {"elevation_index_max", "elevation highest", {32, 1}, 0},  // first modifier wins
      {"elevation", "elevation lowest", {32, 1}, 0},
      {"elevation_lowest", "elevation lowest", {32, 1}, 0},
      {"intensity_lowest", "intensity lowest", {16, 1}, 0},
      {"intensity_min", "intensity lowest", {16, 1}, 0},
      {"intensity_avg", "intensity average", {32, 16}, 0},
      {"intensity_std", "intensity stddev", {64, 16}, 0},
      {"intensity_range", "intensity range", {16, 16, 1}, 0},
      {"intensity", "intensity highest", {16, 1}, 0},
      {"xyz_random", "xyz random", {96, 16}, 0},
      {"scan_angle_highest_abs", "scan_angle highest abs", {8, 1}, 0},
      {"scan_angle_abs_max", "scan_angle highest abs", {8, 1}, 0},
      {"scan_angle_abs_avg", "scan_angle average abs", {32, 16}, 0},
      {"scan_angle_average_abs", "scan_angle average abs", {32, 16}, 0},
      {"scan_angle_max", "scan_angle highest", {8, 1}, 0},
      {"scan_angle_abs", "scan_angle lowest abs", {8, 1}, 0},
      {"scan_angle_range", "scan_angle range", {8, 8, 1}, 0},
      {"scan_angle", "scan_angle lowest", {8, 1}, 0},
      {"user_data_min", "user_data lowest", {8, 1}, 0},
      {"user_data_mean", "user_data average", {32, 16}, 0},
      {"user_data_stddev", "user_data stddev", {64, 16}, 0},
      {"user_data_range", "user_data range", {8, 8, 1}, 0},
      {"user_data", "user_data highest", {8, 1}, 0},
      {"point_source_lowest", "point_source lowest", {16, 1}, 0},
      {"point_source_range", "point_source range", {16, 16, 1}, 0},
      {"point_source", "point_source highest", {16, 1}, 0},
      {"gps_time_min", "gps_time lowest", {64, 1}, 0},
      {"gps_time_range", "gps_time range", {64, 64, 1}, 0},
      {"gps_time", "gps_time highest", {64, 1}, 0},
      {"number_returns_min", "number_returns lowest", {4, 1}, 0},
      {"number_returns_max", "number_returns highest", {4, 1}, 0},
      {"number_returns_std", "number_returns stddev", {64, 16}, 0},
      {"number_returns", "number_returns average", {32, 16}, 0},
      {"return_type_lowest", "return_type lowest", {32, 2, 1}, 0},
      {"return_type_max", "return_type highest", {32, 2, 1}, 0},
      {"return_type", "return_type highest", {32, 2, 1}, 0},
      {"return_type_first", nullptr, {}, 0},
      {"my_return_type", nullptr, {}, 0},
      {"rgb", "rgb first", {24, 1}, 0},
      {"occupancy", "occupancy", {1}, 0},
      {"extended_classification_variety", "extended_classification variety", {256}, 0},
      {"classification_variety", "classification variety", {32}, 0},
      {"classification_quotient_16bit_2_", "classification quotient 16bit", {32}, 2},
      {"classification_quotient_6_", "classification quotient 8bit", {16}, 6},
      {"classification_quotient_8_3_", "classification quotient 8bit", {16}, 3},
      {"classification_quotient", "classification quotient 8bit", {16}, 0},
      {"classification_majority_16bit", "counter 16bit", {16}, 0},
      {"classification_majority_32bit", "counter 32bit", {32}, 0},
      {"classification_majority", "counter 8bit", {8}, 0},
      {"classification", nullptr, {}, 0},
      {"extended_classification", nullptr, {}, 0},
      {"value", "value", {32, 1}, 0},
      {"mean_xyz", "mean_xyz", {128}, 0},
      {"Elevation", nullptr, {}, 0},  // case-sensitive
      {"", nullptr, {}, 0},
      {"nothing", nullptr, {}, 0},
  };
  for (const Case& c : cases) {
    LAScellType type{};
    int32_t class_of_interest = -1;
    const bool found = find_cell_type(c.keyword, type, class_of_interest);
    ASSERT_EQ(found, c.type != nullptr) << c.keyword;
    if (!found) continue;
    EXPECT_STREQ(type.name, c.type) << c.keyword;
    std::vector<uint32_t> components;
    for (int i = 0; type.components[i]; ++i) components.push_back(type.components[i]);
    EXPECT_EQ(components, c.components) << c.keyword;
    if (std::strstr(c.type, "classification quotient")) {
      EXPECT_EQ(class_of_interest, c.class_of_interest) << c.keyword;
    } else {
      EXPECT_EQ(class_of_interest, -1) << c.keyword;
    }
  }
}

// Point builders for the rule table.
LAScellPoint Z(int32_t z) {
  LAScellPoint p;
  p.Z = z;
  return p;
}
LAScellPoint I(uint16_t v) {
  LAScellPoint p;
  p.intensity = v;
  return p;
}
LAScellPoint A(int8_t v) {
  LAScellPoint p;
  p.scan_angle_rank = v;
  return p;
}
LAScellPoint U(uint8_t v) {
  LAScellPoint p;
  p.user_data = v;
  return p;
}
LAScellPoint S(uint16_t v) {
  LAScellPoint p;
  p.point_source_ID = v;
  return p;
}
LAScellPoint T(double v) {
  LAScellPoint p;
  p.gps_time = v;
  return p;
}
LAScellPoint ZR(int32_t z, uint8_t return_number, uint8_t number_of_returns) {
  LAScellPoint p;
  p.Z = z;
  p.return_number = return_number;
  p.number_of_returns = number_of_returns;
  return p;
}
LAScellPoint R(uint8_t return_number, uint8_t number_of_returns) {
  return ZR(0, return_number, number_of_returns);
}
LAScellPoint C(uint8_t classification, uint8_t extended = 0) {
  LAScellPoint p;
  p.classification = classification;
  p.extended_classification = extended;
  return p;
}
LAScellPoint RGB(uint16_t r, uint16_t g, uint16_t b) {
  LAScellPoint p;
  p.rgb[0] = r;
  p.rgb[1] = g;
  p.rgb[2] = b;
  return p;
}
LAScellPoint XYZ(int32_t x, int32_t y, int32_t z) {
  LAScellPoint p;
  p.X = x;
  p.Y = y;
  p.Z = z;
  return p;
}
std::vector<LAScellPoint> repeat(const LAScellPoint& p, int n) {
  return std::vector<LAScellPoint>(size_t(n), p);
}
std::vector<LAScellPoint> concat(std::vector<LAScellPoint> a, const std::vector<LAScellPoint>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
int32_t fbits(float f) {
  int32_t v;
  std::memcpy(&v, &f, 4);
  return v;
}

TEST(CellTypes, AddAndGetRules) {
  struct Case {
    const char* keyword;
    std::vector<LAScellPoint> points;  // point i is added with current index 100 + i
    int32_t selector;
    bool present;
    int32_t value;
  };
  const Case cases[] = {
      {"elevation", {}, 0, false, 0},
      {"elevation", {Z(5), Z(3), Z(3), Z(7)}, 0, true, 3},
      {"elevation_max", {Z(5), Z(9), Z(-2)}, 0, true, 9},
      {"lowest elevation index", {Z(5), Z(3), Z(3), Z(7)}, 1, true, 101},  // ties keep first
      {"lowest elevation index", {Z(5), Z(3), Z(3), Z(7)}, 0, true, 3},
      {"lowest elevation index", {}, 1, false, 0},
      {"elevation_range", {Z(5), Z(-3), Z(7)}, 0, true, 10},
      {"elevation_range", {Z(-2147483647 - 1), Z(2147483647)}, 0, true, -1},  // wraps
      {"elevation_average", {Z(1), Z(2)}, 0, true, 2},                        // 1.5 away from zero
      {"elevation_average", {Z(-1), Z(-2)}, 0, true, -2},
      {"elevation_average", concat(repeat(Z(0), 65535), repeat(Z(9000), 9)), 0, true, 0},
      {"elevation_stddev", {Z(2), Z(4), Z(4), Z(4), Z(5), Z(5), Z(7), Z(9)}, 0, true, 2},
      {"elevation_stddev", {Z(2), Z(4), Z(4), Z(4), Z(5), Z(5), Z(7), Z(9)}, 1, true, 5},
      {"elevation_stddev", {Z(2), Z(4), Z(4), Z(4), Z(5), Z(5), Z(7), Z(9)}, 2, true, 5},
      {"elevation_stddev", {Z(2), Z(4), Z(4), Z(4), Z(5), Z(5), Z(7), Z(9)}, 3, true, 8},
      {"elevation_stddev", {Z(42)}, 0, true, 0},  // one point: 0, not absent
      {"elevation_stddev", {Z(42)}, 2, true, 42},
      {"elevation_stddev", {}, 0, false, 0},
      {"intensity", {I(10), I(65535), I(3)}, 0, true, 65535},
      {"intensity_min", {I(10), I(65535), I(3)}, 0, true, 3},
      {"intensity_range", {I(10), I(65535), I(3)}, 0, true, 65532},
      {"intensity_average", {I(1), I(2), I(4)}, 0, true, 2},
      {"intensity_stddev", {I(1), I(3)}, 0, true, 1},
      {"intensity_stddev", {I(1), I(3)}, 3, true, 1},  // no selectors but elevation's
      {"scan_angle", {A(-5), A(3)}, 0, true, -5},
      {"scan_angle_max", {A(-5), A(3)}, 0, true, 3},
      {"scan_angle_abs", {A(-5), A(3)}, 0, true, 3},
      {"scan_angle_abs_max", {A(-128), A(3)}, 0, true, 128},
      {"scan_angle_range", {A(-90), A(90)}, 0, true, 180},
      {"scan_angle_abs_avg", {A(-4), A(1)}, 0, true, 3},
      {"user_data", {U(200), U(7)}, 0, true, 200},
      {"user_data_min", {U(200), U(7)}, 0, true, 7},
      {"user_data_range", {U(200), U(7)}, 0, true, 193},
      {"user_data_avg", {U(200), U(7)}, 0, true, 104},  // 103.5
      {"user_data_std", {U(1), U(5)}, 0, true, 3},      // 2.83
      {"point_source", {S(4000), S(60000)}, 0, true, 60000},
      {"point_source_min", {S(4000), S(60000)}, 0, true, 4000},
      {"point_source_range", {S(4000), S(60000)}, 0, true, 56000},
      {"gps_time", {T(1.5), T(250000000.25)}, 0, true, fbits(250000000.25f)},
      {"gps_time_min", {T(1.5), T(250000000.25)}, 0, true, fbits(1.5f)},
      {"gps_time_range", {T(1.5), T(250000000.25)}, 0, true, fbits(float(250000000.25 - 1.5))},
      {"number_returns", {R(1, 2), R(1, 3)}, 0, true, 3},  // 2.5
      {"number_returns_min", {R(1, 2), R(1, 3)}, 0, true, 2},
      {"number_returns_max", {R(1, 2), R(1, 7)}, 0, true, 7},
      {"number_returns_std", {R(1, 2), R(1, 3)}, 0, true, 7},  // of 20 and 30
      {"return_type", {ZR(5, 1, 3), ZR(9, 3, 3), ZR(1, 1, 1)}, 0, true, 2},
      {"return_type_min", {ZR(5, 1, 3), ZR(9, 3, 3), ZR(1, 1, 1)}, 0, true, 3},
      {"return_type_min", {ZR(5, 1, 3), ZR(9, 3, 3)}, 0, true, 1},
      {"return_type_max", {ZR(5, 2, 3), ZR(5, 3, 3)}, 0, true, 0},  // tie keeps the first
      {"return_type", {}, 0, false, 0},
      {"rgb", {RGB(0x1234, 0x56, 0xFF00), RGB(1, 1, 1)}, 0, true, 0x345600},
      {"rgb", {}, 0, false, 0},
      {"occupancy", {Z(1)}, 0, true, 1},
      {"occupancy", {}, 0, false, 0},
      {"counter", repeat(Z(0), 3), 0, true, 3},
      {"counter", repeat(Z(0), 300), 0, true, 255},
      {"counter", {}, 0, false, 0},
      {"counter_2bit", repeat(Z(0), 2), 0, true, 2},
      {"counter_2bit", repeat(Z(0), 5), 0, true, 3},
      {"counter_4bit", repeat(Z(0), 20), 0, true, 15},
      {"counter_16bit", repeat(Z(0), 70000), 0, true, 65535},
      {"counter_32bit", repeat(Z(0), 70000), 0, true, 70000},
      {"classification_majority", repeat(Z(0), 2), 0, true, 2},
      // (single returns, first returns): (3, 4)
      {"counter_quotient", {R(1, 1), R(1, 1), R(1, 1), R(1, 2), R(2, 2)}, 0, true, 191},
      {"counter_quotient_16bit", {R(1, 1), R(1, 1), R(1, 1), R(1, 2)}, 0, true, 49151},
      {"counter_quotient", {R(1, 1)}, 0, true, 255},
      {"counter_quotient", {R(2, 2), R(3, 3)}, 0, false, 0},
      {"classification_quotient_2_", {C(2), C(2), C(1), C(1, 2)}, 0, true, 191},
      {"classification_quotient_16bit_2_", {C(2), C(2), C(1), C(1, 2)}, 0, true, 49151},
      {"classification_quotient_2_", {C(34)}, 0, true, 255},  // low 5 bits are the class
      {"classification_quotient_2_", {C(1)}, 0, true, 0},
      {"classification_quotient_2_", {}, 0, false, 0},
      {"classification_variety", {C(1), C(2), C(2), C(31), C(33)}, 0, true, 3},
      {"classification_variety", {}, 0, false, 0},
      {"extended_classification_variety", {C(0, 0), C(0, 200), C(0, 255), C(0, 200)}, 0, true, 3},
      {"value", {Z(0), Z(0), Z(0)}, 0, true, 102},  // last add wins
      {"value", {}, 0, false, 0},
      {"xyz_random", {XYZ(11, -22, 33)}, 0, true, 11},
      {"xyz_random", {XYZ(11, -22, 33)}, 1, true, -22},
      {"xyz_random", {XYZ(11, -22, 33)}, 2, true, 33},
      {"xyz_random", {XYZ(11, -22, 33)}, 3, false, 0},
      {"xyz_random", {}, 0, false, 0},
      // 10.25, 3.00, 1.00 in cells of 1: offsets -0.25, -0.5, -0.5
      {"mean_xyz", {XYZ(1025, 300, 100)}, 0, true, fbits(-0.25f)},
      {"mean_xyz", {XYZ(1025, 300, 100)}, 1, true, fbits(-0.5f)},
      {"mean_xyz", {XYZ(1025, 300, 100), XYZ(1075, 400, 100)}, 0, true, fbits(0.0f)},
      {"mean_xyz", {XYZ(1025, 300, 100), XYZ(1075, 400, 100)}, 1, true, fbits(-0.5f)},
      {"mean_xyz", {XYZ(1025, 300, 100), XYZ(1075, 400, 100)}, 3, true, 2},
      {"mean_xyz", {XYZ(1025, 300, 100)}, 4, false, 0},
      {"mean_xyz", {}, 0, false, 0},
  };
  for (const Case& c : cases) {
    LAScellGrid grid;
    ASSERT_TRUE(grid.set_cell_type(c.keyword)) << c.keyword;
    // A neighbour first, so that an empty case still has a tile to look in.
    grid.set_current_index(-7);
    ASSERT_TRUE(grid.add(8, 13, XYZ(-1, -1, -1)));
    for (size_t i = 0; i < c.points.size(); ++i) {
      grid.set_current_index(int32_t(100 + i));
      ASSERT_TRUE(grid.add(7, 13, c.points[i]));
    }
    int32_t value = 0x5A5A5A5A;
    const bool present = grid.get(7, 13, value, c.selector);
    EXPECT_EQ(present, c.present) << c.keyword << " with " << c.points.size() << " points";
    if (c.present) {
      EXPECT_EQ(value, c.value) << c.keyword << " with " << c.points.size() << " points";
    }
  }
}

TEST(CellTypes, RandomPointKeepsOneOfTheAddedPoints) {
  crt_srand(1);
  LAScellGrid grid;
  ASSERT_TRUE(grid.set_cell_type("xyz_random"));
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(grid.add(0, 0, XYZ(i, 2 * i, 3 * i)));
  int32_t x = -1, y = -1, z = -1;
  ASSERT_TRUE(grid.get(0, 0, x, 0));
  ASSERT_TRUE(grid.get(0, 0, y, 1));
  ASSERT_TRUE(grid.get(0, 0, z, 2));
  EXPECT_GE(x, 0);
  EXPECT_LT(x, 3000);
  EXPECT_EQ(y, 2 * x);
  EXPECT_EQ(z, 3 * x);
}

// A tile buffer laid out for one cell type, for checking the bit layout directly.
struct RawTile {
  explicit RawTile(const char* keyword) {
    int32_t class_of_interest = 0;
    EXPECT_TRUE(find_cell_type(keyword, type, class_of_interest));
    uint32_t bytes = 0;
    for (int i = 0; type.components[i]; ++i) {
      offset[i] = bytes;
      bytes += cell_component_bytes(type.components[i]);
    }
    data.assign(bytes, 0);
  }
  void add(uint32_t k, const LAScellPoint& p, int times = 1) {
    const LAScell cell{data.data(), offset, k};
    for (int i = 0; i < times; ++i) type.add(cell, p, context);
  }
  LAScellType type{};
  LAScellContext context;
  uint32_t offset[LAS_CELL_MAX_COMPONENTS] = {0, 0, 0};
  std::vector<uint8_t> data;
};

TEST(CellTypes, PackingInsideComponents) {
  struct Add {
    uint32_t k;
    LAScellPoint point;
    int times;
  };
  struct Case {
    const char* keyword;
    std::vector<Add> adds;
    uint32_t byte;  // offset in the tile buffer
    uint8_t expected;
  };
  const Case cases[] = {
      // 4 bits: even cell high nibble, odd cell low nibble
      {"counter_4bit", {{0, Z(0), 3}, {1, Z(0), 5}}, 0, 0x35},
      {"counter_4bit", {{2, Z(0), 1}}, 1, 0x10},
      {"counter_4bit", {{9999, Z(0), 20}}, 4999, 0x0F},  // saturated at 15
      {"number_returns_max", {{1, R(1, 6), 1}}, 0, 0x06},
      // 2-bit counters: cell 0 in bits 6-7 down to cell 3 in bits 0-1
      {"counter_2bit", {{0, Z(0), 1}, {1, Z(0), 2}, {2, Z(0), 3}}, 0, 0x6C},
      {"counter_2bit", {{7, Z(0), 9}}, 1, 0x03},  // saturated at 3
      // 2-bit return types after 40,000 bytes of Z: cell 0 in bits 0-1 up to cell 3 in 6-7
      {"return_type",
       {{0, ZR(0, 1, 1), 1}, {1, ZR(0, 1, 3), 1}, {2, ZR(0, 3, 3), 1}, {3, ZR(0, 2, 3), 1}},
       40000,
       0x27},
      {"return_type", {{5, ZR(0, 2, 2), 1}}, 40001, 0x08},
      // presence after Z and return type (40,000 + 2,500): bit k mod 32 of word k / 32
      {"return_type", {{33, Z(0), 1}}, 42500 + 4, 0x02},
      {"occupancy", {{0, Z(0), 1}}, 0, 0x01},
      {"occupancy", {{9999, Z(0), 1}}, 312 * 4 + 1, 0x80},  // bit 15 of word 312
      // counter pairs (first, second), 8 bits each: 255 first returns, then one more, then
      // one single return: second full -> 127 and first halved, then counted
      {"counter_quotient", {{0, R(1, 2), 256}, {0, R(1, 1), 1}}, 0, 1},
      {"counter_quotient", {{0, R(1, 2), 256}, {0, R(1, 1), 1}}, 1, 129},
      // 255 singles (both counted): first full -> 127, second halved to 127, both +1
      {"counter_quotient", {{1, R(1, 1), 256}}, 2, 128},
      {"counter_quotient", {{1, R(1, 1), 256}}, 3, 128},
      {"rgb", {{1, RGB(0x0102, 0x0304, 0x0506), 1}}, 3, 0x02},
      {"rgb", {{1, RGB(0x0102, 0x0304, 0x0506), 1}}, 5, 0x06},
  };
  for (const Case& c : cases) {
    RawTile tile(c.keyword);
    for (const Add& a : c.adds) tile.add(a.k, a.point, a.times);
    ASSERT_LT(c.byte, tile.data.size()) << c.keyword;
    EXPECT_EQ(tile.data[c.byte], c.expected) << c.keyword << " byte " << c.byte;
    size_t nonzero = 0;
    for (uint8_t b : tile.data) nonzero += b != 0;
    EXPECT_LE(nonzero, 4u) << c.keyword << ": stray bytes written";
  }
}

TEST(CellTypes, ComponentBytes) {
  struct Case {
    uint32_t bits;
    uint32_t bytes;
  };
  const Case cases[] = {{1, 1252},   {2, 2500},   {4, 5000},   {8, 10000},   {16, 20000},
                        {24, 30000}, {32, 40000}, {64, 80000}, {96, 120000}, {256, 320000}};
  for (const Case& c : cases) EXPECT_EQ(cell_component_bytes(c.bits), c.bytes) << c.bits;
}

TEST(CellTypes, CellCentres) {
  struct Case {
    double coordinate, step;
    bool z;
    double expected;
  };
  const Case cases[] = {
      {3.1, 2.0, false, 3.0},   {-0.1, 2.0, false, -1.0},  {4.0, 2.0, false, 5.0},
      {10.25, 1.0, true, 10.5}, {10.25, 2e307, true, 0.0},
  };
  for (const Case& c : cases) {
    const double centre =
        c.z ? cell_center_z(c.coordinate, c.step) : cell_center(c.coordinate, c.step);
    EXPECT_DOUBLE_EQ(centre, c.expected) << c.coordinate << " " << c.step;
  }
}

}  // namespace
