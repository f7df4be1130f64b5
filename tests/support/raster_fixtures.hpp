#ifndef TESTS_SUPPORT_RASTER_FIXTURES_HPP
#define TESTS_SUPPORT_RASTER_FIXTURES_HPP

#include <cstdint>
#include <string>
#include <vector>

namespace raster_fixtures {

// An elevation grid; z holds the rows from the top row down, nodata cells hold
// the nodata value itself.
struct DemGrid {
  int ncols = 0;
  int nrows = 0;
  double llx = 0.0;
  double lly = 0.0;
  double cell = 1.0;
  double nodata = -9999.0;
  std::vector<double> z;

  double& at(int col, int row) { return z[static_cast<size_t>(row) * ncols + col]; }
  double at(int col, int row) const { return z[static_cast<size_t>(row) * ncols + col]; }
};

// A smooth synthetic terrain with values on the 0.01 grid between low and high,
// and every nodata_every-th cell (by a scattered pattern) set to nodata (0: none).
DemGrid make_dem(int ncols, int nrows, double low, double high, int nodata_every);

// The grid with its value cells rounded to whole units, as an integer raster
// holds them (NaN and nodata cells stay).
DemGrid whole_units(DemGrid grid);

// ESRI ASCII grid: values with `decimals` decimals ("nan" for NaN), nodata as
// written by "%g". values_per_line 0 writes one row per line.
bool write_asc(const std::string& path, const DemGrid& grid, int decimals = 2,
               int values_per_line = 0);

enum class BilSample { kS8, kU8, kS16, kU16, kS32, kU32, kF32 };

// BIL raster and its ".hdr": integer kinds store round(z * factor) (nodata
// cells store int_nodata), kF32 stores the float of z. The header's nodata is
// int_nodata for integer kinds and grid.nodata for kF32.
bool write_bil(const std::string& path, const DemGrid& grid, BilSample kind, bool big_endian,
               double factor = 100.0, int64_t int_nodata = -9999, bool write_pixeltype = true);

bool write_text(const std::string& path, const std::string& text);

// A raster stored as points: one point per value cell at the cell's centre,
// described by a "Raster VPK" record (7113).
struct VpkPoint {
  double x, y, z;
};
struct VpkOptions {
  // 0: plain LAS points; 2: compressed in chunks (VPK) through the library's writer.
  uint16_t compressor = 0;
  double xy_scale = 0.01;
  double z_scale = 0.01;
  double z_offset = 0.0;
  // The point of the top-right value cell lies on the raster's upper-right
  // corner (x equal to urx) and the one of the bottom-left value cell on its
  // lower-left corner (y equal to lly), instead of at their centres.
  bool corner_points = false;
  std::vector<VpkPoint> extra;  // written after the cell points
  bool with_record = true;
  // The header's bounding box is the raster's extent, whatever the points
  // reach (a stale box). Library writer only.
  bool extent_as_bounds = false;
  // The independent fixture writer instead of the library's LASwriterLAS
  // (plain points only); it works without the library's point-record writer.
  bool fixture_writer = false;
};

// False with a reason in `error` when the file cannot be written (for the
// library writer also when this build cannot write point records).
bool write_vpk(const std::string& path, const DemGrid& grid, const VpkOptions& options,
               std::string* error = nullptr);

// A fresh directory under the system's temporary folder, removed with its
// contents at the end of the scope.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::string& path() const { return dir; }
  std::string file(const std::string& name) const { return dir + "/" + name; }

 private:
  std::string dir;
};

}  // namespace raster_fixtures

#endif
