// kelmora run as a user runs it over BIL rasters whose .hdr GDAL wrote: keys
// in upper case, rows padded by BANDROWBYTES and TOTALROWBYTES, each layout,
// leading SKIPBYTES, and 8- and 16-bit cells without a PIXELTYPE line
// (unsigned). Each is the same grid as the lower-case twin beside it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "raster_fixtures.hpp"
#include "side_fixtures.hpp"

namespace {

using raster_fixtures::BilSample;
using raster_fixtures::DemGrid;

struct KelmoraRun {
  int code = -1;
  std::string err;
};

KelmoraRun run_kelmora(const std::string& folder, const std::string& arguments) {
  const std::string err_file = folder + "/stderr.txt";
  const std::string command = "cd '" + folder + "' && '" PL_BINARY_DIR "/kelmora' " + arguments +
                              " 2>'" + err_file + "' </dev/null";
  KelmoraRun r;
  const int status = std::system(command.c_str());
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (FILE* f = std::fopen(err_file.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) r.err.append(buffer, n);
    std::fclose(f);
  }
  std::remove(err_file.c_str());
  return r;
}

// The grid's cells as GDAL's EHdr driver writes a Float32 raster.
side_fixtures::BilRaster gdal_float_bil(const DemGrid& g) {
  side_fixtures::BilRaster b;
  b.ncols = g.ncols;
  b.nrows = g.nrows;
  b.pixeltype = "FLOAT";
  b.nodata = "-9999";
  b.ulxmap = g.llx + g.cell / 2;
  b.ulymap = g.lly + g.nrows * g.cell - g.cell / 2;
  b.xdim = b.ydim = g.cell;
  b.cells = g.z;
  b.band_step = 7.5;
  return b;
}

TEST(KelmoraBilHeaders, GdalWrittenTwinsAreIdentical) {
  raster_fixtures::ScopedTempDir dir;
  const DemGrid dem = raster_fixtures::make_dem(37, 23, 100.0, 300.0, 11);
  ASSERT_TRUE(raster_fixtures::write_bil(dir.file("lower.bil"), dem, BilSample::kF32, false));
  int value_cells = 0, nodata_cells = 0;
  for (double z : dem.z) (z == dem.nodata ? nodata_cells : value_cells)++;
  const std::string identical = "rasters are identical. both have " + std::to_string(value_cells) +
                                " value and " + std::to_string(nodata_cells) + " nodata cells.\n";
  struct Twin {
    const char* name;
    const char* layout;
    int nbands;
    int64_t skipbytes;
    int64_t band_row_padding;
    int64_t total_row_padding;
    bool big_endian;
    std::string err;
    int code;
  };
  // Rasters of several bands are refused by the comparison, as TIFFs of
  // several samples are; only their message is checked here.
  const Twin twins[] = {
      {"upper.bil", "BIL", 1, 0, -1, -1, false, identical, 0},
      {"padded.bil", "BIL", 1, 0, 4, 8, true, identical, 0},
      {"skipped.bil", "BIL", 1, 100, 0, 0, false, identical, 0},
      {"pixels.bil", "BIP", 1, 7, -1, 12, false, identical, 0},
      {"sequential.bil", "BSQ", 1, 100, 6, -1, true, identical, 0},
      {"bands.bil", "BIL", 3, 0, 0, 0, false,
       "ERROR: raster 'bands.bil' has 3 bands. not implemented.\n", 1},
  };
  for (const Twin& t : twins) {
    SCOPED_TRACE(t.name);
    side_fixtures::BilRaster b = gdal_float_bil(dem);
    b.layout = t.layout;
    b.nbands = t.nbands;
    b.skipbytes = t.skipbytes;
    b.band_row_padding = t.band_row_padding;
    b.total_row_padding = t.total_row_padding;
    b.big_endian = t.big_endian;
    ASSERT_TRUE(side_fixtures::write_bil(dir.file(t.name), b));
    const KelmoraRun r = run_kelmora(dir.path(), std::string("-quiet -i lower.bil ") + t.name);
    EXPECT_EQ(r.err, t.err);
    EXPECT_EQ(r.code, t.code);
  }
}

// A 1 x 4 Byte raster [10, 200, 255, 255] with nodata 255: without a
// PIXELTYPE line its cells are unsigned, as with "pixeltype unsignedint".
TEST(KelmoraBilHeaders, SmallCellsAreUnsignedByDefault) {
  raster_fixtures::ScopedTempDir dir;
  DemGrid g;
  g.ncols = 4;
  g.nrows = 1;
  g.llx = 1000;
  g.lly = 2000;
  g.cell = 1;
  g.z = {0.10, 2.00, g.nodata, g.nodata};
  for (BilSample kind : {BilSample::kU8, BilSample::kU16}) {
    SCOPED_TRACE(kind == BilSample::kU8 ? "8 bits" : "16 bits");
    const int64_t nodata = kind == BilSample::kU8 ? 255 : 65535;
    ASSERT_TRUE(
        raster_fixtures::write_bil(dir.file("bare.bil"), g, kind, false, 100.0, nodata, false));
    ASSERT_TRUE(
        raster_fixtures::write_bil(dir.file("typed.bil"), g, kind, false, 100.0, nodata, true));
    const KelmoraRun r = run_kelmora(dir.path(), "-quiet -i bare.bil typed.bil");
    EXPECT_EQ(r.err, "rasters are identical. both have 2 value and 2 nodata cells.\n");
    EXPECT_EQ(r.code, 0);
  }
}

}  // namespace
