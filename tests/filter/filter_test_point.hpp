#ifndef TESTS_FILTER_FILTER_TEST_POINT_HPP
#define TESTS_FILTER_FILTER_TEST_POINT_HPP

#include <cstdint>
#include <string>
#include <vector>

#include "core/las_point.hpp"
#include "core/las_scaler.hpp"
#include "filter/las_filter.hpp"

// A point with its own quantizer. The scale is a power of two so that the
// boundary values of the tables are exact coordinates.
struct TestPoint {
  LASscaler scaler;
  LASpoint point;

  TestPoint() {
    scaler.x_scale_factor = scaler.y_scale_factor = scaler.z_scale_factor = 0.125;
    point.quantizer = &scaler;
  }
  TestPoint& x(double v) {
    point.X = int32_t(v / 0.125);
    return *this;
  }
  TestPoint& y(double v) {
    point.Y = int32_t(v / 0.125);
    return *this;
  }
  TestPoint& z(double v) {
    point.Z = int32_t(v / 0.125);
    return *this;
  }
  TestPoint& xy(double vx, double vy) { return x(vx).y(vy); }
  TestPoint& xyz(double vx, double vy, double vz) { return x(vx).y(vy).z(vz); }
  TestPoint& X(int32_t v) {
    point.X = v;
    return *this;
  }
  TestPoint& Y(int32_t v) {
    point.Y = v;
    return *this;
  }
  TestPoint& Z(int32_t v) {
    point.Z = v;
    return *this;
  }
  TestPoint& rn(int r, int n) {
    point.set_return_number(uint8_t(r));
    point.set_number_of_returns(uint8_t(n));
    return *this;
  }
  TestPoint& cls(int c) {
    point.set_classification(uint8_t(c));
    return *this;
  }
  TestPoint& ext_cls(int c) {
    point.set_extended_classification(uint8_t(c));
    return *this;
  }
  TestPoint& synthetic() {
    point.set_synthetic_flag(1);
    return *this;
  }
  TestPoint& keypoint() {
    point.set_keypoint_flag(1);
    return *this;
  }
  TestPoint& withheld() {
    point.set_withheld_flag(1);
    return *this;
  }
  TestPoint& overlap() {
    point.set_extended_overlap_flag(1);
    return *this;
  }
  TestPoint& channel(int c) {
    point.set_extended_scanner_channel(uint8_t(c));
    return *this;
  }
  TestPoint& direction(int d) {
    point.set_scan_direction_flag(uint8_t(d));
    return *this;
  }
  TestPoint& edge() {
    point.set_edge_of_flight_line(1);
    return *this;
  }
  TestPoint& intensity(int v) {
    point.intensity = uint16_t(v);
    return *this;
  }
  TestPoint& angle(int v) {
    point.scan_angle_rank = int8_t(v);
    return *this;
  }
  TestPoint& user(int v) {
    point.user_data = uint8_t(v);
    return *this;
  }
  TestPoint& source(int v) {
    point.point_source_ID = uint16_t(v);
    return *this;
  }
  TestPoint& time(double t) {
    point.gps_time = t;
    point.have_gps_time = true;
    return *this;
  }
  TestPoint& time_without_flag(double t) {
    point.gps_time = t;
    point.have_gps_time = false;
    return *this;
  }
  TestPoint& rgbn(int r, int g, int b, int n = 0) {
    point.rgb[0] = uint16_t(r);
    point.rgb[1] = uint16_t(g);
    point.rgb[2] = uint16_t(b);
    point.rgb[3] = uint16_t(n);
    return *this;
  }
  TestPoint& wavepacket(int index) {
    point.wavepacket.set_index(uint8_t(index));
    return *this;
  }
};

// Builds a filter from option text; fails the test on a parse error.
inline bool parse_filter(LASfilter& filter, const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back(0);
  return filter.take_argument_string(buffer.data());
}

inline std::string filter_text(const LASfilter& filter) {
  std::vector<char> buffer(1 << 16, 0);
  const int n = filter.write_options_text(buffer.data());
  return std::string(buffer.data(), size_t(n));
}

#endif  // TESTS_FILTER_FILTER_TEST_POINT_HPP
