// Seed levels that triangulate only the clusters among scattered points must classify exactly as
// the TIN of every seed set would: generated clumped and sparse scenes run with the split allowed
// and with it disabled, and the two output files must be the same bytes.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classify_in_process.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "file_bytes.hpp"
#include "fixture_random.hpp"
#include "ground/ground_driver.hpp"
#include "ground/ground_estimate.hpp"
#include "ground/ground_settings.hpp"
#include "las_fixture.hpp"

namespace {

std::string temp_path(const std::string& name) {
  return std::string(PL_BINARY_DIR) + "/ground_cluster_split_test_" + std::to_string(getpid()) +
         "_" + name;
}

// Points in metres; written at 1 cm.
struct Place {
  double x, y, z;
};

// A gentle terrain over tens of kilometres.
double terrain(double x, double y) {
  return 200 + 40 * std::sin(x / 7000) * std::cos(y / 5000) + 0.002 * x;
}

// Adds `count` points scattered uniformly over `width` x `height` metres.
void scatter(FixtureRandom& random, int count, double width, double height,
             std::vector<Place>& out) {
  for (int i = 0; i < count; i++) {
    const double x = random.uniform(0, width), y = random.uniform(0, height);
    out.push_back({x, y, terrain(x, y) + random.uniform(-0.5, 0.5)});
  }
}

// Adds `count` clusters of 2 to 6 points within `radius` of their centre, each point possibly
// lifted (a roof, a tree) so that some are spikes among their neighbours and some are not.
void clusters(FixtureRandom& random, int count, double width, double height, double radius,
              std::vector<Place>& out) {
  for (int c = 0; c < count; c++) {
    const double cx = random.uniform(0, width), cy = random.uniform(0, height);
    const int size = 2 + int(random.below(5));
    for (int k = 0; k < size; k++) {
      const double x = cx + random.uniform(-radius, radius);
      const double y = cy + random.uniform(-radius, radius);
      const double lift = random.below(3) == 0 ? random.uniform(0.5, 12) : 0.0;
      out.push_back({x, y, terrain(x, y) + lift});
    }
  }
}

// Clusters whose points lie exactly on one circle (corners of squares and rectangles, in whole
// centimetres), some of them lying in a row, and some points exactly repeated with another z.
void awkward_clusters(FixtureRandom& random, int count, double width, double height,
                      std::vector<Place>& out) {
  for (int c = 0; c < count; c++) {
    const double cx = std::floor(random.uniform(0, width)),
                 cy = std::floor(random.uniform(0, height));
    // Short sides put ties among short edges, which the split must leave to the whole set.
    const double a = 8 + double(random.below(73)), b = 8 + double(random.below(73));
    const double z = terrain(cx, cy);
    switch (c % 4) {
      case 0:  // four corners of a rectangle: one empty circle through all
        out.push_back({cx, cy, z});
        out.push_back({cx + a, cy, z + 3});
        out.push_back({cx + a, cy + b, z});
        out.push_back({cx, cy + b, z + 0.2});
        break;
      case 1:  // in a row
        for (int k = 0; k < 4; k++) out.push_back({cx + k * a, cy, z + (k == 2 ? 6 : 0)});
        break;
      case 2:  // a point repeated at one place with other heights
        out.push_back({cx, cy, z});
        out.push_back({cx, cy, z + 4});
        out.push_back({cx + a, cy + b, z + 0.1});
        break;
      default:  // a square and its centre
        out.push_back({cx, cy, z});
        out.push_back({cx + a, cy, z});
        out.push_back({cx + a, cy + a, z + 5});
        out.push_back({cx, cy + a, z});
        out.push_back({cx + a / 2, cy + a / 2, z - 0.3});
        break;
    }
  }
}

// Patches of dense points (one per square metre or so) with a few lifted ones.
void dense_patches(FixtureRandom& random, int count, double width, double height,
                   std::vector<Place>& out) {
  for (int c = 0; c < count; c++) {
    const double cx = random.uniform(0, width), cy = random.uniform(0, height);
    for (int k = 0; k < 900; k++) {
      const double x = cx + random.uniform(0, 30), y = cy + random.uniform(0, 30);
      out.push_back({x, y, terrain(x, y) + (random.below(20) == 0 ? 8.0 : 0.0)});
    }
  }
}

// Sites on a regular lattice 1.4 km apart, every fourth holding a close pair and the others one
// point, with one more point in the middle of each lattice square: many long edges on one
// empty circle.
void lattice_with_pairs(int sites, std::vector<Place>& out) {
  const int side = int(std::ceil(std::sqrt(double(sites))));
  for (int site = 0; site < sites; site++) {
    const double x = 1400.0 * (site % side), y = 1400.0 * (site / side);
    out.push_back({x, y, terrain(x, y)});
    if (site % 4 == 0) {
      const double px = x + 5.0 + (site * 7) % 13, py = y + 0.5 * ((site * 5) % 11);
      out.push_back({px, py, terrain(px, py) + (site % 3 == 0 ? 4.0 : 0.0)});
    } else {
      out.push_back({x + 700, y + 700, terrain(x + 700, y + 700)});
    }
  }
}

// A compact block whose points were delivered again with their coordinates scrambled over a
// wide extent (a damaged copy).
void scrambled_copy(FixtureRandom& random, std::vector<Place>& out) {
  std::vector<Place> block;
  for (int i = 0; i < 1500; i++) {
    const double x = random.uniform(0, 60), y = random.uniform(0, 60);
    block.push_back({x, y, terrain(x, y) + (random.below(10) == 0 ? 10.0 : 0.0)});
  }
  out.insert(out.end(), block.begin(), block.end());
  for (const Place& p : block) {
    out.push_back({std::fmod(p.x * 7919.0, 80000.0), std::fmod(p.y * 104729.0, 80000.0), p.z});
  }
}

struct SceneRow {
  const char* name;
  double scale;  // of the file's coordinates
  std::function<void(FixtureRandom&, std::vector<Place>&)> make;
};

const SceneRow kScenes[] = {
    {"pairs and clusters over 30 km", 0.01,
     [](FixtureRandom& r, std::vector<Place>& p) {
       scatter(r, 2500, 30000, 30000, p);
       clusters(r, 500, 30000, 30000, 12, p);
     }},
    {"wider clusters over 60 km", 0.01,
     [](FixtureRandom& r, std::vector<Place>& p) {
       scatter(r, 3000, 60000, 40000, p);
       clusters(r, 800, 60000, 40000, 40, p);
     }},
    {"co-circular, collinear and repeated clusters", 0.01,
     [](FixtureRandom& r, std::vector<Place>& p) {
       scatter(r, 5000, 30000, 30000, p);
       awkward_clusters(r, 400, 30000, 30000, p);
     }},
    {"dense patches among scattered points", 0.01,
     [](FixtureRandom& r, std::vector<Place>& p) {
       scatter(r, 3000, 40000, 40000, p);
       clusters(r, 300, 40000, 40000, 10, p);
       dense_patches(r, 3, 40000, 40000, p);
     }},
    {"lattice with close pairs", 0.01,
     [](FixtureRandom&, std::vector<Place>& p) { lattice_with_pairs(5000, p); }},
    {"5,000 points over 100 km", 0.01,
     [](FixtureRandom& r, std::vector<Place>& p) { scatter(r, 5000, 100000, 100000, p); }},
    {"6,000 points over 3,900 km x 19,600 km", 1.0,
     [](FixtureRandom& r, std::vector<Place>& p) {
       scatter(r, 6000, 3.9e6, 1.96e7, p);
       clusters(r, 100, 3.9e6, 1.96e7, 30, p);
     }},
    {"a compact block and its scrambled copy", 0.01,
     [](FixtureRandom& r, std::vector<Place>& p) { scrambled_copy(r, p); }},
};

struct ModeRow {
  const char* name;
  void (*set)(GroundSettings&);
};

const ModeRow kModes[] = {
    {"default", [](GroundSettings&) {}},
    {"town", [](GroundSettings& s) { s.town = true; }},
    {"metro", [](GroundSettings& s) { s.metro = true; }},
    {"step 3", [](GroundSettings& s) { s.step = 3; }},
};

bool write_input(const std::string& path, double scale, const std::vector<Place>& places) {
  FixtureFile file;
  file.point_data_format = 1;
  file.scale = {scale, scale, 0.01};
  std::vector<FixturePoint> points;
  for (size_t i = 0; i < places.size(); i++) {
    FixturePoint p;
    p.X = int32_t(std::lround(places[i].x / scale));
    p.Y = int32_t(std::lround(places[i].y / scale));
    p.Z = int32_t(std::lround(places[i].z * 100));
    p.gps_time = double(i);
    points.push_back(p);
  }
  return fixture_write_file(path, file, points);
}

// Classifies `in` into `out` in this process, where the switch reaches the estimate.
GroundFileResult classify(const std::string& in, const std::string& out, const ModeRow& mode) {
  GroundSettings settings;
  settings.quiet = true;
  settings.compute_height = true;
  mode.set(settings);
  return classify_las_in_process(in, out, settings).result;
}

// Allows the split again however the test ends.
struct SplitAllowed {
  ~SplitAllowed() { ground_split_clusters(true); }
};

TEST(GroundClusterSplit, SameBytesWithAndWithoutTheSplit) {
  SplitAllowed restore;
  const std::string in = temp_path("in.las"), with = temp_path("with.las"),
                    without = temp_path("without.las");
  uint64_t scenes_split = 0;
  for (size_t s = 0; s < sizeof(kScenes) / sizeof(kScenes[0]); s++) {
    const SceneRow& scene = kScenes[s];
    FixtureRandom random(1000 + s);
    std::vector<Place> places;
    scene.make(random, places);
    ASSERT_TRUE(write_input(in, scene.scale, places)) << scene.name;
    bool split = false;
    for (const ModeRow& mode : kModes) {
      const std::string what = std::string(scene.name) + ", " + mode.name;
      ground_split_clusters(true);
      const uint64_t before = ground_cluster_split_sets();
      const GroundFileResult a = classify(in, with, mode);
      split |= ground_cluster_split_sets() > before;
      ground_split_clusters(false);
      const uint64_t unsplit = ground_cluster_split_sets();
      const GroundFileResult b = classify(in, without, mode);
      EXPECT_EQ(ground_cluster_split_sets(), unsplit) << what;
      ASSERT_EQ(a, b) << what;
      if (a != GroundFileResult::kClassified) continue;
      FixtureContents one, two;
      ASSERT_TRUE(fixture_read_file(with, &one)) << what;
      ASSERT_TRUE(fixture_read_file(without, &two)) << what;
      ASSERT_EQ(one.points.size(), places.size()) << what;
      ASSERT_EQ(two.points.size(), places.size()) << what;
      size_t differ = 0;
      for (size_t i = 0; i < places.size(); i++) {
        if (one.points[i].classification != two.points[i].classification && differ++ < 5) {
          ADD_FAILURE() << what << ": point " << i << " class " << int(one.points[i].classification)
                        << " with the split, " << int(two.points[i].classification) << " without";
        }
      }
      EXPECT_EQ(differ, 0u) << what;
      EXPECT_TRUE(file_bytes(with) == file_bytes(without)) << what;
    }
    scenes_split += split ? 1 : 0;
  }
  // The split is not a no-op here: most scenes take it in some mode.
  EXPECT_GE(scenes_split, 5u);
  std::remove(in.c_str());
  std::remove(with.c_str());
  std::remove(without.c_str());
}

}  // namespace
