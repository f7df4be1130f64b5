// The built talvenor_new: the header of every output describes the points written in it, not the
// input's. Filters, clips and transforms change which points are written and where they lie,
// buffers add points, heights replace Z, and raster and text inputs make every point return 1 of
// 1; the count, the bounds and the counts by return number must follow, whether the output is a
// file or standard output, LAS, VPK or BIN.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/las_reader_las.hpp"
#include "file_bytes.hpp"
#include "raster_fixtures.hpp"
#include "run_program.hpp"
#include "scene.hpp"
#include "scene_tiles.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

// What a header says and what the points after it are, read back by the library's reader.
struct Written {
  bool opened = false;
  int64_t header_count = 0;
  int64_t header_by_return[5] = {};
  double header_min[3] = {}, header_max[3] = {};
  int64_t count = 0;
  int64_t by_return[5] = {};
  double min[3] = {}, max[3] = {};
};

Written read_written(const std::string& path) {
  Written w;
  LASreaderLAS reader;
  if (!reader.open_file(path.c_str())) return w;
  w.opened = true;
  const LASheader& h = reader.header;
  w.header_count = h.number_of_point_records ? int64_t(h.number_of_point_records)
                                             : int64_t(h.extended_number_of_point_records);
  for (int r = 0; r < 5; r++) {
    w.header_by_return[r] = h.number_of_points_by_return[r]
                                ? int64_t(h.number_of_points_by_return[r])
                                : int64_t(h.extended_number_of_points_by_return[r]);
  }
  w.header_min[0] = h.min_x;
  w.header_min[1] = h.min_y;
  w.header_min[2] = h.min_z;
  w.header_max[0] = h.max_x;
  w.header_max[1] = h.max_y;
  w.header_max[2] = h.max_z;
  while (reader.read_point()) {
    const LASpoint& p = reader.point;
    const double xyz[3] = {p.get_x(), p.get_y(), p.get_z()};
    for (int k = 0; k < 3; k++) {
      w.min[k] = w.count == 0 ? xyz[k] : std::min(w.min[k], xyz[k]);
      w.max[k] = w.count == 0 ? xyz[k] : std::max(w.max[k], xyz[k]);
    }
    const int r =
        p.get_extended_point_type() ? p.get_extended_return_number() : p.get_return_number();
    if (r >= 1 && r <= 5) w.by_return[r - 1]++;
    w.count++;
  }
  reader.close_input(true);
  return w;
}

// The header states exactly the points that follow it.
void expect_truthful(const Written& w, int64_t expected_count) {
  ASSERT_TRUE(w.opened);
  EXPECT_EQ(w.count, expected_count);
  EXPECT_EQ(w.header_count, w.count);
  for (int r = 0; r < 5; r++)
    EXPECT_EQ(w.header_by_return[r], w.by_return[r]) << "return " << r + 1;
  for (int k = 0; k < 3; k++) {
    EXPECT_DOUBLE_EQ(w.header_min[k], w.min[k]) << "axis " << k;
    EXPECT_DOUBLE_EQ(w.header_max[k], w.max[k]) << "axis " << k;
  }
}

struct HeaderCase {
  const char* name;
  std::vector<std::string> args;
  const char* output;  // a file, or null for standard output (saved to "piped.out")
  bool filtered;       // fewer points than the input
};

class TalvenorOutputHeader : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    tiles = write_tiles(dir.path(), scene);
    quarter_x = std::to_string(scene.params.origin_x + scene.params.size / 2);
    quarter_y = std::to_string(scene.params.origin_y + scene.params.size / 2);
    origin_x = std::to_string(scene.params.origin_x);
    origin_y = std::to_string(scene.params.origin_y);
    const Written whole = read_written(tiles.whole_in_tile_order);
    ASSERT_TRUE(whole.opened);
    whole_count = whole.count;
  }

  // Runs the case and returns the path of what it wrote.
  std::string run(const HeaderCase& c) {
    const ProgramRun r = run_program(kProgram, c.args, dir.path());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    if (c.output) return dir.file(c.output);
    const std::string piped = dir.file("piped.out");
    EXPECT_TRUE(write_text(piped, r.out));
    return piped;
  }

  const Scene scene = make_scene(scene_params(ScenePreset::kUrban, 80.0, 2.0, 21));
  ProgramDir dir;
  Tiles tiles;
  std::string quarter_x, quarter_y, origin_x, origin_y;
  int64_t whole_count = 0;
};

TEST_F(TalvenorOutputHeader, LasAndVpkHeadersDescribeThePointsWritten) {
  const std::vector<std::string> quarter = {"-keep_xy", origin_x, origin_y, quarter_x, quarter_y};
  auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const HeaderCase cases[] = {
      {"plain", {"-i", "whole.las", "-o", "plain.las"}, "plain.las", false},
      {"-keep_xy", with({"-i", "whole.las", "-o", "keep.las"}, quarter), "keep.las", true},
      {"-keep_xy to VPK", with({"-i", "whole.las", "-o", "keep.vpk"}, quarter), "keep.vpk", true},
      {"-inside",
       {"-i", "whole.las", "-o", "inside.las", "-inside", origin_x, origin_y, quarter_x, quarter_y},
       "inside.las",
       true},
      {"-keep_last", {"-i", "whole.las", "-o", "last.las", "-keep_last"}, "last.las", true},
      {"-translate_z",
       {"-i", "whole.las", "-o", "up.las", "-translate_z", "1000"},
       "up.las",
       false},
      {"-compute_height", {"-i", "whole.las", "-o", "h.las", "-compute_height"}, "h.las", false},
      {"-replace_z -keep_first",
       {"-i", "whole.las", "-o", "z.las", "-replace_z", "-keep_first"},
       "z.las",
       true},
      {"buffered tile",
       {"-i", "tile0.las", "-neighbors", "tile1.las", "tile2.las", "tile3.las", "-buffered", "10",
        "-o", "buffered.las"},
       "buffered.las",
       true},
      {"-stdout LAS -keep_xy", with({"-i", "whole.las", "-stdout", "-olas"}, quarter), nullptr,
       true},
      {"-stdout VPK -keep_last",
       {"-i", "whole.las", "-stdout", "-ovpk", "-keep_last"},
       nullptr,
       true},
      {"-stdout LAS -replace_z -keep_xy",
       with({"-i", "whole.las", "-stdout", "-olas", "-replace_z"}, quarter), nullptr, true},
      {"-stdout LAS buffered",
       {"-i", "tile0.las", "-neighbors", "tile1.las", "tile2.las", "tile3.las", "-buffered", "10",
        "-stdout", "-olas"},
       nullptr,
       true},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = run(c);
    const Written w = read_written(path);
    ASSERT_TRUE(w.opened);
    if (c.filtered) {
      EXPECT_LT(w.count, whole_count);
      EXPECT_GT(w.count, 0);
    } else {
      EXPECT_EQ(w.count, whole_count);
    }
    expect_truthful(w, w.count);
    std::remove(path.c_str());
  }
}

// The same filter on a file and on standard output writes the same points under the same header.
TEST_F(TalvenorOutputHeader, StandardOutputGetsTheHeaderOfTheFile) {
  const std::vector<std::string> filter = {"-keep_xy", origin_x,     origin_y,         quarter_x,
                                           quarter_y,  "-keep_last", "-compute_height"};
  std::vector<std::string> to_file = {"-i", "whole.las", "-o", "file.las"};
  to_file.insert(to_file.end(), filter.begin(), filter.end());
  std::vector<std::string> to_pipe = {"-i", "whole.las", "-stdout", "-olas"};
  to_pipe.insert(to_pipe.end(), filter.begin(), filter.end());
  const std::string file = run({"file", to_file, "file.las", true});
  const std::string piped = run({"pipe", to_pipe, nullptr, true});
  EXPECT_EQ(file_text(piped), file_text(file));
}

// BIN keeps a count in its header: after a filter on standard output it is the count of the
// records that follow, and the file reads back.
TEST_F(TalvenorOutputHeader, BinOnStandardOutputCountsTheRecordsWritten) {
  const HeaderCase file_case = {
      "file", {"-i", "whole.las", "-o", "last.las", "-keep_last"}, "last.las", true};
  const int64_t expected = read_written(run(file_case)).count;
  const ProgramRun r =
      run_program(kProgram, {"-i", "whole.las", "-stdout", "-obin", "-keep_last"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err.find("ERROR"), std::string::npos) << r.err;
  ASSERT_GE(r.out.size(), 56u);
  const uint8_t* b = reinterpret_cast<const uint8_t*>(r.out.data());
  const uint32_t count =
      uint32_t(b[16]) | uint32_t(b[17]) << 8 | uint32_t(b[18]) << 16 | uint32_t(b[19]) << 24;
  EXPECT_EQ(int64_t(count), expected);
  ASSERT_TRUE(write_text(dir.file("piped.bin"), r.out));
  const ProgramRun back =
      run_program(kProgram, {"-i", "piped.bin", "-o", "back.las", "-quiet"}, dir.path());
  ASSERT_EQ(back.exit_code, 0) << back.err;
  EXPECT_EQ(back.err, "");
  expect_truthful(read_written(dir.file("back.las")), expected);
}

// Point text with a count line writes the count before the points: after a filter it is the
// count of the lines that follow, in a file and on standard output.
TEST_F(TalvenorOutputHeader, PtsCountLineCountsTheLinesWritten) {
  const HeaderCase cases[] = {
      {"file",
       {"-i", "whole.las", "-o", "last.pts", "-opts", "-oparse", "xyz", "-keep_last"},
       "last.pts",
       true},
      {"piped",
       {"-i", "whole.las", "-stdout", "-otxt", "-opts", "-oparse", "xyz", "-keep_last"},
       nullptr,
       true},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = file_text(run(c));
    const size_t first_end = text.find('\n');
    ASSERT_NE(first_end, std::string::npos);
    const long stated = std::stol(text.substr(0, first_end));
    const long lines = long(std::count(text.begin() + long(first_end) + 1, text.end(), '\n'));
    EXPECT_EQ(stated, lines);
    EXPECT_GT(lines, 0);
    EXPECT_LT(lines, whole_count);
  }
}

// Raster cells and text lines are points of one return each: the counts by return number say so.
TEST_F(TalvenorOutputHeader, RasterAndTextPointsAreFirstReturns) {
  raster_fixtures::DemGrid grid = raster_fixtures::make_dem(40, 30, 100.0, 130.0, 0);
  ASSERT_TRUE(raster_fixtures::write_asc(dir.file("dem.asc"), grid));
  std::string text;
  char line[96];
  for (const ScenePoint& p : scene.points) {
    std::snprintf(line, sizeof(line), "%.2f %.2f %.2f\n", p.x, p.y, p.z);
    text += line;
  }
  ASSERT_TRUE(write_text(dir.file("pts.txt"), text));
  const HeaderCase cases[] = {
      {"grid", {"-i", "dem.asc", "-o", "dem.las"}, "dem.las", false},
      {"grid piped", {"-i", "dem.asc", "-stdout", "-olas"}, nullptr, false},
      {"text", {"-i", "pts.txt", "-iparse", "xyz", "-o", "pts.las"}, "pts.las", false},
      {"text piped", {"-i", "pts.txt", "-iparse", "xyz", "-stdout", "-olas"}, nullptr, false},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Written w = read_written(run(c));
    ASSERT_TRUE(w.opened);
    EXPECT_GT(w.count, 0);
    EXPECT_EQ(w.by_return[0], w.count);
    expect_truthful(w, w.count);
  }
}

}  // namespace
