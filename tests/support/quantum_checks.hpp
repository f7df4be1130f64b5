#ifndef TESTS_SUPPORT_QUANTUM_CHECKS_HPP
#define TESTS_SUPPORT_QUANTUM_CHECKS_HPP

// Whether values written through a quantizer came back exact: every coordinate within half the
// output's quantum of what went in, so nothing was clamped, shifted or rounded twice.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/las_reader_las.hpp"
#include "core/las_scaler.hpp"

struct XYZ {
  double x, y, z;
};

// Every input point, in order, within half a quantum of the output's `points` under `quantizer`.
inline void expect_within_half_quantum(const std::vector<XYZ>& in, const std::vector<XYZ>& points,
                                       const LASscaler& quantizer, const std::string& what) {
  ASSERT_EQ(points.size(), in.size()) << what;
  const LASscaler& h = quantizer;
  const double half[3] = {h.x_scale_factor / 2, h.y_scale_factor / 2, h.z_scale_factor / 2};
  size_t off = 0;
  for (size_t k = 0; k < in.size(); k++) {
    const double d[3] = {points[k].x - in[k].x, points[k].y - in[k].y, points[k].z - in[k].z};
    for (int a = 0; a < 3; a++) off += !(std::fabs(d[a]) <= half[a] * (1 + 1e-9));
  }
  EXPECT_EQ(off, 0u) << what << " scale " << h.x_scale_factor << " " << h.y_scale_factor << " "
                     << h.z_scale_factor;
}

// What a LAS output holds, as the checks read it back: its points with their intensities and
// classes, and its header's quantizer and box. `opened` is false when there is no such file.
struct LasOutput {
  bool opened = false;
  LASscaler quantizer;
  XYZ min = {0.0, 0.0, 0.0}, max = {0.0, 0.0, 0.0};
  std::vector<XYZ> points;
  std::vector<int> intensities;
  std::vector<int> classes;
};

inline LasOutput read_las_output(const std::string& path) {
  LasOutput o;
  LASreaderLAS reader;
  if (!reader.open_file(path.c_str())) return o;
  o.opened = true;
  while (reader.read_point()) {
    o.points.push_back({reader.point.get_x(), reader.point.get_y(), reader.point.get_z()});
    o.intensities.push_back(reader.point.get_intensity());
    o.classes.push_back(reader.point.get_classification());
  }
  o.quantizer = reader.header;
  o.min = {reader.header.min_x, reader.header.min_y, reader.header.min_z};
  o.max = {reader.header.max_x, reader.header.max_y, reader.header.max_z};
  return o;
}

// Every input point, in order, within half a quantum of the output's.
inline void expect_points_exact(const std::vector<XYZ>& in, const LasOutput& out,
                                const std::string& what) {
  ASSERT_TRUE(out.opened) << what;
  expect_within_half_quantum(in, out.points, out.quantizer, what);
}

#endif  // TESTS_SUPPORT_QUANTUM_CHECKS_HPP
