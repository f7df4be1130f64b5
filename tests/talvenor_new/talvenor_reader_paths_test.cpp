// Every road a point takes into talvenor_new and out again keeps every field
// but the classification: plain, piped, stored, merged, buffered and pipe-on
// reads, from LAS and VPK, into LAS and VPK, for every point format family,
// with extra bytes. The pipe-on copy shows the first pass (classes too), the
// output the second. A user VLR, and in LAS 1.4 an EVLR, reach the output and
// the pipe-on copy byte for byte on every road; on standard input the EVLRs lie
// behind the points, out of reach of a reader that cannot seek back, and are
// dropped with a warning.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"
#include "side_fixtures.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

struct FormatCase {
  uint8_t format;
  uint16_t extra_bytes;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
  *os << "format " << int(c.format) << " + " << c.extra_bytes << " extra bytes";
}

// Points on gently rolling ground at 2 m spacing with random fields; every
// 25th point (the first of the file too) carries the values that only the
// extended fields hold: return 8 of 12, scanner channel 2, overlap, scan angle
// 2057 (12.342 degrees). Half the points are last returns, so that the ground
// estimate has points to work on.
std::vector<FixturePoint> road_points(const FormatCase& c) {
  FixtureRandom random(1000 + c.format);
  std::vector<FixturePoint> points;
  for (int row = 0; row < 20; row++) {
    for (int column = 0; column < 20; column++) {
      FixturePoint p = fixture_random_point(random, c.format, c.extra_bytes);
      p.X = column * 200 + static_cast<int32_t>(random.below(50));
      p.Y = row * 200 + static_cast<int32_t>(random.below(50));
      p.Z = 10000 + (row * 7 + column * 3) + static_cast<int32_t>(random.below(20));
      if (random.below(2)) p.return_number = p.number_of_returns;
      if (fixture_format_is_extended(c.format) && points.size() % 25 == 0) {
        p.return_number = 8;
        p.number_of_returns = 12;
        p.scanner_channel = 2;
        p.overlap_flag = true;
        p.extended_scan_angle = 2057;
      }
      points.push_back(p);
    }
  }
  return points;
}

// Payload bytes that show a shift, a cut or a zeroed stretch.
std::vector<uint8_t> record_payload(size_t size, uint8_t seed) {
  std::vector<uint8_t> data(size);
  for (size_t k = 0; k < size; k++) data[k] = static_cast<uint8_t>(seed + k * 37 + (k >> 8));
  return data;
}

FixtureFile road_file(const FormatCase& c) {
  FixtureFile file;
  file.version_minor = c.format >= 6 ? 4 : c.format >= 4 ? 3 : 2;
  file.point_data_format = c.format;
  file.extra_bytes = c.extra_bytes;
  file.offset = {300000.0, 5000000.0, 0.0};
  FixtureVlr vlr;
  vlr.reserved = 0xAABB;
  vlr.user_id = "RoadSurvey";
  vlr.record_id = 4711;
  vlr.description = "kept on every road";
  vlr.data = record_payload(101, c.format);
  file.vlrs.push_back(vlr);
  if (file.version_minor >= 4) {
    FixtureEvlr evlr;
    evlr.user_id = "RoadSurvey";
    evlr.record_id = 4712;
    evlr.description = "kept after the points";
    evlr.data = record_payload(70000, uint8_t(c.format + 1));
    file.evlrs.push_back(evlr);
  }
  return file;
}

// Copies a LAS file into VPK or back, through the library's reader and writer.
bool convert(const std::string& from, const std::string& to, uint16_t compressor) {
  LASreaderLAS reader;
  if (!reader.open_file(from.c_str())) return false;
  LASwriterLAS writer;
  if (!writer.open_file(to.c_str(), &reader.header, compressor)) return false;
  while (reader.read_point()) {
    if (!writer.write_one_point(&reader.point)) return false;
  }
  return writer.close_output(true) > 0;
}

// A LAS or VPK file, read by the test's own LAS reader (a VPK file
// decompressed by the library first).
FixtureContents contents_of(const std::string& path, const ProgramDir& dir) {
  std::string las = path;
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".vpk") == 0) {
    las = dir.file("unpacked.las");
    EXPECT_TRUE(convert(path, las, 0)) << path;
  }
  FixtureContents contents;
  std::string error;
  EXPECT_TRUE(fixture_read_file(las, &contents, &error)) << path << ": " << error;
  return contents;
}

// Every VLR and EVLR of the input is in `got`, every field and payload byte
// equal; the EVLRs are the input's and no others.
void expect_records(const FixtureFile& got, const FixtureFile& want, bool with_evlrs,
                    const std::string& what) {
  for (const FixtureVlr& vlr : want.vlrs) {
    bool found = false;
    for (const FixtureVlr& g : got.vlrs) found = found || g == vlr;
    EXPECT_TRUE(found) << what << ": VLR " << vlr.user_id << " " << vlr.record_id << " missing of "
                       << got.vlrs.size();
  }
  if (!with_evlrs) return;
  ASSERT_EQ(got.evlrs.size(), want.evlrs.size()) << what;
  for (size_t k = 0; k < want.evlrs.size(); k++) {
    EXPECT_TRUE(got.evlrs[k] == want.evlrs[k]) << what << ": EVLR " << k;
  }
}

// Every field equal; the classification too when asked, else it must be the
// ground tool's: 2 for ground, 1 for the rest.
void expect_points(const std::vector<FixturePoint>& got, const std::vector<FixturePoint>& want,
                   bool with_class, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  size_t ground = 0;
  for (size_t k = 0; k < got.size(); k++) {
    FixturePoint expected = want[k];
    if (!with_class) {
      ASSERT_TRUE(got[k].classification == 1 || got[k].classification == 2) << what << ", " << k;
      ground += got[k].classification == 2;
      expected.classification = got[k].classification;
    }
    ASSERT_EQ(fixture_point_difference(got[k], expected), "") << what << ", point " << k;
  }
  if (!with_class) {
    EXPECT_GT(ground, 0u) << what;
  }
}

// One road: the words that choose it and the inputs it reads.
struct Road {
  const char* name;
  std::vector<std::string> words;
  bool two_tiles;  // reads the two halves of the file instead of the whole
  bool from_stdin;
  bool buffered;  // one output per tile, each with the other tile as buffer
  bool pipe_on;   // standard output carries the first pass
  bool own_only;  // a buffered tile's output holds its own points only
  bool layers;    // reads through the edit layer that a run with -olay wrote first
};

const Road kRoads[] = {
    {"plain", {}, false, false, false, false, false, false},
    {"stdin", {}, false, true, false, false, false, false},
    {"stored", {"-stored"}, false, false, false, false, false, false},
    {"merged", {"-merged"}, true, false, false, false, false, false},
    {"merged stored", {"-merged", "-stored"}, true, false, false, false, false, false},
    {"buffered", {"-buffered", "1000", "-remain_buffered"}, true, false, true, false, false, false},
    {"buffered own points", {"-buffered", "1000"}, true, false, true, false, true, false},
    {"buffered stored", {"-buffered", "1000", "-stored"}, true, false, true, false, true, false},
    {"buffered stored remaining",
     {"-buffered", "1000", "-stored", "-remain_buffered"},
     true,
     false,
     true,
     false,
     false,
     false},
    {"pipe-on", {"-pipe_on"}, false, false, false, true, false, false},
    {"stored pipe-on", {"-stored", "-pipe_on"}, false, false, false, true, false, false},
    {"stdin pipe-on", {"-pipe_on"}, false, true, false, true, false, false},
    {"merged pipe-on", {"-merged", "-pipe_on"}, true, false, false, true, false, false},
    {"edit layers", {"-ilay"}, false, false, false, false, false, true},
    {"edit layers stored", {"-ilay", "-stored"}, false, false, false, false, false, true},
    {"edit layers pipe-on", {"-ilay", "-pipe_on"}, false, false, false, true, false, true},
    {"edit layers stored pipe-on",
     {"-ilay", "-stored", "-pipe_on"},
     false,
     false,
     false,
     true,
     false,
     true},
};

class TalvenorReaderPaths : public ::testing::TestWithParam<FormatCase> {};

TEST_P(TalvenorReaderPaths, EveryFieldButTheClassSurvives) {
  const FormatCase c = GetParam();
  ProgramDir dir;
  const FixtureFile file = road_file(c);
  const std::vector<FixturePoint> points = road_points(c);
  const std::vector<FixturePoint> halves[2] = {
      std::vector<FixturePoint>(points.begin(), points.begin() + points.size() / 2),
      std::vector<FixturePoint>(points.begin() + points.size() / 2, points.end())};
  ASSERT_TRUE(fixture_write_file(dir.file("whole.las"), file, points));
  ASSERT_TRUE(fixture_write_file(dir.file("half0.las"), file, halves[0]));
  ASSERT_TRUE(fixture_write_file(dir.file("half1.las"), file, halves[1]));
  for (const char* name : {"whole", "half0", "half1"}) {
    ASSERT_TRUE(convert(dir.file(std::string(name) + ".las"), dir.file(std::string(name) + ".vpk"),
                        LAScompressorKind::multistream_chunked));
  }

  const char* const kInOut[][2] = {{"las", "las"}, {"vpk", "las"}, {"las", "vpk"}};
  for (const auto& in_out : kInOut) {
    const std::string in = in_out[0], out = in_out[1];
    for (const Road& road : kRoads) {
      const std::string what = std::string(road.name) + ", " + in + " to " + out;
      SCOPED_TRACE(what);
      std::vector<std::string> args;
      std::string input;
      if (road.from_stdin) {
        args = {"-stdin"};
        input = file_text(dir.file("whole." + in));
      } else if (road.two_tiles) {
        args = {"-i", dir.file("half0." + in), dir.file("half1." + in)};
      } else {
        args = {"-i", dir.file("whole." + in)};
      }
      if (road.layers) {
        const ProgramRun olay =
            run_program(kProgram, {"-i", dir.file("whole." + in), "-olay"}, dir.path());
        ASSERT_EQ(olay.exit_code, 0) << olay.err;
      }
      args.insert(args.end(), road.words.begin(), road.words.end());
      if (road.buffered) {
        args.insert(args.end(), {"-odix", "_g", "-o" + out});
      } else {
        args.insert(args.end(), {"-o", dir.file("out." + out)});
      }
      const ProgramRun run = run_program(kProgram, args, dir.path(), input);
      ASSERT_EQ(run.exit_code, 0) << run.err;
      const bool with_evlrs = !road.from_stdin;
      if (!with_evlrs && !file.evlrs.empty()) {
        EXPECT_NE(run.err.find("WARNING: LAS 1.4 file has 1 EVLRs but stream is not seekable"),
                  std::string::npos)
            << run.err;
      }

      if (road.buffered) {
        for (int k = 0; k < 2; k++) {
          std::vector<FixturePoint> want = halves[k];
          if (!road.own_only) want.insert(want.end(), halves[1 - k].begin(), halves[1 - k].end());
          const FixtureContents written =
              contents_of(dir.file("half" + std::to_string(k) + "_g." + out), dir);
          expect_points(written.points, want, false, what);
          expect_records(written.file, file, with_evlrs, what);
        }
      } else {
        const FixtureContents written = contents_of(dir.file("out." + out), dir);
        expect_points(written.points, points, false, what);
        expect_records(written.file, file, with_evlrs, what);
      }
      if (road.pipe_on) {
        FixtureContents piped;
        std::string error;
        ASSERT_TRUE(fixture_read_bytes(std::vector<uint8_t>(run.out.begin(), run.out.end()), &piped,
                                       &error))
            << error;
        expect_points(piped.points, points, true, what + ", piped copy");
        expect_records(piped.file, file, with_evlrs, what + ", piped copy");
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(PointFormats, TalvenorReaderPaths,
                         ::testing::Values(FormatCase{6, 0}, FormatCase{1, 0}, FormatCase{3, 0},
                                           FormatCase{0, 0}, FormatCase{2, 0}, FormatCase{4, 0},
                                           FormatCase{5, 0}, FormatCase{7, 0}, FormatCase{8, 0},
                                           FormatCase{9, 0}, FormatCase{10, 0}, FormatCase{1, 5},
                                           FormatCase{6, 4}, FormatCase{10, 3}));

// ---------------------------------------------------------------------------
// Filter, transform and ignore options ride along every road: each road writes
// what the plain road writes from the same input, every field and the
// header's count, bounds and returns-by-number, for LAS, VPK, text, PLY and
// BIN inputs. Only the ground estimate of a buffered tile, which sees its
// neighbour's points, may choose other points as ground.

// Format 1 points on the rolling ground of the table above: every third of
// class 7 (the ignored class), the others of class 1; returns 1 to 3 of 3.
std::vector<FixturePoint> option_points() {
  FixtureRandom random(77);
  std::vector<FixturePoint> points;
  for (int row = 0; row < 20; row++) {
    for (int column = 0; column < 20; column++) {
      FixturePoint p;
      p.X = 30000000 + column * 200 + static_cast<int32_t>(random.below(50));
      p.Y = 500000000 + row * 200 + static_cast<int32_t>(random.below(50));
      p.Z = 10000 + (row * 7 + column * 3) + static_cast<int32_t>(random.below(20));
      p.intensity = static_cast<uint16_t>(random.below(4000));
      p.classification = points.size() % 3 == 0 ? 7 : 1;
      p.number_of_returns = 3;
      p.return_number = static_cast<uint8_t>(1 + random.below(3));
      if (random.below(2)) p.return_number = 3;
      p.point_source_ID = static_cast<uint16_t>(random.below(60000));
      p.gps_time = 1000.0 + static_cast<double>(points.size()) * 0.25;
      points.push_back(p);
    }
  }
  return points;
}

// Format 1 stands for the legacy point formats, format 6 (LAS 1.4) for the extended ones, whose
// fields were once lost on some roads only.
FixtureFile option_file(uint8_t format = 1) {
  FixtureFile file;
  file.version_minor = format >= 6 ? 4 : 2;
  file.point_data_format = format;
  return file;
}

double coordinate(int32_t value) {
  return value * 0.01;
}

bool write_option_las(const std::string& path, const std::vector<FixturePoint>& points) {
  return fixture_write_file(path, option_file(), points);
}

bool write_option_las14(const std::string& path, const std::vector<FixturePoint>& points) {
  return fixture_write_file(path, option_file(6), points);
}

bool write_vpk_of(const std::string& path, const std::vector<FixturePoint>& points,
                  uint8_t format) {
  const std::string las = path + ".las";
  // The extended formats are compressed in the layered form only.
  const uint16_t compressor = format >= 6 ? LAScompressorKind::multistream_chunked
                                          : LAScompressorKind::sequential_chunked;
  return fixture_write_file(las, option_file(format), points) && convert(las, path, compressor) &&
         std::remove(las.c_str()) == 0;
}

bool write_option_vpk(const std::string& path, const std::vector<FixturePoint>& points) {
  return write_vpk_of(path, points, 1);
}

bool write_option_vpk14(const std::string& path, const std::vector<FixturePoint>& points) {
  return write_vpk_of(path, points, 6);
}

const char kTextParse[] = "xyzticrn";

bool write_option_txt(const std::string& path, const std::vector<FixturePoint>& points) {
  std::string text;
  char line[160];
  for (const FixturePoint& p : points) {
    std::snprintf(line, sizeof(line), "%.2f %.2f %.2f %.2f %u %u %u %u\n", coordinate(p.X),
                  coordinate(p.Y), coordinate(p.Z), p.gps_time, unsigned{p.intensity},
                  unsigned{p.classification}, unsigned{p.return_number},
                  unsigned{p.number_of_returns});
    text += line;
  }
  return write_text(path, text);
}

bool write_option_ply(const std::string& path, const std::vector<FixturePoint>& points) {
  std::string text = "ply\nformat ascii 1.0\nelement vertex " + std::to_string(points.size()) +
                     "\nproperty double x\nproperty double y\nproperty double z\n"
                     "property float intensity\nend_header\n";
  char line[160];
  for (const FixturePoint& p : points) {
    std::snprintf(line, sizeof(line), "%.2f %.2f %.2f %u\n", coordinate(p.X), coordinate(p.Y),
                  coordinate(p.Z), unsigned{p.intensity});
    text += line;
  }
  return write_text(path, text);
}

// Terrasolid BIN in centimetres, with time stamps; the echo code carries the
// return kind (only, first, intermediate, last).
bool write_option_bin(const std::string& path, const std::vector<FixturePoint>& points) {
  side_fixtures::BinFile file;
  file.units = 100;
  file.time = true;
  std::vector<side_fixtures::BinPoint> records;
  for (const FixturePoint& p : points) {
    side_fixtures::BinPoint b;
    b.x = p.X;
    b.y = p.Y;
    b.z = p.Z;
    b.code = p.classification;
    b.echo = p.return_number == 1 ? 1 : p.return_number == 3 ? 3 : 2;
    b.line = p.point_source_ID;
    b.intensity = p.intensity;
    b.time = static_cast<uint32_t>(p.gps_time * 5000.0);
    records.push_back(b);
  }
  return side_fixtures::write_file(path, side_fixtures::bin_bytes(file, records));
}

struct InputFamily {
  const char* name;
  const char* extension;
  bool (*write)(const std::string& path, const std::vector<FixturePoint>& points);
  std::vector<std::string> read_words;   // on every road
  std::vector<std::string> stdin_words;  // empty: no standard-input road
  // PLY carries no class: each of its points has class 0, and its ignore row
  // ignores them all.
  const char* ignored_class;
};

const InputFamily kFamilies[] = {
    {"LAS", "las", write_option_las, {}, {"-stdin"}, "7"},
    {"VPK", "vpk", write_option_vpk, {}, {"-stdin"}, "7"},
    {"LAS 1.4", "las", write_option_las14, {}, {"-stdin"}, "7"},
    {"VPK 1.4", "vpk", write_option_vpk14, {}, {"-stdin"}, "7"},
    {"text",
     "txt",
     write_option_txt,
     {"-iparse", kTextParse},
     {"-stdin", "-itxt", "-iparse", kTextParse},
     "7"},
    {"PLY", "ply", write_option_ply, {}, {}, "0"},
    {"BIN", "bin", write_option_bin, {}, {}, "7"},
};

// Intensities run from 0 to 3999: the filter drops about a quarter of the
// points, spread over both tiles.
const char kDropAbove[] = "2999";

struct OptionRow {
  const char* name;
  bool filter, transform, ignore;
};

const OptionRow kOptionRows[] = {
    {"no option", false, false, false},
    {"filter", true, false, false},
    {"transform", false, true, false},
    {"ignore", false, false, true},
    {"filter, transform and ignore", true, true, true},
};

std::vector<std::string> option_words(const OptionRow& row, const InputFamily& family) {
  std::vector<std::string> words;
  if (row.filter) words.insert(words.end(), {"-drop_intensity_above", kDropAbove});
  if (row.transform) words.insert(words.end(), {"-translate_z", "100", "-scale_intensity", "2"});
  // Where the ignored class is every point's, the ignore row alone shows it;
  // with the others every point would merely be copied.
  const bool ignores_all = family.ignored_class[0] == '0';
  if (row.ignore && !(ignores_all && (row.filter || row.transform))) {
    words.insert(words.end(), {"-ignore_class", family.ignored_class});
  }
  return words;
}

struct OptionRoad {
  const char* name;
  std::vector<std::string> words;
  bool two_tiles;
  bool from_stdin;
  bool buffered;  // one output per tile, the tile's own points
  bool pipe_on;
};

const OptionRoad kOptionRoads[] = {
    {"stdin", {}, false, true, false, false},
    {"stdin pipe-on", {"-pipe_on"}, false, true, false, true},
    {"stored", {"-stored"}, false, false, false, false},
    {"pipe-on", {"-pipe_on"}, false, false, false, true},
    {"stored pipe-on", {"-stored", "-pipe_on"}, false, false, false, true},
    {"merged", {"-merged"}, true, false, false, false},
    {"merged stored", {"-merged", "-stored"}, true, false, false, false},
    {"merged pipe-on", {"-merged", "-pipe_on"}, true, false, false, true},
    {"buffered", {"-buffered", "1000"}, true, false, true, false},
    {"buffered stored", {"-buffered", "1000", "-stored"}, true, false, true, false},
    {"buffered pipe-on", {"-buffered", "1000", "-pipe_on"}, true, false, true, true},
};

// The classes the ground tool gives: non-ground and ground.
bool is_ground_class(uint8_t c) {
  return c == 1 || c == 2;
}

// The header's count, returns-by-number and bounds, and every field of every
// point (coordinates as the numbers they stand for, as merged and buffered
// readers may quantize otherwise); the class too unless `ground_may_differ`,
// which still keeps every class that is neither ground nor non-ground.
void expect_same_output(const FixtureContents& got, const FixtureContents& want,
                        bool ground_may_differ, const std::string& what) {
  EXPECT_EQ(got.header.number_of_point_records, want.header.number_of_point_records) << what;
  EXPECT_EQ(got.header.number_of_points_by_return, want.header.number_of_points_by_return) << what;
  const double got_box[6] = {got.header.min_x, got.header.min_y, got.header.min_z,
                             got.header.max_x, got.header.max_y, got.header.max_z};
  const double want_box[6] = {want.header.min_x, want.header.min_y, want.header.min_z,
                              want.header.max_x, want.header.max_y, want.header.max_z};
  for (int k = 0; k < 6; k++) EXPECT_NEAR(got_box[k], want_box[k], 1e-6) << what << ", bound " << k;
  ASSERT_EQ(got.points.size(), want.points.size()) << what;
  for (size_t k = 0; k < got.points.size(); k++) {
    const FixturePoint& g = got.points[k];
    FixturePoint w = want.points[k];
    for (int axis = 0; axis < 3; axis++) {
      const int32_t gi = axis == 0 ? g.X : axis == 1 ? g.Y : g.Z;
      const int32_t wi = axis == 0 ? w.X : axis == 1 ? w.Y : w.Z;
      ASSERT_NEAR(gi * got.header.scale[axis] + got.header.offset[axis],
                  wi * want.header.scale[axis] + want.header.offset[axis], 1e-6)
          << what << ", point " << k << ", axis " << axis;
    }
    w.X = g.X;
    w.Y = g.Y;
    w.Z = g.Z;
    if (ground_may_differ && is_ground_class(w.classification) &&
        is_ground_class(g.classification)) {
      w.classification = g.classification;
    }
    ASSERT_EQ(fixture_point_difference(g, w), "") << what << ", point " << k;
  }
}

FixtureContents read_output(const std::string& path) {
  FixtureContents contents;
  std::string error;
  EXPECT_TRUE(fixture_read_file(path, &contents, &error)) << path << ": " << error;
  return contents;
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// What the options must do on the plain road, against the points put in: the
// filter keeps the points at or below its height, the transform lifts them,
// the ignored class stays on every point that had it.
void expect_options_done(const FixtureContents& plain, const std::vector<FixturePoint>& input,
                         const OptionRow& row, const InputFamily& family, const std::string& what) {
  std::vector<FixturePoint> kept;
  for (const FixturePoint& p : input) {
    if (!row.filter || p.intensity <= 2999) kept.push_back(p);
  }
  if (row.filter) {
    ASSERT_LT(kept.size(), input.size()) << what;
  }
  ASSERT_EQ(plain.points.size(), kept.size()) << what;
  const int ignored = std::stoi(family.ignored_class);
  const std::vector<std::string> words = option_words(row, family);
  const bool ignoring = std::find(words.begin(), words.end(), "-ignore_class") != words.end();
  for (size_t k = 0; k < kept.size(); k++) {
    const FixturePoint& p = plain.points[k];
    const double z = p.Z * plain.header.scale[2] + plain.header.offset[2];
    ASSERT_NEAR(z, coordinate(kept[k].Z) + (row.transform ? 100.0 : 0.0), 1e-6)
        << what << ", " << k;
    const uint8_t put_in = family.ignored_class[0] == '0' ? 0 : kept[k].classification;
    if (ignoring && put_in == ignored) {
      ASSERT_EQ(int{p.classification}, ignored) << what << ", point " << k;
    } else {
      ASSERT_TRUE(is_ground_class(p.classification)) << what << ", point " << k;
    }
  }
}

// The LAS files a pipe-on run put on standard output, one per input tile, one
// after the other; each header must state the records that follow it: their
// count, returns-by-number and bounds. The count also marks where the next
// file starts, so a count that lies leaves bytes over or falls short.
void expect_piped_headers_true(const std::string& out, size_t files, const std::string& what) {
  const std::vector<uint8_t> all(out.begin(), out.end());
  size_t at = 0;
  for (size_t f = 0; f < files; f++) {
    const std::string which = what + ", piped file " + std::to_string(f);
    ASSERT_LE(at + 227, all.size()) << which;
    const std::vector<uint8_t> rest(all.begin() + at, all.end());
    const uint32_t offset = fixture_get_u32(rest, 96);
    const uint16_t length = fixture_get_u16(rest, 105);
    uint64_t count = fixture_get_u32(rest, 107);
    if (rest[25] >= 4 && count == 0) count = fixture_get_u64(rest, 247);
    const uint64_t size = offset + count * length;
    ASSERT_LE(size, rest.size()) << which;
    FixtureContents piped;
    std::string error;
    ASSERT_TRUE(
        fixture_read_bytes(std::vector<uint8_t>(rest.begin(), rest.begin() + size), &piped, &error))
        << which << ": " << error;
    ASSERT_EQ(piped.points.size(), count) << which;
    std::array<uint32_t, 5> by_return = {};
    double box[6] = {0, 0, 0, 0, 0, 0};  // min x y z, max x y z
    for (size_t k = 0; k < piped.points.size(); k++) {
      const FixturePoint& p = piped.points[k];
      if (p.return_number >= 1 && p.return_number <= 5) by_return[p.return_number - 1]++;
      const int32_t raw[3] = {p.X, p.Y, p.Z};
      for (int axis = 0; axis < 3; axis++) {
        const double v = raw[axis] * piped.header.scale[axis] + piped.header.offset[axis];
        if (k == 0 || v < box[axis]) box[axis] = v;
        if (k == 0 || v > box[3 + axis]) box[3 + axis] = v;
      }
    }
    if (piped.header.point_data_format >= 6) {
      // The extended formats count by return in the 64-bit fields only.
      for (int r = 0; r < 5; r++) {
        EXPECT_EQ(piped.header.extended_number_of_points_by_return[r], by_return[r])
            << which << ", return " << r + 1;
      }
      EXPECT_EQ(piped.header.number_of_points_by_return, (std::array<uint32_t, 5>{})) << which;
    } else {
      EXPECT_EQ(piped.header.number_of_points_by_return, by_return) << which;
    }
    if (!piped.points.empty()) {
      const double header_box[6] = {piped.header.min_x, piped.header.min_y, piped.header.min_z,
                                    piped.header.max_x, piped.header.max_y, piped.header.max_z};
      for (int k = 0; k < 6; k++)
        EXPECT_NEAR(header_box[k], box[k], 1e-6) << which << ", bound " << k;
    }
    at += size;
  }
  EXPECT_EQ(at, all.size()) << what << ": bytes after the piped files";
}

TEST(TalvenorReaderPaths, FilterTransformAndIgnoreRideEveryRoad) {
  ProgramDir dir;
  const std::vector<FixturePoint> points = option_points();
  const std::vector<FixturePoint> halves[2] = {
      std::vector<FixturePoint>(points.begin(), points.begin() + points.size() / 2),
      std::vector<FixturePoint>(points.begin() + points.size() / 2, points.end())};
  for (const InputFamily& family : kFamilies) {
    const std::string ext = family.extension;
    const std::string whole = dir.file("whole." + ext);
    const std::string tiles[2] = {dir.file("half0." + ext), dir.file("half1." + ext)};
    ASSERT_TRUE(family.write(whole, points)) << family.name;
    ASSERT_TRUE(family.write(tiles[0], halves[0])) << family.name;
    ASSERT_TRUE(family.write(tiles[1], halves[1])) << family.name;
    for (const OptionRow& row : kOptionRows) {
      const std::vector<std::string> options = joined(family.read_words, option_words(row, family));
      // The plain road, over the whole file and over each tile alone.
      const std::string plain_what = std::string(family.name) + ", " + row.name + ", plain";
      const ProgramRun plain = run_program(
          kProgram, joined({"-i", whole, "-o", dir.file("plain.las")}, options), dir.path());
      ASSERT_EQ(plain.exit_code, 0) << plain_what << ": " << plain.err;
      const FixtureContents plain_out = read_output(dir.file("plain.las"));
      expect_options_done(plain_out, points, row, family, plain_what);
      FixtureContents plain_tiles[2];
      for (int k = 0; k < 2; k++) {
        const std::string name = dir.file("plain" + std::to_string(k) + ".las");
        const ProgramRun run =
            run_program(kProgram, joined({"-i", tiles[k], "-o", name}, options), dir.path());
        ASSERT_EQ(run.exit_code, 0) << plain_what << ", tile " << k << ": " << run.err;
        plain_tiles[k] = read_output(name);
      }

      for (const OptionRoad& road : kOptionRoads) {
        if (road.from_stdin && family.stdin_words.empty()) continue;
        const std::string what = std::string(family.name) + ", " + row.name + ", " + road.name;
        SCOPED_TRACE(what);
        std::vector<std::string> args;
        std::string input;
        if (road.from_stdin) {
          args = family.stdin_words;
          input = file_text(whole);
        } else if (road.two_tiles) {
          args = {"-i", tiles[0], tiles[1]};
        } else {
          args = {"-i", whole};
        }
        args = joined(joined(args, road.words), options);
        if (road.buffered) {
          args = joined(args, {"-odix", "_g", "-olas"});
        } else {
          args = joined(args, {"-o", dir.file("out.las")});
        }
        const ProgramRun run = run_program(kProgram, args, dir.path(), input);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        if (road.pipe_on) expect_piped_headers_true(run.out, road.buffered ? 2 : 1, what);
        if (road.buffered) {
          for (int k = 0; k < 2; k++) {
            const std::string name = dir.file("half" + std::to_string(k) + "_g.las");
            expect_same_output(read_output(name), plain_tiles[k], true,
                               what + ", tile " + std::to_string(k));
            std::remove(name.c_str());
          }
          continue;
        }
        const FixtureContents out = read_output(dir.file("out.las"));
        expect_same_output(out, plain_out, false, what);
        if (road.pipe_on) {
          // The first pass, with the classes as read. Its header went out
          // before the filter had seen the points, so its count is not
          // checked here: the records that follow are read.
          std::vector<uint8_t> bytes(run.out.begin(), run.out.end());
          ASSERT_GT(bytes.size(), 227u);
          const uint32_t offset = fixture_get_u32(bytes, 96);
          const uint16_t length = fixture_get_u16(bytes, 105);
          ASSERT_TRUE(offset <= bytes.size() && length > 0);
          fixture_set_point_count(bytes, (bytes.size() - offset) / length);
          FixtureContents piped;
          std::string error;
          ASSERT_TRUE(fixture_read_bytes(bytes, &piped, &error)) << error;
          ASSERT_EQ(piped.points.size(), out.points.size());
          for (size_t k = 0; k < out.points.size(); k++) {
            FixturePoint p = piped.points[k];
            p.classification = out.points[k].classification;
            ASSERT_EQ(fixture_point_difference(p, out.points[k]), "") << "piped point " << k;
          }
        }
        std::remove(dir.file("out.las").c_str());
      }
    }
  }
}

}  // namespace

namespace {

// A filter that keeps no point: the ground tool copies (or, with -skip_files,
// skips) the file, and the pipe-on copy is a LAS file of no points whose
// header says so.
struct EmptyCopyCase {
  const char* name;
  std::vector<std::string> words;
};

const EmptyCopyCase kEmptyCopyCases[] = {
    {"copied", {"-pipe_on"}},
    {"skipped", {"-pipe_on", "-skip_files"}},
    {"stored, copied", {"-pipe_on", "-stored"}},
};

// The same filter on the roads without a pipe-on copy: the file is copied with a header of no
// points and the run succeeds, whether or not the points are kept in memory for the second pass.
TEST(TalvenorReaderPaths, FilterThatKeepsNoPointCopiesAnEmptyFile) {
  ProgramDir dir;
  const std::string whole = dir.file("whole.las");
  ASSERT_TRUE(write_option_las(whole, option_points()));
  for (const std::vector<std::string>& road :
       {std::vector<std::string>{}, {"-stored"}, {"-merged"}, {"-merged", "-stored"}}) {
    SCOPED_TRACE(::testing::PrintToString(road));
    const std::string out = dir.file("out.las");
    const ProgramRun run =
        run_program(kProgram, joined({"-i", whole, "-drop_z_above", "-100000", "-o", out}, road),
                    dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::string text = file_text(out);
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    ASSERT_GT(bytes.size(), 111u);
    EXPECT_EQ(fixture_get_u32(bytes, 107), 0u);
    std::remove(out.c_str());
  }
}

TEST(TalvenorReaderPaths, PipeOnCopyOfNoPointsSaysSo) {
  ProgramDir dir;
  const std::string whole = dir.file("whole.las");
  ASSERT_TRUE(write_option_las(whole, option_points()));
  for (const EmptyCopyCase& c : kEmptyCopyCases) {
    SCOPED_TRACE(c.name);
    const ProgramRun run = run_program(
        kProgram,
        joined({"-i", whole, "-drop_z_above", "-100000", "-o", dir.file("out.las")}, c.words),
        dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    expect_piped_headers_true(run.out, 1, c.name);
    const std::vector<uint8_t> bytes(run.out.begin(), run.out.end());
    ASSERT_GT(bytes.size(), 111u);
    EXPECT_EQ(fixture_get_u32(bytes, 107), 0u);
    std::remove(dir.file("out.las").c_str());
  }
}

}  // namespace
