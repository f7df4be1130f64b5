#include "filter/criteria_coordinates.hpp"

#include <cmath>
#include <initializer_list>

int LAScriterionKeepTile::write_option_text(char* buffer) const {
  int n = option_text_name(buffer, option_name());
  n += option_text_float(buffer + n, ll_x);
  n += option_text_float(buffer + n, ll_y);
  n += option_text_float(buffer + n, size);
  return n;
}

int LAScriterionKeepCircle::write_option_text(char* buffer) const {
  int n = option_text_name(buffer, option_name());
  n += option_text_double(buffer + n, center_x);
  n += option_text_double(buffer + n, center_y);
  n += option_text_double(buffer + n, radius);
  return n;
}

LAScriterionKeepProfile::LAScriterionKeepProfile(double p1_x, double p1_y, double p2_x, double p2_y,
                                                 double width)
    : p1_x(p1_x), p1_y(p1_y), p2_x(p2_x), p2_y(p2_y), width(width) {
  mid_x = (p1_x + p2_x) / 2;
  mid_y = (p1_y + p2_y) / 2;
  a = p2_y - p1_y;
  b = p1_x - p2_x;
  length = std::sqrt(a * a + b * b);
  half_length = length / 2;
  half_width = width / 2;
}

int LAScriterionKeepProfile::write_option_text(char* buffer) const {
  int n = option_text_name(buffer, option_name());
  for (double v : {p1_x, p1_y, p2_x, p2_y, width}) n += option_text_double(buffer + n, v);
  return n;
}
