// The built talvenor_new over Terrasolid BIN and QFIT files whose integers
// lie at the edges of what these formats and a LAS file can hold: local
// metres, longitude and latitude (also as 0 to 360), +-3e7, northings of
// 4.8e6 behind an origin, and the extremes of 32-bit integers, with every
// -rescale and -reoffset the input options take. Each run ends with every
// point within half the output's quantum, or refused with an "ERROR: ..."
// and exit code 1 and no output; never clamped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/las_reader_las.hpp"
#include "quantum_checks.hpp"
#include "run_program.hpp"
#include "side_fixtures.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

// Whether v lies exactly halfway between two multiples of a power of ten up
// to 10^7 (the coarsest request below is 10^6 of the finest file quantum):
// rounding it to a coarser decimal quantum may then go either way, so the
// fixtures keep away from such values. Origins and the longitude wrap are
// whole multiples of 10^7, so the stored integers may be tested alone.
bool halfway(int64_t v) {
  for (int64_t p = 10; p <= 10000000; p *= 10) {
    const int64_t r = v % p;
    if (r == p / 2 || r == -p / 2) return true;
  }
  return false;
}

// n values from lo to hi, both ends as given, the ones between moved off
// halfway values.
std::vector<int64_t> spread(int64_t lo, int64_t hi, int n) {
  std::vector<int64_t> v;
  for (int k = 0; k < n; k++) {
    int64_t x = lo + (hi - lo) / (n - 1) * k;
    if (k == n - 1) x = hi;
    if (k != 0 && k != n - 1) {
      while (halfway(x)) x++;
    }
    v.push_back(x);
  }
  return v;
}

// Integers of one axis as the file stores them, from lo to hi.
struct Span {
  int64_t lo, hi;
};

// A grid of 16 x 16 points over the x and y spans, z running over its span
// from the first point to the last.
struct Integers {
  int64_t x, y, z;
};
std::vector<Integers> grid(const Span& x, const Span& y, const Span& z) {
  const int n = 16;
  const std::vector<int64_t> xs = spread(x.lo, x.hi, n);
  const std::vector<int64_t> ys = spread(y.lo, y.hi, n);
  const std::vector<int64_t> zs = spread(z.lo, z.hi, n * n);
  std::vector<Integers> points;
  for (int i = 0; i < n; i++) {
    for (int j = 0; j < n; j++) points.push_back({xs[i], ys[j], zs[i * n + j]});
  }
  return points;
}

// --- BIN: a coordinate is (integer - origin) / units.

struct BinRange {
  const char* name;
  int32_t units;
  double origin[3];
  Span x, y, z;  // the stored integers
};

const BinRange kBinRanges[] = {
    {"bin local metres",
     1000,
     {0.0, 0.0, 0.0},
     {-299993, 300007},
     {-249997, 250003},
     {-1003, 50007}},
    {"bin longitude latitude",
     1000000,
     {0.0, 0.0, 0.0},
     {-359999997, 359999993},
     {-89999993, 89999997},
     {-1999999993, 1999999997}},
    {"bin plus minus 3e7",
     10,
     {0.0, 0.0, 0.0},
     {-299999993, 299999997},
     {-299999997, 299999993},
     {-3, 1007}},
    {"bin northings of 4.8e6 behind an origin",
     1000,
     {-500000000.0, -4830000000.0, 0.0},
     {3, 600007},
     {-3, 600003},
     {10003, 90007}},
    {"bin integer extremes",
     100,
     {0.0, 0.0, 0.0},
     {INT32_MIN, INT32_MAX},
     {INT32_MIN, INT32_MAX},
     {INT32_MIN, INT32_MAX}},
    {"bin integer extremes behind an origin",
     1000,
     {2140000000.0, 2140000000.0, -2140000000.0},
     {INT32_MIN, INT32_MAX},
     {INT32_MIN, INT32_MAX},
     {INT32_MIN, INT32_MAX}},
    // Origins of a quarter and an eighth of a unit keep away from halfway.
    {"bin thirds behind a fractional origin",
     3,
     {0.25, -0.25, 0.125},
     {-299999993, 299999997},
     {-3, 3007},
     {-3, 3007}},
    {"bin finest units",
     2147483647,
     {0.0, 0.0, 0.0},
     {INT32_MIN, INT32_MAX},
     {INT32_MIN, INT32_MAX},
     {-3, 3007}},
    {"bin metres at integer extremes",
     1,
     {0.0, 0.0, 0.0},
     {INT32_MIN, INT32_MAX},
     {INT32_MIN, INT32_MAX},
     {INT32_MIN, INT32_MAX}},
};

std::vector<XYZ> bin_truth(const BinRange& r) {
  std::vector<XYZ> points;
  for (const Integers& p : grid(r.x, r.y, r.z)) {
    points.push_back({(p.x - r.origin[0]) / r.units, (p.y - r.origin[1]) / r.units,
                      (p.z - r.origin[2]) / r.units});
  }
  return points;
}

side_fixtures::Bytes bin_file(const BinRange& r, int32_t version) {
  side_fixtures::BinFile file;
  file.version = version;
  file.units = r.units;
  for (int a = 0; a < 3; a++) file.origin[a] = r.origin[a];
  std::vector<side_fixtures::BinPoint> points;
  for (const Integers& p : grid(r.x, r.y, r.z)) {
    side_fixtures::BinPoint b;
    b.x = static_cast<int32_t>(p.x);
    b.y = static_cast<int32_t>(p.y);
    b.z = static_cast<int32_t>(p.z);
    points.push_back(b);
  }
  return side_fixtures::bin_bytes(file, points);
}

// --- QFIT: millionths of a degree (longitudes above 180 degrees taken as
// west of Greenwich) and millimetres.

struct QfitRange {
  const char* name;
  Span longitude, latitude, elevation;  // the stored integers
};

const QfitRange kQfitRanges[] = {
    {"qfit longitude latitude", {-180000000, 180000000}, {-90000000, 90000000}, {-1003, 8848007}},
    {"qfit longitudes 0 to 360", {0, 359999999}, {-89999997, 89999993}, {-3, 3007}},
    {"qfit longitudes across 180", {179999999, 180000001}, {60000003, 60000007}, {-3, 3007}},
    {"qfit elevation extremes",
     {300000003, 300000007},
     {70000003, 70000007},
     {INT32_MIN, INT32_MAX}},
    {"qfit integer extremes",
     {INT32_MIN, INT32_MAX},
     {INT32_MIN, INT32_MAX},
     {INT32_MIN, INT32_MAX}},
};

double qfit_degrees(int64_t longitude) {
  return (longitude > 180000000 ? longitude - 360000000 : longitude) * 1e-6;
}

std::vector<XYZ> qfit_truth(const QfitRange& r) {
  std::vector<XYZ> points;
  for (const Integers& p : grid(r.longitude, r.latitude, r.elevation)) {
    points.push_back({qfit_degrees(p.x), p.y * 1e-6, p.z * 0.001});
  }
  return points;
}

side_fixtures::Bytes qfit_file(const QfitRange& r, int32_t record_size, bool big_endian) {
  std::vector<side_fixtures::QfitRecord> records;
  int32_t time = 0;
  for (const Integers& p : grid(r.longitude, r.latitude, r.elevation)) {
    side_fixtures::QfitRecord q;
    q.time_ms = time += 50;
    q.longitude = static_cast<int32_t>(p.x);
    q.latitude = static_cast<int32_t>(p.y);
    q.elevation = static_cast<int32_t>(p.z);
    records.push_back(q);
  }
  return side_fixtures::qfit_bytes(record_size, big_endian, records);
}

// --- the runs

bool exists(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

// The output header's box is the box of the points written.
void expect_box_of(const LasOutput& out, const std::string& what) {
  if (out.points.empty()) return;
  XYZ lo = out.points[0], hi = out.points[0];
  for (const XYZ& p : out.points) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  expect_within_half_quantum({lo, hi}, {out.min, out.max}, out.quantizer, what + " box");
}

// -rescale and -reoffset as the input options take them, with the ranges (by
// name) whose values they cannot hold.
struct Request {
  std::vector<std::string> args;
  std::vector<std::string> refused;
};

const Request kRequests[] = {
    {{}, {}},
    {{"-rescale", "0.001", "0.001", "0.001"},
     // Origins of a quarter and an eighth of a unit keep away from halfway.
     {"bin thirds behind a fractional origin", "bin metres at integer extremes",
      "bin plus minus 3e7", "bin integer extremes"}},
    {{"-rescale", "0.01", "0.01", "0.01"},
     // Origins of a quarter and an eighth of a unit keep away from halfway.
     {"bin thirds behind a fractional origin", "bin metres at integer extremes",
      "bin plus minus 3e7"}},
    {{"-rescale_xy", "0.001", "0.001"},
     // Origins of a quarter and an eighth of a unit keep away from halfway.
     {"bin thirds behind a fractional origin", "bin metres at integer extremes",
      "bin plus minus 3e7", "bin integer extremes"}},
    {{"-rescale_z", "0.001"}, {"bin metres at integer extremes", "bin integer extremes"}},
    {{"-rescale_z", "0.0001"},
     {"bin metres at integer extremes", "bin integer extremes",
      "bin integer extremes behind an origin", "qfit elevation extremes", "qfit integer extremes"}},
    {{"-rescale", "0.0000001", "0.0000001", "0.01"},
     // Origins of a quarter and an eighth of a unit keep away from halfway.
     {"bin thirds behind a fractional origin", "bin metres at integer extremes", "bin local metres",
      "bin longitude latitude", "bin plus minus 3e7", "bin northings of 4.8e6 behind an origin",
      "bin integer extremes", "bin integer extremes behind an origin", "qfit integer extremes"}},
    {{"-reoffset", "0", "0", "0"},
     {"bin northings of 4.8e6 behind an origin", "bin integer extremes behind an origin"}},
    {{"-reoffset", "500000", "4830000", "0"},
     {"bin finest units", "bin metres at integer extremes", "bin local metres",
      "bin longitude latitude", "bin integer extremes", "bin integer extremes behind an origin",
      "qfit longitude latitude", "qfit longitudes 0 to 360", "qfit longitudes across 180",
      "qfit elevation extremes", "qfit integer extremes"}},
    // One quantum beside offsets that just hold 32-bit extremes.
    {{"-reoffset", "0.01", "0.01", "0.01"},
     {"bin finest units", "bin northings of 4.8e6 behind an origin", "bin integer extremes",
      "bin integer extremes behind an origin", "qfit elevation extremes", "qfit integer extremes"}},
    {{"-reoffset", "-0.01", "-0.01", "-0.01"},
     {"bin finest units", "bin northings of 4.8e6 behind an origin", "bin integer extremes",
      "bin integer extremes behind an origin", "qfit elevation extremes", "qfit integer extremes"}},
    {{"-reoffset", "0", "0", "0.001"},
     {"bin northings of 4.8e6 behind an origin", "bin integer extremes behind an origin",
      "qfit elevation extremes", "qfit integer extremes"}},
    {{"-reoffset", "0", "0", "-0.001"},
     {"bin northings of 4.8e6 behind an origin", "bin integer extremes behind an origin",
      "qfit elevation extremes", "qfit integer extremes"}},
    {{"-rescale", "0.001", "0.001", "0.001", "-reoffset", "0", "0", "0"},
     // Origins of a quarter and an eighth of a unit keep away from halfway.
     {"bin thirds behind a fractional origin", "bin metres at integer extremes",
      "bin plus minus 3e7", "bin northings of 4.8e6 behind an origin", "bin integer extremes",
      "bin integer extremes behind an origin"}},
    {{"-rescale", "0.01", "0.01", "0.01", "-reoffset", "0", "0", "0"},
     // Origins of a quarter and an eighth of a unit keep away from halfway.
     {"bin thirds behind a fractional origin", "bin metres at integer extremes",
      "bin plus minus 3e7"}},
    {{"-rescale", "1", "1", "0.001", "-reoffset", "0", "0", "0"},
     {"bin metres at integer extremes", "bin integer extremes",
      "bin integer extremes behind an origin"}},
};

bool listed(const std::vector<std::string>& names, const char* name) {
  for (const std::string& n : names) {
    if (n == name) return true;
  }
  return false;
}

// Runs every request over one input file: each run exact or refused.
void expect_held_or_refused(const ProgramDir& dir, const std::string& file, const char* range,
                            const std::vector<XYZ>& truth) {
  for (const Request& request : kRequests) {
    std::vector<std::string> args = {"-i", file, "-o", "out.las"};
    args.insert(args.end(), request.args.begin(), request.args.end());
    std::string what = file + " " + range + " with";
    for (const std::string& a : request.args) what += " " + a;
    std::remove(dir.file("out.las").c_str());
    const ProgramRun run = run_program(kProgram, args, dir.path());
    EXPECT_EQ(run.err.find("integer overflows"), std::string::npos) << what << run.err;
    EXPECT_EQ(run.err.find("clamp"), std::string::npos) << what << run.err;
    if (listed(request.refused, range)) {
      EXPECT_EQ(run.exit_code, 1) << what << run.err;
      EXPECT_NE(run.err.find("ERROR: "), std::string::npos) << what << run.err;
      EXPECT_FALSE(exists(dir.file("out.las"))) << what;
      continue;
    }
    EXPECT_EQ(run.exit_code, 0) << what << run.err;
    if (run.exit_code != 0) continue;
    const LasOutput out = read_las_output(dir.file("out.las"));
    ASSERT_TRUE(out.opened) << what;
    expect_within_half_quantum(truth, out.points, out.quantizer, what);
    expect_box_of(out, what);
  }
}

TEST(TalvenorSideValues, FixturesKeepAwayFromHalfwayValues) {
  for (const BinRange& r : kBinRanges) {
    for (const Integers& p : grid(r.x, r.y, r.z)) {
      EXPECT_FALSE(halfway(p.x - static_cast<int64_t>(r.origin[0]))) << r.name << " " << p.x;
      EXPECT_FALSE(halfway(p.y - static_cast<int64_t>(r.origin[1]))) << r.name << " " << p.y;
      EXPECT_FALSE(halfway(p.z - static_cast<int64_t>(r.origin[2]))) << r.name << " " << p.z;
    }
  }
  for (const QfitRange& r : kQfitRanges) {
    for (const Integers& p : grid(r.longitude, r.latitude, r.elevation)) {
      const int64_t east = p.x > 180000000 ? p.x - 360000000 : p.x;
      EXPECT_FALSE(halfway(east) || halfway(p.y) || halfway(p.z)) << r.name;
    }
  }
}

TEST(TalvenorSideValues, EveryBinPointIsHeldOrTheFileRefused) {
  ProgramDir dir;
  const struct {
    const char* file;
    int32_t version;
  } layouts[] = {{"in20.bin", side_fixtures::BinFile().version}, {"in16.bin", 20010712}};
  for (const BinRange& r : kBinRanges) {
    for (const auto& layout : layouts) {
      ASSERT_TRUE(side_fixtures::write_file(dir.file(layout.file), bin_file(r, layout.version)));
      expect_held_or_refused(dir, layout.file, r.name, bin_truth(r));
    }
  }
}

TEST(TalvenorSideValues, EveryQfitPointIsHeldOrTheFileRefused) {
  ProgramDir dir;
  const struct {
    const char* file;
    int32_t record_size;
    bool big_endian;
  } layouts[] = {{"le40.qi", 40, false}, {"be48.qi", 48, true}, {"le56.qi", 56, false}};
  for (const QfitRange& r : kQfitRanges) {
    for (const auto& layout : layouts) {
      ASSERT_TRUE(side_fixtures::write_file(dir.file(layout.file),
                                            qfit_file(r, layout.record_size, layout.big_endian)));
      expect_held_or_refused(dir, layout.file, r.name, qfit_truth(r));
    }
  }
}

}  // namespace
