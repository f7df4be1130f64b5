#ifndef TALVENOR_NEW_GRID_LAS_CELL_TYPES_HPP
#define TALVENOR_NEW_GRID_LAS_CELL_TYPES_HPP

#include <cstdint>

// The point values that a cell type can read. Filled by the caller from its point record;
// X, Y, Z are the raw quantized integers and coordinate = raw * scale + offset.
struct LAScellPoint {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Z = 0;
  uint16_t intensity = 0;
  uint8_t return_number = 1;      // legacy 3-bit field
  uint8_t number_of_returns = 1;  // legacy 3-bit field
  uint8_t classification = 0;     // legacy byte, class in the low 5 bits
  uint8_t extended_classification = 0;
  int8_t scan_angle_rank = 0;
  uint8_t user_data = 0;
  uint16_t point_source_ID = 0;
  double gps_time = 0.0;
  uint16_t rgb[3] = {0, 0, 0};
  double scale[3] = {0.01, 0.01, 0.01};
  double offset[3] = {0.0, 0.0, 0.0};

  double get_x() const { return X * scale[0] + offset[0]; }
  double get_y() const { return Y * scale[1] + offset[1]; }
  double get_z() const { return Z * scale[2] + offset[2]; }
};

// Grid state that some cell types read while adding a point.
struct LAScellContext {
  int32_t current_index = 0;
  int32_t class_of_interest = 0;
  double step_x = 1.0;
  double step_y = 1.0;
  double step_z = 1.0;
};

// One cell inside a tile buffer: component i starts at data + offset[i]; k = column + 100 * row.
struct LAScell {
  uint8_t* data;
  const uint32_t* offset;
  uint32_t k;
};

using LAScellAddFunction = void (*)(const LAScell& cell, const LAScellPoint& point,
                                    const LAScellContext& context);
// True with the cell's value; results of single precision come as their bit pattern.
using LAScellGetFunction = bool (*)(const LAScell& cell, int32_t& value, int32_t selector);

constexpr int LAS_CELL_MAX_COMPONENTS = 3;

struct LAScellType {
  const char* name;
  LAScellAddFunction add;
  LAScellGetFunction get;
  uint32_t components[LAS_CELL_MAX_COMPONENTS + 1];  // bits per cell, ended by 0
};

// Chooses the cell type that a keyword names (substring tests, first family and first
// modifier win). Sets class_of_interest only for the class quotient types.
bool find_cell_type(const char* keyword, LAScellType& type, int32_t& class_of_interest);

constexpr uint32_t LAS_CELL_TILE_SIZE = 100;
constexpr uint32_t LAS_CELL_TILE_CELLS = LAS_CELL_TILE_SIZE * LAS_CELL_TILE_SIZE;

// Bytes of one component of a tile: 10,000 cells of `bits`, padded to whole 32-bit words.
inline uint32_t cell_component_bytes(uint32_t bits) {
  return ((LAS_CELL_TILE_CELLS * bits - 1) / 32) * 4 + 4;
}

// Centre of the cell of size step that holds the coordinate.
double cell_center(double coordinate, double step);
// As cell_center, but 0 when the z step is the "no z" marker 2e307.
double cell_center_z(double coordinate, double step);

#endif
