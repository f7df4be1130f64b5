#include "core/las_reader.hpp"

#include <cstdarg>
#include <cstdio>

#include "filter/las_filter.hpp"
#include "filter/las_transform.hpp"
#include "io/las_index.hpp"
#include "platform/run_messages.hpp"

LASreader::LASreader() : read_point_fn(&LASreader::read_plain), area_step(&LASreader::read_plain) {}

LASreader::~LASreader() {
  set_index(nullptr);
  // Only the reader that applied the transform reports it; the readers
  // that wrap it merely answer for it.
  if (transform && (read_point_fn == &LASreader::read_transformed ||
                    read_point_fn == &LASreader::read_filtered_transformed)) {
    transform->report_overflows();
  }
  point.reset();
  header.reset();
}

void LASreader::set_index(LASindex* new_index) {
  if (index != new_index) delete index;
  index = new_index;
}

void LASreader::attach_filter(LASfilter* f) {
  filter = f;
  choose_read_chain();
}

void LASreader::attach_transform(LAStransform* t) {
  transform = t;
  choose_read_chain();
}

// Attaching a filter or transform keeps an area chosen before: the area step
// stays innermost whatever the order of the calls.
void LASreader::choose_read_chain() {
  read_inner = area_step;
  if (filter && transform) {
    read_point_fn = &LASreader::read_filtered_transformed;
  } else if (transform) {
    read_point_fn = &LASreader::read_transformed;
  } else if (filter) {
    read_point_fn = &LASreader::read_filtered;
  } else {
    read_point_fn = area_step;
  }
}

void LASreader::quantize_header_bounds() {
  struct Bound {
    double* value;
    const char* name;
    char axis;
    double scale, offset;
  };
  const Bound bounds[6] = {
      {&header.min_x, "min_x", 'x', header.x_scale_factor, header.x_offset},
      {&header.max_x, "max_x", 'x', header.x_scale_factor, header.x_offset},
      {&header.min_y, "min_y", 'y', header.y_scale_factor, header.y_offset},
      {&header.max_y, "max_y", 'y', header.y_scale_factor, header.y_offset},
      {&header.min_z, "min_z", 'z', header.z_scale_factor, header.z_offset},
      {&header.max_z, "max_z", 'z', header.z_scale_factor, header.z_offset}};
  for (const Bound& b : bounds) {
    const double q = (*b.value - b.offset) / b.scale;
    // Clamped like every quantized coordinate, so a bound beyond the 32-bit
    // range cannot overflow the conversion.
    const int64_t n = LASscaler::clamp32(las_round_i64(q));
    const double snapped = static_cast<double>(n) * b.scale + b.offset;
    if ((*b.value > 0) == (snapped > 0)) {
      *b.value = snapped;
    } else {
      print_note("WARNING: quantization sign flip for %s from %g to %g.\n", b.name, *b.value,
                 snapped);
      print_note("         set scale factor for %c coarser than %g with '-rescale'\n", b.axis,
                 b.scale);
    }
  }
}

bool LASreader::limit_none() {
  if (inside != kInsideNone) {
    header.min_x = orig_min_x;
    header.min_y = orig_min_y;
    header.max_x = orig_max_x;
    header.max_y = orig_max_y;
    inside = kInsideNone;
  }
  area_step = &LASreader::read_plain;
  choose_read_chain();
  return true;
}

void LASreader::replace_bounds(double min_x, double min_y, double max_x, double max_y) {
  // Only the first area saves the box, so that clearing any later one still
  // restores the file's own bounds.
  if (inside == kInsideNone) {
    orig_min_x = header.min_x;
    orig_min_y = header.min_y;
    orig_max_x = header.max_x;
    orig_max_y = header.max_y;
  }
  header.min_x = min_x;
  header.min_y = min_y;
  header.max_x = max_x;
  header.max_y = max_y;
}

bool LASreader::limit_to_tile(float ll_x, float ll_y, float size) {
  t_ll_x = ll_x;
  t_ll_y = ll_y;
  t_size = size;
  t_ur_x = ll_x + size;  // in single precision, as the bounds are compared
  t_ur_y = ll_y + size;
  replace_bounds(ll_x, ll_y, t_ur_x - header.x_scale_factor, t_ur_y - header.y_scale_factor);
  inside = kInsideTile;
  if (orig_min_x > header.max_x || orig_min_y > header.max_y || orig_max_x < header.min_x ||
      orig_max_y < header.min_y) {
    area_step = &LASreader::read_none;
  } else if (index) {
    index->select_tile(ll_x, ll_y, size);
    area_step = &LASreader::read_tile_indexed;
  } else {
    area_step = &LASreader::read_tile;
  }
  choose_read_chain();
  return true;
}

bool LASreader::limit_to_circle(double center_x, double center_y, double radius) {
  c_center_x = center_x;
  c_center_y = center_y;
  c_radius = radius;
  c_radius_squared = radius * radius;
  replace_bounds(center_x - radius, center_y - radius, center_x + radius, center_y + radius);
  inside = kInsideCircle;
  if (orig_min_x > header.max_x || orig_min_y > header.max_y || orig_max_x < header.min_x ||
      orig_max_y < header.min_y) {
    area_step = &LASreader::read_none;
  } else if (index) {
    index->select_circle(center_x, center_y, radius);
    area_step = &LASreader::read_circle_indexed;
  } else {
    area_step = &LASreader::read_circle;
  }
  choose_read_chain();
  return true;
}

bool LASreader::limit_to_rectangle(double min_x, double min_y, double max_x, double max_y) {
  r_min_x = min_x;
  r_min_y = min_y;
  r_max_x = max_x;
  r_max_y = max_y;
  replace_bounds(min_x, min_y, max_x, max_y);
  inside = kInsideRectangle;
  if (orig_min_x > max_x || orig_min_y > max_y || orig_max_x < min_x || orig_max_y < min_y) {
    area_step = &LASreader::read_none;
  } else if (index) {
    index->select_rectangle(min_x, min_y, max_x, max_y);
    area_step = &LASreader::read_rectangle_indexed;
  } else {
    area_step = &LASreader::read_rectangle;
  }
  choose_read_chain();
  return true;
}

bool LASreader::read_tile() {
  while (read_one_point()) {
    if (point_inside_tile()) return true;
  }
  return false;
}

bool LASreader::read_circle() {
  while (read_one_point()) {
    if (point_inside_circle()) return true;
  }
  return false;
}

bool LASreader::read_rectangle() {
  while (read_one_point()) {
    if (point_inside_rectangle()) return true;
  }
  return false;
}

#define PL_INDEXED_READ(test)                    \
  while (index->seek_next_interval(this)) {      \
    if (read_one_point() && test()) return true; \
  }                                              \
  return false;

bool LASreader::read_tile_indexed() {
  PL_INDEXED_READ(point_inside_tile)
}
bool LASreader::read_circle_indexed() {
  PL_INDEXED_READ(point_inside_circle)
}
bool LASreader::read_rectangle_indexed() {
  PL_INDEXED_READ(point_inside_rectangle)
}

#undef PL_INDEXED_READ

bool LASreader::read_filtered() {
  while ((this->*read_inner)()) {
    if (!filter->rejects(&point)) return true;
  }
  return false;
}

bool LASreader::read_transformed() {
  if (!(this->*read_inner)()) return false;
  transform->apply(&point);
  return true;
}

bool LASreader::read_filtered_transformed() {
  if (!read_filtered()) return false;
  transform->apply(&point);
  return true;
}

void LASreader::end_short(const char* format, ...) {
  short_end = true;
  if (quiet_run()) return;
  va_list ap;
  va_start(ap, format);
  std::vfprintf(stderr, format, ap);
  va_end(ap);
}
