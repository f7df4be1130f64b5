#ifndef TESTS_SUPPORT_LAX_WRITER_HPP
#define TESTS_SUPPORT_LAX_WRITER_HPP

// Writes .lax spatial index files for tests, straight from the file layout
// (little-endian): "LASX", version, the quadtree section "LASS" (with or
// without "LASQ"), the interval section "LASV" and its cells. The library
// only reads such files; this writer exists to make fixtures, including
// broken ones (counts that do not match the data).

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct LaxCell {
  int32_t index = 0;
  uint32_t npoints = 0;
  std::vector<std::pair<uint32_t, uint32_t>> intervals;  // start, end (inclusive)
  std::optional<uint32_t> stored_interval_count;         // overrides intervals.size()
};

struct LaxContent {
  uint32_t version = 0;
  char spatial_signature[4] = {'L', 'A', 'S', 'S'};
  uint32_t spatial_type = 0;
  bool with_lasq = true;  // false: the older layout without "LASQ" and version
  uint32_t quadtree_version = 0;
  uint32_t levels = 0;
  uint32_t level_index = 0;
  uint32_t implicit_levels = 0;
  float min_x = 0.0f, max_x = 0.0f, min_y = 0.0f, max_y = 0.0f;
  uint32_t interval_version = 0;
  std::vector<LaxCell> cells;
  std::optional<uint32_t> stored_cell_count;  // overrides cells.size()
};

std::vector<uint8_t> write_lax(const LaxContent& content);
bool write_lax_file(const std::string& path, const LaxContent& content);

// Quadtree geometry as a .lax builder sees it, for tests: cell numbers and
// the bounds of a cell found by halving the root at single-precision
// midpoints.
uint32_t lax_level_offset(uint32_t level);
struct LaxCellBounds {
  float min_x, max_x, min_y, max_y;
  bool at_max_x, at_max_y;  // the cell's upper edge is the root's
};
LaxCellBounds lax_cell_bounds(const LaxContent& tree, uint32_t level, uint32_t level_index);

// Builds the index of points given in file order: cells are split while they
// hold more than `max_points_per_cell` points and are above `levels`; a point
// belongs to the upper half of a split when it is at or above the midpoint.
// Each leaf that holds points becomes a cell whose runs are the maximal
// stretches of consecutive point numbers in it.
struct LaxPoint {
  double x, y;
};
LaxContent build_lax(const std::vector<LaxPoint>& points, float min_x, float max_x, float min_y,
                     float max_y, uint32_t levels, uint32_t max_points_per_cell);

#endif
