// A LAS file with its .lax beside it, read through the LAS reader: the points
// delivered for an area with the index are the points a scan delivers. Until
// the LAS reader reads point records this test skips itself.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/las_reader_las.hpp"
#include "fixture_random.hpp"
#include "io/las_index.hpp"
#include "las_fixture.hpp"
#include "lax_writer.hpp"

namespace {

struct Delivered {
  std::vector<int32_t> X, Y;
  bool operator==(const Delivered& o) const { return X == o.X && Y == o.Y; }
};

Delivered read_area(const std::string& name, bool with_index, int kind, double a, double b,
                    double c, double d) {
  Delivered out;
  LASreaderLAS reader;
  if (!reader.open_file(name.c_str())) return out;
  if (with_index) {
    auto* index = new LASindex();
    if (index->load_for(name.c_str())) {
      reader.set_index(index);
    } else {
      delete index;
      ADD_FAILURE() << "no index for " << name;
    }
  }
  if (kind == 0) reader.limit_to_rectangle(a, b, c, d);
  if (kind == 1)
    reader.limit_to_tile(static_cast<float>(a), static_cast<float>(b), static_cast<float>(c));
  if (kind == 2) reader.limit_to_circle(a, b, c);
  while (reader.read_point()) {
    out.X.push_back(reader.point.X);
    out.Y.push_back(reader.point.Y);
  }
  reader.close_input();
  return out;
}

}  // namespace

TEST(LASindexFile, IndexedAreaReadsOfALasFile) {
  char pattern[] = "/tmp/pl_index_file_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string name = dir + "/strips.las";

  FixtureRandom rng(77);
  std::vector<FixturePoint> points;
  for (int i = 0; i < 20000; i++) {
    FixturePoint p;
    p.X = static_cast<int32_t>(rng.below(40000)) + 100000;  // 1000.00 .. 1400.00 at 0.01
    p.Y = static_cast<int32_t>(rng.below(40000)) + 50000;
    points.push_back(p);
  }
  std::sort(points.begin(), points.end(), [](const FixturePoint& p, const FixturePoint& q) {
    return p.X / 5000 != q.X / 5000 ? p.X / 5000 < q.X / 5000 : p.Y < q.Y;
  });
  FixtureFile file;
  ASSERT_TRUE(fixture_write_file(name, file, points));

  {
    LASreaderLAS probe;
    ASSERT_TRUE(probe.open_file(name.c_str()));
    ASSERT_TRUE(probe.read_point());
  }

  std::vector<LaxPoint> xy;
  float min_x = 1e30f, max_x = -1e30f, min_y = 1e30f, max_y = -1e30f;
  for (const FixturePoint& p : points) {
    xy.push_back({p.X * 0.01, p.Y * 0.01});
    min_x = std::min(min_x, static_cast<float>(p.X * 0.01));
    max_x = std::max(max_x, static_cast<float>(p.X * 0.01));
    min_y = std::min(min_y, static_cast<float>(p.Y * 0.01));
    max_y = std::max(max_y, static_cast<float>(p.Y * 0.01));
  }
  ASSERT_TRUE(
      write_lax_file(dir + "/strips.lax", build_lax(xy, min_x, max_x, min_y, max_y, 6, 150)));

  struct Area {
    int kind;
    double a, b, c, d;
  };
  const Area areas[] = {
      {0, 1100, 600, 1130, 640}, {0, 1000, 500, 1400, 900}, {1, 1200, 700, 25, 0},
      {2, 1250, 650, 17.5, 0},   {0, 1500, 500, 1600, 900}, {2, 1000, 500, 30, 0},
      {1, 1399, 899, 5, 0},
  };
  for (const Area& area : areas) {
    const Delivered scanned = read_area(name, false, area.kind, area.a, area.b, area.c, area.d);
    const Delivered indexed = read_area(name, true, area.kind, area.a, area.b, area.c, area.d);
    EXPECT_TRUE(indexed == scanned) << area.kind << " " << area.a << " " << area.b << ": "
                                    << indexed.X.size() << " vs " << scanned.X.size();
  }
  std::system(("rm -rf '" + dir + "'").c_str());
}
