// Inputs the raster fuzz target once stopped on, replayed through the same
// harness (every file under tests/data/fuzz_regressions/raster/), and the
// faults they showed pinned by name.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_harness.hpp"
#include "fuzz_raster_harness.hpp"
#include "las_fixture.hpp"
#include "raster_fixtures.hpp"
#include "run_program.hpp"
#include "sr_reader_vpk.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kRegressions = std::string(PL_SOURCE_DIR) + "/tests/data/fuzz_regressions/raster";

std::vector<Bytes> kept_inputs() {
  std::vector<Bytes> inputs;
  if (DIR* d = opendir(kRegressions.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') inputs.push_back(fuzz_file_bytes(kRegressions + "/" + e->d_name));
    }
    closedir(d);
  }
  return inputs;
}

void write_bytes(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// The bytes of a 4 x 3 VPK raster of 11 points and one nodata cell at (llx, lly), written by the
// fixture writer, and where its raster record keeps ncols (nrows follows), for tests that patch
// what the record announces.
struct SmallVpkRaster {
  Bytes bytes;
  size_t ncols_at = 0;
};

void small_vpk_raster(const raster_fixtures::ScopedTempDir& dir, double llx, double lly,
                      SmallVpkRaster* out) {
  raster_fixtures::DemGrid grid;
  grid.ncols = 4;
  grid.nrows = 3;
  grid.llx = llx;
  grid.lly = lly;
  grid.cell = 2.0;
  grid.z = {10.00, 10.01, 10.02, 10.03, 11.00, -9999, 11.02, 11.03, 12.00, 12.01, 12.02, 12.03};
  raster_fixtures::VpkOptions options;
  options.fixture_writer = true;
  const std::string path = dir.file("small.vpk");
  ASSERT_TRUE(raster_fixtures::write_vpk(path, grid, options));
  out->bytes = fuzz_file_bytes(path);
  const std::string id = "Raster VPK";
  const auto at = std::search(out->bytes.begin(), out->bytes.end(), id.begin(), id.end());
  ASSERT_NE(at, out->bytes.end());
  out->ncols_at = static_cast<size_t>(at - out->bytes.begin()) - 2 + 54 + 8;
  ASSERT_EQ(fixture_get_u32(out->bytes, out->ncols_at), 4u);
  ASSERT_EQ(fixture_get_u32(out->bytes, out->ncols_at + 4), 3u);
}

}  // namespace

// A VPK raster of a dozen points whose record announces 973078528 columns and
// 7 or 973078528 rows (as the 625-byte fuzz inputs do): `kelmora -i F -i F`
// called 6.8e9 nodata cells identical after 67 s, or never ended. Stretches
// both rasters know to be empty are now counted without visiting each cell,
// and a file whose points cannot be read is refused instead of compared as
// nodata. The CPU limit only guards the run against a hang.
TEST(RasterFuzzRegressions, VpkRasterOfAHugeAnnouncedGridCostsWhatItsFileHolds) {
  raster_fixtures::ScopedTempDir dir;
  SmallVpkRaster small;
  ASSERT_NO_FATAL_FAILURE(small_vpk_raster(dir, 630000.0, 4830000.0, &small));
  const Bytes& bytes = small.bytes;
  const size_t ncols_at = small.ncols_at;
  const uint32_t point_offset = fixture_get_u32(bytes, 96);
  const struct {
    const char* file;
    uint32_t nrows;
    bool cut;  // the points are cut off the file
    std::string err;
    int exit_code;
  } cases[] = {
      {"wide.vpk", 7, false,
       "rasters are identical. both have 11 value and 6811549685 nodata cells.\n", 0},
      {"huge.vpk", 973078528, false,
       "rasters are identical. both have 11 value and 946881821654646773 nodata cells.\n", 0},
      // Under -quiet the end-of-file warning is left out: only the errors are printed.
      {"cut.vpk", 7, true,
       "ERROR in SRreader_vpk::read_value(): only 0 of 11 points could be read from 'cut.vpk'\n"
       "ERROR: failed to read raster1 at col 0 and row 0 ...\n",
       1},
  };
  for (const auto& c : cases) {
    Bytes patched = bytes;
    fixture_put_u32(patched, ncols_at, 973078528u);
    fixture_put_u32(patched, ncols_at + 4, c.nrows);
    if (c.cut) patched.resize(point_offset);
    write_bytes(dir.file(c.file), patched);
    ProgramLimits guard;
    guard.cpu_seconds = 60;
    const ProgramRun r = run_program(std::string(PL_BINARY_DIR) + "/kelmora",
                                     {"-quiet", "-i", c.file, "-i", c.file}, dir.path(), "", guard);
    EXPECT_EQ(r.err, c.err) << c.file;
    EXPECT_EQ(r.exit_code, c.exit_code) << c.file;
  }
}

// The seed rasters and every kept input come back through the readers.
TEST(RasterFuzzRegressions, EveryKeptInputComesBack) {
  raster_fixtures::ScopedTempDir dir;
  std::vector<Bytes> inputs = fuzz_raster_seed_inputs();
  EXPECT_GE(inputs.size(), 10u);
  for (const Bytes& input : kept_inputs()) inputs.push_back(input);
  testing::internal::CaptureStderr();
  for (const Bytes& input : inputs) fuzz_raster_one(input.data(), input.size(), dir.path());
  testing::internal::GetCapturedStderr();
}

// A VPK raster whose record announces 4 x 2^30 cells for the 11 points it
// holds: the reader allocated every announced cell up front (the fuzz target
// ran out of memory on 12 such inputs in four minutes). Cells are now kept in
// blocks where points fell, so the memory follows the points, and the cells
// still come back where the points put them.
TEST(RasterFuzzRegressions, VpkRasterOfAHugeAnnouncedSizeTakesMemoryByItsPoints) {
  raster_fixtures::ScopedTempDir dir;
  SmallVpkRaster small;
  ASSERT_NO_FATAL_FAILURE(small_vpk_raster(dir, 100.0, 200.0, &small));
  Bytes& bytes = small.bytes;
  const size_t ncols_at = small.ncols_at;
  const std::string path = dir.file("a.vpk");
  fixture_put_u32(bytes, ncols_at, 1u << 30);
  write_bytes(path, bytes);
  rusage before;
  getrusage(RUSAGE_SELF, &before);
  SRreader_vpk reader;
  ASSERT_TRUE(reader.open(path.c_str()));
  EXPECT_EQ(reader.ncols, 1 << 30);
  const char* expected[] = {"1000", "1001", "1002", "1003", "-", "-", "-", "-"};
  for (const char* cell : expected) {
    ASSERT_TRUE(reader.read_value());
    EXPECT_EQ(reader.is_nodata() ? "-" : std::to_string(reader.value[0]), cell);
  }
  rusage after;
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kB more at the peak";
  reader.close(true);
}
