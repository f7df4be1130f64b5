// The index under the reader's own area read: the points a reader delivers
// through the index are exactly those that a scan of the whole input delivers.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/las_reader.hpp"
#include "fixture_random.hpp"
#include "io/las_index.hpp"
#include "lax_writer.hpp"

namespace {

// Points in memory, quantized at 0.01 as a LAS file holds them.
class MemoryReader : public LASreader {
 public:
  explicit MemoryReader(const std::vector<LaxPoint>& xy) {
    point.init_for_point_type(&header, 0, 20, &header);
    npoints = static_cast<int64_t>(xy.size());
    header.min_x = header.min_y = 1e300;
    header.max_x = header.max_y = -1e300;
    for (const LaxPoint& p : xy) {
      point.set_x(p.x);
      point.set_y(p.y);
      X.push_back(point.X);
      Y.push_back(point.Y);
      header.min_x = std::min(header.min_x, point.get_x());
      header.max_x = std::max(header.max_x, point.get_x());
      header.min_y = std::min(header.min_y, point.get_y());
      header.max_y = std::max(header.max_y, point.get_y());
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
  // The coordinates as the reader delivers them.
  LaxPoint coordinates(size_t i) {
    point.X = X[i];
    point.Y = Y[i];
    return {point.get_x(), point.get_y()};
  }
  int64_t reads = 0;

 protected:
  bool read_one_point() override {
    if (p_count >= npoints) return false;
    point.X = X[p_count];
    point.Y = Y[p_count];
    p_count++;
    reads++;
    return true;
  }

 private:
  std::vector<int32_t> X, Y;
};

struct Area {
  int kind;  // 0 rectangle, 1 tile, 2 circle
  double a, b, c, d;
};

void limit(LASreader& reader, const Area& area) {
  if (area.kind == 0) reader.limit_to_rectangle(area.a, area.b, area.c, area.d);
  if (area.kind == 1) {
    reader.limit_to_tile(static_cast<float>(area.a), static_cast<float>(area.b),
                         static_cast<float>(area.c));
  }
  if (area.kind == 2) reader.limit_to_circle(area.a, area.b, area.c);
}

std::vector<int64_t> delivered(MemoryReader& reader) {
  std::vector<int64_t> numbers;
  while (reader.read_point()) numbers.push_back(reader.p_count - 1);
  return numbers;
}

}  // namespace

TEST(LASindexReader, IndexedAreaReadsDeliverWhatAScanDelivers) {
  FixtureRandom rng(2024);
  std::vector<LaxPoint> raw;
  for (int i = 0; i < 30000; i++) raw.push_back({rng.uniform(1000, 1200), rng.uniform(500, 700)});
  // Flight-line order: strips along y, so that cells hold long runs.
  std::sort(raw.begin(), raw.end(), [](const LaxPoint& p, const LaxPoint& q) {
    const int sp = static_cast<int>((p.x - 1000) / 25), sq = static_cast<int>((q.x - 1000) / 25);
    return sp != sq ? sp < sq : (sp % 2 ? p.y > q.y : p.y < q.y);
  });
  MemoryReader probe(raw);
  std::vector<LaxPoint> points;
  for (size_t i = 0; i < raw.size(); i++) points.push_back(probe.coordinates(i));
  const LaxContent content = build_lax(
      points, static_cast<float>(probe.header.min_x), static_cast<float>(probe.header.max_x),
      static_cast<float>(probe.header.min_y), static_cast<float>(probe.header.max_y), 6, 200);
  const std::vector<uint8_t> bytes = write_lax(content);

  std::vector<Area> areas = {
      {0, 1050, 550, 1060, 560}, {0, 1000, 500, 1200.01, 700.01}, {1, 1100, 600, 12.5, 0},
      {2, 1100, 600, 7.25, 0},   {0, 1300, 800, 1400, 900},       {2, 990, 490, 14.2, 0},
  };
  for (int k = 0; k < 40; k++) {
    areas.push_back({static_cast<int>(rng.below(3)), rng.uniform(990, 1210), rng.uniform(490, 710),
                     rng.uniform(0.5, 30), rng.uniform(0.5, 30)});
    Area& a = areas.back();
    if (a.kind == 0) {
      a.c += a.a;
      a.d += a.b;
    }
  }
  for (size_t k = 0; k < areas.size(); k++) {
    SCOPED_TRACE("area " + std::to_string(k));
    MemoryReader scanning(raw);
    limit(scanning, areas[k]);
    const std::vector<int64_t> expected = delivered(scanning);

    MemoryReader indexed(raw);
    auto* index = new LASindex();
    ByteStreamInArrayLE stream(bytes.data(), static_cast<int64_t>(bytes.size()));
    ASSERT_TRUE(index->read_from_stream(&stream));
    indexed.set_index(index);
    limit(indexed, areas[k]);
    EXPECT_EQ(delivered(indexed), expected);
    // Small areas read a small part of the file.
    if (areas[k].kind != 0 || areas[k].c - areas[k].a < 40) {
      if (!expected.empty()) {
        EXPECT_LT(indexed.reads, scanning.reads / 4);
      }
    }
  }
}
