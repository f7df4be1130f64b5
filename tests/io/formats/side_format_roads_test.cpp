// Every road a user takes with text, PLY and the other side formats (plain,
// populated, re-quantized, piped through a decompressor, merged, buffered,
// stored, and a second pass) carries the points of each point-format family,
// compared field by field.

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
#include "side_fixtures.hpp"
#include "side_test_points.hpp"
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

bool have_gzip() {
  return std::system("command -v gzip >/dev/null 2>&1") == 0;
}

// What a road delivers: every point of the first pass and of the second, as the ground tool
// takes it, each made by `point_of`; whether the reader failed after the first; its messages.
template <class Point>
struct RoadRead {
  std::vector<Point> first, second;
  bool failed = false;
  std::string messages;
};

template <class Point, class PointOf>
void read_road(const std::vector<std::string>& args, PointOf point_of, RoadRead<Point>* read) {
  LASinputOptions options;
  ArgVector av(args);
  ASSERT_EQ(options.take_arguments(av.argc(), av.argv()), 1);
  testing::internal::CaptureStderr();
  std::unique_ptr<LASreader> reader(options.open_next_reader());
  ASSERT_NE(reader, nullptr) << testing::internal::GetCapturedStderr();
  while (reader->read_point()) read->first.push_back(point_of(*reader));
  read->failed = reader->failed();
  ASSERT_EQ(options.rebuild_reader(reader.get(), true), 1);
  while (reader->read_point()) read->second.push_back(point_of(*reader));
  reader->close_input(true);
  read->messages = testing::internal::GetCapturedStderr();
}

template <class Point>
std::vector<Point> sorted(std::vector<Point> points) {
  std::sort(points.begin(), points.end());
  return points;
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
      RoadRead<Fields> read;
      read_road(
          road.args, [family](const LASreader& r) { return delivered(r, family); }, &read);
      if (HasFatalFailure()) return;
      const std::vector<Fields> first = sorted(read.first);
      const std::string& err = read.messages;
      EXPECT_EQ(err.find("WARNING: cannot parse"), std::string::npos) << err;
      ASSERT_EQ(first.size(), road.points->size());
      for (size_t k = 0; k < first.size(); k++) {
        EXPECT_TRUE(first[k] == (*road.points)[k]) << "point " << k << " x " << first[k].x;
      }
      // The second pass gives the same again.
      EXPECT_TRUE(sorted(read.second) == first);
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

namespace {

// Every road a user takes with BIN, shapefile, QFIT, ASCII grid, BIL and DTM
// input (plain, re-quantized, merged, buffered, stored, piped through a
// decompressor where the format opens through one) carries every field the
// format fills, in the first pass and the second.

using side_fixtures::BinPoint;
using side_fixtures::QfitRecord;
using side_fixtures::ShpRecord;

// One delivered or expected point: the coordinates as whole multiples of the
// files' resolution, so that any quantization that holds them compares equal.
struct RoadPoint {
  int64_t x, y, z;
  SidePoint fields;  // everything but the coordinates
  auto key() const { return std::make_tuple(x, y, z, fields.key()); }
  bool operator<(const RoadPoint& o) const { return key() < o.key(); }
  bool operator==(const RoadPoint& o) const { return key() == o.key(); }
};

// A road's -rescale and -reoffset that lose nothing of coordinates in centimetres, or in
// millionths of degrees and millimetres.
const std::vector<std::string> kFinerThanCentimetres = {
    "-rescale", "0.001", "0.001", "0.001", "-reoffset", "99000", "5000", "0"};
const std::vector<std::string> kFinerThanMicrodegrees = {
    "-rescale", "0.0000001", "0.0000001", "0.0001", "-reoffset", "0", "0", "0"};

struct SideFiles {
  const char* format;
  bool pipes;  // opened through the decompressing open
  double resolution_xy = 0.01, resolution_z = 0.01;
  std::vector<std::string> finer = kFinerThanCentimetres;
  std::string a{}, b{};
  std::vector<RoadPoint> points_a{}, points_b{};

  std::vector<RoadPoint>& points(int file) { return file == 0 ? points_a : points_b; }
  // Names the first or the second file "a.<ext>" or "b.<ext>" in the folder.
  std::string& name(const TempDir& dir, int file, const std::string& ext) {
    return (file == 0 ? a : b) = dir.path + (file == 0 ? "/a." : "/b.") + ext;
  }
  void write(const TempDir& dir, int file, const std::string& ext, const std::string& bytes) {
    dir.file((file == 0 ? "a." : "b.") + ext, bytes);
    name(dir, file, ext);
  }
  void write(const TempDir& dir, int file, const std::string& ext,
             const side_fixtures::Bytes& bytes) {
    write(dir, file, ext, std::string(bytes.begin(), bytes.end()));
  }
};

RoadPoint road_point(double x, double y, double z, SidePoint fields, double res_xy, double res_z) {
  fields.X = fields.Y = fields.Z = 0;
  fields.x = fields.y = fields.z = 0.0;
  return {std::llround(x / res_xy), std::llround(y / res_xy), std::llround(z / res_z), fields};
}

RoadPoint road_point_of(const LASreader& reader, double res_xy, double res_z) {
  const SidePoint p = side_point_of(reader);
  return road_point(p.x, p.y, p.z, p, res_xy, res_z);
}

// A point of a format that knows no returns (shapefile, rasters): a first of one, in
// centimetres.
RoadPoint first_of_one(double x, double y, double z) {
  SidePoint s;
  s.return_number = s.number_of_returns = 1;
  return road_point(x, y, z, s, 0.01, 0.01);
}

// The second file's points lie east of the first's, the first three of them
// within 10 of its box.
const double kFirstEast = 99950.0;
const double kSecondEast = 99995.0;

SideFiles bin_files(const TempDir& dir) {
  SideFiles f{"BIN", false};
  for (int file = 0; file < 2; file++) {
    side_fixtures::BinFile bin;
    bin.time = bin.color = true;
    bin.units = file == 0 ? 100 : 1000;  // the second is re-quantized when merged
    std::vector<BinPoint> points;
    for (int i = 0; i < 20; i++) {
      const double x = file == 0 ? kFirstEast + 2.0 * i : kSecondEast + 2.0 * i;
      const double y = 5000.0 + 0.75 * i, z = 10.0 + 0.33 * (i % 5);
      BinPoint p;
      p.x = static_cast<int32_t>(std::llround(x * bin.units));
      p.y = static_cast<int32_t>(std::llround(y * bin.units));
      p.z = static_cast<int32_t>(std::llround(z * bin.units));
      p.code = static_cast<uint8_t>(1 + i % 3);
      p.echo = static_cast<uint8_t>(i % 4);
      p.line = static_cast<uint16_t>(7 + file);
      p.intensity = static_cast<uint16_t>(100 * i + file);
      p.time = 1000u * i;
      p.red = static_cast<uint8_t>(i);
      p.green = static_cast<uint8_t>(200 - i);
      p.blue = static_cast<uint8_t>(3 * i);
      points.push_back(p);
      SidePoint s;
      s.intensity = p.intensity;
      s.classification = p.code;
      static const int kReturns[4][2] = {{1, 1}, {1, 2}, {2, 3}, {2, 2}};
      s.return_number = kReturns[i % 4][0];
      s.number_of_returns = kReturns[i % 4][1];
      s.point_source_ID = p.line;
      s.gps_time = p.time * 0.0002;
      s.red = p.red * 256;
      s.green = p.green * 256;
      s.blue = p.blue * 256;
      f.points(file).push_back(road_point(x, y, z, s, 0.01, 0.01));
    }
    f.write(dir, file, "bin", side_fixtures::bin_bytes(bin, points));
  }
  return f;
}

SideFiles qfit_files(const TempDir& dir) {
  SideFiles f{"QFIT", false, 1e-6, 0.001, kFinerThanMicrodegrees};
  for (int file = 0; file < 2; file++) {
    std::vector<QfitRecord> records;
    for (int i = 0; i < 20; i++) {
      QfitRecord r;
      r.time_ms = 1000 * i + file;
      r.latitude = 60000000 + 250000 * i;
      // Degrees east: the second file from 20.5, within 10 of the first's 11.
      r.longitude = file == 0 ? 10000000 + 50000 * i : 20500000 + 1000000 * i;
      r.elevation = 1000 + 7 * i;
      r.intensity_word = 40 * i;
      r.azimuth = 10000 * i;
      r.pitch = -i;
      r.roll = i;
      r.pulse_width = static_cast<uint8_t>(i);
      records.push_back(r);
      SidePoint s;
      s.intensity = r.intensity_word;
      s.return_number = s.number_of_returns = 1;
      s.gps_time = r.time_ms * 0.001;
      s.scan_angle =
          static_cast<int>(std::max(-128L, std::min(127L, std::lround(r.azimuth * 0.001 - 180))));
      s.attributes = {r.azimuth * 0.001, r.pitch * 0.001, r.roll * 0.001,
                      static_cast<double>(r.pulse_width)};
      f.points(file).push_back(road_point(r.longitude * 1e-6, r.latitude * 1e-6,
                                          r.elevation * 0.001, s, 1e-6, 0.001));
    }
    f.write(dir, file, "qi", side_fixtures::qfit_bytes(48, file == 1, records));
  }
  return f;
}

SideFiles shp_files(const TempDir& dir) {
  SideFiles f{"SHP", true};
  for (int file = 0; file < 2; file++) {
    std::vector<ShpRecord> records;
    for (int i = 0; i < 5; i++) {
      ShpRecord r;
      r.type = 18;
      r.with_m = file == 1;
      for (int v = 0; v < 4; v++) {
        const int k = 4 * i + v;
        const double x = (file == 0 ? kFirstEast : kSecondEast) + 2.0 * k;
        r.vertices.push_back({x, 5000.0 + 0.75 * k, 10.0 + 0.25 * k, 1.0});
        f.points(file).push_back(first_of_one(x, 5000.0 + 0.75 * k, 10.0 + 0.25 * k));
      }
      records.push_back(r);
    }
    f.write(dir, file, "shp", side_fixtures::shp_bytes(18, records));
  }
  return f;
}

// Rasters of 20 columns and 2 rows; the second file's cells are finer
// (BIL: scale factors 0.001) or lie where the offsets differ (ASC, DTM), so
// that a merge re-quantizes them.
double height_of(int file, int c, int r) {
  return 100.0 + 10.0 * file + 0.5 * c + 0.25 * r;
}

SideFiles asc_files(const TempDir& dir) {
  SideFiles f{"ASC", true};
  for (int file = 0; file < 2; file++) {
    const double west = file == 0 ? kFirstEast : kSecondEast;
    std::string text = "ncols 20\nnrows 2\nxllcorner " + std::to_string(west - 1.0) +
                       "\nyllcorner 4999\ncellsize 2\nNODATA_value -1\n";
    for (int r = 0; r < 2; r++) {
      for (int c = 0; c < 20; c++) {
        const bool nodata = c == 3 && r == 1;
        char cell[32];
        std::snprintf(cell, sizeof(cell), "%s%.2f", c ? " " : "",
                      nodata ? -1.0 : height_of(file, c, r));
        text += cell;
        if (!nodata) {
          f.points(file).push_back(
              first_of_one(west + 2.0 * c, 5002.0 - 2.0 * r, height_of(file, c, r)));
        }
      }
      text += "\n";
    }
    f.write(dir, file, "asc", text);
  }
  return f;
}

SideFiles bil_files(const TempDir& dir) {
  SideFiles f{"BIL", false};
  for (int file = 0; file < 2; file++) {
    side_fixtures::BilRaster r;
    r.ncols = 20;
    r.nrows = 2;
    r.big_endian = file == 0;
    r.ulxmap = file == 0 ? kFirstEast : kSecondEast;
    r.ulymap = 5002.0;
    r.xdim = file == 0 ? 2.0 : 0.25;
    r.ydim = file == 0 ? 2.0 : 0.25;
    r.nodata = "-1";
    for (int row = 0; row < 2; row++) {
      for (int c = 0; c < 20; c++) {
        const bool nodata = c == 4 && row == 0;
        r.cells.push_back(nodata ? -1.0 : height_of(file, c, row));
        if (!nodata) {
          f.points(file).push_back(
              first_of_one(r.ulxmap + r.xdim * c, r.ulymap - r.ydim * row, height_of(file, c, row)));
        }
      }
    }
    EXPECT_TRUE(side_fixtures::write_bil(f.name(dir, file, "bil"), r));
  }
  return f;
}

SideFiles dtm_files(const TempDir& dir) {
  SideFiles f{"DTM", false};
  for (int file = 0; file < 2; file++) {
    side_fixtures::DtmRaster r;
    r.ncols = 20;
    r.nrows = 2;
    r.llx = (file == 0 ? kFirstEast : kSecondEast) - 1.0;
    r.lly = 4999.0;
    r.xdim = r.ydim = 2.0;
    r.data_type = file == 0 ? 2 : 3;
    for (int c = 0; c < 20; c++) {
      for (int row = 0; row < 2; row++) {
        const bool nodata = c == 6 && row == 0;
        r.cells.push_back(nodata ? -9999.0 : height_of(file, c, row));
        if (!nodata) {
          f.points(file).push_back(
              first_of_one(r.llx + 1.0 + 2.0 * c, 5000.0 + 2.0 * row, height_of(file, c, row)));
        }
      }
    }
    f.write(dir, file, "dtm", side_fixtures::dtm_bytes(r));
  }
  return f;
}

// The points of the second file within `b` of the box of the first's.
std::vector<RoadPoint> within_buffer(const SideFiles& f, double b) {
  double box[4] = {1e300, 1e300, -1e300, -1e300};
  for (const RoadPoint& p : f.points_a) {
    box[0] = std::min(box[0], p.x * f.resolution_xy);
    box[1] = std::min(box[1], p.y * f.resolution_xy);
    box[2] = std::max(box[2], p.x * f.resolution_xy);
    box[3] = std::max(box[3], p.y * f.resolution_xy);
  }
  std::vector<RoadPoint> points = f.points_a;
  for (const RoadPoint& p : f.points_b) {
    const double x = p.x * f.resolution_xy, y = p.y * f.resolution_xy;
    if (x >= box[0] - b && x < box[2] + b && y >= box[1] - b && y < box[3] + b) {
      points.push_back(p);
    }
  }
  return points;
}

TEST(SideFormatRoads, EverySideFormatAlongEveryRoad) {
  TempDir dir;
  const bool gzip = have_gzip();
  const SideFiles formats[] = {bin_files(dir), qfit_files(dir), shp_files(dir),
                               asc_files(dir), bil_files(dir),  dtm_files(dir)};
  for (const SideFiles& f : formats) {
    if (f.pipes && gzip) {
      EXPECT_EQ(std::system(("gzip -k -f '" + f.a + "'").c_str()), 0);
    }
    const std::vector<RoadPoint> only_a = sorted(f.points_a);
    std::vector<RoadPoint> both = f.points_a;
    both.insert(both.end(), f.points_b.begin(), f.points_b.end());
    both = sorted(both);
    const std::vector<RoadPoint> buffered = sorted(within_buffer(f, 10.0));
    ASSERT_GT(buffered.size(), only_a.size()) << f.format;
    ASSERT_LT(buffered.size(), both.size()) << f.format;
    struct Road {
      const char* name;
      std::vector<std::string> args;
      const std::vector<RoadPoint>* points;
      bool needs_pipe;
    };
    std::vector<std::string> finer = {"-i", f.a};
    finer.insert(finer.end(), f.finer.begin(), f.finer.end());
    const Road roads[] = {
        {"plain", {"-i", f.a}, &only_a, false},
        {"finer quantization", finer, &only_a, false},
        {"finer z only", {"-i", f.a, "-rescale_z", "0.0001"}, &only_a, false},
        {"merged", {"-i", f.a, f.b, "-merged"}, &both, false},
        {"merged and stored", {"-i", f.a, f.b, "-merged", "-stored"}, &both, false},
        {"buffered", {"-i", f.a, f.b, "-buffered", "10"}, &buffered, false},
        {"stored", {"-i", f.a, "-stored"}, &only_a, false},
        {"piped", {"-i", f.a + ".gz"}, &only_a, true},
        {"piped and merged", {"-i", f.a + ".gz", f.b, "-merged"}, &both, true},
    };
    for (const Road& road : roads) {
      if (road.needs_pipe && !(f.pipes && gzip)) continue;
      SCOPED_TRACE(std::string(f.format) + " " + road.name);
      RoadRead<RoadPoint> read;
      read_road(
          road.args,
          [&f](const LASreader& r) { return road_point_of(r, f.resolution_xy, f.resolution_z); },
          &read);
      if (HasFatalFailure()) return;
      EXPECT_FALSE(read.failed);
      const std::string& err = read.messages;
      EXPECT_EQ(err.find("ERROR"), std::string::npos) << err;
      const std::vector<RoadPoint> first = sorted(read.first);
      ASSERT_EQ(first.size(), road.points->size()) << err;
      for (size_t k = 0; k < first.size(); k++) {
        EXPECT_TRUE(first[k] == (*road.points)[k])
            << "point " << k << ": " << first[k].x << " " << first[k].y << " " << first[k].z << " "
            << first[k].fields << " expected " << (*road.points)[k].x << " " << (*road.points)[k].y
            << " " << (*road.points)[k].z << " " << (*road.points)[k].fields;
      }
      // The second pass gives the same again.
      EXPECT_TRUE(sorted(read.second) == first);
    }
  }
}

}  // namespace
