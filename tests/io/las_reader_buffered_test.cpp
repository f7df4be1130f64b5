#include "io/las_reader_buffered.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "core/las_reader_las.hpp"
#include "io/las_input_options.hpp"
#include "las_fixture.hpp"
#include "las_tile_files.hpp"
#include "point_reading.hpp"

namespace {

struct Tiles {
  std::vector<std::string> names;
  std::vector<std::vector<ReadPoint>> points;  // of each tile, as read
  std::vector<std::array<double, 4>> boxes;    // header bounds of each tile
};

// A small scene cut into 2 x 2 tiles.
Tiles write_tiles(const TempFolder& dir) {
  const SceneQuarters scene = scene_quarters(11);
  Tiles t;
  for (int k = 0; k < 4; k++) {
    t.names.push_back(dir.file("tile" + std::to_string(k) + ".las"));
    EXPECT_TRUE(fixture_write_file(t.names.back(), scene.description, scene.parts[k]));
    LASreaderLAS reader;
    EXPECT_TRUE(reader.open_file(t.names.back().c_str()));
    t.boxes.push_back(
        {reader.header.min_x, reader.header.min_y, reader.header.max_x, reader.header.max_y});
    t.points.push_back(read_all(&reader));
  }
  return t;
}

}  // namespace

// Each tile read with -buffered 25 delivers its own points first, then every
// point of the other tiles within 25 of its box; the header counts them and
// its box grows. Without the buffer (second pass) only the tile is left.
TEST(LASreaderBuffered, TilesWithTheirNeighbours) {
  TempFolder dir("pl_buffered");
  const Tiles tiles = write_tiles(dir);
  LASinputOptions options;
  std::vector<std::string> words = {"-i"};
  words.insert(words.end(), tiles.names.begin(), tiles.names.end());
  words.push_back("-buffered");
  words.push_back("25");
  ArgVector args(words);
  ASSERT_EQ(options.take_arguments(args.argc(), args.argv()), 1);
  for (int k = 0; k < 4; k++) {
    SCOPED_TRACE(k);
    const auto& box = tiles.boxes[k];
    std::vector<ReadPoint> buffer;
    for (int j = 0; j < 4; j++) {
      if (j == k) continue;
      for (const ReadPoint& p : tiles.points[j]) {
        if (box[0] - 25 <= p.x && p.x < box[2] + 25 && box[1] - 25 <= p.y && p.y < box[3] + 25) {
          buffer.push_back(p);
        }
      }
    }
    testing::internal::CaptureStderr();
    std::unique_ptr<LASreader> reader(options.open_next_reader());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "LASreaderBuffered: adding " + std::to_string(buffer.size()) + " buffer points.\n");
    ASSERT_TRUE(reader);
    LASreaderBuffered* buffered = dynamic_cast<LASreaderBuffered*>(reader.get());
    ASSERT_NE(buffered, nullptr);
    EXPECT_EQ(options.current_name(), tiles.names[k]);
    const size_t own = tiles.points[k].size();
    EXPECT_EQ(reader->npoints, static_cast<int64_t>(own + buffer.size()));
    EXPECT_EQ(reader->header.number_of_point_records, own + buffer.size());
    ASSERT_TRUE(reader->header.vlr_lasoriginal);
    EXPECT_EQ(reader->header.vlr_lasoriginal->number_of_point_records, own);

    std::vector<ReadPoint> got = read_all(reader.get());
    ASSERT_EQ(got.size(), own + buffer.size());
    EXPECT_TRUE(std::equal(tiles.points[k].begin(), tiles.points[k].end(), got.begin()));
    std::vector<ReadPoint> got_buffer(got.begin() + static_cast<long>(own), got.end());
    std::sort(got_buffer.begin(), got_buffer.end());
    std::sort(buffer.begin(), buffer.end());
    EXPECT_TRUE(got_buffer == buffer);
    double min_x = box[0], max_x = box[2];
    for (const ReadPoint& p : buffer) {
      min_x = std::min(min_x, p.x);
      max_x = std::max(max_x, p.x);
    }
    EXPECT_EQ(reader->header.min_x, min_x);
    EXPECT_EQ(reader->header.max_x, max_x);

    // Kept buffer: the same points again.
    ASSERT_EQ(options.rebuild_reader(reader.get(), true), 1);
    EXPECT_TRUE(read_all(reader.get()) == got);
    // Buffer removed: the tile alone, with its own counts and bounds.
    ASSERT_EQ(options.rebuild_reader(reader.get(), false), 1);
    EXPECT_EQ(reader->npoints, static_cast<int64_t>(own));
    EXPECT_EQ(reader->header.number_of_point_records, own);
    EXPECT_EQ(reader->header.min_x, box[0]);
    EXPECT_EQ(reader->header.max_x, box[2]);
    EXPECT_FALSE(reader->header.vlr_lasoriginal);
    EXPECT_TRUE(read_all(reader.get()) == tiles.points[k]);
  }
  EXPECT_FALSE(options.has_more_input());
}

// Buffer points live in blocks of 10000: exactly 10000 fill one block, one
// more starts a second; return number 0 counts in the total only.
TEST(LASreaderBuffered, BlocksOfTenThousand) {
  TempFolder dir("pl_buffered");
  const std::string main_file =
      write_xyz_file(dir, "main.las", {{0, 0, 0}, {10, 10, 0}}, 0.01, {0, 0, 0});
  struct Case {
    size_t neighbours;
    uint32_t blocks;
  };
  for (const Case& c : {Case{10000, 1}, Case{10001, 2}, Case{0, 0}}) {
    SCOPED_TRACE(c.neighbours);
    std::vector<std::array<double, 3>> xyz;
    for (size_t k = 0; k < c.neighbours; k++) xyz.push_back({11.0 + 0.0001 * k, 5, 0});
    const std::string n = write_xyz_file(dir, "n.las", xyz, 0.0001, {0, 0, 0});
    LASreaderBuffered reader;
    reader.set_buffer_size(5.0f);
    ASSERT_TRUE(reader.set_file_name(main_file.c_str()));
    ASSERT_TRUE(reader.add_neighbor_file_name(n.c_str()));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(reader.open());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(reader.get_buffered_points(), c.neighbours);
    EXPECT_EQ(reader.get_block_count(), c.blocks);
    // The fixture writes return number 1 and 1 return by default.
    EXPECT_EQ(reader.header.number_of_points_by_return[0], 2 + c.neighbours);
    const std::vector<ReadPoint> points = read_all(&reader);
    ASSERT_EQ(points.size(), 2 + c.neighbours);
    if (c.neighbours) {
      EXPECT_NEAR(points.back().x, 11.0 + 0.0001 * (c.neighbours - 1), 0.005);
    }
  }
  // Return number 0.
  FixtureFile f;
  f.point_data_format = 1;
  std::vector<FixturePoint> zero(1);
  zero[0].X = 1050;
  zero[0].return_number = 0;
  const std::string n0 = dir.file("n0.las");
  ASSERT_TRUE(fixture_write_file(n0, f, zero));
  LASreaderBuffered reader;
  reader.set_buffer_size(5.0f);
  ASSERT_TRUE(reader.set_file_name(main_file.c_str()));
  ASSERT_TRUE(reader.add_neighbor_file_name(n0.c_str()));
  testing::internal::CaptureStderr();
  ASSERT_TRUE(reader.open());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "LASreaderBuffered: adding 1 buffer points.\n");
  EXPECT_EQ(reader.header.number_of_point_records, 3u);
  EXPECT_EQ(reader.header.number_of_points_by_return[0], 2u);
}

// Refusals and the reader without neighbours.
TEST(LASreaderBuffered, NamesAndNoNeighbours) {
  TempFolder dir("pl_buffered");
  const std::string main_file =
      write_xyz_file(dir, "main.las", {{0, 0, 0}, {10, 10, 0}}, 0.01, {0, 0, 0});
  LASreaderBuffered reader;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(reader.set_file_name(nullptr));
  EXPECT_FALSE(reader.add_neighbor_file_name(dir.file("missing.las").c_str()));
  EXPECT_FALSE(reader.open());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: file name pointer is NULL\nERROR: file '" + dir.file("missing.las") +
                "' cannot be opened\nERROR: no input name\n");
  ASSERT_TRUE(reader.set_file_name(main_file.c_str()));
  testing::internal::CaptureStderr();
  ASSERT_TRUE(reader.open());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(reader.header.vlr_lasoriginal);
  EXPECT_EQ(read_all(&reader).size(), 2u);
  EXPECT_FALSE(reader.remove_buffer());
}

// Neighbours that push the box beyond 32-bit integers at the main file's
// scale factor and offset: the header's offset moves, and every delivered
// coordinate (main and buffer) is still right.
TEST(LASreaderBuffered, FitCheckKeepsCoordinatesRight) {
  TempFolder dir("pl_buffered");
  const std::string main_file =
      write_xyz_file(dir, "main.las", {{2147400.0, 10, 1}, {2147480.125, 20, 2}}, 0.001, {0, 0, 0});
  const std::string n = write_xyz_file(dir, "n.las", {{2147490.5, 15, 3}, {2147600.0, 15, 4}},
                                       0.001, {2147000, 0, 0});
  LASinputOptions options;
  ArgVector args({"-i", main_file, "-neighbors", n, "-buffered", "50"});
  ASSERT_EQ(options.take_arguments(args.argc(), args.argv()), 1);
  testing::internal::CaptureStderr();
  std::unique_ptr<LASreader> reader(options.open_next_reader());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "LASreaderBuffered: adding 1 buffer points.\n"
            "WARNING: i changed x_offset from 0 to 2.14744e+06 to accommodate enlarged bounding "
            "box\n");
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->header.x_offset, 2147445.0);
  const std::vector<ReadPoint> points = read_all(reader.get());
  ASSERT_EQ(points.size(), 3u);
  const double xs[3] = {2147400.0, 2147480.125, 2147490.5};
  for (int k = 0; k < 3; k++) EXPECT_NEAR(points[k].x, xs[k], 0.0005 + 1e-9) << k;
  EXPECT_EQ(points[0].y, 10.0);
  EXPECT_EQ(points[2].z, 3.0);
}
