// One grid written in every raster format kelmora reads, the way GDAL writes
// them (GeoTIFF, Erdas Imagine, PNG with tRNS nodata and a world file) and the
// way our own code and talvenor_new write the others (ASCII grid, BIL, VPK),
// compared pair by pair through the program.
#include <gdal.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "raster_fixtures.hpp"
#include "run_program.hpp"

using raster_fixtures::BilSample;
using raster_fixtures::DemGrid;

namespace {

const std::string kKelmora = std::string(PL_BINARY_DIR) + "/kelmora";
const std::string kTalvenor = std::string(PL_BINARY_DIR) + "/talvenor_new";

// The grid as a GDAL raster of one band, with its nodata value. PNG has only
// CreateCopy: it is made from an in-memory copy, with a world file.
bool write_gdal(const std::string& path, const DemGrid& g, const char* driver_name,
                GDALDataType type) {
  GDALAllRegister();
  GDALDriverH driver = GDALGetDriverByName(driver_name);
  const bool png = std::string(driver_name) == "PNG";
  GDALDriverH maker = png ? GDALGetDriverByName("MEM") : driver;
  if (driver == nullptr || maker == nullptr) return false;
  GDALDatasetH ds = GDALCreate(maker, png ? "" : path.c_str(), g.ncols, g.nrows, 1, type, nullptr);
  if (ds == nullptr) return false;
  double transform[6] = {g.llx, g.cell, 0.0, g.lly + g.nrows * g.cell, 0.0, -g.cell};
  GDALSetGeoTransform(ds, transform);
  GDALRasterBandH band = GDALGetRasterBand(ds, 1);
  GDALSetRasterNoDataValue(band, g.nodata);
  std::vector<double> cells = g.z;
  bool ok = GDALRasterIO(band, GF_Write, 0, 0, g.ncols, g.nrows, cells.data(), g.ncols, g.nrows,
                         GDT_Float64, 0, 0) == CE_None;
  if (png && ok) {
    const char* options[] = {"WORLDFILE=YES", nullptr};
    GDALDatasetH copy = GDALCreateCopy(driver, path.c_str(), ds, FALSE, const_cast<char**>(options),
                                       nullptr, nullptr);
    ok = copy != nullptr;
    if (copy) GDALClose(copy);
    const std::string stem = path.substr(0, path.size() - 3);
    ok = ok && std::rename((stem + "wld").c_str(), (stem + "pgw").c_str()) == 0;
  }
  GDALClose(ds);
  return ok;
}

enum class Writer { kGdal, kAsc, kBil, kVpk };

struct Format {
  const char* file;
  Writer writer;
  const char* gdal_driver;
  GDALDataType gdal_type;
  BilSample bil_kind;
  bool unsigned_only;  // cannot hold a negative nodata
};

const Format kFormats[] = {
    {"i16.tif", Writer::kGdal, "GTiff", GDT_Int16, BilSample::kS16, false},
    {"f32.tif", Writer::kGdal, "GTiff", GDT_Float32, BilSample::kS16, false},
    {"i32.tif", Writer::kGdal, "GTiff", GDT_Int32, BilSample::kS16, false},
    {"i16.img", Writer::kGdal, "HFA", GDT_Int16, BilSample::kS16, false},
    {"f32.img", Writer::kGdal, "HFA", GDT_Float32, BilSample::kS16, false},
    {"u16.png", Writer::kGdal, "PNG", GDT_UInt16, BilSample::kS16, true},
    {"g.asc", Writer::kAsc, nullptr, GDT_Unknown, BilSample::kS16, false},
    {"s16.bil", Writer::kBil, nullptr, GDT_Unknown, BilSample::kS16, false},
    {"f32.bil", Writer::kBil, nullptr, GDT_Unknown, BilSample::kF32, false},
    {"g.vpk", Writer::kVpk, nullptr, GDT_Unknown, BilSample::kS16, false},
};

// Writes the grid in the format; the VPK twin is made by talvenor_new from the
// ASCII grid, which therefore comes first.
void write_format(const Format& f, const DemGrid& g, const std::string& dir) {
  const std::string path = dir + "/" + f.file;
  switch (f.writer) {
    case Writer::kGdal:
      ASSERT_TRUE(write_gdal(path, g, f.gdal_driver, f.gdal_type)) << f.file;
      break;
    case Writer::kAsc:
      ASSERT_TRUE(raster_fixtures::write_asc(path, g));
      break;
    case Writer::kBil:
      ASSERT_TRUE(raster_fixtures::write_bil(path, g, f.bil_kind, false, 1.0,
                                             static_cast<int64_t>(g.nodata)));
      break;
    case Writer::kVpk: {
      const ProgramRun r = run_program(kTalvenor, {"-i", "g.asc", "-o", f.file, "-quiet"}, dir);
      ASSERT_EQ(r.exit_code, 0) << r.err;
      break;
    }
  }
}

// The program's lines without the warning that sample widths differ.
std::string verdict_of(const std::string& err) {
  std::string out;
  size_t at = 0;
  while (at < err.size()) {
    size_t end = err.find('\n', at);
    end = end == std::string::npos ? err.size() : end + 1;
    const std::string line = err.substr(at, end - at);
    if (line.rfind("WARNING: rasters have different nbits", 0) != 0) out += line;
    at = end;
  }
  return out;
}

struct GridCase {
  const char* name;
  double nodata;
};

TEST(KelmoraFormats, OneGridInEveryFormatIsIdenticalPairByPair) {
  const GridCase grids[] = {
      {"nodata -9999", -9999.0},
      {"nodata 0 (also as PNG)", 0.0},
  };
  for (const auto& gc : grids) {
    ProgramDir dir;
    DemGrid g = raster_fixtures::whole_units(raster_fixtures::make_dem(37, 23, 100.0, 600.0, 11));
    for (double& z : g.z) {
      if (z == g.nodata) z = gc.nodata;
    }
    g.nodata = gc.nodata;
    int value_cells = 0, nodata_cells = 0;
    for (double z : g.z) (z == g.nodata ? nodata_cells : value_cells)++;
    std::vector<const Format*> formats;
    for (const auto& f : kFormats) {
      if (f.unsigned_only && g.nodata < 0) continue;
      formats.push_back(&f);
    }
    std::sort(formats.begin(), formats.end(),
              [](const Format* a, const Format* b) { return a->writer < b->writer; });
    for (const Format* f : formats) write_format(*f, g, dir.path());
    const std::string identical = "rasters are identical. both have " +
                                  std::to_string(value_cells) + " value and " +
                                  std::to_string(nodata_cells) + " nodata cells.\n";
    for (size_t i = 0; i < formats.size(); i++) {
      for (size_t j = i + 1; j < formats.size(); j++) {
        const ProgramRun r =
            run_program(kKelmora, {"-quiet", "-i", formats[i]->file, formats[j]->file}, dir.path());
        EXPECT_EQ(verdict_of(r.err), identical)
            << gc.name << ": " << formats[i]->file << " " << formats[j]->file;
        EXPECT_EQ(r.exit_code, 0) << formats[i]->file << " " << formats[j]->file;
      }
    }
  }
}

}  // namespace

namespace {

// Cells a few thousandths from the nodata value are values in every reader:
// nodata is the value as the file stores it, not whatever rounds to its hundredth.
TEST(KelmoraFormats, FloatCellsNearNodataAreValues) {
  ProgramDir dir;
  DemGrid exact = raster_fixtures::make_dem(37, 23, 100.0, 600.0, 11);
  DemGrid near = exact;
  size_t k = exact.z.size() / 2;
  while (exact.z[k] == exact.nodata || exact.z[k + 1] == exact.nodata) k++;
  near.z[k] = exact.nodata - 0.004;
  near.z[k + 1] = exact.nodata + 0.004;
  int value_cells = 0, nodata_cells = 0;  // of the grid without the two cells
  for (double z : exact.z) (z == exact.nodata ? nodata_cells : value_cells)++;
  value_cells -= 2;
  exact.z[k] = exact.z[k + 1] = exact.nodata;
  ASSERT_TRUE(raster_fixtures::write_asc(dir.file("exact.asc"), exact, 3));
  ASSERT_TRUE(raster_fixtures::write_asc(dir.file("near.asc"), near, 3));
  ASSERT_TRUE(raster_fixtures::write_bil(dir.file("near.bil"), near, BilSample::kF32, false));
  ASSERT_TRUE(write_gdal(dir.file("near.tif"), near, "GTiff", GDT_Float32));
  ASSERT_TRUE(write_gdal(dir.file("near.img"), near, "HFA", GDT_Float32));
  const std::string nearly = "rasters are nearly identical. both have " +
                             std::to_string(value_cells) +
                             " identical value cells. but they have 2 different and " +
                             std::to_string(nodata_cells) + " identical nodata cells.\n";
  const std::string identical = "rasters are identical. both have " +
                                std::to_string(value_cells + 2) + " value and " +
                                std::to_string(nodata_cells) + " nodata cells.\n";
  const struct {
    const char* a;
    const char* b;
    std::string verdict;
  } cases[] = {
      {"exact.asc", "near.asc", nearly},   {"exact.asc", "near.bil", nearly},
      {"exact.asc", "near.tif", nearly},   {"exact.asc", "near.img", nearly},
      {"near.asc", "near.tif", identical}, {"near.img", "near.bil", identical},
  };
  for (const auto& c : cases) {
    const ProgramRun r = run_program(kKelmora, {"-quiet", "-i", c.a, c.b}, dir.path());
    EXPECT_EQ(r.err, c.verdict) << c.a << " " << c.b;
    EXPECT_EQ(r.exit_code, 0) << c.a << " " << c.b;
  }
}

}  // namespace
