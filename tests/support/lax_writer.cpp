#include "lax_writer.hpp"

#include <cstdio>
#include <cstring>
#include <map>

namespace {

void put_bytes(std::vector<uint8_t>& out, const char* bytes) {
  for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(bytes[i]));
}

void put_u32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void put_f32(std::vector<uint8_t>& out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  put_u32(out, bits);
}

}  // namespace

std::vector<uint8_t> write_lax(const LaxContent& c) {
  std::vector<uint8_t> out;
  put_bytes(out, "LASX");
  put_u32(out, c.version);
  put_bytes(out, c.spatial_signature);
  put_u32(out, c.spatial_type);
  if (c.with_lasq) {
    put_bytes(out, "LASQ");
    put_u32(out, c.quadtree_version);
  }
  put_u32(out, c.levels);
  put_u32(out, c.level_index);
  put_u32(out, c.implicit_levels);
  put_f32(out, c.min_x);
  put_f32(out, c.max_x);
  put_f32(out, c.min_y);
  put_f32(out, c.max_y);
  put_bytes(out, "LASV");
  put_u32(out, c.interval_version);
  put_u32(out, c.stored_cell_count ? *c.stored_cell_count : static_cast<uint32_t>(c.cells.size()));
  for (const LaxCell& cell : c.cells) {
    put_u32(out, static_cast<uint32_t>(cell.index));
    put_u32(out, cell.stored_interval_count ? *cell.stored_interval_count
                                            : static_cast<uint32_t>(cell.intervals.size()));
    put_u32(out, cell.npoints);
    for (const auto& run : cell.intervals) {
      put_u32(out, run.first);
      put_u32(out, run.second);
    }
  }
  return out;
}

bool write_lax_file(const std::string& path, const LaxContent& content) {
  const std::vector<uint8_t> bytes = write_lax(content);
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

uint32_t lax_level_offset(uint32_t level) {
  // (4^l - 1) / 3, the number of cells above level l.
  return static_cast<uint32_t>(((uint64_t{1} << (2 * level)) - 1) / 3);
}

LaxCellBounds lax_cell_bounds(const LaxContent& tree, uint32_t level, uint32_t level_index) {
  LaxCellBounds b{tree.min_x, tree.max_x, tree.min_y, tree.max_y, true, true};
  for (uint32_t l = 0; l < level; l++) {
    const uint32_t quadrant = (level_index >> (2 * (level - 1 - l))) & 3;
    const float mid_x = (b.min_x + b.max_x) * 0.5f;
    const float mid_y = (b.min_y + b.max_y) * 0.5f;
    if (quadrant & 1) {
      b.min_x = mid_x;
    } else {
      b.max_x = mid_x;
      b.at_max_x = false;
    }
    if (quadrant & 2) {
      b.min_y = mid_y;
    } else {
      b.max_y = mid_y;
      b.at_max_y = false;
    }
  }
  return b;
}

namespace {

struct Builder {
  const std::vector<LaxPoint>& points;
  uint32_t levels;
  uint32_t max_points;
  std::vector<uint32_t> cell_of;  // per point

  void split(uint32_t level, uint32_t level_index, float min_x, float max_x, float min_y,
             float max_y, const std::vector<uint32_t>& members) {
    if (members.empty()) return;
    if (level == levels || members.size() <= max_points) {
      for (uint32_t p : members) cell_of[p] = lax_level_offset(level) + level_index;
      return;
    }
    const float mid_x = (min_x + max_x) * 0.5f;
    const float mid_y = (min_y + max_y) * 0.5f;
    std::vector<uint32_t> quadrants[4];
    for (uint32_t p : members) {
      const uint32_t q = (points[p].x >= mid_x ? 1 : 0) | (points[p].y >= mid_y ? 2 : 0);
      quadrants[q].push_back(p);
    }
    const uint32_t child = level_index << 2;
    split(level + 1, child, min_x, mid_x, min_y, mid_y, quadrants[0]);
    split(level + 1, child + 1, mid_x, max_x, min_y, mid_y, quadrants[1]);
    split(level + 1, child + 2, min_x, mid_x, mid_y, max_y, quadrants[2]);
    split(level + 1, child + 3, mid_x, max_x, mid_y, max_y, quadrants[3]);
  }
};

}  // namespace

LaxContent build_lax(const std::vector<LaxPoint>& points, float min_x, float max_x, float min_y,
                     float max_y, uint32_t levels, uint32_t max_points_per_cell) {
  LaxContent content;
  content.levels = levels;
  content.min_x = min_x;
  content.max_x = max_x;
  content.min_y = min_y;
  content.max_y = max_y;
  Builder builder{points, levels, max_points_per_cell, std::vector<uint32_t>(points.size(), 0)};
  std::vector<uint32_t> all(points.size());
  for (uint32_t i = 0; i < points.size(); i++) all[i] = i;
  builder.split(0, 0, min_x, max_x, min_y, max_y, all);
  std::map<uint32_t, LaxCell> cells;
  for (uint32_t i = 0; i < points.size(); i++) {
    LaxCell& cell = cells[builder.cell_of[i]];
    cell.index = static_cast<int32_t>(builder.cell_of[i]);
    cell.npoints++;
    if (!cell.intervals.empty() && cell.intervals.back().second + 1 == i) {
      cell.intervals.back().second = i;
    } else {
      cell.intervals.push_back({i, i});
    }
  }
  for (auto& entry : cells) content.cells.push_back(entry.second);
  return content;
}
