// Every road a user takes with text and PLY input (plain, populated, piped
// through a decompressor, merged, buffered, stored, and a second pass) carries
// the points of each point-format family, compared field by field.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "arg_vector.hpp"
#include "core/las_reader.hpp"
#include "io/las_input_options.hpp"
#include "temp_dir.hpp"

namespace {

// Every field a text or PLY line can carry, with values exact at 0.01.
struct Fields {
  double x, y, z, t;
  int intensity, r, n, c, u, p, red, green, blue, nir, channel, overlap;
  double extra;  // the one extra-bytes attribute (PLY), 0 for text
  auto key() const {
    return std::make_tuple(x, y, z, t, intensity, r, n, c, u, p, red, green, blue, nir, channel,
                           overlap, extra);
  }
  bool operator<(const Fields& o) const { return key() < o.key(); }
  bool operator==(const Fields& o) const { return key() == o.key(); }
};

// Points in two files side by side: x below 1049.5 in the first, from 1051 in
// the second, with a gap at 1059..1070 so that a 10-unit buffer around the
// first file takes a known part of the second.
std::vector<Fields> make_points(int first_or_second) {
  std::vector<Fields> points;
  for (int i = 0; i < 40; i++) {
    Fields f{};
    const double base = first_or_second == 0 ? 1000.0 : (i % 2 ? 1051.0 : 1071.0);
    f.x = base + (i % 7) * 1.25 + (i % 3) * 0.01;
    f.y = 2000.0 + i * 0.75;
    f.z = 10.0 + (i % 5) * 0.33;
    f.t = 500000.0 + i * 0.125;
    f.intensity = 100 * i;
    f.n = 1 + i % 3;
    f.r = 1 + (i % f.n);
    f.c = i % 2 ? 2 : 1;
    f.u = i;
    f.p = 7 + first_or_second;
    f.red = i;
    f.green = 255 - i;
    f.blue = 3 * i;
    f.nir = 1000 + i;
    f.channel = i % 4;
    f.overlap = i % 2;
    points.push_back(f);
  }
  return points;
}

enum class Family { text_legacy, text_extended, ply_ascii, ply_binary };

const char* parse_of(Family family) {
  return family == Family::text_legacy ? "xyztirncupRGB" : "xyztirncupRGBIlo";
}

std::string text_of(const std::vector<Fields>& points, Family family) {
  std::string out;
  char line[256];
  for (const Fields& f : points) {
    std::snprintf(line, sizeof(line), "%.2f,%.2f,%.2f,%.3f,%d,%d,%d,%d,%d,%d,%d,%d,%d", f.x, f.y,
                  f.z, f.t, f.intensity, f.r, f.n, f.c, f.u, f.p, f.red, f.green, f.blue);
    out += line;
    if (family == Family::text_extended) {
      std::snprintf(line, sizeof(line), ",%d,%d,%d", f.nir, f.channel, f.overlap);
      out += line;
    }
    out += "\r\n";
  }
  return out;
}

std::string ply_of(const std::vector<Fields>& points, Family family) {
  const bool binary = family == Family::ply_binary;
  std::string out = std::string("ply\nformat ") + (binary ? "binary_little_endian" : "ascii") +
                    " 1.0\nelement vertex " + std::to_string(points.size()) +
                    "\nproperty double x\nproperty double y\nproperty double z\n"
                    "property float intensity\nproperty uchar red\nproperty uchar green\n"
                    "property uchar blue\nproperty float quality\nend_header\n";
  for (const Fields& f : points) {
    if (binary) {
      const double xyz[3] = {f.x, f.y, f.z};
      out.append(reinterpret_cast<const char*>(xyz), sizeof(xyz));
      const float intensity = static_cast<float>(f.intensity);
      out.append(reinterpret_cast<const char*>(&intensity), 4);
      out += static_cast<char>(f.red);
      out += static_cast<char>(f.green);
      out += static_cast<char>(f.blue);
      const float quality = static_cast<float>(f.u) / 4.0f;
      out.append(reinterpret_cast<const char*>(&quality), 4);
    } else {
      char line[160];
      std::snprintf(line, sizeof(line), "%.2f %.2f %.2f %d %d %d %d %.2f\n", f.x, f.y, f.z,
                    f.intensity, f.red, f.green, f.blue, f.u / 4.0);
      out += line;
    }
  }
  return out;
}

bool is_ply(Family family) {
  return family == Family::ply_ascii || family == Family::ply_binary;
}

// The fields the family carries; the others read as 0.
Fields expected(Fields f, Family family) {
  if (is_ply(family)) {
    Fields e{};
    e.x = f.x;
    e.y = f.y;
    e.z = f.z;
    e.intensity = f.intensity;
    e.red = f.red;
    e.green = f.green;
    e.blue = f.blue;
    e.r = e.n = 1;
    e.extra = f.u / 4.0;
    return e;
  }
  if (family == Family::text_legacy) f.nir = f.channel = f.overlap = 0;
  f.extra = 0.0;
  return f;
}

Fields delivered(const LASreader& reader, Family family) {
  const LASpoint& p = reader.point;
  Fields f{};
  // Two decimals are what the files hold; the integers are exact at 0.01 or finer.
  f.x = std::round(p.get_x() * 100.0) / 100.0;
  f.y = std::round(p.get_y() * 100.0) / 100.0;
  f.z = std::round(p.get_z() * 100.0) / 100.0;
  f.t = p.get_gps_time();
  f.intensity = p.get_intensity();
  const bool extended = family == Family::text_extended;
  f.r = extended ? p.get_extended_return_number() : p.get_return_number();
  f.n = extended ? p.get_extended_number_of_returns() : p.get_number_of_returns();
  f.c = extended ? p.get_extended_classification() : p.get_classification();
  f.u = p.get_user_data();
  f.p = p.get_point_source_ID();
  f.red = p.get_R();
  f.green = p.get_G();
  f.blue = p.get_B();
  f.nir = p.get_NIR();
  f.channel = p.get_extended_scanner_channel();
  f.overlap = p.get_extended_overlap_flag();
  double v = 0.0;
  if (reader.header.number_attributes > 0) reader.header.get_value(p, 0, &v);
  f.extra = v;
  return f;
}

std::vector<Fields> read_all(LASreader& reader, Family family) {
  std::vector<Fields> points;
  while (reader.read_point()) points.push_back(delivered(reader, family));
  std::sort(points.begin(), points.end());
  return points;
}

bool have_gzip() {
  return std::system("command -v gzip >/dev/null 2>&1") == 0;
}

TEST(SideFormatRoads, EveryRoadCarriesEveryField) {
  TempDir dir;
  const Family families[] = {Family::text_legacy, Family::text_extended, Family::ply_ascii,
                             Family::ply_binary};
  const bool gzip = have_gzip();
  if (!gzip) std::fprintf(stderr, "no gzip here: the piped road is not taken\n");
  for (Family family : families) {
    const std::string ext = is_ply(family) ? ".ply" : ".txt";
    const std::vector<Fields> a = make_points(0), b = make_points(1);
    const std::string file_a = dir.file(
        "a" + ext, is_ply(family) ? ply_of(a, family) : text_of(a, family));
    const std::string file_b = dir.file(
        "b" + ext, is_ply(family) ? ply_of(b, family) : text_of(b, family));
    if (gzip) {
      EXPECT_EQ(std::system(("gzip -k -f '" + file_a + "'").c_str()), 0);
    }
    std::vector<Fields> only_a, both, buffered;
    for (const Fields& f : a) only_a.push_back(expected(f, family));
    both = only_a;
    buffered = only_a;
    double max_a = 0.0;
    for (const Fields& f : a) max_a = std::max(max_a, f.x);
    for (const Fields& f : b) {
      both.push_back(expected(f, family));
      if (f.x <= max_a + 10.0) buffered.push_back(expected(f, family));
    }
    std::sort(only_a.begin(), only_a.end());
    std::sort(both.begin(), both.end());
    std::sort(buffered.begin(), buffered.end());

    struct Road {
      const char* name;
      std::vector<std::string> args;
      const std::vector<Fields>* points;
      bool needs_gzip;
    };
    const std::vector<std::string> parse = {"-iparse", parse_of(family)};
    std::vector<Road> roads = {
        {"plain", {"-i", file_a}, &only_a, false},
        {"populated", {"-i", file_a, "-populate"}, &only_a, false},
        {"piped", {"-i", file_a + ".gz", "-populate"}, &only_a, true},
        {"piped unpopulated", {"-i", file_a + ".gz"}, &only_a, true},
        {"merged", {"-i", file_a, file_b, "-merged"}, &both, false},
        {"merged populated", {"-i", file_a, file_b, "-merged", "-populate"}, &both, false},
        {"buffered", {"-i", file_a, file_b, "-buffered", "10", "-populate"}, &buffered, false},
        {"stored", {"-i", file_a, "-stored", "-populate"}, &only_a, false},
    };
    for (Road& road : roads) {
      if (road.needs_gzip && !gzip) continue;
      if (!is_ply(family)) road.args.insert(road.args.end(), parse.begin(), parse.end());
      SCOPED_TRACE(std::string(road.name) + " " + ext + " " + parse_of(family));
      LASinputOptions options;
      ArgVector av(road.args);
      ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
      testing::internal::CaptureStderr();
      std::unique_ptr<LASreader> reader(options.open_next_reader());
      ASSERT_NE(reader, nullptr) << testing::internal::GetCapturedStderr();
      const std::vector<Fields> first = read_all(*reader, family);
      // The second pass, as the ground tool takes it, gives the same again.
      ASSERT_EQ(options.rebuild_reader(reader.get(), true), 1);
      const std::vector<Fields> second = read_all(*reader, family);
      reader->close_input(true);
      const std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(err.find("WARNING: cannot parse"), std::string::npos) << err;
      ASSERT_EQ(first.size(), road.points->size());
      for (size_t k = 0; k < first.size(); k++) {
        EXPECT_TRUE(first[k] == (*road.points)[k]) << "point " << k << " x " << first[k].x;
      }
      EXPECT_TRUE(second == first);
    }
  }
}

}  // namespace

namespace {

// The opener hands the text options to the reader: dialect, intensity
// settings, added attributes, lines to skip and requested quantization.
TEST(SideFormatRoads, OpenerHandsTheTextOptionsOver) {
  TempDir dir;
  const std::string pts = dir.file("a.pts", "skipped\n2\n1.5 2.5 3.5 -2048 7\n4 5 6 2047 9\n");
  LASinputOptions options;
  ArgVector av({"-i", pts, "-ipts", "-iparse", "xyzi0", "-iskip", "1", "-iadd_attribute", "3",
                "echo", "echo width", "0.5", "-rescale", "0.001", "0.001", "0.001", "-populate"});
  ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
  testing::internal::CaptureStderr();
  std::unique_ptr<LASreader> reader(options.open_next_reader());
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_NE(reader, nullptr) << err;
  EXPECT_EQ(reader->format_code(), LASformatCode::txt);
  EXPECT_EQ(reader->header.x_scale_factor, 0.001);
  ASSERT_EQ(reader->header.number_attributes, 1);
  EXPECT_STREQ(reader->header.attributes[0].name, "echo");
  EXPECT_NE(reader->header.find_vlr("Mirvelox", 2000), nullptr);
  std::vector<int> intensities;
  std::vector<double> echoes;
  while (reader->read_point()) {
    intensities.push_back(reader->point.get_intensity());
    double v;
    ASSERT_TRUE(reader->header.get_value(reader->point, 0, &v));
    echoes.push_back(v);
  }
  EXPECT_EQ(intensities, (std::vector<int>{0, 4095}));
  EXPECT_EQ(echoes, (std::vector<double>{7.0, 9.0}));
  EXPECT_EQ(reader->point.X, 4000);
}

}  // namespace
