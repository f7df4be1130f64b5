#include "raster_compare.hpp"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/file_glob.hpp"
#include "platform/run_messages.hpp"
#include "sr_reader_factory.hpp"

RasterVerdict raster_verdict(const RasterCellCounts& c) {
  if (c.values_differ > 0) return RasterVerdict::kNotIdentical;
  if (c.nodata_differ > 0) return RasterVerdict::kNearlyIdentical;
  return RasterVerdict::kIdentical;
}

RasterVerdict raster_verdict(const RasterCellCounts& c, const RasterPlacement& p) {
  return p.apart ? RasterVerdict::kNotIdentical : raster_verdict(c);
}

std::string raster_verdict_line(const RasterCellCounts& c, const RasterPlacement& p) {
  if (!p.apart) return raster_verdict_line(c);
  char line[640];
  snprintf(line, sizeof(line),
           "rasters are not identical. they differ in georeferencing: lower left corner by %.10g "
           "in x and %.10g in y, cell size by %.10g in x and %.10g in y. they have %" PRId64
           " different and %" PRId64 " identical value cells and %" PRId64 " different and %" PRId64
           " identical nodata cells.\n",
           p.llx, p.lly, p.stepx, p.stepy, c.values_differ, c.values_equal, c.nodata_differ,
           c.both_nodata);
  return line;
}

std::string raster_verdict_line(const RasterCellCounts& c) {
  char line[512];
  if (c.nodata_differ > 0 && c.values_differ > 0) {
    snprintf(line, sizeof(line),
             "rasters are not identical. they have %" PRId64 " different and %" PRId64
             " identical value cells. they have %" PRId64 " different and %" PRId64
             " identical nodata cells.\n",
             c.values_differ, c.values_equal, c.nodata_differ, c.both_nodata);
  } else if (c.nodata_differ > 0) {
    snprintf(line, sizeof(line),
             "rasters are nearly identical. both have %" PRId64
             " identical value cells. but they have %" PRId64 " different and %" PRId64
             " identical nodata cells.\n",
             c.values_equal, c.nodata_differ, c.both_nodata);
  } else if (c.values_differ > 0) {
    snprintf(line, sizeof(line),
             "rasters are not identical. rasters have %" PRId64 " different and %" PRId64
             " identical value cells. but both have %" PRId64 " nodata cells\n",
             c.values_differ, c.values_equal, c.both_nodata);
  } else {
    snprintf(line, sizeof(line),
             "rasters are identical. both have %" PRId64 " value and %" PRId64 " nodata cells.\n",
             c.values_equal, c.both_nodata);
  }
  return line;
}

const char* raster_extension(const char* file_name) {
  if (file_name == nullptr) return nullptr;
  const char* dot = strrchr(file_name, '.');
  return dot ? dot + 1 : nullptr;
}

const char* raster_base_name(const char* file_name) {
  const char* base = file_name;
  for (const char* p = file_name; *p; p++) {
    if (*p == '/' || *p == '\\' || *p == ':') base = p + 1;
  }
  return base;
}

bool raster_partner(const char* file1, const char* next_file, uint32_t file_count,
                    std::string* file2, uint32_t* advance) {
  if (file_count == 2 && next_file != nullptr) {
    *file2 = next_file;
    *advance = 2;
    return true;
  }
  const char* ext = raster_extension(file1);
  if (ext && (strcmp(ext, "vpk") == 0 || strcmp(ext, "VPK") == 0)) {
    fprintf(stderr,
            "ERROR: if more than two input rasters, they must all be in TIF, IMG, ASC, or BIL not "
            "in VPK format\n");
    return false;
  }
  *file2 = file1;
  const size_t at = file2->size() >= 3 ? file2->size() - 3 : 0;
  file2->replace(at, 3, "vpk");
  // Windows finds "DEM.VPK" under "DEM.vpk"; here the twin is taken as it is spelt.
  std::string upper = *file2;
  upper.replace(at, 3, "VPK");
  if (!file_exists(file2->c_str()) && file_exists(upper.c_str())) *file2 = upper;
  *advance = 1;
  return true;
}

bool check_raster(const SRreader& r, const char* name) {
  if (r.nbands != 1) {
    fprintf(stderr, "ERROR: raster '%s' has %d bands. not implemented.\n", name, r.nbands);
    return false;
  }
  if (r.nbits != 8 && r.nbits != 16 && r.nbits != 32) {
    fprintf(stderr, "ERROR: raster '%s' has %d bits. not implemented.\n", name, r.nbits);
    return false;
  }
  if (r.ncols < 1) {
    fprintf(stderr, "ERROR: raster '%s' has no columns. skipping ...\n", name);
    return false;
  }
  if (r.nrows < 1) {
    fprintf(stderr, "ERROR: raster '%s' has no rows. skipping ... \n", name);
    return false;
  }
  struct {
    double value;
    const char* message;
  } const extent[] = {
      {r.llx, "ERROR: raster has no lower left x info\n"},
      {r.lly, "ERROR: raster has no lower left y info\n"},
      {r.urx, "ERROR: raster has no upper right x info\n"},
      {r.ury, "ERROR: raster has no upper right y info\n"},
      {r.stepx, "ERROR: raster has no step x info\n"},
      {r.stepy, "ERROR: raster has no step y info\n"},
  };
  for (const auto& e : extent) {
    if (e.value == SR_UNSET) {
      fputs(e.message, stderr);
      return false;
    }
  }
  if (r.stepx_y != 0.0) {
    fprintf(stderr, "ERROR: stepx_y of %g not supported\n", r.stepx_y);
    return false;
  }
  if (r.stepy_x != 0.0) {
    fprintf(stderr, "ERROR: stepy_x of %g not supported\n", r.stepy_x);
    return false;
  }
  return true;
}

namespace {

// Within a thousandth of a cell: georeferencing that passed through single
// precision or a world file's cell centres still counts as the same.
bool near(double a, double b, double step) {
  return std::fabs(a - b) <= 0.001 * std::fabs(step);
}

}  // namespace

RasterPlacement raster_placement(const SRreader& r1, const SRreader& r2) {
  // Cells are compared by their position in the grid only; equal cells of grids
  // that lie apart or differ in cell size would otherwise pass for identical.
  const double step = std::min(std::fabs(r1.stepx), std::fabs(r1.stepy));
  const double cells = std::max(r1.ncols, r1.nrows);
  RasterPlacement p;
  p.llx = r2.llx - r1.llx;
  p.lly = r2.lly - r1.lly;
  p.stepx = r2.stepx - r1.stepx;
  p.stepy = r2.stepy - r1.stepy;
  p.apart = !near(r1.stepx, r2.stepx, step / cells) || !near(r1.stepy, r2.stepy, step / cells) ||
            !near(r1.llx, r2.llx, step) || !near(r1.lly, r2.lly, step);
  return p;
}

bool common_quantum(double scale1, double scale2, int64_t* factor1, int64_t* factor2) {
  *factor1 = 1;
  *factor2 = 1;
  if (scale1 == scale2) return true;
  const double fine = std::min(scale1, scale2);
  const double ratio = std::max(scale1, scale2) / fine;
  const double whole = std::round(ratio);
  if (!(fine > 0.0) || !(whole >= 1.0 && whole <= 1e9) || std::fabs(ratio - whole) > 1e-9 * whole) {
    return false;
  }
  (scale1 > scale2 ? *factor1 : *factor2) = static_cast<int64_t>(whole);
  return true;
}

RasterPairStatus compare_raster_cells(SRreader* r1, SRreader* r2, RasterCellCounts* counts) {
  if (r1->ncols != r2->ncols) {
    fprintf(stderr, "ERROR: rasters have different ncols of %d and %d. difference too big ... \n",
            r1->ncols, r2->ncols);
    return RasterPairStatus::kSizesDiffer;
  }
  if (r1->nrows != r2->nrows) {
    fprintf(stderr, "ERROR: rasters have different nrows of %d and %d. difference too big ... \n",
            r1->nrows, r2->nrows);
    return RasterPairStatus::kSizesDiffer;
  }
  if (r1->nbits != r2->nbits) {
    print_note("WARNING: rasters have different nbits of %d and %d\n", r1->nbits, r2->nbits);
  }
  // Integer rasters deliver whole units, float, ASCII and VPK rasters
  // hundredths: 100 of one and 10000 of the other are the same height.
  int64_t factor1 = 1, factor2 = 1;
  if (!common_quantum(r1->scale[0], r2->scale[0], &factor1, &factor2)) {
    fprintf(stderr, "ERROR: rasters have quanta of %g and %g. no common quantum\n", r1->scale[0],
            r2->scale[0]);
    return RasterPairStatus::kSizesDiffer;
  }
  *counts = RasterCellCounts();
  // Both readers deliver their cells row by row from the top, so one pass in
  // that order pairs them up; a failure names the cell's true column and row.
  const int64_t cells = static_cast<int64_t>(r1->nrows) * r1->ncols;
  for (int64_t k = 0; k < cells; k++) {
    if (!r1->read_value()) {
      fprintf(stderr, "ERROR: failed to read raster1 at col %d and row %d ...\n",
              static_cast<int>(k % r1->ncols), static_cast<int>(k / r1->ncols));
      return RasterPairStatus::kReadFailed;
    }
    if (!r2->read_value()) {
      fprintf(stderr, "ERROR: failed to read raster2 at col %d and row %d ...\n",
              static_cast<int>(k % r1->ncols), static_cast<int>(k / r1->ncols));
      return RasterPairStatus::kReadFailed;
    }
    bool nodata2 = r2->is_nodata();
    bool nodata1 = r1->is_nodata();
    if (nodata1 != nodata2) {
      counts->nodata_differ++;
    } else if (nodata1) {
      counts->both_nodata++;
      // A stretch that both know to be empty is counted without visiting its cells.
      const int64_t run = std::min(r1->nodata_run(), r2->nodata_run());
      if (run > 0) {
        r1->skip_nodata(run);
        r2->skip_nodata(run);
        counts->both_nodata += run;
        k += run;
      }
    } else if (r1->value[0] * factor1 == r2->value[0] * factor2) {
      counts->values_equal++;
    } else {
      counts->values_differ++;
    }
  }
  return RasterPairStatus::kCompared;
}

namespace {

using RasterHandle = std::unique_ptr<SRreader>;

RasterHandle open_checked(const char* file_name) {
  const char* name = raster_base_name(file_name);
  RasterHandle raster(open_raster_reader(raster_extension(file_name), file_name));
  if (!raster) {
    fprintf(stderr, "ERROR: cannot open raster1 with file name '%s'.\n", name);
    return nullptr;
  }
  if (!check_raster(*raster, name)) return nullptr;
  return raster;
}

}  // namespace

RasterPairStatus compare_raster_files(const char* file1, const char* file2,
                                      RasterCellCounts* counts) {
  RasterCellCounts local;
  if (counts == nullptr) counts = &local;
  *counts = RasterCellCounts();
  RasterHandle raster1 = open_checked(file1);
  if (!raster1) return RasterPairStatus::kOpenFailed;
  RasterHandle raster2 = open_checked(file2);
  if (!raster2) return RasterPairStatus::kOpenFailed;
  RasterPairStatus status = compare_raster_cells(raster1.get(), raster2.get(), counts);
  if (status != RasterPairStatus::kCompared) return status;  // deleted unclosed: no count warning
  fputs(raster_verdict_line(*counts, raster_placement(*raster1, *raster2)).c_str(), stderr);
  raster1->close(true);
  raster1.reset();
  raster2->close(true);
  raster2.reset();
  return status;
}
