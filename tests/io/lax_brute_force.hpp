#ifndef TESTS_IO_LAX_BRUTE_FORCE_HPP
#define TESTS_IO_LAX_BRUTE_FORCE_HPP

// Which quadtree cells an area reaches, decided cell by cell from each cell's
// own bounds rather than by descending: a query reaches a cell along x when
// its max is above the cell's min and its min is below the cell's max (at the
// root's max edge: at or below it), or its max is at or below the cell's max;
// the same along y. A circle also has to reach strictly into the cell.

#include <cstdint>
#include <set>
#include <vector>

#include "lax_writer.hpp"

struct AreaQuery {
  enum Kind { RECTANGLE, TILE, CIRCLE } kind;
  double min_x, min_y, max_x, max_y;  // rectangle
  float ll_x, ll_y, size;             // tile
  double center_x, center_y, radius;  // circle
};

template <class T>
bool reaches_axis(T q_min, T q_max, float cell_min, float cell_max, bool at_max) {
  return q_max > cell_min && (at_max ? q_min <= cell_max : (q_min < cell_max || q_max <= cell_max));
}

inline bool area_reaches(const AreaQuery& q, const LaxCellBounds& b) {
  switch (q.kind) {
    case AreaQuery::RECTANGLE:
      return reaches_axis(q.min_x, q.max_x, b.min_x, b.max_x, b.at_max_x) &&
             reaches_axis(q.min_y, q.max_y, b.min_y, b.max_y, b.at_max_y);
    case AreaQuery::TILE: {
      const float ur_x = q.ll_x + q.size;
      const float ur_y = q.ll_y + q.size;
      return reaches_axis(q.ll_x, ur_x, b.min_x, b.max_x, b.at_max_x) &&
             reaches_axis(q.ll_y, ur_y, b.min_y, b.max_y, b.at_max_y);
    }
    case AreaQuery::CIRCLE: {
      if (!reaches_axis(q.center_x - q.radius, q.center_x + q.radius, b.min_x, b.max_x,
                        b.at_max_x) ||
          !reaches_axis(q.center_y - q.radius, q.center_y + q.radius, b.min_y, b.max_y,
                        b.at_max_y)) {
        return false;
      }
      const double dx = q.center_x > b.max_x   ? q.center_x - b.max_x
                        : q.center_x < b.min_x ? b.min_x - q.center_x
                                               : -1.0;
      const double dy = q.center_y > b.max_y   ? q.center_y - b.max_y
                        : q.center_y < b.min_y ? b.min_y - q.center_y
                                               : -1.0;
      if (dx >= 0 && dy >= 0) return q.radius * q.radius > dx * dx + dy * dy;
      if (dx >= 0) return q.radius > dx;
      if (dy >= 0) return q.radius > dy;
      return true;
    }
  }
  return false;
}

// The cells of the tree: with registered cells the leaves below the cells'
// ancestors (in the order lower left, lower right, upper left, upper right,
// depth first); without, every cell of the finest level.
inline void leaf_cells(const LaxContent& tree, const std::set<uint32_t>& subdivided, bool adaptive,
                       uint32_t level, uint32_t level_index,
                       std::vector<std::pair<uint32_t, uint32_t>>& leaves) {
  const uint32_t cell = lax_level_offset(level) + level_index;
  const bool split = level < tree.levels && (!adaptive || subdivided.count(cell));
  if (!split) {
    leaves.push_back({level, level_index});
    return;
  }
  for (uint32_t q = 0; q < 4; q++) {
    leaf_cells(tree, subdivided, adaptive, level + 1, 4 * level_index + q, leaves);
  }
}

inline std::set<uint32_t> ancestors_of_cells(const LaxContent& tree) {
  std::set<uint32_t> result;
  for (const LaxCell& cell : tree.cells) {
    uint32_t level = 0;
    while (level < 15 && static_cast<uint32_t>(cell.index) >= lax_level_offset(level + 1)) level++;
    uint32_t level_index = static_cast<uint32_t>(cell.index) - lax_level_offset(level);
    while (level > 0) {
      level--;
      level_index >>= 2;
      result.insert(lax_level_offset(level) + level_index);
    }
  }
  return result;
}

// Cell numbers that the quadtree must report for the query, in its order.
inline std::vector<uint32_t> brute_force_cells(const LaxContent& tree, const AreaQuery& q,
                                               bool adaptive) {
  const std::set<uint32_t> subdivided = ancestors_of_cells(tree);
  std::vector<std::pair<uint32_t, uint32_t>> leaves;
  leaf_cells(tree, subdivided, adaptive, 0, 0, leaves);
  std::vector<uint32_t> found;
  for (const auto& leaf : leaves) {
    if (area_reaches(q, lax_cell_bounds(tree, leaf.first, leaf.second))) {
      found.push_back(lax_level_offset(leaf.first) + leaf.second);
    }
  }
  return found;
}

#endif
