#ifndef POINTLIB_IO_LAS_KDTREE_RECTANGLES_HPP
#define POINTLIB_IO_LAS_KDTREE_RECTANGLES_HPP

#include <cstddef>
#include <cstdint>
#include <vector>

// Answers which of a set of axis-aligned rectangles overlap a query rectangle.
// Rectangles are numbered in the order they were added (0, 1, 2, ...), which is
// the position of their file in an input list. Edges that only touch overlap.
//
// A rectangle whose min_x is above its max_x stands for a list entry without
// bounds: it keeps its number but overlaps nothing and leaves the bounding box
// alone, so that the numbers of the entries after it stay their list positions.
//
// Nodes split at the midpoint of their region while they hold more than 4
// rectangles; a node becomes a leaf after 4 splits in a row that separate no
// rectangle or copy more than half of them into both children.
//
// Use: reset, add_rectangle..., build_tree, then per question find_overlaps,
// restart_overlaps and next_overlap until false. Adding after a build drops
// the tree; is_built() then answers false until the next build_tree.
class LASkdtreeRectangles {
 public:
  LASkdtreeRectangles();
  ~LASkdtreeRectangles();
  LASkdtreeRectangles(const LASkdtreeRectangles&) = delete;
  LASkdtreeRectangles& operator=(const LASkdtreeRectangles&) = delete;

  bool reset();
  void add_rectangle(double min_x, double min_y, double max_x, double max_y);
  bool build_tree();
  bool is_built() const { return built; }
  bool find_overlaps(double min_x, double min_y, double max_x, double max_y);
  bool restart_overlaps();
  bool next_overlap(uint32_t& index);

  uint32_t get_number_of_rectangles() const { return static_cast<uint32_t>(rectangles.size()); }
  // Number of nodes of the built tree (1 when the root is a leaf), for tests.
  size_t get_number_of_nodes() const { return nodes.size(); }
  // Largest number of rectangles held by one leaf, for tests.
  size_t get_largest_leaf() const;

  // Bounding box of all rectangles added; empty: min 2e307, max -2e307.
  double min_x, min_y, max_x, max_y;

 private:
  struct Rectangle {
    double min[2];
    double max[2];
  };
  struct Node {
    double split = 0.0;
    int32_t left = -1;  // -1 in a leaf
    int32_t right = -1;
    std::vector<uint32_t> list;  // rectangle numbers, only in a leaf
  };

  static bool overlaps(const Rectangle& r, const double q_min[2], const double q_max[2]) {
    return !(r.min[0] > q_max[0] || r.min[1] > q_max[1] || q_min[0] > r.max[0] ||
             q_min[1] > r.max[1]);
  }

  std::vector<Rectangle> rectangles;
  std::vector<Node> nodes;  // nodes[0] is the root
  bool built;
  bool has_result;
  std::vector<uint32_t> result;  // ascending after a query
  size_t walk;
};

#endif
