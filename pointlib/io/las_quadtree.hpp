#ifndef POINTLIB_IO_LAS_QUADTREE_HPP
#define POINTLIB_IO_LAS_QUADTREE_HPP

#include <cstddef>
#include <cstdint>
#include <vector>

class ByteStreamIn;

// The spatial part of a .lax index: the bounding box of a point file divided
// recursively into quadrants down to `levels`, with every cell of every level
// numbered in one u32 space. Cells of level l have level indices 0 to 4^l - 1
// and cell index level_offset[l] + level index; the children of level index i
// are 4i (lower left), 4i + 1 (lower right), 4i + 2 (upper left) and 4i + 3
// (upper right). Splits are at the single-precision midpoints.
//
// Once the cells that an index holds are registered with manage_cell, a query
// descends only through subdivided cells and reports the cells where it stops;
// without registered cells it reports the level indices of level `levels`.
class LASquadtree {
 public:
  // Cell indices are u32, so only trees of at most 15 levels can be numbered
  // (level 16 alone would need 4^16 numbers).
  static constexpr uint32_t MAX_LEVELS = 15;

  LASquadtree();
  ~LASquadtree();
  LASquadtree(const LASquadtree&) = delete;
  LASquadtree& operator=(const LASquadtree&) = delete;

  // Reads the "LASS" section of a .lax file, in either layout.
  bool read(ByteStreamIn* stream);

  // Registers a cell that the index holds and marks its ancestors as
  // subdivided. False for a cell index that a tree of `levels` levels cannot
  // have (nothing is registered then).
  bool manage_cell(uint32_t cell_index);
  bool is_subdivided(uint32_t cell_index) const {
    const uint32_t word = cell_index >> 5;
    return word < adaptive.size() && (adaptive[word] & (1u << (cell_index & 31))) != 0;
  }
  bool has_registered_cells() const { return !adaptive.empty(); }

  // Each returns the number of cells found.
  uint32_t intersect_rectangle(double r_min_x, double r_min_y, double r_max_x, double r_max_y);
  uint32_t intersect_rectangle(double r_min_x, double r_min_y, double r_max_x, double r_max_y,
                               uint32_t levels);
  uint32_t intersect_tile(float ll_x, float ll_y, float size);
  uint32_t intersect_tile(float ll_x, float ll_y, float size, uint32_t levels);
  uint32_t intersect_circle(double center_x, double center_y, double radius);
  uint32_t intersect_circle(double center_x, double center_y, double radius, uint32_t levels);

  // Restarts the walk over the found cells; true when there is at least one.
  bool get_intersected_cells();
  // Moves `current_cell` to the next found cell; false when they are used up.
  bool has_more_cells();

  uint32_t get_cell_index(uint32_t level_index, uint32_t level) const {
    return level_offset[level] + level_index;
  }
  uint32_t get_level(uint32_t cell_index) const;
  uint32_t get_level_index(uint32_t cell_index, uint32_t level) const {
    return cell_index - level_offset[level];
  }

  uint32_t levels;
  float min_x, max_x, min_y, max_y;
  uint32_t current_cell;
  uint32_t level_offset[24];

 private:
  struct Circle {
    double center_x, center_y, radius, radius_squared;
  };
  template <class T>
  void intersect_box(T r_min_x, T r_min_y, T r_max_x, T r_max_y, uint32_t stop_level,
                     uint32_t level, uint32_t level_index, float cell_min_x, float cell_max_x,
                     float cell_min_y, float cell_max_y, const Circle* circle);
  static bool circle_reaches(const Circle& c, float cell_min_x, float cell_max_x, float cell_min_y,
                             float cell_max_y);
  void clear_found();

  std::vector<uint32_t> adaptive;  // one bit per cell index: set = subdivided
  std::vector<uint32_t> found;
  size_t next_found;
};

#endif
