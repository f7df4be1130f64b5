#include "io/las_kdtree_rectangles.hpp"

#include <algorithm>

namespace {
constexpr double EMPTY_MIN = 2e307;
constexpr double EMPTY_MAX = -2e307;
// A node is split only while it holds more than this many rectangles.
constexpr size_t LEAF_SIZE = 4;
// Splits in a row that separate no rectangle before a node becomes a leaf.
constexpr int MAX_FUTILE_DEPTH = 4;
}  // namespace

LASkdtreeRectangles::LASkdtreeRectangles()
    : min_x(0.0), min_y(0.0), max_x(0.0), max_y(0.0), built(false), has_result(false), walk(0) {}

LASkdtreeRectangles::~LASkdtreeRectangles() = default;

bool LASkdtreeRectangles::reset() {
  min_x = min_y = EMPTY_MIN;
  max_x = max_y = EMPTY_MAX;
  rectangles.clear();
  nodes.clear();
  built = false;
  has_result = false;
  result.clear();
  walk = 0;
  return true;
}

void LASkdtreeRectangles::add_rectangle(double r_min_x, double r_min_y, double r_max_x,
                                        double r_max_y) {
  if (r_min_x <= r_max_x) {
    if (r_min_x < min_x) min_x = r_min_x;
    if (r_max_x > max_x) max_x = r_max_x;
    if (r_min_y < min_y) min_y = r_min_y;
    if (r_max_y > max_y) max_y = r_max_y;
  }
  rectangles.push_back(Rectangle{{r_min_x, r_min_y}, {r_max_x, r_max_y}});
  if (built) {
    nodes.clear();
    built = false;
    has_result = false;
    result.clear();
  }
}

bool LASkdtreeRectangles::build_tree() {
  nodes.clear();
  built = false;
  has_result = false;
  result.clear();

  struct Work {
    int32_t node;
    double region_min[2];
    double region_max[2];
    int axis;
    int depth;
    std::vector<uint32_t> list;
  };
  Work root{0, {min_x, min_y}, {max_x, max_y}, 0, 0, {}};
  root.list.reserve(rectangles.size());
  for (uint32_t i = 0; i < rectangles.size(); i++) {
    // Entries without bounds sit in no leaf.
    if (rectangles[i].min[0] <= rectangles[i].max[0]) root.list.push_back(i);
  }
  nodes.emplace_back();
  // An explicit stack: chains of nested rectangles can make the tree deep.
  std::vector<Work> stack;
  stack.push_back(std::move(root));
  while (!stack.empty()) {
    Work w = std::move(stack.back());
    stack.pop_back();
    if (w.list.size() <= LEAF_SIZE || w.depth >= MAX_FUTILE_DEPTH) {
      nodes[w.node].list = std::move(w.list);
      continue;
    }
    const int a = w.axis;
    // The split halves the node's region, not its rectangles.
    const double split = (w.region_min[a] + w.region_max[a]) / 2;
    Work left{0, {w.region_min[0], w.region_min[1]}, {w.region_max[0], w.region_max[1]}, 1 - a, 0,
              {}};
    Work right = left;
    left.region_max[a] = split;
    right.region_min[a] = split;
    for (uint32_t i : w.list) {
      const Rectangle& r = rectangles[i];
      if (split > r.min[a]) left.list.push_back(i);
      if (split <= r.max[a]) right.list.push_back(i);
    }
    const size_t n = w.list.size();
    // A split that copies more than half of the rectangles into both children
    // counts as failing too: long overlapping rectangles (flight lines) would
    // otherwise be copied into millions of ever smaller leaves.
    const bool separates = left.list.size() + right.list.size() <= n + n / 2;
    left.depth = separates && left.list.size() < n ? 0 : w.depth + 1;
    right.depth = separates && right.list.size() < n ? 0 : w.depth + 1;
    left.node = static_cast<int32_t>(nodes.size());
    right.node = left.node + 1;
    nodes.emplace_back();
    nodes.emplace_back();
    nodes[w.node].split = split;
    nodes[w.node].left = left.node;
    nodes[w.node].right = right.node;
    stack.push_back(std::move(left));
    stack.push_back(std::move(right));
  }
  built = true;
  has_result = true;
  walk = 0;
  return true;
}

size_t LASkdtreeRectangles::get_largest_leaf() const {
  size_t largest = 0;
  for (const Node& n : nodes) largest = std::max(largest, n.list.size());
  return largest;
}

bool LASkdtreeRectangles::find_overlaps(double q_min_x, double q_min_y, double q_max_x,
                                        double q_max_y) {
  if (!built) return false;
  result.clear();
  walk = 0;
  const double q_min[2] = {q_min_x, q_min_y};
  const double q_max[2] = {q_max_x, q_max_y};
  struct Visit {
    int32_t node;
    int axis;
  };
  std::vector<Visit> stack;
  stack.push_back({0, 0});
  while (!stack.empty()) {
    const Visit v = stack.back();
    stack.pop_back();
    const Node& node = nodes[v.node];
    if (node.left < 0) {
      for (uint32_t i : node.list) {
        if (overlaps(rectangles[i], q_min, q_max)) result.push_back(i);
      }
      continue;
    }
    if (node.split > q_min[v.axis]) stack.push_back({node.left, 1 - v.axis});
    if (q_max[v.axis] >= node.split) stack.push_back({node.right, 1 - v.axis});
  }
  // A rectangle that spans a split sits in several leaves: report it once,
  // and in list order whatever order the leaves were visited in.
  std::sort(result.begin(), result.end());
  result.erase(std::unique(result.begin(), result.end()), result.end());
  return true;
}

bool LASkdtreeRectangles::restart_overlaps() {
  walk = 0;
  return has_result && !result.empty();
}

bool LASkdtreeRectangles::next_overlap(uint32_t& index) {
  if (!has_result || walk >= result.size()) return false;
  index = result[walk++];
  return true;
}
