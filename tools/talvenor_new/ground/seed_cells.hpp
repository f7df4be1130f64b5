#ifndef TALVENOR_NEW_GROUND_SEED_CELLS_HPP
#define TALVENOR_NEW_GROUND_SEED_CELLS_HPP

// The lowest point of every cell of one seed grid: lowest raw Z, the earlier point on ties.
//
// A tile of the cell grid holds 10,000 cells whether one of them is used or all are: points a
// kilometre apart would each pay 81 kB per grid, and the visit of the grid would read every cell
// of every tile. So the cells start as a list of (cell, z, index) entries, sorted and reduced to
// one per cell whenever it has doubled; only when the cells fill their tiles well enough does
// the list move into a cell grid. Memory and time follow the points, however far apart they lie.

#include <cstdint>
#include <memory>
#include <vector>

#include "grid/las_cell_grid.hpp"

// A cell with a point: its column and row, the lowest raw Z and that point's index.
struct SeedCell {
  int32_t column, row;
  int32_t z;
  uint32_t index;
};

class SeedCells {
 public:
  SeedCells() = default;
  ~SeedCells();
  SeedCells(const SeedCells&) = delete;
  SeedCells& operator=(const SeedCells&) = delete;

  // Points come in rising index order. False after an "ERROR: ..." line of the grid.
  bool add(int32_t column, int32_t row, int32_t z, uint32_t index);
  // Every cell with a point once, by column, then row.
  template <class Visit>
  void visit(Visit&& visit);
  // Whether the cells have moved into a cell grid (for tests).
  bool in_grid() const { return grid_ != nullptr; }
  // Bytes held now (for tests and benchmarks).
  size_t held_bytes() const;

 private:
  struct Entry {
    uint64_t key;  // column, then row, biased so that the key sorts like the pair
    int32_t z;
    uint32_t index;
  };
  static uint64_t key_of(int32_t column, int32_t row) {
    return (uint64_t(uint32_t(column) ^ 0x80000000u) << 32) | (uint32_t(row) ^ 0x80000000u);
  }
  static int32_t column_of(uint64_t key) { return int32_t(uint32_t(key >> 32) ^ 0x80000000u); }
  static int32_t row_of(uint64_t key) { return int32_t(uint32_t(key) ^ 0x80000000u); }
  // Sorts and keeps the lowest entry of each cell; then moves them into a grid when that costs
  // no more than twice the list.
  bool reduce();
  // Tiles of the cell grid that the (reduced) entries fall into.
  size_t tile_count() const;
  bool move_into_grid();

  std::vector<Entry> entries_;
  size_t sorted_ = 0;  // the first entries, sorted and one per cell
  size_t reduce_at_ = 4096;
  std::unique_ptr<LAScellGrid> grid_;
  LAScellPoint point_;
};

template <class Visit>
void SeedCells::visit(Visit&& visit) {
  if (!grid_) {
    reduce();
    for (const Entry& e : entries_) visit(SeedCell{column_of(e.key), row_of(e.key), e.z, e.index});
    return;
  }
  // Only the tiles made hold cells: walking them costs what the grid holds, not the extent.
  const std::vector<LAScellTileOrigin> tiles = grid_->get_tiles();
  const int64_t tile = LAS_CELL_TILE_SIZE;
  for (size_t first = 0; first < tiles.size();) {
    size_t last = first;
    while (last < tiles.size() && tiles[last].column == tiles[first].column) last++;
    for (int64_t c = tiles[first].column; c < tiles[first].column + tile && c <= INT32_MAX; c++) {
      for (size_t t = first; t < last; t++) {
        for (int64_t r = tiles[t].row; r < tiles[t].row + tile && r <= INT32_MAX; r++) {
          if (c < INT32_MIN || r < INT32_MIN) continue;
          int32_t z, index;
          if (!grid_->get(int32_t(c), int32_t(r), z, 0)) continue;
          grid_->get(int32_t(c), int32_t(r), index, 1);
          visit(SeedCell{int32_t(c), int32_t(r), z, uint32_t(index)});
        }
      }
    }
    first = last;
  }
}

#endif
