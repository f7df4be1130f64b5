#include "io/las_quadtree.hpp"

#include <cstdio>
#include <cstring>

#include "core/byte_stream_in.hpp"

namespace {

// Reads one little-endian 32-bit field (an integer or a float), printing the
// field's message on failure.
template <class Field>
bool read_32(ByteStreamIn* stream, Field& value, const char* field) {
  try {
    stream->read_u32_le(&value);
    return true;
  } catch (...) {
    fprintf(stderr, "ERROR (LASquadtree): reading %s\n", field);
    return false;
  }
}

bool read_signature(ByteStreamIn* stream, char signature[5], const char* what) {
  std::memset(signature, 0, 5);
  try {
    stream->read_bytes(reinterpret_cast<uint8_t*>(signature), 4);
    return true;
  } catch (...) {
    fprintf(stderr, "ERROR (LASquadtree): reading %s\n", what);
    return false;
  }
}

}  // namespace

LASquadtree::LASquadtree()
    : levels(0),
      min_x(0.0f),
      max_x(0.0f),
      min_y(0.0f),
      max_y(0.0f),
      current_cell(0),
      next_found(0) {
  // Wraps on purpose: (2^i)^2 is 0 in 32 bits from i = 16 on, so the entries
  // from 17 on repeat level_offset[16]. Levels past 15 are refused on reading.
  level_offset[0] = 0;
  for (uint32_t i = 0; i < 23; i++) {
    const uint32_t side = 1u << i;
    level_offset[i + 1] = level_offset[i] + side * side;
  }
}

LASquadtree::~LASquadtree() = default;

bool LASquadtree::read(ByteStreamIn* stream) {
  char signature[5];
  if (!read_signature(stream, signature, "LASspatial signature")) return false;
  if (std::strncmp(signature, "LASS", 4) != 0) {
    fprintf(stderr, "ERROR (LASquadtree): wrong LASspatial signature %4s instead of 'LASS'\n",
            signature);
    return false;
  }
  uint32_t type;
  if (!read_32(stream, type, "LASspatial type")) return false;
  if (type != 0) {
    fprintf(stderr, "ERROR (LASquadtree): unknown LASspatial type %u\n", type);
    return false;
  }
  if (!read_signature(stream, signature, "signature")) return false;
  if (std::strncmp(signature, "LASQ", 4) == 0) {
    uint32_t version;
    if (!read_32(stream, version, "version")) return false;
    if (!read_32(stream, levels, "levels")) return false;
  } else {
    // The older layout has no "LASQ" and no version: these bytes are the levels.
    std::memcpy(&levels, signature, 4);
  }
  if (levels > MAX_LEVELS) {
    fprintf(stderr, "ERROR (LASquadtree): %u levels are more than the %u that cells can number\n",
            levels, MAX_LEVELS);
    levels = 0;
    return false;
  }
  uint32_t level_index, implicit_levels;
  if (!read_32(stream, level_index, "level_index")) return false;
  if (!read_32(stream, implicit_levels, "implicit_levels")) return false;
  if (!read_32(stream, min_x, "min_x")) return false;
  if (!read_32(stream, max_x, "max_x")) return false;
  if (!read_32(stream, min_y, "min_y")) return false;
  if (!read_32(stream, max_y, "max_y")) return false;
  return true;
}

uint32_t LASquadtree::get_level(uint32_t cell_index) const {
  uint32_t level = 0;
  while (level < 23 && cell_index >= level_offset[level + 1]) level++;
  return level;
}

bool LASquadtree::manage_cell(uint32_t cell_index) {
  const uint32_t depth = levels < MAX_LEVELS ? levels : MAX_LEVELS;
  if (cell_index >= level_offset[depth + 1]) return false;
  const uint32_t word = cell_index >> 5;
  if (word >= adaptive.size()) {
    // Double as the cells arrive, but never past the words that the tree's
    // own cells can use.
    const size_t most = (level_offset[depth + 1] >> 5) + 1;
    size_t words = adaptive.empty() ? word + 1 : 2 * static_cast<size_t>(word);
    if (words > most) words = most;
    adaptive.resize(words, 0);
  }
  adaptive[word] &= ~(1u << (cell_index & 31));
  uint32_t level = get_level(cell_index);
  uint32_t level_index = get_level_index(cell_index, level);
  while (level > 0) {
    level--;
    level_index >>= 2;
    const uint32_t parent = level_offset[level] + level_index;
    const uint32_t parent_word = parent >> 5;
    const uint32_t parent_bit = 1u << (parent & 31);
    if (adaptive[parent_word] & parent_bit) break;
    adaptive[parent_word] |= parent_bit;
  }
  return true;
}

void LASquadtree::clear_found() {
  found.clear();
  next_found = 0;
}

bool LASquadtree::circle_reaches(const Circle& c, float cell_min_x, float cell_max_x,
                                 float cell_min_y, float cell_max_y) {
  double dx = 0.0, dy = 0.0;
  bool has_dx = false, has_dy = false;
  if (c.center_x > cell_max_x) {
    dx = c.center_x - cell_max_x;
    has_dx = true;
  } else if (c.center_x < cell_min_x) {
    dx = cell_min_x - c.center_x;
    has_dx = true;
  }
  if (c.center_y > cell_max_y) {
    dy = c.center_y - cell_max_y;
    has_dy = true;
  } else if (c.center_y < cell_min_y) {
    dy = cell_min_y - c.center_y;
    has_dy = true;
  }
  if (has_dx && has_dy) return c.radius_squared > dx * dx + dy * dy;
  if (has_dx) return c.radius > dx;
  if (has_dy) return c.radius > dy;
  return true;
}

// T is double for rectangles and circles (the query in double precision
// against the float cell bounds) and float for tiles.
template <class T>
void LASquadtree::intersect_box(T r_min_x, T r_min_y, T r_max_x, T r_max_y, uint32_t stop_level,
                                uint32_t level, uint32_t level_index, float cell_min_x,
                                float cell_max_x, float cell_min_y, float cell_max_y,
                                const Circle* circle) {
  bool split;
  uint32_t stored;
  if (adaptive.empty()) {
    split = level < stop_level;
    stored = level_index;
  } else {
    stored = level_offset[level] + level_index;
    split = level < stop_level && is_subdivided(stored);
  }
  if (!split) {
    if (circle == nullptr ||
        circle_reaches(*circle, cell_min_x, cell_max_x, cell_min_y, cell_max_y)) {
      found.push_back(stored);
    }
    return;
  }
  const float mid_x = (cell_min_x + cell_max_x) * 0.5f;
  const float mid_y = (cell_min_y + cell_max_y) * 0.5f;
  // An edge exactly on a midpoint reaches only the half above (lower edge) or
  // below (upper edge) it.
  const bool high_x = r_max_x > mid_x;
  const bool low_x = r_max_x <= mid_x || r_min_x < mid_x;
  const bool high_y = r_max_y > mid_y;
  const bool low_y = r_max_y <= mid_y || r_min_y < mid_y;
  const uint32_t child = level_index << 2;
  if (low_y) {
    if (low_x) {
      intersect_box(r_min_x, r_min_y, r_max_x, r_max_y, stop_level, level + 1, child, cell_min_x,
                    mid_x, cell_min_y, mid_y, circle);
    }
    if (high_x) {
      intersect_box(r_min_x, r_min_y, r_max_x, r_max_y, stop_level, level + 1, child + 1, mid_x,
                    cell_max_x, cell_min_y, mid_y, circle);
    }
  }
  if (high_y) {
    if (low_x) {
      intersect_box(r_min_x, r_min_y, r_max_x, r_max_y, stop_level, level + 1, child + 2,
                    cell_min_x, mid_x, mid_y, cell_max_y, circle);
    }
    if (high_x) {
      intersect_box(r_min_x, r_min_y, r_max_x, r_max_y, stop_level, level + 1, child + 3, mid_x,
                    cell_max_x, mid_y, cell_max_y, circle);
    }
  }
}

uint32_t LASquadtree::intersect_rectangle(double r_min_x, double r_min_y, double r_max_x,
                                          double r_max_y) {
  return intersect_rectangle(r_min_x, r_min_y, r_max_x, r_max_y, levels);
}

uint32_t LASquadtree::intersect_rectangle(double r_min_x, double r_min_y, double r_max_x,
                                          double r_max_y, uint32_t stop_level) {
  clear_found();
  if (r_max_x <= min_x || r_min_x > max_x || r_max_y <= min_y || r_min_y > max_y) return 0;
  if (stop_level > MAX_LEVELS) stop_level = MAX_LEVELS;
  intersect_box(r_min_x, r_min_y, r_max_x, r_max_y, stop_level, 0, 0, min_x, max_x, min_y, max_y,
                nullptr);
  return static_cast<uint32_t>(found.size());
}

uint32_t LASquadtree::intersect_tile(float ll_x, float ll_y, float size) {
  return intersect_tile(ll_x, ll_y, size, levels);
}

uint32_t LASquadtree::intersect_tile(float ll_x, float ll_y, float size, uint32_t stop_level) {
  clear_found();
  const float ur_x = ll_x + size;
  const float ur_y = ll_y + size;
  if (min_x >= ur_x || ll_x > max_x || ur_y <= min_y || ll_y > max_y) return 0;
  if (stop_level > MAX_LEVELS) stop_level = MAX_LEVELS;
  intersect_box(ll_x, ll_y, ur_x, ur_y, stop_level, 0, 0, min_x, max_x, min_y, max_y, nullptr);
  return static_cast<uint32_t>(found.size());
}

uint32_t LASquadtree::intersect_circle(double center_x, double center_y, double radius) {
  return intersect_circle(center_x, center_y, radius, levels);
}

uint32_t LASquadtree::intersect_circle(double center_x, double center_y, double radius,
                                       uint32_t stop_level) {
  clear_found();
  if (min_x >= center_x + radius || center_x - radius > max_x || center_y + radius <= min_y ||
      center_y - radius > max_y) {
    return 0;
  }
  if (stop_level > MAX_LEVELS) stop_level = MAX_LEVELS;
  const Circle circle{center_x, center_y, radius, radius * radius};
  intersect_box(center_x - radius, center_y - radius, center_x + radius, center_y + radius,
                stop_level, 0, 0, min_x, max_x, min_y, max_y, &circle);
  return static_cast<uint32_t>(found.size());
}

bool LASquadtree::get_intersected_cells() {
  next_found = 0;
  return !found.empty();
}

bool LASquadtree::has_more_cells() {
  if (next_found >= found.size()) return false;
  if (adaptive.empty()) {
    current_cell = level_offset[levels < MAX_LEVELS ? levels : MAX_LEVELS] + found[next_found];
  } else {
    current_cell = found[next_found];
  }
  next_found++;
  return true;
}
