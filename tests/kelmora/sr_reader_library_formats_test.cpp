// TIFF, IMG and PNG rasters made by gdal_translate from grids our own code
// writes; each must compare cell for cell with the grid it came from.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <tiffio.h>
#include <xtiffio.h>

#include "raster_compare.hpp"
#include "raster_fixtures.hpp"
#include "sr_reader_img.hpp"
#include "sr_reader_png.hpp"
#include "sr_reader_tif.hpp"

using raster_fixtures::BilSample;
using raster_fixtures::DemGrid;
using raster_fixtures::ScopedTempDir;

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs gdal_translate in dir; on failure the test fails with its output.
bool translate(const ScopedTempDir& dir, const std::string& args, const std::string& from,
               const std::string& to) {
  std::string log = dir.file("gdal.log");
  std::string cmd = "gdal_translate -q " + args + " '" + dir.file(from) + "' '" + dir.file(to) +
                    "' >'" + log + "' 2>&1";
  int rc = std::system(cmd.c_str());
  EXPECT_EQ(rc, 0) << cmd << "\n" << slurp(log);
  return rc == 0;
}

RasterPairStatus compare(const std::string& a, const std::string& b, RasterCellCounts* counts,
                         std::string* err) {
  testing::internal::CaptureStderr();
  RasterPairStatus s = compare_raster_files(a.c_str(), b.c_str(), counts);
  *err = testing::internal::GetCapturedStderr();
  return s;
}

DemGrid with_nan(DemGrid g, int col, int row) {
  if (g.at(col, row) == g.nodata) col++;
  g.at(col, row) = std::nan("");
  return g;
}

// Heights in whole hundredths, the way a 16-bit integer raster stores them.
DemGrid in_hundredths(const DemGrid& g) {
  DemGrid h = g;
  for (double& z : h.z) {
    if (z != g.nodata && !std::isnan(z)) z = std::round(z * 100.0);
  }
  return h;
}

struct FormatCase {
  const char* name;
  int ncols, nrows;
  int nodata_every;  // 0: no nodata cells
  bool nan_cell;
  bool whole;        // an integer raster: the grid holds whole metres
  const char* args;  // gdal_translate options
  const char* output;
  const char* world_from;  // world file written by GDAL, renamed to the reader's extension
  const char* world_to;
  const char* expected_warnings;
};

class LibraryFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(LibraryFormat, ComparesIdenticalWithItsSourceAndCountsOneChangedCell) {
  const FormatCase& c = GetParam();
  ScopedTempDir dir;
  DemGrid dem = raster_fixtures::make_dem(c.ncols, c.nrows, 100.0, 600.0, c.nodata_every);
  if (c.whole) dem = raster_fixtures::whole_units(dem);
  if (c.nan_cell) dem = with_nan(dem, c.ncols / 3, c.nrows / 2);
  int64_t nodata_cells = 0;
  for (double z : dem.z) nodata_cells += (z == dem.nodata);
  DemGrid changed = dem;
  size_t k = dem.z.size() / 2 + 3;
  while (changed.z[k] == dem.nodata || std::isnan(changed.z[k])) k++;
  changed.z[k] += c.whole ? 1.0 : 0.01;

  for (int variant = 0; variant < 2; variant++) {
    const DemGrid& grid = variant == 0 ? dem : changed;
    std::string stem = variant == 0 ? "dem" : "changed";
    ASSERT_TRUE(raster_fixtures::write_asc(dir.file(stem + ".asc"), grid));
    std::string source = stem + ".asc";
    std::string output = stem + "." + c.output;
    ASSERT_TRUE(translate(dir, c.args, source, output));
    if (c.world_from) {
      ASSERT_EQ(std::rename(dir.file(stem + "." + c.world_from).c_str(),
                            dir.file(stem + "." + c.world_to).c_str()),
                0);
    }
  }
  RasterCellCounts identical{0, nodata_cells, static_cast<int64_t>(dem.z.size()) - nodata_cells, 0};
  RasterCellCounts one_changed = identical;
  one_changed.values_equal--;
  one_changed.values_differ = 1;
  const struct {
    std::string a, b;
    RasterCellCounts want;
  } pairs[] = {
      {dir.file("dem.asc"), dir.file(std::string("dem.") + c.output), identical},
      {dir.file(std::string("dem.") + c.output), dir.file("dem.asc"), identical},
      {dir.file("dem.asc"), dir.file(std::string("changed.") + c.output), one_changed},
      {dir.file(std::string("changed.") + c.output), dir.file("changed.asc"), identical},
  };
  for (const auto& p : pairs) {
    RasterCellCounts counts;
    std::string err;
    ASSERT_EQ(compare(p.a, p.b, &counts, &err), RasterPairStatus::kCompared) << err;
    // 16-bit rasters against the 32-bit ASC add the nbits warning in either order
    for (const char* w : {"WARNING: rasters have different nbits of 32 and 16\n",
                          "WARNING: rasters have different nbits of 16 and 32\n"}) {
      size_t at = err.find(w);
      if (at != std::string::npos) err.erase(at, strlen(w));
    }
    EXPECT_EQ(err, c.expected_warnings + raster_verdict_line(p.want)) << p.a << " vs " << p.b;
  }
}

const char* kNoGeoTags =
    "WARNING: no tags describing tiepoints and pixscale. trying world file ...\n";

const FormatCase kFormats[] = {
    {"tiled_tif_partial_edge_tiles", 37, 23, 11, true, false,
     "-ot Float32 -co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=16", "tif", nullptr, nullptr, ""},
    {"one_row_strips_tif", 37, 23, 11, true, false, "-ot Float32 -co BLOCKYSIZE=1", "tif", nullptr,
     nullptr, ""},
    {"five_row_deflate_strips_tif", 37, 23, 11, true, false,
     "-ot Float32 -co BLOCKYSIZE=5 -co COMPRESS=DEFLATE", "tif", nullptr, nullptr, ""},
    // a baseline TIFF carries neither georeferencing nor nodata tags
    {"plain_tif_with_tfw", 37, 23, 0, true, false, "-ot Float32 -co PROFILE=BASELINE -co TFW=YES",
     "tif", nullptr, nullptr, ""},
    {"uint16_tif_without_nodata", 37, 23, 0, false, true, "-ot UInt16 -a_nodata none", "tif",
     nullptr, nullptr, ""},
    {"int32_tiled_tif", 37, 23, 11, false, true,
     "-ot Int32 -co TILED=YES -co BLOCKXSIZE=32 -co BLOCKYSIZE=16", "tif", nullptr, nullptr, ""},
    // tiles taller than the raster: only its own rows are kept
    {"float_tiles_taller_than_the_raster", 37, 23, 11, false, false,
     "-ot Float32 -co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=64", "tif", nullptr, nullptr, ""},
    {"hfa_64_blocks", 137, 71, 11, true, false, "-of HFA -co BLOCKSIZE=64", "img", nullptr, nullptr,
     ""},
    {"hfa_int32", 37, 23, 11, false, true, "-of HFA -ot Int32 -co BLOCKSIZE=64", "img", nullptr,
     nullptr, ""},
    {"png_16bit_with_pgw", 37, 23, 0, false, true,
     "-of PNG -ot UInt16 -a_nodata none -co WORLDFILE=YES", "png", "wld", "pgw", ""},
};

// Some rows expect the reader's warnings before the verdict line.
FormatCase with_warnings(FormatCase c) {
  std::string name = c.name;
  static std::string plain, uint16;
  if (name == "plain_tif_with_tfw") {
    plain = std::string("WARNING: failed to get TIFFTAG_GDAL_NODATA. assuming nodata is -32767\n") +
            kNoGeoTags;
    c.expected_warnings = plain.c_str();
  } else if (name == "uint16_tif_without_nodata") {
    uint16 = "WARNING: failed to get TIFFTAG_GDAL_NODATA. assuming nodata is -32767\n";
    c.expected_warnings = uint16.c_str();
  }
  return c;
}

INSTANTIATE_TEST_SUITE_P(Rasters, LibraryFormat, testing::ValuesIn([] {
                           std::vector<FormatCase> v;
                           for (const auto& c : kFormats) v.push_back(with_warnings(c));
                           return v;
                         }()),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                           return std::string(info.param.name);
                         });

class LibraryReaders : public testing::Test {
 protected:
  ScopedTempDir dir;
  DemGrid dem = with_nan(raster_fixtures::make_dem(37, 23, 100.0, 600.0, 11), 12, 11);
  void SetUp() override { ASSERT_TRUE(raster_fixtures::write_asc(dir.file("dem.asc"), dem)); }
};

TEST_F(LibraryReaders, TiffLayoutGeoreferencingAndNodata) {
  ASSERT_TRUE(translate(dir, "-ot Float32 -co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=16",
                        "dem.asc", "tiled.tif"));
  ASSERT_TRUE(translate(dir, "-ot Float32 -co BLOCKYSIZE=5", "dem.asc", "strips.tif"));
  SRreader_tif tiled;
  ASSERT_TRUE(tiled.open(dir.file("tiled.tif").c_str()));
  EXPECT_TRUE(tiled.tiled());
  EXPECT_EQ(tiled.ncols, 37);
  EXPECT_EQ(tiled.nrows, 23);
  EXPECT_EQ(tiled.nbits, 32);
  EXPECT_EQ(tiled.nbands, 1);
  EXPECT_TRUE(tiled.is_float);
  EXPECT_EQ(tiled.float_nodata(), -9999.0f);
  EXPECT_EQ(tiled.nodata, -999900);
  EXPECT_DOUBLE_EQ(tiled.llx, dem.llx);
  EXPECT_DOUBLE_EQ(tiled.lly, dem.lly);
  EXPECT_DOUBLE_EQ(tiled.urx, dem.llx + 37 * dem.cell);
  EXPECT_DOUBLE_EQ(tiled.stepy, dem.cell);
  SRreader_tif strips;
  ASSERT_TRUE(strips.open(dir.file("strips.tif").c_str()));
  EXPECT_FALSE(strips.tiled());
  EXPECT_EQ(strips.rows_per_strip(), 5u);
  // exactly the cells holding -9999 are nodata
  for (size_t i = 0; i < dem.z.size(); i++) {
    ASSERT_TRUE(strips.read_value());
    EXPECT_EQ(strips.is_nodata(), dem.z[i] == dem.nodata) << i;
    if (std::isnan(dem.z[i])) {
      EXPECT_EQ(strips.value[0], SR_VALUE_NAN);
    }
  }
  EXPECT_FALSE(strips.read_value());
  testing::internal::CaptureStderr();
  strips.close();
  tiled.close();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING (SRreader_tif): r_count is 0 but nrows (23) * ncols (37) is 851\n");
}

// The tie point may hold any cell, and PixelIsPoint rasters tie the centre of a cell: each must
// give the grid's own corners, so the comparison with the ASCII grid warns of nothing.
TEST_F(LibraryReaders, TiffTiePointOfAnyCellAndPixelIsPoint) {
  ASSERT_TRUE(translate(dir, "-ot Float32", "dem.asc", "area.tif"));
  ASSERT_TRUE(translate(dir, "-ot Float32 -mo AREA_OR_POINT=Point", "dem.asc", "point.tif"));
  ASSERT_TRUE(translate(dir, "-ot Float32", "dem.asc", "inner.tif"));
  {
    // tie the upper-left corner of the cell in column 10 and row 5 instead of the raster's
    TIFF* tif = XTIFFOpen(dir.file("inner.tif").c_str(), "r+");
    ASSERT_NE(tif, nullptr);
    const double top = dem.lly + dem.nrows * dem.cell;
    double tie[6] = {10.0, 5.0, 0.0, dem.llx + 10 * dem.cell, top - 5 * dem.cell, 0.0};
    ASSERT_TRUE(TIFFSetField(tif, TIFFTAG_GEOTIEPOINTS, 6, tie));
    ASSERT_TRUE(TIFFRewriteDirectory(tif));
    XTIFFClose(tif);
  }
  for (const char* name : {"area.tif", "point.tif", "inner.tif"}) {
    SRreader_tif r;
    ASSERT_TRUE(r.open(dir.file(name).c_str())) << name;
    EXPECT_DOUBLE_EQ(r.llx, dem.llx) << name;
    EXPECT_DOUBLE_EQ(r.lly, dem.lly) << name;
    EXPECT_DOUBLE_EQ(r.ury, dem.lly + dem.nrows * dem.cell) << name;
    RasterCellCounts counts;
    std::string err;
    EXPECT_EQ(compare(dir.file("dem.asc"), dir.file(name), &counts, &err),
              RasterPairStatus::kCompared);
    EXPECT_EQ(err.rfind("rasters are identical.", 0), 0u) << name << ": " << err;
  }
}

TIFFExtendProc extender_before_ours = nullptr;
int extender_calls = 0;
void counting_extender(TIFF* tif) {
  extender_calls++;
  if (extender_before_ours) extender_before_ours(tif);
}

TEST_F(LibraryReaders, TagExtenderKeepsTheOneInstalledBefore) {
  // When this runs first in its process, the reader's extender is installed
  // after ours and must call it; otherwise ours sits on top and calls the reader's.
  extender_before_ours = TIFFSetTagExtender(counting_extender);
  ASSERT_TRUE(translate(dir, "-ot Int16 -a_nodata -999", "dem.asc", "i16.tif"));
  SRreader_tif r;
  ASSERT_TRUE(r.open(dir.file("i16.tif").c_str()));
  EXPECT_GE(extender_calls, 1);
  EXPECT_EQ(r.nodata, -999);
}

TEST_F(LibraryReaders, NanNodataInTiffMarksNanCells) {
  DemGrid g = dem;
  for (double& z : g.z) {
    if (z == g.nodata) z = std::nan("");
  }
  g.nodata = std::nan("");
  ASSERT_TRUE(raster_fixtures::write_asc(dir.file("nan.asc"), g));
  // GDAL's ASCII grid driver refuses "nan" cells; its BIL driver takes them
  ASSERT_TRUE(raster_fixtures::write_bil(dir.file("nan.bil"), g, BilSample::kF32, false));
  ASSERT_TRUE(translate(dir, "-ot Float32", "nan.bil", "nan.tif"));
  RasterCellCounts counts;
  std::string err;
  ASSERT_EQ(compare(dir.file("nan.asc"), dir.file("nan.tif"), &counts, &err),
            RasterPairStatus::kCompared)
      << err;
  EXPECT_EQ(counts.values_differ, 0);
  EXPECT_EQ(counts.nodata_differ, 0);
  EXPECT_GT(counts.both_nodata, 10);
}

TEST_F(LibraryReaders, TiffWithoutAnyGeoreferencingFails) {
  ASSERT_TRUE(translate(dir, "-ot Float32 -co PROFILE=BASELINE", "dem.asc", "bare.tif"));
  SRreader_tif r;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(r.open(dir.file("bare.tif").c_str()));
  std::string stem = dir.file("bare");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string("WARNING: failed to get TIFFTAG_GDAL_NODATA. assuming nodata is -32767\n") +
                kNoGeoTags + "WARNING: cannot open world file '" + stem + ".tfw' or '" + stem +
                ".TFW'\n");
}

TEST_F(LibraryReaders, RotatedWorldFileIsRefusedByTheComparison) {
  ASSERT_TRUE(translate(dir, "-ot Float32 -co PROFILE=BASELINE", "dem.asc", "rot.tif"));
  ASSERT_TRUE(raster_fixtures::write_text(dir.file("rot.tfw"), "2\n0.5\n0\n-2\n630001\n4830045\n"));
  RasterCellCounts counts;
  std::string err;
  EXPECT_EQ(compare(dir.file("dem.asc"), dir.file("rot.tif"), &counts, &err),
            RasterPairStatus::kOpenFailed);
  EXPECT_NE(err.find("ERROR: stepx_y of 0.5 not supported\n"), std::string::npos) << err;
  ASSERT_TRUE(raster_fixtures::write_text(dir.file("rot.tfw"), "2\n0\n0\n-2\n"));
  EXPECT_EQ(compare(dir.file("dem.asc"), dir.file("rot.tif"), &counts, &err),
            RasterPairStatus::kOpenFailed);
  EXPECT_NE(err.find("WARNING: corrupt world file\n"), std::string::npos) << err;
}

struct RefusedCase {
  const char* args;
  const char* output;
  const char* message;  // "%s" stands for the raster's path
};

TEST_F(LibraryReaders, UnsupportedTypesAndBandCounts) {
  const RefusedCase cases[] = {
      {"-ot Float32 -b 1 -b 1 -b 1", "three.tif",
       "ERROR: raster 'three.tif' has 3 bands. not implemented.\n"},
      {"-ot Float32 -b 1 -b 1 -b 1 -b 1 -b 1 -b 1 -b 1 -b 1 -b 1 -b 1 -b 1", "eleven.tif",
       "ERROR: images with 11 bands not supported\n"},
      // 64-bit samples open but are not compared
      {"-ot Float64", "f64.tif", "ERROR: raster 'f64.tif' has 64 bits. not implemented.\n"},
      // half floats: GDAL stores -9999 as -9992, so neither values nor nodata would be right
      {"-ot Float32 -co NBITS=16", "half.tif",
       "ERROR: nbits 16 only supported for integer values by SRreader_tif\n"},
      {"-of HFA -ot Float64", "f64.img", "ERROR: raster 'f64.img' has 64 bits. not implemented.\n"},
      {"-of HFA -b 1 -b 1", "two.img", "ERROR in SRreader_img::open(): nbands is 2 in '%s'\n"},
      {"-of HFA -ot CFloat32", "complex.img",
       "ERROR in SRreader_img::open(): unsupported data type 11 in '%s'\n"},
      {"-of HFA -ot Float32 -b 1 -b 1 -b 1", "rgb.img",
       "ERROR in SRreader_img::open(): unsupported data type 9 in '%s'\n"},
      {"-of HFA -ot UInt16 -a_nodata none -b 1 -b 1 -b 1", "rgb16.img",
       "ERROR: raster 'rgb16.img' has 3 bands. not implemented.\n"},
      {"-of PNG -ot Byte -a_nodata none -b 1 -b 1 -b 1 -co WORLDFILE=YES", "rgb.png",
       "ERROR: raster 'rgb.png' has 3 bands. not implemented.\n"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(translate(dir, c.args, "dem.asc", c.output));
    std::string out = c.output;
    if (out == "rgb.png") std::rename(dir.file("rgb.wld").c_str(), dir.file("rgb.pgw").c_str());
    RasterCellCounts counts;
    std::string err;
    EXPECT_EQ(compare(dir.file(c.output), dir.file("dem.asc"), &counts, &err),
              RasterPairStatus::kOpenFailed)
        << c.output;
    std::string expected = c.message;
    size_t at = expected.find("%s");
    if (at != std::string::npos) expected.replace(at, 2, dir.file(c.output));
    ASSERT_GE(err.size(), expected.size()) << err;
    // an open failure is followed by the comparison's own line
    std::string tail =
        expected.rfind("ERROR: raster '", 0) == 0
            ? expected
            : expected + "ERROR: cannot open raster1 with file name '" + out + "'.\n";
    EXPECT_EQ(err.substr(err.size() - std::min(err.size(), tail.size())), tail) << err;
  }
}

TEST_F(LibraryReaders, SignedByteImagineBand) {
  // heights -1.00 .. 1.00 stored as signed hundredths compare with a signed 8-bit BIL
  DemGrid small = raster_fixtures::make_dem(37, 23, -1.0, 1.0, 0);
  DemGrid ints = in_hundredths(small);
  ASSERT_TRUE(raster_fixtures::write_bil(dir.file("small.bil"), small, BilSample::kS8, false));
  ASSERT_TRUE(raster_fixtures::write_asc(dir.file("small_int.asc"), ints, 0));
  // gdal_translate clamps to 0..255 on the way to Byte, so the signed file is
  // made from the BIL's own bytes: an EHdr raster of unsigned bytes, relabelled
  ASSERT_TRUE(
      raster_fixtures::write_bil(dir.file("bytes.bil"), small, BilSample::kU8, false, 100.0, 0));
  ASSERT_TRUE(
      translate(dir, "-of HFA -a_nodata none -co PIXELTYPE=SIGNEDBYTE", "bytes.bil", "signed.img"));
  SRreader_img img;
  ASSERT_TRUE(img.open(dir.file("signed.img").c_str()));
  EXPECT_EQ(img.type(), 4);
  EXPECT_EQ(img.nbits, 8);
  EXPECT_FALSE(img.has_nodata());
  testing::internal::CaptureStderr();
  img.close();
  testing::internal::GetCapturedStderr();
  RasterCellCounts counts;
  std::string err;
  ASSERT_EQ(compare(dir.file("signed.img"), dir.file("small.bil"), &counts, &err),
            RasterPairStatus::kCompared)
      << err;
  EXPECT_EQ(err, raster_verdict_line({0, 0, 37 * 23, 0}));
}

TEST_F(LibraryReaders, ImagineBlocksAndNodata) {
  ASSERT_TRUE(translate(dir, "-of HFA -co BLOCKSIZE=64", "dem.asc", "dem.img"));
  SRreader_img img;
  ASSERT_TRUE(img.open(dir.file("dem.img").c_str()));
  EXPECT_EQ(img.type(), 9);
  EXPECT_EQ(img.block_width(), 64);
  EXPECT_EQ(img.block_height(), 64);
  EXPECT_TRUE(img.has_nodata());
  EXPECT_EQ(img.nodata, -999900);
  EXPECT_DOUBLE_EQ(img.llx, dem.llx);
  EXPECT_DOUBLE_EQ(img.ury, dem.lly + 23 * dem.cell);
  SRreader_img missing;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(missing.open(dir.file("dem.asc").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: HFAOpen() failed in SRreader_img::open().\n");
}

TEST_F(LibraryReaders, PngSamplesAreBigEndianAndNeverNodata) {
  DemGrid ints = in_hundredths(raster_fixtures::make_dem(37, 23, 100.0, 600.0, 0));
  ASSERT_TRUE(raster_fixtures::write_asc(dir.file("ints.asc"), ints, 0));
  ASSERT_TRUE(translate(dir, "-of PNG -ot UInt16 -a_nodata none -co WORLDFILE=YES", "ints.asc",
                        "ints.png"));
  ASSERT_EQ(std::rename(dir.file("ints.wld").c_str(), dir.file("ints.PGW").c_str()), 0);
  SRreader_png png;
  ASSERT_TRUE(png.open(dir.file("ints.png").c_str()));
  EXPECT_EQ(png.nbits, 16);
  EXPECT_EQ(png.nbands, 1);
  EXPECT_FALSE(png.interlaced());
  EXPECT_DOUBLE_EQ(png.llx, ints.llx);
  EXPECT_DOUBLE_EQ(png.lly, ints.lly);
  for (size_t i = 0; i < ints.z.size(); i++) {
    ASSERT_TRUE(png.read_value());
    ASSERT_EQ(png.value[0], static_cast<int32_t>(ints.z[i])) << i;
    ASSERT_FALSE(png.is_nodata());
  }
  EXPECT_FALSE(png.read_value());
  png.close();

  SRreader_png not_png;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(not_png.open(dir.file("ints.asc").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: file '" + dir.file("ints.asc") + "' not recognized as a PNG file\n");
}

TEST_F(LibraryReaders, DamagedPngDataFailsTheReadNotTheProgram) {
  DemGrid ints = in_hundredths(raster_fixtures::make_dem(37, 23, 100.0, 600.0, 0));
  ASSERT_TRUE(raster_fixtures::write_asc(dir.file("ints.asc"), ints, 0));
  ASSERT_TRUE(
      translate(dir, "-of PNG -ot UInt16 -a_nodata none -co WORLDFILE=YES", "ints.asc", "bad.png"));
  ASSERT_EQ(std::rename(dir.file("bad.wld").c_str(), dir.file("bad.pgw").c_str()), 0);
  // cut the file inside its image data
  std::string bytes = slurp(dir.file("bad.png"));
  ASSERT_TRUE(raster_fixtures::write_text(dir.file("bad.png"), bytes.substr(0, bytes.size() / 2)));
  SRreader_png png;
  ASSERT_TRUE(png.open(dir.file("bad.png").c_str()));
  testing::internal::CaptureStderr();
  int cells = 0;
  while (png.read_value()) cells++;
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_LT(cells, 37 * 23);
  EXPECT_EQ(err.rfind("ERROR: libpng: ", 0), 0u) << err;
}

}  // namespace
