// Every road a point takes into talvenor_new and out again keeps every field
// but the classification: plain, piped, stored, merged, buffered and pipe-on
// reads, from LAS and VPK, into LAS and VPK, for every point format family,
// with extra bytes. The pipe-on copy shows the first pass (classes too), the
// output the second. A user VLR, and in LAS 1.4 an EVLR, reach the output and
// the pipe-on copy byte for byte on every road; on standard input the EVLRs lie
// behind the points, out of reach of a reader that cannot seek back, and are
// dropped with a warning.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"

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

}  // namespace
