#include "ground/seed_cells.hpp"

#include <algorithm>

namespace {

constexpr int32_t kTile = int32_t(LAS_CELL_TILE_SIZE);

int32_t tile_of(int32_t v) {
  return v / kTile - ((v % kTile) < 0 ? 1 : 0);
}

// Bytes of one tile of the "elevation lowest index" type: raw Z, index and presence.
uint64_t tile_bytes() {
  return uint64_t(cell_component_bytes(32)) * 2 + cell_component_bytes(1);
}

}  // namespace

SeedCells::~SeedCells() = default;

bool SeedCells::add(int32_t column, int32_t row, int32_t z, uint32_t index) {
  if (grid_) {
    grid_->set_current_index(int32_t(index));
    point_.Z = z;
    return grid_->add(column, row, point_);
  }
  entries_.push_back(Entry{key_of(column, row), z, index});
  return entries_.size() < reduce_at_ || reduce();
}

bool SeedCells::reduce() {
  // Lowest Z first within a cell, the earlier point on ties, as the grid keeps them.
  auto before = [](const Entry& a, const Entry& b) {
    if (a.key != b.key) return a.key < b.key;
    return a.z != b.z ? a.z < b.z : a.index < b.index;
  };
  // The entries up to sorted_ are in order already: only the newer ones are sorted, then merged.
  const auto newer = entries_.begin() + std::ptrdiff_t(std::min(sorted_, entries_.size()));
  std::sort(newer, entries_.end(), before);
  std::inplace_merge(entries_.begin(), newer, entries_.end(), before);
  entries_.erase(std::unique(entries_.begin(), entries_.end(),
                             [](const Entry& a, const Entry& b) { return a.key == b.key; }),
                 entries_.end());
  sorted_ = entries_.size();
  if (2 * uint64_t(entries_.size()) * sizeof(Entry) >= uint64_t(tile_count()) * tile_bytes()) {
    return move_into_grid();
  }
  reduce_at_ = std::max<size_t>(reduce_at_, 2 * entries_.size());
  return true;
}

size_t SeedCells::tile_count() const {
  // The entries run by column, so by tile column: the tile rows are told apart within each run.
  size_t count = 0;
  std::vector<int32_t> rows;
  for (size_t first = 0; first < entries_.size();) {
    const int32_t tile_column = tile_of(column_of(entries_[first].key));
    rows.clear();
    size_t last = first;
    for (; last < entries_.size() && tile_of(column_of(entries_[last].key)) == tile_column;
         last++) {
      const int32_t tile_row = tile_of(row_of(entries_[last].key));
      if (rows.empty() || rows.back() != tile_row) rows.push_back(tile_row);
    }
    std::sort(rows.begin(), rows.end());
    count += size_t(std::unique(rows.begin(), rows.end()) - rows.begin());
    first = last;
  }
  return count;
}

bool SeedCells::move_into_grid() {
  grid_ = std::make_unique<LAScellGrid>();
  if (!grid_->set_cell_type("elevation lowest index")) return false;
  std::vector<Entry> entries;
  entries.swap(entries_);
  for (const Entry& e : entries) {
    if (!add(column_of(e.key), row_of(e.key), e.z, e.index)) return false;
  }
  return true;
}

size_t SeedCells::held_bytes() const {
  size_t bytes = entries_.capacity() * sizeof(Entry);
  if (grid_) bytes += size_t(grid_->get_buffer_count()) * grid_->get_tile_bytes();
  return bytes;
}
