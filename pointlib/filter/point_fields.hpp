#ifndef POINTLIB_FILTER_POINT_FIELDS_HPP
#define POINTLIB_FILTER_POINT_FIELDS_HPP

#include <cstdint>

#include "core/las_point.hpp"

// The point fields that criteria look at, read through one set of small
// inline functions so that every criterion reads a field the same way.
namespace filter_field {

inline double x(const LASpoint* p) {
  return p->quantizer->get_x(p->X);
}
inline double y(const LASpoint* p) {
  return p->quantizer->get_y(p->Y);
}
inline double z(const LASpoint* p) {
  return p->quantizer->get_z(p->Z);
}

inline int return_number(const LASpoint* p) {
  return p->get_return_number();
}
inline int number_of_returns(const LASpoint* p) {
  return p->get_number_of_returns();
}
inline int scan_direction(const LASpoint* p) {
  return p->get_scan_direction_flag();
}
inline int edge_of_flight_line(const LASpoint* p) {
  return p->get_edge_of_flight_line();
}
inline unsigned classification(const LASpoint* p) {
  return p->get_classification();
}
inline bool synthetic(const LASpoint* p) {
  return p->get_synthetic_flag() != 0;
}
inline bool keypoint(const LASpoint* p) {
  return p->get_keypoint_flag() != 0;
}
inline bool withheld(const LASpoint* p) {
  return p->get_withheld_flag() != 0;
}
inline bool overlap(const LASpoint* p) {
  return p->get_extended_overlap_flag() != 0;
}
inline unsigned extended_classification(const LASpoint* p) {
  return p->get_extended_classification();
}
inline int scanner_channel(const LASpoint* p) {
  return p->get_extended_scanner_channel();
}

inline int intensity(const LASpoint* p) {
  return p->get_intensity();
}
inline int scan_angle_rank(const LASpoint* p) {
  return p->scan_angle_rank;
}
inline int user_data(const LASpoint* p) {
  return p->get_user_data();
}
inline int point_source(const LASpoint* p) {
  return p->get_point_source_ID();
}
inline bool has_gps_time(const LASpoint* p) {
  return p->have_gps_time;
}
inline double gps_time(const LASpoint* p) {
  return p->get_gps_time();
}
inline int rgb(const LASpoint* p, int channel) {
  return p->rgb[channel];
}
inline unsigned wavepacket_index(const LASpoint* p) {
  return p->wavepacket.get_index();
}

// Value of extra-bytes attribute `index`; 0.0 without a table or past its end.
double attribute_value(const LASpoint* p, uint32_t index);

}  // namespace filter_field

#endif  // POINTLIB_FILTER_POINT_FIELDS_HPP
