#include "grid/las_cell_grid.hpp"

#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <new>

#include "core/las_point.hpp"
#include "platform/process.hpp"

namespace {

constexpr int32_t kTile = int32_t(LAS_CELL_TILE_SIZE);

// Floor division and a non-negative remainder, so that columns and rows left of or below zero
// land in the tile that holds them rather than at negative offsets inside the next one.
inline int32_t tile_of(int32_t v) {
  return v / kTile - ((v % kTile) < 0 ? 1 : 0);
}

inline uint32_t cell_of(int32_t v) {
  const int32_t r = v % kTile;
  return uint32_t(r < 0 ? r + kTile : r);
}

inline bool is_near(int32_t x, int32_t y) {
  return x >= -32768 && x <= 32767 && y >= -32768 && y <= 32767;
}

}  // namespace

LAScellPoint make_cell_point(const LASpoint& point) {
  LAScellPoint p;
  p.X = point.X;
  p.Y = point.Y;
  p.Z = point.Z;
  p.intensity = point.intensity;
  p.return_number = point.get_return_number();
  p.number_of_returns = point.get_number_of_returns();
  p.classification = point.get_classification();
  p.extended_classification = point.extended_classification;
  p.scan_angle_rank = point.scan_angle_rank;
  p.user_data = point.user_data;
  p.point_source_ID = point.point_source_ID;
  p.gps_time = point.gps_time;
  for (int i = 0; i < 3; ++i) p.rgb[i] = point.rgb[i];
  if (const LASscaler* q = point.quantizer) {
    p.scale[0] = q->x_scale_factor;
    p.scale[1] = q->y_scale_factor;
    p.scale[2] = q->z_scale_factor;
    p.offset[0] = q->x_offset;
    p.offset[1] = q->y_offset;
    p.offset[2] = q->z_offset;
  }
  return p;
}

LAScellGrid::LAScellGrid() : process_id_(current_process_id()) {
  int32_t unused = 0;
  find_cell_type("elevation", type_, unused);
}

LAScellGrid::~LAScellGrid() {
  for (TempFile& t : temp_files_) {
    if (t.file) fclose(t.file);
    if (t.file && !t.unlinked) remove(t.name.c_str());
  }
}

bool LAScellGrid::set_cell_type(const char* keyword) {
  if (have_tiles_) {
    fprintf(stderr, "ERROR: cannot change the cell type after the first add\n");
    return false;
  }
  LAScellType type;
  int32_t class_of_interest = context_.class_of_interest;
  if (!find_cell_type(keyword, type, class_of_interest)) return false;
  type_ = type;
  context_.class_of_interest = class_of_interest;
  return true;
}

bool LAScellGrid::set_memory_budget(uint32_t bytes) {
  if (have_tiles_) return false;
  memory_budget_ = bytes;
  return true;
}

void LAScellGrid::set_name_prefix(const char* prefix) {
  has_name_prefix_ = prefix != nullptr;
  name_prefix_ = prefix ? prefix : "";
}

bool LAScellGrid::set_temp_file_limit(uint32_t bytes) {
  if (have_tiles_) return false;
  temp_file_limit_ = bytes;
  return true;
}

void LAScellGrid::set_step(double step_x, double step_y, double step_z) {
  context_.step_x = step_x;
  context_.step_y = step_y;
  context_.step_z = step_z;
}

std::string LAScellGrid::get_temp_file_name(uint32_t file_number) const {
  char name[64];
  if (has_name_prefix_) {
    std::string out(name_prefix_.size() + sizeof(name), '\0');
    const int n = snprintf(&out[0], out.size(), "%s%d.%d.tmp", name_prefix_.c_str(), process_id_,
                           int(file_number));
    out.resize(size_t(n));
    return out;
  }
  snprintf(name, sizeof(name), "taemp%d.%d.tmp", process_id_, int(file_number));
  return name;
}

bool LAScellGrid::add(int32_t column, int32_t row, const LAScellPoint& point) {
  LASrasterTile* tile = get_tile(column, row, true);
  if (!tile) {
    fprintf(stderr, "ERROR: cannot get tile (%d/%d)\n", column, row);
    return false;
  }
  tile->state &= ~LASrasterTile::UNCHANGED;
  const LAScell cell{reinterpret_cast<uint8_t*>(tile->data), offsets_,
                     cell_of(column) + LAS_CELL_TILE_SIZE * cell_of(row)};
  type_.add(cell, point, context_);
  if (!bounds_set_) {
    lowest_column_ = highest_column_ = column;
    lowest_row_ = highest_row_ = row;
    bounds_set_ = true;
  } else {
    lowest_column_ = std::min(lowest_column_, column);
    highest_column_ = std::max(highest_column_, column);
    lowest_row_ = std::min(lowest_row_, row);
    highest_row_ = std::max(highest_row_, row);
  }
  return true;
}

bool LAScellGrid::get(int32_t column, int32_t row, int32_t& value, int32_t selector) {
  LASrasterTile* tile = get_tile(column, row, false);
  if (!tile) return false;
  const LAScell cell{reinterpret_cast<uint8_t*>(tile->data), offsets_,
                     cell_of(column) + LAS_CELL_TILE_SIZE * cell_of(row)};
  return type_.get(cell, value, selector);
}

void LAScellGrid::get_cell_bounds(int32_t& lowest_column, int32_t& lowest_row,
                                  int32_t& highest_column, int32_t& highest_row) const {
  lowest_column = lowest_column_;
  lowest_row = lowest_row_;
  highest_column = highest_column_;
  highest_row = highest_row_;
}

std::vector<LAScellTileOrigin> LAScellGrid::get_tiles() const {
  std::vector<LAScellTileOrigin> tiles;
  tiles.reserve(near_tiles_.size() + far_tiles_.size());
  auto add = [&](int64_t x, int64_t y) {
    tiles.push_back({(origin_x_ + x) * kTile, (origin_y_ + y) * kTile});
  };
  for (const auto& entry : near_tiles_) {
    add(int16_t(entry.first >> 16), int16_t(entry.first & 0xFFFFu));
  }
  for (const auto& entry : far_tiles_) {
    add(int32_t(uint32_t(entry.first >> 32)), int32_t(uint32_t(entry.first)));
  }
  std::sort(tiles.begin(), tiles.end(), [](const LAScellTileOrigin& a, const LAScellTileOrigin& b) {
    return a.column != b.column ? a.column < b.column : a.row < b.row;
  });
  return tiles;
}

double LAScellGrid::get_cell_center_x(const LAScellPoint& point) const {
  return cell_center(point.get_x(), context_.step_x);
}

double LAScellGrid::get_cell_center_y(const LAScellPoint& point) const {
  return cell_center(point.get_y(), context_.step_y);
}

double LAScellGrid::get_cell_center_z(const LAScellPoint& point) const {
  return cell_center_z(point.get_z(), context_.step_z);
}

// The first tile fixes the origin and turns the component widths into the tile layout.
bool LAScellGrid::first_tile(int32_t tile_x, int32_t tile_y) {
  uint32_t offset = 0;
  for (int i = 0; i < LAS_CELL_MAX_COMPONENTS && type_.components[i]; ++i) {
    offsets_[i] = offset;
    offset += cell_component_bytes(type_.components[i]);
  }
  tile_bytes_ = offset;
  // At least one buffer, however small the budget, or nothing could ever be paged in.
  max_buffers_ = std::max(memory_budget_ / tile_bytes_, 1u);
  tiles_per_file_ = std::max(temp_file_limit_ / tile_bytes_, 1u);
  const uint32_t capacity = std::min(64u, max_buffers_);
  try {
    data_.reserve(capacity);
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "ERROR: cannot alloc pointer array 'data' to size %u\n", capacity);
    return false;
  }
  data_capacity_ = capacity;
  origin_x_ = tile_x;
  origin_y_ = tile_y;
  have_tiles_ = true;
  return true;
}

LASrasterTile* LAScellGrid::get_tile(int32_t column, int32_t row, bool create) {
  const int32_t tile_x = tile_of(column);
  const int32_t tile_y = tile_of(row);
  if (!have_tiles_ && (!create || !first_tile(tile_x, tile_y))) return nullptr;
  const int32_t x = tile_x - origin_x_;
  const int32_t y = tile_y - origin_y_;
  if (x == current_x_ && y == current_y_) {
    if (current_valid_) return current_tile_;
    if (!create) return nullptr;  // known to be absent
  }
  current_x_ = x;
  current_y_ = y;
  current_valid_ = false;
  LASrasterTile* tile = find_tile(x, y);
  if (!tile) {
    if (!create) return nullptr;
    tile = create_tile(x, y);
  } else if (tile != head_) {
    if (tile->data) {
      unlink_tile(tile);
    } else {
      uint32_t* buffer = reuse_buffer();
      if (buffer && !page_in(tile, buffer)) {
        spare_.push_back(buffer);
        buffer = nullptr;
      }
      if (!buffer) tile = nullptr;
    }
  }
  if (!tile) {
    // The tile may exist, so the coordinates must not stand for "absent".
    current_x_ = current_y_ = INT32_MIN;
    return nullptr;
  }
  if (tile != head_) push_front(tile);
  current_tile_ = tile;
  current_valid_ = true;
  return tile;
}

LASrasterTile* LAScellGrid::find_tile(int32_t x, int32_t y) {
  if (is_near(x, y)) {
    auto it = near_tiles_.find((uint32_t(x) << 16) | (uint32_t(y) & 0xFFFFu));
    return it == near_tiles_.end() ? nullptr : &it->second;
  }
  auto it = far_tiles_.find((uint64_t(uint32_t(x)) << 32) | uint32_t(y));
  return it == far_tiles_.end() ? nullptr : &it->second;
}

LASrasterTile* LAScellGrid::create_tile(int32_t x, int32_t y) {
  uint32_t* buffer = obtain_buffer();
  if (!buffer) return nullptr;
  LASrasterTile* tile;
  try {
    if (is_near(x, y)) {
      tile = &near_tiles_[(uint32_t(x) << 16) | (uint32_t(y) & 0xFFFFu)];
    } else {
      tile = &far_tiles_[(uint64_t(uint32_t(x)) << 32) | uint32_t(y)];
    }
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "ERROR: cannot alloc LASrasterTile\n");
    spare_.push_back(buffer);
    return nullptr;
  }
  std::memset(buffer, 0, tile_bytes_);
  tile->data = buffer;
  return tile;
}

// A buffer for a paged-out tile: one left by a failed page-in, else the tail's.
uint32_t* LAScellGrid::reuse_buffer() {
  if (spare_.empty()) return take_tail_buffer();
  uint32_t* buffer = spare_.back();
  spare_.pop_back();
  return buffer;
}

uint32_t* LAScellGrid::obtain_buffer() {
  if (!spare_.empty() || data_.size() >= max_buffers_) return reuse_buffer();
  const uint32_t number = uint32_t(data_.size());
  if (number == data_capacity_) {
    const uint32_t capacity = std::min(2 * data_capacity_, max_buffers_);
    try {
      data_.reserve(capacity);
    } catch (const std::bad_alloc&) {
      fprintf(stderr, "ERROR: cannot realloc pointer array 'data' to size %u\n", capacity);
      return nullptr;
    }
    data_capacity_ = capacity;
  }
  uint32_t* buffer = new (std::nothrow) uint32_t[tile_bytes_ / 4];
  if (!buffer) {
    fprintf(stderr, "ERROR: cannot alloc data[%u] with size %u\n", number, tile_bytes_);
    return nullptr;
  }
  data_.emplace_back(buffer);
  return buffer;
}

// Evicts the least recently used tile; it keeps its data when it cannot be saved.
uint32_t* LAScellGrid::take_tail_buffer() {
  LASrasterTile* tail = tail_;
  if (!tail) {
    fprintf(stderr, "ERROR: no tile in memory to page out\n");
    return nullptr;
  }
  if (!page_out(tail)) return nullptr;
  unlink_tile(tail);
  uint32_t* buffer = tail->data;
  tail->data = nullptr;
  return buffer;
}

bool LAScellGrid::page_out(LASrasterTile* tile) {
  if (tile->state & LASrasterTile::UNCHANGED) return true;
  if (!(tile->state & LASrasterTile::HAS_SLOT)) {
    if (next_slot_ > LASrasterTile::SLOT_MASK) {
      fprintf(stderr, "ERROR: no tile slot left in the temporary files\n");
      return false;
    }
    tile->state |= LASrasterTile::HAS_SLOT | next_slot_;
    ++next_slot_;
  }
  const uint32_t slot = tile->state & LASrasterTile::SLOT_MASK;
  FILE* file = seek_slot(slot, true);
  if (!file) return false;
  if (fwrite(tile->data, 1, tile_bytes_, file) != tile_bytes_) {
    clearerr(file);
    fprintf(stderr, "ERROR: cannot write tile to temporary file '%s'\n",
            temp_files_[slot / tiles_per_file_].name.c_str());
    return false;
  }
  ++tile->write_count;
  ++writes_;
  return true;
}

bool LAScellGrid::page_in(LASrasterTile* tile, uint32_t* buffer) {
  const uint32_t slot = tile->state & LASrasterTile::SLOT_MASK;
  FILE* file = (tile->state & LASrasterTile::HAS_SLOT) ? seek_slot(slot, false) : nullptr;
  if (!file) return false;
  if (fread(buffer, 1, tile_bytes_, file) != tile_bytes_) {
    clearerr(file);
    fprintf(stderr, "ERROR: cannot read tile from temporary file '%s'\n",
            temp_files_[slot / tiles_per_file_].name.c_str());
    return false;
  }
  tile->data = buffer;
  tile->state |= LASrasterTile::UNCHANGED;
  ++tile->read_count;
  ++reads_;
  return true;
}

// Opens the slot's file when needed and positions it at the slot.
FILE* LAScellGrid::seek_slot(uint32_t slot, bool create_file) {
  const uint32_t number = slot / tiles_per_file_;
  if (number >= temp_files_.size()) {
    if (!create_file) {
      fprintf(stderr, "ERROR: temporary file %u was never written\n", number);
      return nullptr;
    }
    temp_files_.resize(number + 1);
  }
  TempFile& temp = temp_files_[number];
  if (!temp.file) {
    if (!create_file) {
      fprintf(stderr, "ERROR: temporary file %u was never written\n", number);
      return nullptr;
    }
    temp.name = get_temp_file_name(number);
    temp.file = fopen(temp.name.c_str(), "w+b");
    if (!temp.file) {
      fprintf(stderr, "ERROR: cannot open temporary file '%s'\n", temp.name.c_str());
      return nullptr;
    }
    // Whole tiles move in one call, so stdio buffering would only copy them twice.
    setvbuf(temp.file, nullptr, _IONBF, 0);
    // Unlinked at once, the file vanishes with the process however the run ends.
    temp.unlinked = unlink(temp.name.c_str()) == 0;
  }
  const off_t position = off_t(slot % tiles_per_file_) * off_t(tile_bytes_);
  if (fseeko(temp.file, position, SEEK_SET) != 0) {
    fprintf(stderr, "ERROR: cannot seek to %" PRId64 " in temporary file '%s'\n", int64_t(position),
            temp.name.c_str());
    return nullptr;
  }
  return temp.file;
}

void LAScellGrid::unlink_tile(LASrasterTile* tile) {
  if (tile->previous) {
    tile->previous->next = tile->next;
  } else {
    head_ = tile->next;
  }
  if (tile->next) {
    tile->next->previous = tile->previous;
  } else {
    tail_ = tile->previous;
  }
  tile->next = tile->previous = nullptr;
}

void LAScellGrid::push_front(LASrasterTile* tile) {
  tile->previous = nullptr;
  tile->next = head_;
  if (head_) head_->previous = tile;
  head_ = tile;
  if (!tail_) tail_ = tile;
}
