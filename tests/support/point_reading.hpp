#ifndef TESTS_SUPPORT_POINT_READING_HPP
#define TESTS_SUPPORT_POINT_READING_HPP

// Helpers for tests that read points through the library's readers: a
// temporary folder, and the delivered points as plain values that compare
// field by field.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "core/las_reader.hpp"
#include "las_fixture.hpp"

class TempFolder {
 public:
  explicit TempFolder(const char* tag = "pl_test") {
    std::string pattern = std::string("/tmp/") + tag + "_XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    path = mkdtemp(buffer.data());
  }
  ~TempFolder() { std::system(("rm -rf '" + path + "'").c_str()); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string file(const std::string& name) const { return path + "/" + name; }
  // A file with these bytes (no LAS content), for names of other formats.
  std::string write(const std::string& name, const std::string& content) const {
    const std::string full = file(name);
    FILE* f = std::fopen(full.c_str(), "wb");
    if (f) {
      std::fwrite(content.data(), 1, content.size(), f);
      std::fclose(f);
    }
    return full;
  }
  std::string path;
};

// One delivered point: coordinates in both forms and the fields that the
// tests look at.
struct ReadPoint {
  double x = 0.0, y = 0.0, z = 0.0;
  int32_t X = 0, Y = 0, Z = 0;
  uint16_t intensity = 0;
  uint8_t return_number = 0, number_of_returns = 0, classification = 0;
  uint16_t point_source_ID = 0;
  double gps_time = 0.0;

  // Equal when everything but the quantized integers is equal.
  auto key() const {
    return std::make_tuple(gps_time, x, y, z, intensity, return_number, number_of_returns,
                           classification, point_source_ID);
  }
  bool operator<(const ReadPoint& o) const { return key() < o.key(); }
  bool operator==(const ReadPoint& o) const { return key() == o.key(); }
};

inline ReadPoint read_point_of(const LASpoint& p) {
  ReadPoint r;
  r.x = p.get_x();
  r.y = p.get_y();
  r.z = p.get_z();
  r.X = p.X;
  r.Y = p.Y;
  r.Z = p.Z;
  r.intensity = p.intensity;
  r.return_number = p.get_return_number();
  r.number_of_returns = p.get_number_of_returns();
  r.classification = p.get_classification();
  r.point_source_ID = p.point_source_ID;
  r.gps_time = p.gps_time;
  return r;
}

// Every point the reader delivers (through its area, filter and transform).
inline std::vector<ReadPoint> read_all(LASreader* reader) {
  std::vector<ReadPoint> points;
  while (reader->read_point()) points.push_back(read_point_of(reader->point));
  return points;
}

// The fixture's view of a point read by the library, every field that
// `format` stores.
inline FixturePoint fixture_point_of(const LASpoint& p, uint8_t format) {
  FixturePoint f;
  f.X = p.X;
  f.Y = p.Y;
  f.Z = p.Z;
  f.intensity = p.intensity;
  f.user_data = p.user_data;
  f.point_source_ID = p.point_source_ID;
  if (format >= 6) {
    f.return_number = p.get_extended_return_number();
    f.number_of_returns = p.get_extended_number_of_returns();
    f.classification = p.get_extended_classification();
    f.synthetic_flag = p.get_extended_synthetic_flag();
    f.keypoint_flag = p.get_extended_keypoint_flag();
    f.withheld_flag = p.get_extended_withheld_flag();
    f.overlap_flag = p.get_extended_overlap_flag();
    f.scanner_channel = p.get_extended_scanner_channel();
    f.extended_scan_angle = p.extended_scan_angle;
  } else {
    f.return_number = p.get_return_number();
    f.number_of_returns = p.get_number_of_returns();
    f.classification = p.get_classification();
    f.synthetic_flag = p.get_synthetic_flag();
    f.keypoint_flag = p.get_keypoint_flag();
    f.withheld_flag = p.get_withheld_flag();
    f.scan_angle_rank = p.scan_angle_rank;
  }
  f.scan_direction_flag = p.get_scan_direction_flag();
  f.edge_of_flight_line = p.get_edge_of_flight_line();
  if (p.have_gps_time) f.gps_time = p.gps_time;
  if (p.have_rgb) f.rgb = {p.rgb[0], p.rgb[1], p.rgb[2]};
  if (p.have_nir) f.nir = p.rgb[3];
  if (p.have_wavepacket) std::memcpy(f.wavepacket.data(), p.wavepacket.data, 29);
  f.extra_bytes.assign(p.extra_bytes.get(), p.extra_bytes.get() + p.extra_bytes_number);
  return f;
}

#endif  // TESTS_SUPPORT_POINT_READING_HPP
