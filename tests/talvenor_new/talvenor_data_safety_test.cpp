// talvenor_new as a user runs it on inputs where data used to be lost or made
// up: legacy points that carried an earlier point's extended class or GPS
// time, headers that count more points than the file holds, records shorter
// than their format, VPK item lists out of the standard order, LAS 1.4 EVLRs
// on standard output and point counts beyond 32 bits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "file_bytes.hpp"
#include "fuzz_harness.hpp"
#include "las_fixture.hpp"
#include "point_reading.hpp"
#include "run_program.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";
using Bytes = std::vector<uint8_t>;

// 400 points on gently rolling ground, 2 m apart, with random fields; half of
// them last returns. Z rises with the row, so that "row above 9" is a height.
std::vector<FixturePoint> ground_points(uint8_t format, uint64_t seed = 7) {
  FixtureRandom random(seed);
  std::vector<FixturePoint> points;
  for (int row = 0; row < 20; row++) {
    for (int column = 0; column < 20; column++) {
      FixturePoint p = fixture_random_point(random, format);
      p.X = column * 200 + static_cast<int32_t>(random.below(50));
      p.Y = row * 200 + static_cast<int32_t>(random.below(50));
      p.Z = 10000 + row * 10 + static_cast<int32_t>(random.below(5));
      if (random.below(2)) p.return_number = p.number_of_returns;
      points.push_back(p);
    }
  }
  return points;
}

FixtureFile file_of(uint8_t minor, uint8_t format) {
  FixtureFile file;
  file.version_minor = minor;
  file.point_data_format = format;
  file.offset = {300000.0, 5000000.0, 0.0};
  return file;
}

FixtureEvlr evlr_of(size_t size) {
  FixtureEvlr evlr;
  evlr.user_id = "after points";
  evlr.record_id = 7;
  evlr.description = "kept with the points";
  for (size_t i = 0; i < size; i++) evlr.data.push_back(static_cast<uint8_t>(i * 13));
  return evlr;
}

std::vector<FixturePoint> read_points(const std::string& path) {
  FixtureContents contents;
  std::string error;
  EXPECT_TRUE(fixture_read_file(path, &contents, &error)) << path << ": " << error;
  return contents.points;
}

// Every point of a LAS or VPK file as the library reads it, with the messages.
struct LibraryRead {
  bool opened = false;
  std::vector<FixturePoint> points;
  size_t evlrs = 0;
  std::string messages;
};

LibraryRead library_read(const Bytes& bytes) {
  LibraryRead r;
  LASreaderLAS reader;
  testing::internal::CaptureStderr();
  r.opened =
      reader.open_stream(new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size())));
  while (r.opened && reader.read_point()) {
    r.points.push_back(fixture_point_of(reader.point, reader.header.point_data_format));
  }
  r.evlrs = reader.header.evlrs.size();
  r.messages = testing::internal::GetCapturedStderr();
  return r;
}

void expect_same_points(const std::vector<FixturePoint>& got,
                        const std::vector<FixturePoint>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); i++) {
    EXPECT_EQ(got[i].X, want[i].X) << i;
    EXPECT_EQ(got[i].Y, want[i].Y) << i;
    EXPECT_EQ(got[i].Z, want[i].Z) << i;
    EXPECT_EQ(got[i].intensity, want[i].intensity) << i;
    EXPECT_EQ(got[i].gps_time, want[i].gps_time) << i;
  }
}

}  // namespace

// Legacy points (formats 0 to 5): the extended class is the 5-bit class and a
// missing GPS time is 0 on every read, also after the ground tool's own
// output pass set the class of the point before.
TEST(TalvenorDataSafety, LegacyPointsCarryNothingOfTheirPredecessor) {
  ProgramDir dir;
  std::vector<FixturePoint> points = ground_points(3);
  for (FixturePoint& p : points) {
    p.classification = 0;
    p.user_data = 0;
  }
  ASSERT_TRUE(fixture_write_file(dir.file("c0.las"), file_of(2, 3), points));

  {
    SCOPED_TRACE("-keep_extended_class 0 keeps every point of class 0");
    const ProgramRun run = run_program(
        kProgram, {"-i", dir.file("c0.las"), "-o", dir.file("k.las"), "-keep_extended_class", "0"},
        dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err.find("written"), std::string::npos) << run.err;
    EXPECT_EQ(read_points(dir.file("k.las")).size(), points.size());
  }
  {
    SCOPED_TRACE("-copy_classification_into_user_data copies 0");
    const ProgramRun run = run_program(
        kProgram,
        {"-i", dir.file("c0.las"), "-o", dir.file("u.las"), "-copy_classification_into_user_data"},
        dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<FixturePoint> out = read_points(dir.file("u.las"));
    ASSERT_EQ(out.size(), points.size());
    for (size_t i = 0; i < out.size(); i++) EXPECT_EQ(out[i].user_data, 0) << i;
  }
  {
    SCOPED_TRACE("-set_RGB_of_class 40 colours the points classified 40 only");
    // z above 100.95 m: rows 10 to 19
    const ProgramRun run =
        run_program(kProgram,
                    {"-i", dir.file("c0.las"), "-o", dir.file("rgb.las"), "-classify_z_above_as",
                     "100.95", "40", "-set_RGB_of_class", "40", "1", "2", "3"},
                    dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<FixturePoint> out = read_points(dir.file("rgb.las"));
    ASSERT_EQ(out.size(), points.size());
    for (size_t i = 0; i < out.size(); i++) {
      const bool above = points[i].Z * 0.01 > 100.95;
      const std::array<uint16_t, 3> coloured = {1, 2, 3};
      EXPECT_EQ(out[i].rgb, above ? coloured : points[i].rgb) << i;
    }
  }
  {
    SCOPED_TRACE("-merged: the points of a format-0 file after a format-1 file have no time");
    std::vector<FixturePoint> first = ground_points(1, 8), second = ground_points(0, 9);
    first.resize(200);
    second.erase(second.begin(), second.begin() + 200);
    ASSERT_TRUE(fixture_write_file(dir.file("f1.las"), file_of(2, 1), first));
    ASSERT_TRUE(fixture_write_file(dir.file("f0.las"), file_of(2, 0), second));
    const ProgramRun run = run_program(
        kProgram,
        {"-i", dir.file("f1.las"), dir.file("f0.las"), "-merged", "-o", dir.file("m.las")},
        dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<FixturePoint> out = read_points(dir.file("m.las"));
    ASSERT_EQ(out.size(), 400u);
    for (size_t i = 0; i < 400; i++) {
      EXPECT_EQ(out[i].gps_time, i < 200 ? first[i].gps_time : 0.0) << i;
    }
  }
}

// A header that counts more points than the file stores: the reader gives the
// stored points and nothing made of the chunk table, the EVLRs or what else
// follows them, warns of the end, and the run fails (code 1, no output) as for
// any input that ends before its count; records shorter than their format are
// refused.
TEST(TalvenorDataSafety, OnlyStoredPointsAreWritten) {
  struct Row {
    const char* name;
    uint8_t minor, format;
    uint16_t compressor;  // raw: a LAS input
  };
  const Row rows[] = {
      {"raw LAS 1.4 with EVLRs", 4, 6, LAScompressorKind::raw},
      {"raw LAS 1.4 format 1 with EVLRs", 4, 1, LAScompressorKind::raw},
      {"VPK 1.4 with EVLRs", 4, 1, LAScompressorKind::sequential_chunked},
      {"layered VPK with EVLRs", 4, 7, LAScompressorKind::multistream_chunked},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ProgramDir dir;
    FixtureFile file = file_of(row.minor, row.format);
    file.evlrs.push_back(evlr_of(6000));
    const std::vector<FixturePoint> points = ground_points(row.format);
    Bytes bytes = fixture_write_bytes(file, points);
    if (row.compressor != LAScompressorKind::raw) {
      bytes = fuzz_compressed_copy(bytes, row.compressor, 2, 100);
      ASSERT_FALSE(bytes.empty());
    }
    fixture_set_point_count(bytes, 3 * points.size());
    const std::string in = dir.file(row.compressor ? "in.vpk" : "in.las");
    ASSERT_TRUE(write_bytes(in, bytes));
    const ProgramRun run = run_program(kProgram, {"-i", in, "-o", dir.file("out.las")}, dir.path());
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find("WARNING: end-of-file after 400 of 1200 points"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("ERROR: processing '" + in + "' failed. no output written.\n"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(path_exists(dir.file("out.las")));
    const LibraryRead read = library_read(bytes);
    ASSERT_TRUE(read.opened) << read.messages;
    expect_same_points(read.points, points);
    EXPECT_EQ(read.evlrs, 1u);
  }

  // A truncated input written as VPK to standard output: the run fails before
  // anything is written, and the reader gives the points stored, no more.
  {
    SCOPED_TRACE("VPK to standard output from a truncated input");
    ProgramDir dir;
    const std::vector<FixturePoint> points = ground_points(1);
    Bytes bytes = fixture_write_bytes(file_of(2, 1), points);
    bytes.resize(bytes.size() - 28 * 150 - 11);
    ASSERT_TRUE(write_bytes(dir.file("cut.las"), bytes));
    const ProgramRun run =
        run_program(kProgram, {"-i", dir.file("cut.las"), "-stdout", "-ovpk"}, dir.path());
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_EQ(run.out, "");
    const LibraryRead read = library_read(bytes);
    ASSERT_TRUE(read.opened) << read.messages;
    expect_same_points(read.points,
                       std::vector<FixturePoint>(points.begin(), points.begin() + 249));
  }

  // Records shorter than their format: an error, no output.
  {
    SCOPED_TRACE("record length below the format's size");
    ProgramDir dir;
    Bytes bytes = fixture_write_bytes(file_of(2, 1), ground_points(1));
    fixture_put_u16(bytes, 105, 20);
    ASSERT_TRUE(write_bytes(dir.file("short.las"), bytes));
    const ProgramRun run =
        run_program(kProgram, {"-i", dir.file("short.las"), "-o", dir.file("out.las")}, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("ERROR: point size 20 too small by 8 bytes for point type 1\n"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(file_bytes(dir.file("out.las")).empty());
  }
}

// A file that counts more than 2^32 points but holds 400 is read without room
// for the count it states (the room follows what the file holds), and fails as
// an input that ends before its count.
TEST(TalvenorDataSafety, CountBeyond32BitsOfAFewPoints) {
  ProgramDir dir;
  const std::vector<FixturePoint> points = ground_points(6);
  Bytes bytes = fixture_write_bytes(file_of(4, 6), points);
  fixture_set_point_count(bytes, 4294967296ull + 400);
  ASSERT_TRUE(write_bytes(dir.file("big.las"), bytes));
  const ProgramRun run =
      run_program(kProgram, {"-i", dir.file("big.las"), "-o", dir.file("out.las")}, dir.path());
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_EQ(run.err.find("cannot alloc"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("after 400 of 4294967696 points"), std::string::npos) << run.err;
  EXPECT_FALSE(path_exists(dir.file("out.las")));
  const LibraryRead read = library_read(bytes);
  ASSERT_TRUE(read.opened) << read.messages;
  expect_same_points(read.points, points);
}

// A VPK file whose items are out of the standard order, written as LAS:
// standard records that every LAS reader reads, every field kept.
TEST(TalvenorDataSafety, VpkItemsOutOfOrderWrittenAsLas) {
  ProgramDir dir;
  const std::vector<FixturePoint> points = ground_points(3);
  // The VPK: items POINT10, RGB12, GPSTIME11, written by the library.
  {
    LASheader h;
    h.point_data_format = 3;
    h.point_data_record_length = 34;
    h.number_of_point_records = static_cast<uint32_t>(points.size());
    h.x_offset = 300000.0;
    h.y_offset = 5000000.0;
    h.min_x = 300000.0;
    h.max_x = 300040.0;
    h.min_y = 5000000.0;
    h.max_y = 5000040.0;
    h.min_z = 100.0;
    h.max_z = 103.0;
    const LASitem items[3] = {
        {LASitem::POINT10, 20, 2}, {LASitem::RGB12, 6, 2}, {LASitem::GPSTIME11, 8, 2}};
    h.vlr_compressor.reset(new LAScompressorSetup);
    ASSERT_TRUE(h.vlr_compressor->setup(3, items, LAScompressorKind::raw));
    LASpoint point;
    ASSERT_TRUE(point.init_for_items(&h, 3, items, &h));
    LASwriterLAS writer;
    ASSERT_TRUE(
        writer.open_file(dir.file("odd.vpk").c_str(), &h, LAScompressorKind::sequential_chunked));
    for (const FixturePoint& f : points) {
      point.X = f.X;
      point.Y = f.Y;
      point.Z = f.Z;
      point.intensity = f.intensity;
      point.set_return_number(f.return_number);
      point.set_number_of_returns(f.number_of_returns);
      point.set_classification(f.classification);
      point.user_data = f.user_data;
      point.point_source_ID = f.point_source_ID;
      point.gps_time = f.gps_time;
      point.rgb[0] = f.rgb[0];
      point.rgb[1] = f.rgb[1];
      point.rgb[2] = f.rgb[2];
      ASSERT_TRUE(writer.write_one_point(&point));
    }
    ASSERT_GT(writer.close_output(true), 0);
  }
  const ProgramRun run =
      run_program(kProgram, {"-i", dir.file("odd.vpk"), "-o", dir.file("out.las")}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<FixturePoint> out = read_points(dir.file("out.las"));
  ASSERT_EQ(out.size(), points.size());
  for (size_t i = 0; i < out.size(); i++) {
    EXPECT_EQ(out[i].X, points[i].X) << i;
    EXPECT_EQ(out[i].gps_time, points[i].gps_time) << i;
    EXPECT_EQ(out[i].rgb, points[i].rgb) << i;
    EXPECT_EQ(out[i].intensity, points[i].intensity) << i;
    EXPECT_EQ(out[i].point_source_ID, points[i].point_source_ID) << i;
  }
}

// LAS 1.4 with EVLRs written to standard output, which cannot seek back:
// uncompressed, the EVLRs follow the points where the header says; as VPK
// they are dropped with a warning. Either copy opens and reads again, also
// when a filter keeps fewer points than the header announced (then the EVLRs
// cannot go where the header says, and the reader skips them with a warning).
TEST(TalvenorDataSafety, Las14EvlrsOnStandardOutput) {
  ProgramDir dir;
  FixtureFile file = file_of(4, 6);
  file.evlrs.push_back(evlr_of(300));
  const std::vector<FixturePoint> points = ground_points(6);
  ASSERT_TRUE(fixture_write_file(dir.file("in.las"), file, points));
  std::vector<FixturePoint> last_returns;
  for (const FixturePoint& p : points) {
    if (p.return_number == p.number_of_returns) last_returns.push_back(p);
  }
  struct Row {
    std::vector<std::string> words;
    size_t evlrs;
    const char* warning;
    bool filtered;  // only the last returns are written
  };
  // The header of a filtered output says the count of the points written, so that its EVLRs
  // land where it says they start.
  const Row rows[] = {
      {{"-olas"}, 1, nullptr, false},
      {{"-ovpk"},
       0,
       "WARNING: stream not seekable. dropping 1 EVLRs that cannot be placed after compressed "
       "points.\n",
       false},
      {{"-olas", "-keep_last"}, 1, nullptr, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.words.back());
    std::vector<std::string> args = {"-i", dir.file("in.las"), "-stdout"};
    args.insert(args.end(), row.words.begin(), row.words.end());
    const ProgramRun run = run_program(kProgram, args, dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    if (row.warning) {
      EXPECT_NE(run.err.find(row.warning), std::string::npos) << run.err;
    }
    const LibraryRead out = library_read(Bytes(run.out.begin(), run.out.end()));
    ASSERT_TRUE(out.opened) << out.messages;
    EXPECT_EQ(out.messages, "");
    expect_same_points(out.points, row.filtered ? last_returns : points);
    EXPECT_EQ(out.evlrs, row.evlrs);
  }
}
