// The built talvenor_new on inputs that end before the points their header counts: a cut LAS
// file, a LAS header that counts more points than the file holds, a cut ASCII grid, BIL or DTM
// raster, a shapefile cut inside a record, a QFIT file that ends inside a record, a PLY file with
// fewer vertices than its header says. Every reader keeps its warning, and the run ends with
// code 1 and an ERROR naming the input, leaving no output that could pass for the whole tile
// (in a Slurm array or with xargs, a lost half-tile must not be reported as success).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "file_bytes.hpp"
#include "las_fixture.hpp"
#include "raster_fixtures.hpp"
#include "run_program.hpp"
#include "scene.hpp"
#include "side_fixtures.hpp"

namespace {

const std::string kProgram = std::string(PL_BINARY_DIR) + "/talvenor_new";

// The text of a file with its last `cut` bytes taken away.
std::string cut_text(const std::string& text, size_t cut) {
  return text.substr(0, text.size() > cut ? text.size() - cut : 0);
}

struct ShortCase {
  const char* name;     // the input
  const char* warning;  // null: refused before any point, with `refusal`
  const char* refusal = nullptr;
};

// Lines of standard error that are not errors.
std::vector<std::string> other_lines(const std::string& err) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < err.size()) {
    size_t end = err.find('\n', at);
    if (end == std::string::npos) end = err.size();
    const std::string line = err.substr(at, end - at);
    if (line.rfind("ERROR", 0) != 0) lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

TEST(TalvenorShortInput, EveryReaderEndsTheRunWithCodeOne) {
  ProgramDir dir;
  namespace sf = side_fixtures;
  // LAS: cut inside the points, and a header that counts 50 points more than are stored.
  ASSERT_TRUE(write_scene_las(make_scene(scene_params(ScenePreset::kHilly, 40.0, 2.0, 7)),
                              dir.file("whole.las")));
  const std::string las = file_text(dir.file("whole.las"));
  ASSERT_TRUE(write_text(dir.file("cut.las"), cut_text(las, 1000)));
  std::vector<uint8_t> counted(las.begin(), las.end());
  FixtureContents contents;
  ASSERT_TRUE(fixture_read_file(dir.file("whole.las"), &contents));
  fixture_set_point_count(counted, contents.points.size() + 50);
  ASSERT_TRUE(write_bytes(dir.file("count.las"), counted));
  // ASCII grid cut in its last rows.
  raster_fixtures::DemGrid grid = raster_fixtures::make_dem(30, 20, 100.0, 120.0, 0);
  grid.llx = 630000.0;
  grid.lly = 4830000.0;
  ASSERT_TRUE(raster_fixtures::write_asc(dir.file("whole.asc"), grid));
  ASSERT_TRUE(write_text(dir.file("cut.asc"), cut_text(file_text(dir.file("whole.asc")), 300)));
  // BIL and DTM cut in the middle of a cell.
  sf::BilRaster bil;
  bil.ncols = 30;
  bil.nrows = 20;
  bil.ulxmap = 630001.0;
  bil.ulymap = 4830039.0;
  bil.xdim = bil.ydim = 2.0;
  sf::DtmRaster dtm;
  dtm.ncols = 30;
  dtm.nrows = 20;
  dtm.llx = 630000.0;
  dtm.lly = 4830000.0;
  dtm.xdim = dtm.ydim = 2.0;
  for (int k = 0; k < 600; k++) {
    bil.cells.push_back(100.0 + 0.01 * (k % 97));
    dtm.cells.push_back(100.0 + 0.01 * (k % 89));
  }
  ASSERT_TRUE(sf::write_bil(dir.file("cut.bil"), bil));
  ASSERT_TRUE(write_text(dir.file("cut.bil"), cut_text(file_text(dir.file("cut.bil")), 402)));
  const sf::Bytes dtm_bytes = sf::dtm_bytes(dtm);
  ASSERT_TRUE(
      sf::write_file(dir.file("cut.dtm"), sf::Bytes(dtm_bytes.begin(), dtm_bytes.end() - 402)));
  // Shapefile of PointZ records, cut inside the last one.
  std::vector<sf::ShpRecord> records;
  for (int k = 0; k < 200; k++) {
    sf::ShpRecord r;
    r.type = 11;
    r.vertices.push_back({630000.0 + k % 20, 4830000.0 + k / 20, 100.0 + 0.1 * (k % 7), 0.0});
    records.push_back(r);
  }
  const sf::Bytes shp = sf::shp_bytes(11, records);
  ASSERT_TRUE(sf::write_file(dir.file("cut.shp"), sf::Bytes(shp.begin(), shp.end() - 10)));
  // QFIT of 48-byte records that ends 20 bytes into the last.
  std::vector<sf::QfitRecord> qfit;
  for (int k = 0; k < 200; k++) {
    sf::QfitRecord r;
    r.time_ms = 1000 * k;
    r.latitude = 42000000 + 10 * k;
    r.longitude = 289000000 + 10 * (k % 17);
    r.elevation = 100000 + 7 * (k % 13);
    qfit.push_back(r);
  }
  sf::Bytes qi = sf::qfit_bytes(48, false, qfit);
  qi.resize(qi.size() - 28);
  ASSERT_TRUE(sf::write_file(dir.file("cut.qi"), qi));
  // PLY whose header counts 40 vertices more than follow.
  std::string ply =
      "ply\nformat ascii 1.0\nelement vertex 240\nproperty double x\n"
      "property double y\nproperty double z\nend_header\n";
  for (int k = 0; k < 200; k++) {
    ply += std::to_string(630000 + k % 20) + " " + std::to_string(4830000 + k / 20) + " " +
           std::to_string(100 + k % 3) + "\n";
  }
  ASSERT_TRUE(write_text(dir.file("cut.ply"), ply));

  const ShortCase cases[] = {
      {"cut.las", "WARNING: end-of-file after "},
      {"count.las", "WARNING: end-of-file after "},
      // A grid places its rows from the count its header gives: one that ends early is refused
      // before any point, as every point would be shifted.
      {"cut.asc", nullptr, "ERROR: ASC raster 'cut.asc' ends after 18 of 20 rows"},
      {"cut.bil", nullptr, "ERROR: BIL raster 'cut.bil' of 30 cols and 20 rows needs 2400 bytes"},
      {"cut.dtm", nullptr, "ERROR: DTM raster 'cut.dtm' of 30 cols and 20 rows needs 2600 bytes"},
      {"cut.shp", "WARNING: end-of-file inside shapefile record 200"},
      {"cut.qi", "WARNING: end-of-file inside QFIT record 200 after 20 of its 48 bytes"},
      {"cut.ply", "WARNING: end-of-file after 200 of 240 points"},
  };
  for (const ShortCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string error =
        c.refusal ? std::string(c.refusal)
                  : std::string("ERROR: processing '") + c.name + "' failed. no output written.\n";
    const ProgramRun loud = run_program(kProgram, {"-i", c.name, "-o", "out.las"}, dir.path());
    EXPECT_EQ(loud.exit_code, 1) << loud.err;
    if (c.warning) {
      EXPECT_NE(loud.err.find(c.warning), std::string::npos) << loud.err;
    }
    EXPECT_NE(loud.err.find(error), std::string::npos) << loud.err;
    EXPECT_FALSE(path_exists(dir.file("out.las")));
    // Under -quiet only the errors: still the one that names the input.
    const ProgramRun quiet =
        run_program(kProgram, {"-i", c.name, "-o", "out.las", "-quiet"}, dir.path());
    EXPECT_EQ(quiet.exit_code, 1) << quiet.err;
    EXPECT_NE(quiet.err.find(error), std::string::npos) << quiet.err;
    EXPECT_EQ(other_lines(quiet.err), std::vector<std::string>{}) << quiet.err;
    EXPECT_FALSE(path_exists(dir.file("out.las")));
  }
}

// The run goes on with the next input and ends with code 1: the other tiles are written.
TEST(TalvenorShortInput, OtherInputsOfTheRunAreStillWritten) {
  ProgramDir dir;
  ASSERT_TRUE(write_scene_las(make_scene(scene_params(ScenePreset::kHilly, 40.0, 2.0, 8)),
                              dir.file("a.las")));
  ASSERT_TRUE(write_text(dir.file("b.las"), cut_text(file_text(dir.file("a.las")), 2000)));
  ASSERT_TRUE(write_text(dir.file("c.las"), file_text(dir.file("a.las"))));
  const ProgramRun run =
      run_program(kProgram, {"-i", "a.las", "b.las", "c.las", "-odix", "_g", "-quiet"}, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "ERROR: processing 'b.las' failed. no output written.\n");
  EXPECT_TRUE(path_exists(dir.file("a_g.las")));
  EXPECT_FALSE(path_exists(dir.file("b_g.las")));
  EXPECT_TRUE(path_exists(dir.file("c_g.las")));
}

}  // namespace
