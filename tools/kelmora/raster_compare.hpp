#ifndef KELMORA_RASTER_COMPARE_HPP
#define KELMORA_RASTER_COMPARE_HPP

#include <cstdint>
#include <string>

#include "sr_reader.hpp"

// Cell pairs of one comparison, by kind.
struct RasterCellCounts {
  int64_t nodata_differ = 0;  // exactly one of the two cells is nodata
  int64_t both_nodata = 0;
  int64_t values_equal = 0;  // neither is nodata, equal integers
  int64_t values_differ = 0;
};

enum class RasterVerdict { kIdentical, kNearlyIdentical, kNotIdentical };

// Where raster 2 lies against raster 1: the differences of the lower-left
// corners and of the cell sizes (raster 2 minus raster 1).
struct RasterPlacement {
  bool apart = false;  // beyond what georeferencing of one grid in two formats can differ by
  double llx = 0.0;
  double lly = 0.0;
  double stepx = 0.0;
  double stepy = 0.0;
};

// How the comparison of one pair ended. Only kCompared has a verdict.
enum class RasterPairStatus {
  kCompared,     // both read to the end; the verdict line was printed
  kOpenFailed,   // a raster could not be opened or failed its checks
  kSizesDiffer,  // ncols, nrows or quanta do not match; nothing was compared
  kReadFailed,   // a cell could not be read; no verdict exists
};

RasterVerdict raster_verdict(const RasterCellCounts& counts);
// Rasters at different places are not identical, whatever their cells hold.
RasterVerdict raster_verdict(const RasterCellCounts& counts, const RasterPlacement& placement);

// The verdict line, ending in "\n", exactly as printed.
std::string raster_verdict_line(const RasterCellCounts& counts);
std::string raster_verdict_line(const RasterCellCounts& counts, const RasterPlacement& placement);

// Text after the last '.', or nullptr when the name has none.
const char* raster_extension(const char* file_name);

// Text after the last '/', '\' or ':'.
const char* raster_base_name(const char* file_name);

// The partner of input j (file1). With exactly two inputs it is input j+1
// (next_file) and j advances by 2; otherwise it is file1 with its last three
// characters replaced by "vpk" ("VPK" when only that file exists) and j
// advances by 1. A VPK file1 has no partner then: prints the error and returns
// false (the run ends with code 1).
bool raster_partner(const char* file1, const char* next_file, uint32_t file_count,
                    std::string* file2, uint32_t* advance);

// The checks a raster must pass before it is compared: one band of 8, 16 or 32
// bits, rows and columns, complete axis-aligned georeferencing. Prints the
// first failure (naming the raster by name) and returns false.
bool check_raster(const SRreader& raster, const char* name);

// Apart when the two rasters differ in cell size or lower-left corner by more
// than a thousandth of a cell (for the size, over the whole raster).
RasterPlacement raster_placement(const SRreader& raster1, const SRreader& raster2);

// The factors that bring the cells of two quanta to the finer of the two
// (1 and 100 for whole units against hundredths). False when the coarser
// quantum is no whole multiple of the finer one.
bool common_quantum(double scale1, double scale2, int64_t* factor1, int64_t* factor2);

// Reads both rasters cell by cell and counts the cell pairs. Prints the failure
// and returns kSizesDiffer or kReadFailed; on kCompared the counts are complete
// but no verdict is printed yet.
RasterPairStatus compare_raster_cells(SRreader* raster1, SRreader* raster2,
                                      RasterCellCounts* counts);

// The whole pair: opens both files by their extensions, checks them, compares
// them, prints the verdict line to stderr, closes and deletes both readers.
// counts may be null.
RasterPairStatus compare_raster_files(const char* file1, const char* file2,
                                      RasterCellCounts* counts);

#endif
