#include "tin/tin.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/crt_random.hpp"
#include "tin_check.hpp"

namespace {

// Point records of three floats, as the ground tool keeps them.
struct Points {
  std::vector<float> xyz;
  void add(float x, float y, float z = 0) {
    xyz.push_back(x);
    xyz.push_back(y);
    xyz.push_back(z);
  }
  size_t size() const { return xyz.size() / 3; }
  float* at(size_t i) { return xyz.data() + 3 * i; }
  size_t distinct() const {
    std::set<std::pair<float, float>> s;
    for (size_t i = 0; i < size(); ++i) s.insert({xyz[3 * i], xyz[3 * i + 1]});
    return s.size();
  }
};

// Builds the TIN from all points in order; returns the duplicate count.
uint32_t build(Points& p) {
  EXPECT_TRUE(tin_init(static_cast<uint32_t>(p.size()), false));
  tin_set_point_base(p.xyz.data());
  for (size_t i = 0; i < p.size(); ++i) tin_add_point(p.at(i));
  return tin_flush();
}

Points grid(int nx, int ny, float step = 1, float x0 = 0, float y0 = 0) {
  Points p;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) p.add(x0 + i * step, y0 + j * step);
  return p;
}

Points random_points(int n, unsigned seed, float lo, float hi) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(lo, hi);
  Points p;
  for (int i = 0; i < n; ++i) {
    const float x = d(rng);
    p.add(x, d(rng));
  }
  return p;
}

Points random_integers(int n, unsigned seed, int range) {
  std::mt19937 rng(seed);
  Points p;
  for (int i = 0; i < n; ++i) {
    const float x = static_cast<float>(rng() % range);
    p.add(x, static_cast<float>(rng() % range));
  }
  return p;
}

struct Fixture {
  const char* name;
  std::function<Points()> make;
};

const std::vector<Fixture>& insertion_fixtures() {
  static const std::vector<Fixture> fixtures = {
      {"10 x 10 integer grid", [] { return grid(10, 10); }},
      {"collinear points first",
       [] {
         Points p;
         for (int i = 0; i < 50; ++i) p.add(static_cast<float>(i), 2.0f * i + 1);
         Points r = random_integers(30, 3, 60);
         for (size_t i = 0; i < r.size(); ++i) p.add(r.at(i)[0], r.at(i)[1]);
         return p;
       }},
      {"points on edges and diagonals",
       [] {
         Points p = grid(5, 5, 2);
         for (int j = 0; j < 5; ++j)
           for (int i = 0; i < 5; ++i) {
             if (i < 4) p.add(2.0f * i + 1, 2.0f * j);
             if (j < 4) p.add(2.0f * i, 2.0f * j + 1);
             if (i < 4 && j < 4) p.add(2.0f * i + 1, 2.0f * j + 1);
           }
         return p;
       }},
      {"points on a hull line's extension",
       [] {
         Points p;
         p.add(0, 0), p.add(1, 0), p.add(0, 1);
         const float xs[] = {5, -3, 10, 2, -7, 0.5f};
         for (float x : xs) p.add(x, 0);
         const float ys[] = {7, -4, 3, 12};
         for (float y : ys) p.add(0, y);
         p.add(-1, 2), p.add(-2, 3);  // on the line x + y = 1 beyond (0, 1)
         return p;
       }},
      {"duplicates",
       [] {
         Points g = grid(6, 6, 0.5f);
         Points p;
         for (int k = 0; k < 3; ++k)
           for (size_t i = 0; i < g.size(); ++i)
             p.add(g.at(i)[0], g.at(i)[1], static_cast<float>(k));
         return p;
       }},
      {"random floats", [] { return random_points(2000, 1, 0, 1000); }},
      {"random small integers (many duplicates and cocircular sets)",
       [] { return random_integers(600, 2, 20); }},
      {"f32 far from the origin", [] { return random_points(1000, 5, 512000, 512100); }},
      {"jittered grid longer than the delay line",
       [] {
         std::mt19937 rng(9);
         std::uniform_int_distribution<int> jitter(-3, 3);
         Points p;
         for (int j = 0; j < 130; ++j)
           for (int i = 0; i < 130; ++i) {
             p.add(1000.0f + i + jitter(rng) * 0.125f, 2000.0f + j + jitter(rng) * 0.125f);
             if (i % 7 == 0) p.add(p.at(p.size() - 1)[0], p.at(p.size() - 1)[1]);
           }
         return p;
       }},
  };
  return fixtures;
}

TEST(Tin, InsertionFixturesGiveValidDelaunayTriangulations) {
  for (const Fixture& f : insertion_fixtures()) {
    Points p = f.make();
    const uint32_t dups = build(p);
    const TinReport r = check_tin();
    EXPECT_EQ(r.problem, "") << f.name;
    EXPECT_EQ(r.vertices, p.distinct()) << f.name;
    EXPECT_EQ(dups, p.size() - p.distinct()) << f.name;
    EXPECT_EQ(r.triangles, 2 * r.vertices - 2) << f.name;
    for (const float* v : r.vertex_set) {
      ASSERT_TRUE(v >= p.xyz.data() && v < p.xyz.data() + p.xyz.size()) << f.name;
      ASSERT_EQ((v - p.xyz.data()) % 3, 0) << f.name;
    }
  }
}

TEST(Tin, GridHullAndCountsAreExact) {
  Points p = grid(10, 10);
  build(p);
  const TinReport r = check_tin();
  ASSERT_EQ(r.problem, "");
  EXPECT_EQ(r.vertices, 100u);
  EXPECT_EQ(r.hull_edges, 36u);  // every boundary point of the grid is a hull vertex
  EXPECT_EQ(r.triangles - r.hull_edges, 2u * 100 - 36 - 2);
}

// Scan rows with every point twice: no three most recent points are ever
// non-collinear, yet the points span an area and must all get in.
TEST(Tin, RowsOfRepeatedPointsStillBuild) {
  Points p;
  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 5; ++i) {
      p.add(static_cast<float>(i), static_cast<float>(j), 0);
      p.add(static_cast<float>(i), static_cast<float>(j), 1);
    }
  EXPECT_EQ(build(p), 25u);
  const TinReport r = check_tin();
  EXPECT_EQ(r.problem, "");
  EXPECT_EQ(r.vertices, 25u);
  for (const float* v : r.vertex_set) EXPECT_EQ(v[2], 0.0f);  // the first copy wins
}

TEST(Tin, CollinearPointsAloneBuildNothing) {
  Points p;
  for (int i = 0; i < 20; ++i) p.add(static_cast<float>(i), static_cast<float>(3 * i));
  EXPECT_EQ(build(p), 0u);
  EXPECT_EQ(tin_triangle_count(), 0u);
  // A later point off the line starts from scratch: the earlier ones are gone.
  Points q;
  q.add(0, 1);
  tin_add_point(q.at(0));
  tin_flush();
  EXPECT_EQ(tin_triangle_count(), 0u);
}

// A run of collinear points longer than the delay line before the first
// triangle: the run must neither overflow the line nor lose points.
TEST(Tin, LongCollinearLeadIsKept) {
  const int runs[] = {9997, 9998, 9999, 10000, 10001, 12000};
  for (int run : runs) {
    Points p;
    for (int i = 0; i < run; ++i) p.add(static_cast<float>(i), static_cast<float>(2 * i));
    p.add(5, -3);
    for (int i = 0; i < 50; ++i) p.add(static_cast<float>(3 * i), 7.0f + i);
    build(p);
    const TinReport r = check_tin();
    EXPECT_EQ(r.problem, "") << run;
    EXPECT_EQ(r.vertices, p.distinct()) << run;
  }
}

// Which of several duplicates becomes the vertex depends on the delay line's
// random swaps only, so it repeats for the same generator state.
TEST(Tin, DuplicateChoiceIsReproducible) {
  // Scan rows; each point's second copy follows one point later.
  Points p;
  for (int j = 0; j < 120; ++j)
    for (int i = 0; i <= 120; ++i) {
      if (i < 120) p.add(static_cast<float>(i), static_cast<float>(j), 0);
      if (i > 0) p.add(static_cast<float>(i - 1), static_cast<float>(j), 1);
    }
  auto chosen = [&](unsigned seed) {
    crt_srand(seed);
    build(p);
    std::vector<size_t> ids;
    for (const float* v : check_tin().vertex_set) ids.push_back((v - p.xyz.data()) / 3);
    std::sort(ids.begin(), ids.end());
    return ids;
  };
  const std::vector<size_t> first = chosen(1);
  ASSERT_EQ(first.size(), 120u * 120u);
  EXPECT_EQ(chosen(1), first);
  EXPECT_NE(chosen(77), first);  // the swaps do pick other copies
  // The second copy wins only where a random swap moved it ahead.
  size_t second_copies = 0;
  for (size_t id : first) second_copies += p.at(id)[2] == 1;
  EXPECT_GT(second_copies, 0u);
  EXPECT_LT(second_copies, first.size() / 10);
}

// Every triangle slot of the TIN, byte for byte, with the number of slots handed out.
std::vector<uint8_t> tin_slots() {
  std::vector<uint8_t> bytes(size_t(tin_triangle_count()) * sizeof(TINtriangle));
  for (uint32_t t = 0; t < tin_triangle_count(); ++t)
    std::memcpy(&bytes[size_t(t) * sizeof(TINtriangle)], tin_triangle_at(t), sizeof(TINtriangle));
  return bytes;
}

// The delay line only orders the insertions: its TIN is, slot for slot, the one that inserting
// the same points one at a time in its order gives, however its walks start. Points on edges,
// at vertices and outside the hull, whose triangle depends on the walk, show any difference.
TEST(Tin, DelayLineGivesTheTinOfItsInsertionOrder) {
  const std::pair<const char*, std::function<Points()>> fixtures[] = {
      {"integer rows with points on their edges and repeats",
       [] {
         Points p;
         p.add(0, 0), p.add(200, 1), p.add(3, 120);
         for (int j = 0; j < 110; ++j)
           for (int i = 0; i < 190; ++i) {
             p.add(static_cast<float>(i), static_cast<float>(j));
             if (i % 3 == 1) p.add(i - 0.5f, static_cast<float>(j));
             if (i % 11 == 0) p.add(static_cast<float>(i), j - 0.5f);
             if (i % 17 == 0) p.add(static_cast<float>(i / 2), static_cast<float>(j / 2));
           }
         return p;
       }},
      {"jittered rows growing the hull", [] {
         std::mt19937 rng(4);
         std::uniform_int_distribution<int> jitter(-2, 2);
         Points p;
         p.add(0, 0), p.add(1, 0), p.add(0, 1);
         for (int j = 0; j < 130; ++j)
           for (int i = 0; i < 170; ++i) p.add(i + jitter(rng) * 0.25f, j + jitter(rng) * 0.25f);
         return p;
       }}};
  for (const auto& [name, make] : fixtures) {
    Points p = make();
    ASSERT_GT(p.size(), size_t(2 * TIN_QUEUE_SIZE)) << name;
    crt_srand(5);
    const uint32_t duplicates = build(p);
    const std::vector<uint8_t> queued = tin_slots();

    // The same order by hand: the first triangle, then the delay line with its swaps.
    crt_srand(5);
    ASSERT_TRUE(tin_init(static_cast<uint32_t>(p.size()), false));
    tin_set_point_base(p.xyz.data());
    for (size_t i = 0; i < 3; ++i) tin_add_point(p.at(i));
    std::vector<float*> line;
    size_t position = 0;
    uint32_t refused = 0;
    for (size_t i = 3; i < p.size(); ++i) {
      if (line.size() < size_t(TIN_QUEUE_SIZE)) {
        line.push_back(p.at(i));
        continue;
      }
      if (position % 256 == 0) std::swap(line[position], line[crt_rand() % TIN_QUEUE_SIZE]);
      refused += !tin_insert_point(line[position]);
      line[position] = p.at(i);
      position = (position + 1) % TIN_QUEUE_SIZE;
    }
    for (float* q : line) refused += !tin_insert_point(q);
    EXPECT_EQ(refused, duplicates) << name;
    EXPECT_TRUE(tin_slots() == queued) << name;
    EXPECT_EQ(check_tin().problem, "") << name;

    // Starts given with the points, near or far, freed or never taken, change nothing either.
    crt_srand(5);
    ASSERT_TRUE(tin_init(static_cast<uint32_t>(p.size()), false));
    tin_set_point_base(p.xyz.data());
    std::mt19937 rng(8);
    for (size_t i = 0; i < p.size(); ++i) {
      const int32_t slots = static_cast<int32_t>(tin_triangle_count());
      const int32_t start = static_cast<int32_t>(rng() % uint32_t(slots + 50)) - 20;
      tin_add_point(p.at(i), i % 5 == 0 ? -1 : start);
    }
    EXPECT_EQ(tin_flush(), duplicates) << name;
    EXPECT_TRUE(tin_slots() == queued) << name;
  }
}

TEST(Tin, HullOnlyInsertsOutsidePointsOnly) {
  Points p;
  p.add(0, 0), p.add(10, 0), p.add(0, 10), p.add(3, 3), p.add(20, 20), p.add(1, 1);
  ASSERT_TRUE(tin_init(6, true));
  tin_set_point_base(p.xyz.data());
  for (size_t i = 0; i < 3; ++i) tin_add_point(p.at(i));
  tin_flush();
  EXPECT_FALSE(tin_insert_point(p.at(3)));
  EXPECT_TRUE(tin_insert_point(p.at(4)));
  EXPECT_FALSE(tin_insert_point(p.at(5)));
  const TinReport r = check_tin();
  EXPECT_EQ(r.problem, "");
  EXPECT_EQ(r.vertices, 4u);
}

// --- location -----------------------------------------------------------------

bool neighbours(int32_t a, int32_t b) {
  const TINtriangle* A = tin_triangle_at(a);
  for (int i = 0; i < 3; ++i)
    if (A->n[i] / 3 == b) return true;
  return false;
}

TEST(Tin, WalkAgreesWithBruteForce) {
  const Fixture* picks[] = {&insertion_fixtures()[0], &insertion_fixtures()[2],
                            &insertion_fixtures()[3], &insertion_fixtures()[6],
                            &insertion_fixtures()[7]};
  for (const Fixture* f : picks) {
    Points p = f->make();
    build(p);
    const TinReport r = check_tin();
    ASSERT_EQ(r.problem, "") << f->name;
    TINlocation hint{nullptr, 0};
    // Every vertex is found as a vertex, from wherever the last walk ended.
    for (const float* v : r.vertex_set) {
      TINlocation walk, brute;
      tin_locate(&walk, v, &hint);
      brute_locate(&brute, v);
      ASSERT_EQ(walk.triangle, nullptr) << f->name;
      ASSERT_EQ(brute.triangle, nullptr) << f->name;
      ASSERT_TRUE(location_holds(walk, v)) << f->name;
      ASSERT_TRUE(location_holds(brute, v)) << f->name;
      hint = TINlocation{tin_triangle_at(walk.index), walk.index};
    }
    // Points on edges (midpoints, exact for these coordinates), edge
    // extensions beyond the hull and points in between.
    std::vector<float> probes;
    for (uint32_t t = 0; t < tin_triangle_count(); ++t) {
      const TINtriangle* T = tin_triangle_at(t);
      if (!tin_in_use(T)) continue;
      for (int i = 0; i < 3; ++i) {
        const float* a = T->v[(i + 1) % 3];
        const float* b = T->v[(i + 2) % 3];
        if (!a || !b) continue;
        probes.push_back((a[0] + b[0]) * 0.5f), probes.push_back((a[1] + b[1]) * 0.5f);
        probes.push_back(2 * b[0] - a[0]), probes.push_back(2 * b[1] - a[1]);
        probes.push_back((a[0] + b[0] + 0.3f)), probes.push_back((a[1] + b[1]) * 0.25f);
      }
    }
    for (size_t k = 0; k + 1 < probes.size(); k += 2) {
      const float q[3] = {probes[k], probes[k + 1], 0};
      TINlocation walk, brute;
      tin_locate(&walk, q, (k % 4 == 0) ? &hint : nullptr);
      brute_locate(&brute, q);
      ASSERT_TRUE(location_holds(walk, q)) << f->name << " probe " << q[0] << "," << q[1];
      ASSERT_TRUE(location_holds(brute, q)) << f->name;
      ASSERT_EQ(walk.triangle == nullptr, brute.triangle == nullptr) << f->name;
      if (walk.triangle && brute.triangle && walk.index != brute.index) {
        // Ties on an edge or at the hull may go to either side.
        const bool finite_both = walk.triangle->v[0] && brute.triangle->v[0];
        if (finite_both) {
          ASSERT_TRUE(neighbours(walk.index, brute.index)) << f->name;
        }
      }
      if (walk.triangle) hint = walk;
    }
  }
}

// Positions on the lines of hull edges, located from every triangle: the walk
// must follow the hull to a triangle that holds them.
TEST(Tin, HullWalkAlongCollinearHullEdges) {
  Points p;
  p.add(0, 0), p.add(1, 0), p.add(2, 0), p.add(3, 0), p.add(1.5f, 2);
  build(p);
  ASSERT_EQ(check_tin().problem, "");
  struct Probe {
    float x, y;
    bool vertex;
  };
  const Probe probes[] = {
      {10, 0, false},    {-5, 0, false},   {3, 0, true},      {0, 0, true},
      {2.5f, 0, false},  {0.5f, 0, false}, {4.5f, -2, false}, {-1.5f, -2, false},
      {0.75f, 1, false}, {6, -6, false},   {1.5f, 2, true},   {-3, -4, false},
  };
  for (const Probe& pr : probes) {
    const float q[3] = {pr.x, pr.y, 0};
    for (uint32_t t = 0; t < tin_triangle_count(); ++t) {
      if (!tin_in_use(tin_triangle_at(t))) continue;
      const TINlocation hint{tin_triangle_at(t), static_cast<int32_t>(t)};
      TINlocation loc;
      tin_locate(&loc, q, &hint);
      EXPECT_EQ(loc.triangle == nullptr, pr.vertex) << pr.x << "," << pr.y << " from " << t;
      EXPECT_TRUE(location_holds(loc, q)) << pr.x << "," << pr.y << " from " << t;
    }
  }
}

TEST(Tin, DuplicateIsLocatedAsVertexAndCounted) {
  Points p = grid(4, 4);
  p.add(2, 2, 5);  // same x and y as a grid point, other z
  p.add(1, 3, 7);
  EXPECT_EQ(build(p), 2u);
  TINlocation loc;
  tin_locate(&loc, p.at(16), nullptr);
  EXPECT_EQ(loc.triangle, nullptr);
  EXPECT_FALSE(tin_insert_point(p.at(16)));
  EXPECT_EQ(tin_flush(), 3u);
}

// Every refused duplicate is reported with the vertex at its place, also when that vertex came
// in the same flush; the handler hears nothing once it is cleared.
TEST(Tin, RefusedDuplicatesAreReportedWithTheirVertex) {
  struct Refusal {
    const float* point;
    const float* vertex;
  };
  std::vector<Refusal> heard;
  auto listen = [](float* point, float* vertex, void* context) {
    static_cast<std::vector<Refusal>*>(context)->push_back({point, vertex});
  };
  // Copies of grid points (edge, corner and inner vertices), each after its original.
  Points p = grid(30, 30);
  const size_t originals[] = {0, 29, 31 * 15, 899, 450};
  for (size_t i : originals) p.add(p.at(i)[0], p.at(i)[1], 9);
  tin_set_duplicate_handler(listen, &heard);
  EXPECT_EQ(build(p), 5u);
  tin_set_duplicate_handler(nullptr, nullptr);
  ASSERT_EQ(heard.size(), 5u);
  std::vector<std::pair<size_t, size_t>> pairs;
  for (const Refusal& r : heard) {
    ASSERT_NE(r.vertex, nullptr);
    pairs.push_back({size_t(r.point - p.xyz.data()) / 3, size_t(r.vertex - p.xyz.data()) / 3});
  }
  std::sort(pairs.begin(), pairs.end());
  const std::vector<std::pair<size_t, size_t>> expected = {
      {900, 0}, {901, 29}, {902, 465}, {903, 899}, {904, 450}};
  EXPECT_EQ(pairs, expected);
  // Located on a vertex, the location names it; elsewhere there is none to name.
  TINlocation loc;
  tin_locate(&loc, p.at(902), nullptr);
  ASSERT_EQ(loc.triangle, nullptr);
  EXPECT_EQ(tin_vertex_at(loc, p.at(902)), p.at(465));
  EXPECT_FALSE(tin_insert_point(p.at(903)));
  EXPECT_EQ(heard.size(), 5u);
}

// --- deletion -------------------------------------------------------------------

// The ring of Delaunay neighbours of w, counter-clockwise (null for the
// point at infinity).
std::vector<const float*> star_of(const float* w) {
  std::vector<const float*> ring;
  for (uint32_t t = 0; t < tin_triangle_count(); ++t) {
    const TINtriangle* T = tin_triangle_at(t);
    if (!tin_in_use(T)) continue;
    for (int k = 0; k < 3; ++k) {
      if (T->v[k] != w) continue;
      int32_t u = static_cast<int32_t>(t);
      int kk = k;
      do {
        const TINtriangle* U = tin_triangle_at(u);
        ring.push_back(U->v[(kk + 1) % 3]);
        const int32_t c = U->n[(kk + 1) % 3];
        u = c / 3;
        kk = (c % 3 + 1) % 3;
      } while (u != static_cast<int32_t>(t));
      return ring;
    }
  }
  return ring;
}

bool star_is_reflex(const float* w) {
  const std::vector<const float*> ring = star_of(w);
  for (size_t i = 0; i < ring.size(); ++i) {
    const float* a = ring[i];
    const float* b = ring[(i + 1) % ring.size()];
    const float* c = ring[(i + 2) % ring.size()];
    if (a && b && c && orient_f(a, b, c) < 0) return true;
  }
  return false;
}

struct DeletionFixture {
  const char* name;
  std::function<Points()> make;
  int special;  // index of the vertex the fixture is about, or -1
};

const std::vector<DeletionFixture>& deletion_fixtures() {
  static const std::vector<DeletionFixture> fixtures = {
      {"reflex star",
       [] {
         Points p;
         p.add(0, 0);  // w: degree 6, two reflex corners in its star polygon
         const float ring[][2] = {{-9, 1}, {-1, -2}, {6, 7},  {-4, -3},
                                  {-8, 4}, {2, 2},   {-1, 8}, {8, -2}};
         for (const auto& q : ring) p.add(q[0], q[1]);
         return p;
       },
       0},
      {"hull vertex over interior points",
       [] {
         Points p;
         p.add(10, 10);  // the hull corner; removing it exposes the inner points
         p.add(0, 0), p.add(10, 0), p.add(0, 10);
         p.add(6, 5), p.add(5, 6), p.add(7, 7), p.add(4, 4), p.add(2, 5);
         return p;
       },
       0},
      {"degree 3",
       [] {
         Points p;
         p.add(1, 1);
         p.add(0, 0), p.add(4, 0), p.add(0, 4);
         return p;
       },
       0},
      {"convex polygon with a centre",
       [] {
         Points p;
         p.add(0, 0);
         const float ring[][2] = {{5, 0},  {3, 4},   {0, 5},  {-4, 3},
                                  {-5, 0}, {-3, -4}, {0, -5}, {4, -3}};
         for (const auto& q : ring) p.add(q[0], q[1]);
         return p;
       },
       0},
      {"6 x 6 grid", [] { return grid(6, 6); }, -1},
      {"collinear hull points",
       [] {
         Points p;
         for (int i = 0; i < 6; ++i) p.add(static_cast<float>(i), 0);
         p.add(2.5f, 3), p.add(1, 1), p.add(4, 1);
         return p;
       },
       -1},
      {"random small integers", [] { return random_integers(40, 4, 8); }, -1},
      {"random floats", [] { return random_points(40, 6, 0, 100); }, -1},
  };
  return fixtures;
}

TEST(Tin, FixturesShowTheirCase) {
  const std::vector<DeletionFixture>& f = deletion_fixtures();
  Points p = f[0].make();
  build(p);
  EXPECT_TRUE(star_is_reflex(p.at(0)));
  EXPECT_EQ(star_of(p.at(0)).size(), 6u);
  Points h = f[1].make();
  build(h);
  const std::vector<const float*> hs = star_of(h.at(0));
  EXPECT_NE(std::find(hs.begin(), hs.end(), nullptr), hs.end());
  Points d = f[2].make();
  build(d);
  EXPECT_EQ(star_of(d.at(0)).size(), 3u);
}

// Every vertex of each fixture deleted on its own from a fresh TIN.
TEST(Tin, DeletingAnyVertexKeepsTheTinValid) {
  for (const DeletionFixture& f : deletion_fixtures()) {
    Points p = f.make();
    for (size_t i = 0; i < p.size(); ++i) {
      build(p);
      const TinReport before = check_tin();
      ASSERT_EQ(before.problem, "") << f.name;
      if (!before.vertex_set.count(p.at(i))) continue;  // a duplicate that never got in
      ASSERT_TRUE(tin_delete_point(p.at(i))) << f.name << " vertex " << i;
      const TinReport after = check_tin();
      ASSERT_EQ(after.problem, "") << f.name << " vertex " << i;
      EXPECT_EQ(after.vertices, before.vertices - 1) << f.name << " vertex " << i;
      EXPECT_EQ(after.vertex_set.count(p.at(i)), 0u) << f.name;
    }
  }
}

bool all_collinear(const std::set<const float*>& vs) {
  std::vector<const float*> v(vs.begin(), vs.end());
  for (size_t k = 2; k < v.size(); ++k)
    if (orient_f(v[0], v[1], v[k]) != 0) return false;
  return true;
}

// Vertices deleted one after another until three remain or the rest lie on
// one line (a TIN without area, whose end points have only two neighbours),
// each step checked.
TEST(Tin, DeletingVerticesOneAfterAnother) {
  for (const DeletionFixture& f : deletion_fixtures()) {
    for (int order = 0; order < 2; ++order) {
      Points p = f.make();
      build(p);
      std::vector<float*> vertices;
      for (const float* v : check_tin().vertex_set) vertices.push_back(const_cast<float*>(v));
      if (order == 1) std::reverse(vertices.begin(), vertices.end());
      size_t remaining = vertices.size();
      for (float* v : vertices) {
        if (remaining <= 3 || all_collinear(check_tin().vertex_set)) break;
        ASSERT_TRUE(tin_delete_point(v)) << f.name;
        --remaining;
        const TinReport r = check_tin();
        ASSERT_EQ(r.problem, "") << f.name << " with " << remaining << " left";
        ASSERT_EQ(r.vertices, remaining) << f.name;
      }
    }
  }
}

TEST(Tin, DeletionThenInsertionAgain) {
  Points p = random_points(300, 12, 0, 50);
  build(p);
  for (size_t i = 0; i < p.size(); i += 3) ASSERT_TRUE(tin_delete_point(p.at(i)));
  for (size_t i = 0; i < p.size(); i += 3) tin_add_point(p.at(i));
  tin_flush();
  const TinReport r = check_tin();
  EXPECT_EQ(r.problem, "");
  EXPECT_EQ(r.vertices, 300u);
}

TEST(Tin, DeletingANonVertexChangesNothing) {
  Points p = grid(3, 3);
  p.add(1, 1, 9);  // duplicate of the centre, never a vertex
  build(p);
  const uint32_t before = tin_triangle_count();
  EXPECT_FALSE(tin_delete_point(p.at(9)));
  EXPECT_EQ(tin_triangle_count(), before);
  EXPECT_EQ(check_tin().vertices, 9u);
}

// --- TINs without area -----------------------------------------------------------------------

// Deleting the only vertex off a line leaves a TIN without area: every vertex on the line, every
// segment seen from both sides by an infinite triangle, the hull folded back at the two ends.
struct LineCase {
  const char* name;
  float origin[2], direction[2];  // vertex k lies at origin + k * direction
  int count;
  float off[2];    // the vertex off the line
  bool off_first;  // inserted before the line rather than after it
  bool reversed;   // line vertices inserted from the far end
};

const LineCase kLineCases[] = {
    // The ground tool's case: a row of seeds and a low point below its first one.
    {"row and a low point", {6, 4}, {2, 0}, 7, {0, 0}, false, false},
    {"row, point above its middle", {0, 0}, {1, 0}, 5, {2, 3}, true, false},
    {"column", {10, -4}, {0, 3}, 6, {12, 1}, false, true},
    {"diagonal", {-2, -2}, {1, 1}, 8, {5, -1}, true, true},
    {"steep slant", {100, 50}, {-1, 3}, 4, {90, 50}, false, false},
    {"three points", {0, 0}, {4, 2}, 3, {-3, 6}, false, false},
};

// Point records: the line's vertices in line order, the point off it, then positions at the
// given line parameters (records of the point base, so that they can be inserted later).
struct Line {
  Points p;
  const LineCase* c;
  std::pair<float, float> at(float s) const {
    return {c->origin[0] + s * c->direction[0], c->origin[1] + s * c->direction[1]};
  }
  float* off() { return p.at(static_cast<size_t>(c->count)); }
  float* extra(size_t k) { return p.at(static_cast<size_t>(c->count) + 1 + k); }
};

// The TIN of the line and the point off it.
Line line_tin(const LineCase& c, const std::vector<float>& extras) {
  Line l{{}, &c};
  for (int k = 0; k < c.count; ++k) {
    const auto a = l.at(static_cast<float>(k));
    l.p.add(a.first, a.second);
  }
  l.p.add(c.off[0], c.off[1]);
  for (float s : extras) l.p.add(l.at(s).first, l.at(s).second);
  std::vector<size_t> order;
  for (int k = 0; k < c.count; ++k) order.push_back(c.reversed ? c.count - 1 - k : k);
  if (c.off_first) {
    order.insert(order.begin(), static_cast<size_t>(c.count));
  } else {
    order.push_back(static_cast<size_t>(c.count));
  }
  EXPECT_TRUE(tin_init(static_cast<uint32_t>(l.p.size()), false));
  tin_set_point_base(l.p.xyz.data());
  for (size_t i : order) tin_add_point(l.p.at(i));
  tin_flush();
  return l;
}

// Whether q, on the line past its end vertex `end`, was located at that end: an infinite
// triangle of the end vertex whose edge's line holds q.
bool located_at_end(const TINlocation& loc, const float* q, const float* end) {
  if (!loc.triangle || loc.triangle != tin_triangle_at(static_cast<uint32_t>(loc.index))) {
    return false;
  }
  const TINtriangle* T = loc.triangle;
  return !T->v[0] && (T->v[1] == end || T->v[2] == end) && orient_f(q, T->v[1], T->v[2]) == 0;
}

// Every answer for q, from each triangle in use as the hint and by brute force.
std::vector<TINlocation> locate_from_everywhere(const float* q) {
  std::vector<TINlocation> found;
  for (uint32_t t = 0; t < tin_triangle_count(); ++t) {
    if (!tin_in_use(tin_triangle_at(t))) continue;
    const TINlocation hint{tin_triangle_at(t), static_cast<int32_t>(t)};
    found.emplace_back();
    tin_locate(&found.back(), q, &hint);
  }
  found.emplace_back();
  brute_locate(&found.back(), q);
  return found;
}

TEST(Tin, TinWithoutAreaLocatesInsertsAndDeletes) {
  for (const LineCase& c : kLineCases) {
    SCOPED_TRACE(c.name);
    // Line parameters past either end, on vertices and between them.
    const float n = static_cast<float>(c.count - 1);
    const std::vector<float> params = {-7, -1, -0.5f, 0, 0.5f, 1, n - 0.5f, n, n + 0.5f, n + 3};
    Line l = line_tin(c, params);
    ASSERT_EQ(check_tin().problem, "");
    ASSERT_TRUE(tin_delete_point(l.off()));
    TinReport r = check_tin();
    ASSERT_EQ(r.problem, "");
    ASSERT_EQ(r.vertices, static_cast<uint32_t>(c.count));
    ASSERT_EQ(r.hull_edges, 2u * (c.count - 1));
    ASSERT_TRUE(all_collinear(r.vertex_set));

    for (size_t k = 0; k < params.size(); ++k) {
      const float s = params[k];
      const float* q = l.extra(k);
      for (const TINlocation& loc : locate_from_everywhere(q)) {
        if (s < 0) {
          ASSERT_TRUE(located_at_end(loc, q, l.p.at(0))) << s;
        } else if (s > n) {
          ASSERT_TRUE(located_at_end(loc, q, l.p.at(c.count - 1))) << s;
        } else {
          ASSERT_TRUE(location_holds(loc, q)) << s;
          ASSERT_EQ(loc.triangle == nullptr, s == std::floor(s)) << s;
        }
      }
    }
    // Off the line, on either side, beside the line and beyond its ends.
    for (float s : {-2.0f, 0.5f, n + 1}) {
      const auto a = l.at(s);
      const float left[3] = {a.first - c.direction[1], a.second + c.direction[0], 0};
      const float right[3] = {a.first + 2 * c.direction[1], a.second - 2 * c.direction[0], 0};
      for (const float* q : {left, right}) {
        for (const TINlocation& loc : locate_from_everywhere(q)) {
          ASSERT_NE(loc.triangle, nullptr) << s;
          ASSERT_TRUE(location_holds(loc, q)) << s;
        }
      }
    }

    // Inserted one by one, positions on the line extend it or split its segments; a vertex's
    // position is refused.
    uint32_t vertices = c.count;
    for (size_t k = 0; k < params.size(); ++k) {
      const float s = params[k];
      const bool vertex = s == std::floor(s) && s >= 0 && s <= n;
      ASSERT_EQ(tin_insert_point(l.extra(k)), !vertex) << s;
      vertices += !vertex;
      r = check_tin();
      ASSERT_EQ(r.problem, "") << s;
      ASSERT_EQ(r.vertices, vertices);
      ASSERT_EQ(r.hull_edges, 2u * (vertices - 1));
      ASSERT_TRUE(all_collinear(r.vertex_set));
    }
    // The new ends are found as vertices.
    for (size_t k : {size_t{0}, params.size() - 1}) {
      for (const TINlocation& loc : locate_from_everywhere(l.extra(k))) {
        ASSERT_EQ(loc.triangle, nullptr);
        ASSERT_TRUE(location_holds(loc, l.extra(k)));
      }
    }

    // Deleting an end, a vertex between two others, and the other end keeps a line.
    for (float* w : {l.extra(0), l.p.at(1), l.extra(params.size() - 1)}) {
      ASSERT_TRUE(tin_delete_point(w));
      --vertices;
      r = check_tin();
      ASSERT_EQ(r.problem, "");
      ASSERT_EQ(r.vertices, vertices);
      ASSERT_EQ(r.vertex_set.count(w), 0u);
      ASSERT_EQ(r.hull_edges, 2u * (vertices - 1));
    }

    // A point off the line gives the TIN its area back.
    ASSERT_TRUE(tin_insert_point(l.off()));
    r = check_tin();
    ASSERT_EQ(r.problem, "");
    ASSERT_EQ(r.vertices, vertices + 1);
    ASSERT_FALSE(all_collinear(r.vertex_set));
  }
}

// Lines of random length and slope with up to three points off them, inserted in random order;
// the points off the line deleted one after another, then inserted again. Each step keeps a
// sound TIN; once the last point off the line is gone, every vertex is on the line.
TEST(Tin, DeletingThePointsOffALineLeavesTheLine) {
  std::mt19937 rng(31);
  for (int round = 0; round < 300; ++round) {
    const int dx = static_cast<int>(rng() % 5) - 2;
    const int dy = dx == 0 ? 1 + static_cast<int>(rng() % 3) : static_cast<int>(rng() % 5) - 2;
    const int count = 2 + static_cast<int>(rng() % 10);
    Points p;
    for (int k = 0; k < count; ++k)
      p.add(static_cast<float>(3 + k * dx), static_cast<float>(-1 + k * dy));
    const int offs = 1 + static_cast<int>(rng() % 3);
    while (static_cast<int>(p.size()) < count + offs) {
      const float x = static_cast<float>(static_cast<int>(rng() % 41) - 20);
      const float y = static_cast<float>(static_cast<int>(rng() % 41) - 20);
      const float q[3] = {x, y, 0};
      if (orient_f(p.at(0), p.at(1), q) != 0) p.add(x, y);
    }
    // Off points repeated by chance are refused and never become vertices.
    std::vector<size_t> order(p.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::shuffle(order.begin(), order.end(), rng);
    ASSERT_TRUE(tin_init(static_cast<uint32_t>(p.size()), false));
    tin_set_point_base(p.xyz.data());
    for (size_t k : order) tin_add_point(p.at(k));
    tin_flush();
    TinReport r = check_tin();
    ASSERT_EQ(r.problem, "") << round;
    for (int k = count; k < count + offs; ++k) {
      if (!check_tin().vertex_set.count(p.at(k))) continue;
      ASSERT_TRUE(tin_delete_point(p.at(k))) << round;
      r = check_tin();
      ASSERT_EQ(r.problem, "") << round;
    }
    ASSERT_EQ(r.vertices, static_cast<uint32_t>(count)) << round;
    ASSERT_EQ(r.hull_edges, 2u * (count - 1)) << round;
    for (int k = count; k < count + offs; ++k) {
      tin_insert_point(p.at(k));
      ASSERT_EQ(check_tin().problem, "") << round;
    }
    ASSERT_FALSE(all_collinear(check_tin().vertex_set)) << round;
  }
}

// Down to the last segment: a line of two vertices keeps both, since one vertex makes no TIN;
// past either end it grows again.
TEST(Tin, TinWithoutAreaKeepsItsLastSegment) {
  const LineCase& c = kLineCases[1];
  Line l = line_tin(c, {-3, static_cast<float>(c.count) + 2});
  ASSERT_TRUE(tin_delete_point(l.off()));
  // An end, a vertex next to the other end, and the middle one of three, down to the ends.
  ASSERT_EQ(c.count, 5);
  for (int k : {4, 1, 2}) {
    ASSERT_TRUE(tin_delete_point(l.p.at(k))) << k;
    ASSERT_EQ(check_tin().problem, "") << k;
  }
  TinReport r = check_tin();
  ASSERT_EQ(r.vertices, 2u);
  EXPECT_FALSE(tin_delete_point(l.p.at(0)));
  EXPECT_FALSE(tin_delete_point(l.p.at(3)));
  r = check_tin();
  EXPECT_EQ(r.problem, "");
  EXPECT_EQ(r.vertices, 2u);
  EXPECT_EQ(r.triangles, 2u);
  for (size_t k = 0; k < 2; ++k) {
    ASSERT_TRUE(tin_insert_point(l.extra(k)));
    ASSERT_EQ(check_tin().problem, "");
  }
  EXPECT_EQ(check_tin().vertices, 4u);
}

// With every slot in use the free list is empty; the first slot freed then
// ends the list, and its end marker must not read as a triangle in use.
TEST(Tin, FreedSlotAtTheEndOfTheFreeListIsNotEnumerated) {
  Points p = random_points(601, 21, 0, 1000);
  tin_release();                      // storage kept from earlier tests would leave free slots
  ASSERT_TRUE(tin_init(100, false));  // 2 * 100 + 1000 triangles
  tin_set_point_base(p.xyz.data());
  ASSERT_EQ(tin_capacity(), 1200u);
  for (size_t i = 0; i < p.size(); ++i) tin_add_point(p.at(i));
  tin_flush();
  TinReport r = check_tin();
  ASSERT_EQ(r.problem, "");
  ASSERT_EQ(r.triangles, 1200u);  // the free list is now empty
  ASSERT_TRUE(tin_delete_point(p.at(300)));
  r = check_tin();
  EXPECT_EQ(r.problem, "");
  EXPECT_EQ(r.triangles, 2u * 600 - 2);
  uint32_t in_use = 0;
  for (uint32_t t = 0; t < tin_triangle_count(); ++t) in_use += tin_in_use(tin_triangle_at(t));
  EXPECT_EQ(in_use, 1198u);
}

// --- fatal failures -----------------------------------------------------------------

using TinDeathTest = ::testing::Test;

TEST_F(TinDeathTest, IdenticalSegmentEndpointsEndTheProgram) {
  const float a[3] = {1, 2, 0}, p[3] = {1, 2, 0};
  EXPECT_EXIT(TINinsegment(a, a, p), ::testing::ExitedWithCode(1),
              "^ERROR: identical endpoints in TINinsegment\\(\\) test.\n$");
  EXPECT_EXIT(TINonsegment(a, a, p), ::testing::ExitedWithCode(1),
              "^ERROR: identical endpoints in TINonsegment\\(\\) test.\n$");
}

TEST_F(TinDeathTest, RunningOutOfTrianglesEndsTheProgram) {
  EXPECT_EXIT(
      {
        Points p = random_points(700, 22, 0, 1000);
        tin_init(100, false);
        tin_set_point_base(p.xyz.data());
        for (size_t i = 0; i < p.size(); ++i) tin_add_point(p.at(i));
        tin_flush();
      },
      ::testing::ExitedWithCode(1),
      "^ERROR: failure to request sufficient TINtriangles in TINclean\\(\\)\n       please");
}

// Every slot marked free: brute force has nothing left to match.
void brute_locate_in_emptied_tin() {
  Points p = grid(3, 3);
  build(p);
  for (uint32_t t = 0; t < tin_triangle_count(); ++t) tin_triangle_at(t)->flag = 0;
  const float q[3] = {1, 1, 0};
  TINlocation loc;
  brute_locate(&loc, q);
}

TEST_F(TinDeathTest, NoTriangleFoundByBruteForceEndsTheProgram) {
  EXPECT_EXIT(brute_locate_in_emptied_tin(), ::testing::ExitedWithCode(1),
              "^ERROR: fail to brute_locate a point.\n$");
}

TEST(Tin, SegmentTests) {
  struct Case {
    float a[2], b[2], p[2];
    int in;
    bool on;
  };
  const Case cases[] = {
      {{0, 0}, {4, 2}, {2, 1}, 3, true},    {{0, 0}, {4, 2}, {0, 0}, 1, true},
      {{0, 0}, {4, 2}, {4, 2}, 2, true},    {{0, 0}, {4, 2}, {6, 3}, 0, false},
      {{4, 2}, {0, 0}, {-2, -1}, 0, false}, {{1, 0}, {1, 5}, {1, 3}, 3, true},
      {{1, 5}, {1, 0}, {1, 6}, 0, false},   {{1, 5}, {1, 0}, {1, 0}, 2, true},
  };
  for (const Case& c : cases) {
    const float a[3] = {c.a[0], c.a[1], 0}, b[3] = {c.b[0], c.b[1], 0};
    const float p[3] = {c.p[0], c.p[1], 0};
    EXPECT_EQ(TINinsegment(a, b, p), c.in) << c.p[0] << "," << c.p[1];
    EXPECT_EQ(TINonsegment(a, b, p), c.on) << c.p[0] << "," << c.p[1];
  }
}

}  // namespace
