#ifndef TALVENOR_NEW_GRID_LAS_CELL_GRID_HPP
#define TALVENOR_NEW_GRID_LAS_CELL_GRID_HPP

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "grid/las_cell_types.hpp"

class LASpoint;

// The values of a point record that the cell types read.
LAScellPoint make_cell_point(const LASpoint& point);

// One tile of 100 x 100 cells.
struct LASrasterTile {
  // Bit 31: data unchanged since it was read back; bit 30: has a slot; bits 0-29: slot.
  static constexpr uint32_t UNCHANGED = 0x80000000u;
  static constexpr uint32_t HAS_SLOT = 0x40000000u;
  static constexpr uint32_t SLOT_MASK = 0x3FFFFFFFu;

  uint32_t* data = nullptr;  // null while paged out
  uint32_t state = 0;
  uint32_t write_count = 0;
  uint32_t read_count = 0;
  LASrasterTile* next = nullptr;      // towards less recently used
  LASrasterTile* previous = nullptr;  // towards more recently used
};

// Where a tile of the grid lies: its first column and row (64 bits: the last tiles of the 32-bit
// range start beyond it). Its cells are those plus 0 to LAS_CELL_TILE_SIZE - 1.
struct LAScellTileOrigin {
  int64_t column;
  int64_t row;
};

// Unbounded raster of per-cell statistics addressed by column and row. Tiles are made on first
// use, kept within a memory budget, and the least recently used ones are paged out to unlinked
// temporary files. Failures print one "ERROR: ..." line and make add or get return false.
class LAScellGrid {
 public:
  LAScellGrid();
  ~LAScellGrid();
  LAScellGrid(const LAScellGrid&) = delete;
  LAScellGrid& operator=(const LAScellGrid&) = delete;

  // Before the first add.
  bool set_cell_type(const char* keyword);
  bool set_memory_budget(uint32_t bytes);
  // Temporary files become "<prefix><pid>.<n>.tmp" instead of "taemp<pid>.<n>.tmp".
  void set_name_prefix(const char* prefix);
  // Caps one temporary file at this many bytes (whole tiles); the default stays below 2 GiB.
  bool set_temp_file_limit(uint32_t bytes);

  void set_current_index(int32_t index) { context_.current_index = index; }
  int32_t get_current_index() const { return context_.current_index; }
  void set_step(double step_x, double step_y, double step_z);
  int32_t get_class_of_interest() const { return context_.class_of_interest; }

  // Any column and row; cells left of or below the first cell are fine.
  bool add(int32_t column, int32_t row, const LAScellPoint& point);
  bool add(int32_t column, int32_t row, const LASpoint& point) {
    return add(column, row, make_cell_point(point));
  }
  // False for a cell without value or in a tile never created; creates nothing.
  bool get(int32_t column, int32_t row, int32_t& value, int32_t selector = 0);

  // Lowest and highest column and row of all successful adds (all 0 before the first).
  void get_cell_bounds(int32_t& lowest_column, int32_t& lowest_row, int32_t& highest_column,
                       int32_t& highest_row) const;

  // Every tile made so far, by column, then row. Only their cells can hold values: walking them
  // costs what the grid holds, where walking the cell bounds costs the extent.
  std::vector<LAScellTileOrigin> get_tiles() const;

  double get_cell_center_x(const LAScellPoint& point) const;
  double get_cell_center_y(const LAScellPoint& point) const;
  double get_cell_center_z(const LAScellPoint& point) const;

  const char* get_cell_type_name() const { return type_.name; }
  uint32_t get_tile_bytes() const { return tile_bytes_; }
  uint32_t get_max_buffers() const { return max_buffers_; }
  uint32_t get_buffer_count() const { return uint32_t(data_.size()); }
  uint32_t get_tile_count() const { return uint32_t(near_tiles_.size() + far_tiles_.size()); }
  uint32_t get_near_tile_count() const { return uint32_t(near_tiles_.size()); }
  uint32_t get_far_tile_count() const { return uint32_t(far_tiles_.size()); }
  uint64_t get_write_count() const { return writes_; }
  uint64_t get_read_count() const { return reads_; }
  uint32_t get_temp_file_count() const { return uint32_t(temp_files_.size()); }
  std::string get_temp_file_name(uint32_t file_number) const;

 private:
  struct TempFile {
    FILE* file = nullptr;
    std::string name;
    bool unlinked = false;
  };

  bool first_tile(int32_t tile_x, int32_t tile_y);
  LASrasterTile* get_tile(int32_t column, int32_t row, bool create);
  LASrasterTile* find_tile(int32_t x, int32_t y);
  LASrasterTile* create_tile(int32_t x, int32_t y);
  uint32_t* obtain_buffer();
  uint32_t* reuse_buffer();
  uint32_t* take_tail_buffer();
  bool page_out(LASrasterTile* tile);
  bool page_in(LASrasterTile* tile, uint32_t* buffer);
  FILE* seek_slot(uint32_t slot, bool create_file);
  void unlink_tile(LASrasterTile* tile);
  void push_front(LASrasterTile* tile);

  LAScellContext context_;
  int32_t lowest_column_ = 0;
  int32_t lowest_row_ = 0;
  int32_t highest_column_ = 0;
  int32_t highest_row_ = 0;
  bool bounds_set_ = false;
  LAScellType type_;

  uint32_t memory_budget_ = 0x20000000u;
  uint32_t temp_file_limit_ = 2147483647u;
  uint32_t data_capacity_ = 0;
  uint32_t max_buffers_ = 0;
  std::vector<std::unique_ptr<uint32_t[]>> data_;  // every buffer ever made; freed at the end
  std::vector<uint32_t*> spare_;                   // buffers freed by a failed page-in

  bool have_tiles_ = false;
  int32_t origin_x_ = 0;
  int32_t origin_y_ = 0;
  int32_t current_x_ = INT32_MIN;
  int32_t current_y_ = INT32_MIN;
  bool current_valid_ = false;
  LASrasterTile* current_tile_ = nullptr;
  std::map<uint32_t, LASrasterTile> near_tiles_;
  std::map<uint64_t, LASrasterTile> far_tiles_;
  LASrasterTile* head_ = nullptr;
  LASrasterTile* tail_ = nullptr;

  uint32_t offsets_[LAS_CELL_MAX_COMPONENTS] = {0, 0, 0};
  uint32_t tile_bytes_ = 0;
  uint32_t tiles_per_file_ = 0;
  uint32_t next_slot_ = 0;
  std::vector<TempFile> temp_files_;
  std::string name_prefix_;
  bool has_name_prefix_ = false;
  int32_t process_id_;
  uint64_t writes_ = 0;
  uint64_t reads_ = 0;
};

#endif
