// The built talvenor_new under -quiet: runs that print notes and warnings otherwise (buffer
// points added, a filtered output whose count differs from the input's, a PLY header parsed, a
// text file counted, a copy without ground, and the warnings of every reader family, of merged
// and buffered tiles, of filters, transforms, projections and tool options) print nothing at
// all, and still write their output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "run_program.hpp"
#include "scene.hpp"
#include "scene_tiles.hpp"
#include "side_fixtures.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

std::string scene_text(const Scene& scene) {
  std::string text;
  char line[128];
  for (const ScenePoint& p : scene.points) {
    std::snprintf(line, sizeof(line), "%.2f %.2f %.2f\n", p.x, p.y, p.z);
    text += line;
  }
  return text;
}

std::string scene_ply(const Scene& scene) {
  return "ply\nformat ascii 1.0\nelement vertex " + std::to_string(scene.points.size()) +
         "\nproperty double x\nproperty double y\nproperty double z\nend_header\n" +
         scene_text(scene);
}

// An ASCII grid over the scene's terrain, 2 m cells, with one cell that is no number.
std::string asc_with_bad_cell(const Scene& scene) {
  const int n = 20;
  std::string text = "ncols " + std::to_string(n) + "\nnrows " + std::to_string(n) +
                     "\nxllcorner " + std::to_string(scene.params.origin_x) + "\nyllcorner " +
                     std::to_string(scene.params.origin_y) + "\ncellsize 2\nNODATA_value -9999\n";
  for (int r = 0; r < n; r++) {
    for (int c = 0; c < n; c++) {
      text += (r == 7 && c == 3) ? "x1" : std::to_string(100.0 + 0.1 * r + 0.05 * c);
      text += c + 1 < n ? " " : "\n";
    }
  }
  return text;
}

// A BIL of the same cells, described by its .hdr alone: no .blw world file beside it.
side_fixtures::BilRaster bil_without_world_file() {
  side_fixtures::BilRaster raster;
  raster.ncols = raster.nrows = 20;
  for (int k = 0; k < 20 * 20; k++) raster.cells.push_back(100.0 + 0.01 * k);
  return raster;
}

// A point shapefile whose third record says it is a PointZ.
side_fixtures::Bytes shapefile_with_wrong_record(const Scene& scene) {
  std::vector<side_fixtures::ShpRecord> records;
  for (size_t i = 0; i < 40 && i < scene.points.size(); i++) {
    side_fixtures::ShpRecord record;
    record.type = i == 2 ? 11 : 1;
    record.vertices.push_back({scene.points[i].x, scene.points[i].y, scene.points[i].z, 0.0});
    records.push_back(record);
  }
  return side_fixtures::shp_bytes(1, records);
}

// QFIT records hold longitude and latitude: the ground tool warns about them.
side_fixtures::Bytes qfit_in_degrees() {
  std::vector<side_fixtures::QfitRecord> records;
  for (int i = 0; i < 30; i++) {
    side_fixtures::QfitRecord r;
    r.time_ms = 1000 * i;
    r.latitude = 45000000 + 10 * (i % 6);
    r.longitude = 7000000 + 10 * (i / 6);
    r.elevation = 200000 + 7 * i;
    records.push_back(r);
  }
  return side_fixtures::qfit_bytes(48, false, records);
}

void put_double(std::vector<uint8_t>& bytes, size_t at, double value) {
  std::memcpy(bytes.data() + at, &value, sizeof(value));
}

double get_double(const std::vector<uint8_t>& bytes, size_t at) {
  double value;
  std::memcpy(&value, bytes.data() + at, sizeof(value));
  return value;
}

// Lines of standard error that are no error.
std::string lines_not_errors(const std::string& err) {
  std::istringstream in(err);
  std::string line, found;
  while (std::getline(in, line)) {
    if (line.compare(0, 5, "ERROR") != 0) found += line + "\n";
  }
  return found;
}

struct QuietCase {
  const char* name;
  std::vector<std::string> args;  // behind which "-quiet" is added
  const char* output;
  const char* note;  // printed without -quiet
};

TEST(TalvenorQuiet, OnlyErrorsReachStandardError) {
  const Scene scene = make_scene(scene_params(ScenePreset::kHilly, 60.0, 2.0, 11));
  ProgramDir dir;
  const Tiles tiles = write_tiles(dir.path(), scene);
  ASSERT_TRUE(write_text(dir.file("a.txt"), scene_text(scene)));
  ASSERT_TRUE(write_text(dir.file("a.ply"), scene_ply(scene)));
  // Three points on one line: no ground can be found, the file is copied.
  ASSERT_TRUE(write_text(dir.file("line.txt"), "1 1 1\n2 2 2\n3 3 3\n"));
  ASSERT_TRUE(write_text(dir.file("bad_lines.txt"), "one two three\n" + scene_text(scene)));
  ASSERT_TRUE(write_text(dir.file("grid.asc"), asc_with_bad_cell(scene)));
  ASSERT_TRUE(side_fixtures::write_bil(dir.file("grid.bil"), bil_without_world_file()));
  ASSERT_TRUE(
      side_fixtures::write_file(dir.file("points.shp"), shapefile_with_wrong_record(scene)));
  ASSERT_TRUE(side_fixtures::write_file(dir.file("track.qi"), qfit_in_degrees()));
  // The same scene with points of type 1 beside the tiles of type 3.
  ASSERT_TRUE(write_scene_las(scene, dir.file("type1.las")));
  // The header's box ends 10 m east of its west edge: the points beyond lie outside it.
  std::vector<uint8_t> narrowed = file_bytes(tiles.whole_in_tile_order);
  put_double(narrowed, 179, get_double(narrowed, 187) + 10.0);
  ASSERT_TRUE(write_bytes(dir.file("narrowed.las"), narrowed));
  const double mid_x = scene.params.origin_x + scene.params.size / 2;
  const double mid_y = scene.params.origin_y + scene.params.size / 2;
  const std::string keep_x = std::to_string(mid_x), keep_y = std::to_string(mid_y);
  const QuietCase cases[] = {
      {"buffered",
       {"-i", "tile0.las", "-neighbors", "tile1.las", "tile2.las", "tile3.las", "-buffered", "10",
        "-o", "buffered.las"},
       "buffered.las",
       "LASreaderBuffered: adding "},
      {"filtered",
       {"-i", "whole.las", "-keep_xy", std::to_string(scene.params.origin_x),
        std::to_string(scene.params.origin_y), keep_x, keep_y, "-o", "filtered.las"},
       "filtered.las",
       nullptr},
      {"PLY", {"-i", "a.ply", "-o", "ply.las"}, "ply.las", "parsed: "},
      {"PTX without its record",
       {"-i", "whole.las", "-o", "a.ptx", "-optx", "-oparse", "xyz"},
       "a.ptx",
       "WARNING: found no VLR with PTX info.\n"},
      {"text", {"-i", "a.txt", "-iparse", "xyz", "-o", "text.las"}, "text.las", "counted "},
      {"copy without ground",
       {"-i", "line.txt", "-iparse", "xyz", "-o", "line.las", "-replace_z"},
       "line.las",
       "WARNING: no ground found"},
      {"LAS points outside the header's box",
       {"-i", "narrowed.las", "-o", "narrowed_out.las"},
       "narrowed_out.las",
       "outside the bounding box of the header"},
      {"text with a line that does not parse",
       {"-i", "bad_lines.txt", "-iparse", "xyz", "-o", "bad_lines.las"},
       "bad_lines.las",
       "WARNING: cannot parse 'one two three' with 'xyz'. skipping ...\n"},
      {"ASCII grid with a cell that is no number",
       {"-i", "grid.asc", "-o", "grid_asc.las"},
       "grid_asc.las",
       "WARNING: ASC cell 'x1' is not a number. taken as no data\n"},
      {"BIL without world file", {"-i", "grid.bil", "-o", "grid_bil.las"}, "grid_bil.las", ".blw"},
      {"shapefile with a record of another type",
       {"-i", "points.shp", "-o", "shp.las"},
       "shp.las",
       "WARNING: wrong shape type 11 != 1 in record\n"},
      {"QFIT in degrees",
       {"-i", "track.qi", "-o", "qfit.las"},
       "qfit.las",
       "WARNING: coordinates seem to be longlat."},
      {"merged tiles of two point types",
       {"-i", "tile0.las", "type1.las", "-merged", "-o", "merged.las"},
       "merged.las",
       "WARNING: files have different point types: 3 vs 1\n"},
      {"buffered by a neighbour of another point type",
       {"-i", "tile0.las", "-neighbors", "type1.las", "-buffered", "5", "-o", "buffered1.las"},
       "buffered1.las",
       "WARNING: files have different point types: 3 vs 1\n"},
      {"filter without effect",
       {"-i", "tile0.las", "-filtered_transform", "-translate_z", "1", "-o", "filter.las"},
       "filter.las",
       "WARNING: no LASfilter specified. '-filtered_transform' has no effect.\n"},
      {"transform that overflows",
       {"-i", "tile0.las", "-translate_x", "50000000", "-o", "transform.las"},
       "transform.las",
       "overflows caused by '-translate_x"},
      {"projection option that warns",
       {"-i", "tile0.las", "-vertical_navd88_geoid77", "-o", "navd.las"},
       "navd.las",
       "WARNING: unknown specialization of NAVD88 '_geoid77'\n"},
      {"projection whose scale factor is ignored",
       {"-i", "tile0.las", "-epsg", "27572", "-o", "lcc.las"},
       "lcc.las",
       "WARNING: current implementation for Lambert Conic Conformal (1SP) ignores"},
      {"-cores",
       {"-i", "tile0.las", "-cores", "4", "-o", "cores.las"},
       "cores.las",
       "WARNING: not compiled with multi-core batching. ignoring '-cores' ...\n"},
  };
  for (const QuietCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.note) {
      const ProgramRun loud = run_program(kProgram, c.args, dir.path());
      ASSERT_EQ(loud.exit_code, 0) << loud.err;
      EXPECT_NE(loud.err.find(c.note), std::string::npos) << loud.err;
      ASSERT_EQ(std::remove(dir.file(c.output).c_str()), 0);
    }
    std::vector<std::string> args = c.args;
    args.push_back("-quiet");
    const ProgramRun run = run_program(kProgram, args, dir.path());
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(lines_not_errors(run.err), "");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(path_exists(dir.file(c.output)));
  }
}

}  // namespace
