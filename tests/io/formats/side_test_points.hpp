#ifndef TESTS_IO_FORMATS_SIDE_TEST_POINTS_HPP
#define TESTS_IO_FORMATS_SIDE_TEST_POINTS_HPP

// The points a side-format reader delivers, every field the side formats
// fill, as plain values that compare and print; a reader opened with its
// messages caught.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "core/las_reader.hpp"

struct SidePoint {
  int32_t X = 0, Y = 0, Z = 0;
  double x = 0.0, y = 0.0, z = 0.0;
  int intensity = 0;
  int return_number = 0, number_of_returns = 0, classification = 0, point_source_ID = 0;
  int scan_angle = 0;
  double gps_time = 0.0;
  int red = 0, green = 0, blue = 0;
  std::vector<double> attributes;

  auto key() const {
    return std::make_tuple(X, Y, Z, intensity, return_number, number_of_returns, classification,
                           point_source_ID, scan_angle, gps_time, red, green, blue, attributes);
  }
  bool operator==(const SidePoint& o) const { return key() == o.key(); }
  bool operator<(const SidePoint& o) const { return key() < o.key(); }
};

inline std::ostream& operator<<(std::ostream& out, const SidePoint& p) {
  out << "{" << p.x << ", " << p.y << ", " << p.z << " (" << p.X << " " << p.Y << " " << p.Z
      << ") i " << p.intensity << " r " << p.return_number << "/" << p.number_of_returns << " c "
      << p.classification << " p " << p.point_source_ID << " a " << p.scan_angle << " t "
      << p.gps_time << " rgb " << p.red << " " << p.green << " " << p.blue;
  for (double a : p.attributes) out << " [" << a << "]";
  return out << "}";
}

inline SidePoint side_point_of(const LASreader& reader) {
  const LASpoint& p = reader.point;
  SidePoint s;
  s.X = p.X;
  s.Y = p.Y;
  s.Z = p.Z;
  s.x = reader.header.get_x(p.X);
  s.y = reader.header.get_y(p.Y);
  s.z = reader.header.get_z(p.Z);
  s.intensity = p.get_intensity();
  s.return_number = p.get_return_number();
  s.number_of_returns = p.get_number_of_returns();
  s.classification = p.get_classification();
  s.point_source_ID = p.get_point_source_ID();
  s.scan_angle = p.scan_angle_rank;
  s.gps_time = p.get_gps_time();
  s.red = p.get_R();
  s.green = p.get_G();
  s.blue = p.get_B();
  for (int32_t k = 0; k < reader.header.number_attributes; k++) {
    double v = 0.0;
    reader.header.get_value(p, k, &v);
    s.attributes.push_back(v);
  }
  return s;
}

inline std::vector<SidePoint> side_points_of(LASreader& reader) {
  std::vector<SidePoint> points;
  while (reader.read_point()) points.push_back(side_point_of(reader));
  return points;
}

// A reader after its open, with the messages the open printed.
template <class Reader>
struct OpenedReader {
  std::unique_ptr<Reader> reader;
  bool ok = false;
  std::string messages;
};

template <class Reader, class Open>
OpenedReader<Reader> open_caught(Reader* reader, Open open) {
  OpenedReader<Reader> o;
  o.reader.reset(reader);
  testing::internal::CaptureStderr();
  o.ok = open(*reader);
  o.messages = testing::internal::GetCapturedStderr();
  return o;
}

// A side-format reader (a new one unless given) opened by name as the read opener opens it.
template <class Reader>
OpenedReader<Reader> open_side(const std::string& name, Reader* reader = nullptr) {
  return open_caught(reader ? reader : new Reader(),
                     [&name](Reader& r) { return r.open_name(name.c_str()); });
}

#endif  // TESTS_IO_FORMATS_SIDE_TEST_POINTS_HPP
