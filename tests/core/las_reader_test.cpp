#include "core/las_reader.hpp"

#include "filter/las_filter.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// A reader over coordinates in memory (scale 0.01, offset 0).
class MemoryReader : public LASreader {
 public:
  explicit MemoryReader(std::vector<std::pair<double, double>> xy) : xy_(std::move(xy)) {
    point.init_for_point_type(&header, 0, 20, &header);
    npoints = static_cast<int64_t>(xy_.size());
    header.min_x = header.min_y = 1e300;
    header.max_x = header.max_y = -1e300;
    for (const auto& p : xy_) {
      header.min_x = std::min(header.min_x, p.first);
      header.max_x = std::max(header.max_x, p.first);
      header.min_y = std::min(header.min_y, p.second);
      header.max_y = std::max(header.max_y, p.second);
    }
  }
  int format_code() const override { return LASformatCode::las; }
  bool seek_point(int64_t index) override {
    if (index < 0 || index >= npoints) return false;
    p_count = index;
    return true;
  }
  ByteStreamIn* input_stream() const override { return nullptr; }
  void close_input(bool) override {}
  int reads = 0;

 protected:
  bool read_one_point() override {
    if (p_count >= npoints) return false;
    point.set_x(xy_[p_count].first);
    point.set_y(xy_[p_count].second);
    p_count++;
    reads++;
    return true;
  }

 private:
  std::vector<std::pair<double, double>> xy_;
};

std::vector<std::pair<double, double>> read_all(LASreader& reader) {
  std::vector<std::pair<double, double>> out;
  while (reader.read_point()) out.emplace_back(reader.point.get_x(), reader.point.get_y());
  return out;
}

using XY = std::vector<std::pair<double, double>>;

TEST(LASreaderArea, EdgesOfEachShape) {
  const XY grid = {{0, 0}, {10, 0}, {0, 10}, {10, 10}, {5, 5}, {5, 10}, {10, 5}, {13, 14}};
  {
    MemoryReader reader(grid);
    reader.limit_to_circle(5, 5, 5);  // (0,5) would be on the rim; (5,10) and (10,5) are
    EXPECT_EQ(read_all(reader), (XY{{5, 5}}));
  }
  {
    MemoryReader reader(grid);
    reader.limit_to_rectangle(0, 0, 10, 10);
    EXPECT_EQ(read_all(reader), (XY{{0, 0}, {5, 5}}));
  }
  {
    MemoryReader reader(grid);
    reader.limit_to_tile(0, 0, 10);
    EXPECT_EQ(read_all(reader), (XY{{0, 0}, {5, 5}}));
  }
  {
    MemoryReader reader(grid);
    reader.limit_to_circle(5, 5, 5.01);
    EXPECT_EQ(read_all(reader), (XY{{5, 5}, {5, 10}, {10, 5}}));
  }
}

TEST(LASreaderArea, RectangleOutsideDeliversNothingAndBecomesTheBox) {
  MemoryReader reader({{0, 0}, {10, 10}});
  reader.limit_to_rectangle(20, 20, 30, 40);
  EXPECT_TRUE(read_all(reader).empty());
  EXPECT_EQ(reader.reads, 0) << "the empty read touches no point";
  EXPECT_EQ(reader.header.min_x, 20);
  EXPECT_EQ(reader.header.min_y, 20);
  EXPECT_EQ(reader.header.max_x, 30);
  EXPECT_EQ(reader.header.max_y, 40);
}

TEST(LASreaderArea, TileBoundsAndLimitNone) {
  MemoryReader reader({{900, 1900}, {1200, 2100}, {1600, 2600}});
  reader.header.min_z = -1;
  reader.header.max_z = 7;
  reader.limit_to_tile(1000, 2000, 500);
  EXPECT_EQ(reader.header.max_x, 1500 - 0.01);
  EXPECT_EQ(reader.header.max_y, 2500 - 0.01);
  EXPECT_EQ(reader.header.min_x, 1000);
  EXPECT_EQ(reader.header.min_z, -1) << "z bounds stay";
  EXPECT_EQ(read_all(reader), (XY{{1200, 2100}}));

  reader.limit_to_rectangle(0, 0, 1, 1);  // a second area
  reader.limit_none();
  EXPECT_EQ(reader.header.min_x, 900) << "the file's own box comes back";
  EXPECT_EQ(reader.header.min_y, 1900);
  EXPECT_EQ(reader.header.max_x, 1600);
  EXPECT_EQ(reader.header.max_y, 2600);
  EXPECT_EQ(reader.inside, 0);
  reader.seek_point(0);
  EXPECT_EQ(read_all(reader).size(), 3u);
}

TEST(LASreaderArea, CircleOutsideDeliversNothing) {
  MemoryReader reader({{0, 0}, {10, 10}});
  reader.limit_to_circle(100, 100, 5);
  EXPECT_TRUE(read_all(reader).empty());
  EXPECT_EQ(reader.reads, 0);
}

TEST(LASreaderChain, AttachingAfterAnAreaKeepsTheAreaTest) {
  MemoryReader reader({{0, 0}, {5, 5}, {20, 20}});
  reader.limit_to_circle(5, 5, 1);
  reader.attach_filter(nullptr);
  reader.attach_transform(nullptr);
  EXPECT_EQ(read_all(reader), (XY{{5, 5}}));
}

TEST(LASreaderChain, FilterAttachedAfterACircleWorksInsideTheCircle) {
  const XY points = {{0, 0}, {5, 5}, {20, 20}, {6, 5}};
  MemoryReader reader(points);
  reader.limit_to_circle(5, 5, 2);
  LASfilter filter;
  char options[] = "-drop_x_below 5.5";
  ASSERT_TRUE(filter.take_argument_string(options));
  reader.attach_filter(&filter);
  EXPECT_EQ(read_all(reader), (XY{{6, 5}}));
  reader.attach_filter(nullptr);
  reader.seek_point(0);
  EXPECT_EQ(read_all(reader), (XY{{5, 5}, {6, 5}}));
  reader.attach_filter(&filter);
  reader.limit_none();
  reader.seek_point(0);
  EXPECT_EQ(read_all(reader), (XY{{20, 20}, {6, 5}}));
}

}  // namespace
