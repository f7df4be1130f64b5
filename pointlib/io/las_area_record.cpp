#include "io/las_area_record.hpp"

namespace {

void show_box(LASheader& header, double min_x, double min_y, double max_x, double max_y) {
  header.min_x = min_x;
  header.min_y = min_y;
  header.max_x = max_x;
  header.max_y = max_y;
}

}  // namespace

void las_record_tile(LASreader& reader, float ll_x, float ll_y, float size) {
  reader.t_ll_x = ll_x;
  reader.t_ll_y = ll_y;
  reader.t_size = size;
  reader.t_ur_x = ll_x + size;
  reader.t_ur_y = ll_y + size;
  LASheader& h = reader.header;
  show_box(h, ll_x, ll_y, reader.t_ur_x - 0.001f * h.x_scale_factor,
           reader.t_ur_y - 0.001f * h.y_scale_factor);
  reader.inside = LASreader::kInsideTile;
}

void las_record_circle(LASreader& reader, double center_x, double center_y, double radius) {
  reader.c_center_x = center_x;
  reader.c_center_y = center_y;
  reader.c_radius = radius;
  reader.c_radius_squared = radius * radius;
  show_box(reader.header, center_x - radius, center_y - radius, center_x + radius,
           center_y + radius);
  reader.inside = LASreader::kInsideCircle;
}

void las_record_rectangle(LASreader& reader, double min_x, double min_y, double max_x,
                          double max_y) {
  reader.r_min_x = min_x;
  reader.r_min_y = min_y;
  reader.r_max_x = max_x;
  reader.r_max_y = max_y;
  show_box(reader.header, min_x, min_y, max_x, max_y);
  reader.inside = LASreader::kInsideRectangle;
}
