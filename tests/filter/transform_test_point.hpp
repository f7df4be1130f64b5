#ifndef TESTS_FILTER_TRANSFORM_TEST_POINT_HPP
#define TESTS_FILTER_TRANSFORM_TEST_POINT_HPP

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/las_point.hpp"
#include "core/las_scaler.hpp"
#include "filter/las_transform.hpp"

// The raw fields of a point as a copyable value, built field by field, so
// that a table row can hold the point before and after an operation.
struct Fields : LASpointData {
  Fields& raw(int32_t x, int32_t y, int32_t z) {
    X = x;
    Y = y;
    Z = z;
    return *this;
  }
  Fields& rawz(int32_t z) {
    Z = z;
    return *this;
  }
  Fields& inten(int v) {
    intensity = uint16_t(v);
    return *this;
  }
  Fields& rbyte(int v) {
    return_byte = uint8_t(v);
    return *this;
  }
  Fields& cbyte(int v) {
    class_byte = uint8_t(v);
    return *this;
  }
  Fields& ecls(int v) {
    extended_classification = uint8_t(v);
    return *this;
  }
  Fields& eflags(int v) {
    extended_flags_byte = uint8_t(v);
    return *this;
  }
  Fields& erbyte(int v) {
    extended_return_byte = uint8_t(v);
    return *this;
  }
  // class c in both fields, as a point read from a file carries it
  Fields& cls(int c) {
    class_byte = uint8_t((class_byte & 0xE0) | (c & 0x1F));
    extended_classification = uint8_t(c);
    return *this;
  }
  Fields& angle(int v) {
    scan_angle_rank = int8_t(v);
    return *this;
  }
  Fields& eangle(int v) {
    extended_scan_angle = int16_t(v);
    return *this;
  }
  Fields& user(int v) {
    user_data = uint8_t(v);
    return *this;
  }
  Fields& psid(int v) {
    point_source_ID = uint16_t(v);
    return *this;
  }
  Fields& time(double t) {
    gps_time = t;
    return *this;
  }
  Fields& rgbn(int r, int g, int b, int n = 0) {
    rgb[0] = uint16_t(r);
    rgb[1] = uint16_t(g);
    rgb[2] = uint16_t(b);
    rgb[3] = uint16_t(n);
    return *this;
  }
  // a point of the extended types (point type bits of the extended flags)
  Fields& extended() {
    extended_flags_byte = uint8_t((extended_flags_byte & ~0x03) | 1);
    return *this;
  }
  Fields& channel(int c) {
    extended_flags_byte = uint8_t((extended_flags_byte & ~0x0C) | ((c & 3) << 2));
    return *this;
  }
  Fields& wave_xyz(float xt, float yt, float zt) {
    wavepacket.set_xt(xt);
    wavepacket.set_yt(yt);
    wavepacket.set_zt(zt);
    return *this;
  }
};

inline uint64_t bits_of(double v) {
  uint64_t b;
  memcpy(&b, &v, 8);
  return b;
}

// Every raw field compared, GPS time bit for bit.
inline void expect_same_fields(const LASpointData& got, const LASpointData& want,
                               const std::string& what) {
  EXPECT_EQ(got.X, want.X) << what;
  EXPECT_EQ(got.Y, want.Y) << what;
  EXPECT_EQ(got.Z, want.Z) << what;
  EXPECT_EQ(got.intensity, want.intensity) << what;
  EXPECT_EQ(got.return_byte, want.return_byte) << what;
  EXPECT_EQ(got.class_byte, want.class_byte) << what;
  EXPECT_EQ(got.scan_angle_rank, want.scan_angle_rank) << what;
  EXPECT_EQ(got.user_data, want.user_data) << what;
  EXPECT_EQ(got.point_source_ID, want.point_source_ID) << what;
  EXPECT_EQ(got.extended_scan_angle, want.extended_scan_angle) << what;
  EXPECT_EQ(got.extended_flags_byte, want.extended_flags_byte) << what;
  EXPECT_EQ(got.extended_classification, want.extended_classification) << what;
  EXPECT_EQ(got.extended_return_byte, want.extended_return_byte) << what;
  EXPECT_EQ(bits_of(got.gps_time), bits_of(want.gps_time))
      << what << " gps_time " << got.gps_time << " want " << want.gps_time;
  for (int i = 0; i < 4; i++) EXPECT_EQ(got.rgb[i], want.rgb[i]) << what << " rgb " << i;
  EXPECT_EQ(memcmp(got.wavepacket.data, want.wavepacket.data, 29), 0) << what << " wavepacket";
}

// A point with a quantizer of scale 0.01 and offset 0.
struct ScaledPoint {
  LASscaler scaler;
  LASpoint point;
  ScaledPoint() { point.quantizer = &scaler; }
  void set(const LASpointData& fields) { static_cast<LASpointData&>(point) = fields; }
  const LASpointData& fields() const { return point; }
};

// Builds a transform from option text; false on a parse error.
inline bool parse_transform(LAStransform& transform, const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back(0);
  return transform.take_argument_string(buffer.data());
}

inline std::string transform_text(const LAStransform& transform) {
  std::vector<char> buffer(transform.options_text_bound() + (1 << 16), 0);
  const int n = transform.write_options_text(buffer.data());
  return std::string(buffer.data(), size_t(n));
}

// An argument vector of modifiable entries, entry 0 the program name.
struct Argv {
  std::vector<std::string> words;
  std::vector<std::vector<char>> storage;
  std::vector<char*> argv;
  explicit Argv(std::vector<std::string> w) : words(std::move(w)) {
    storage.reserve(words.size() + 1);
    storage.push_back(std::vector<char>{'p', 0});
    for (const auto& s : words) {
      storage.emplace_back(s.begin(), s.end());
      storage.back().push_back(0);
    }
    for (auto& s : storage) argv.push_back(s.data());
  }
  int argc() const { return int(argv.size()); }
  char** data() { return argv.data(); }
  std::string entry(int i) const { return argv[size_t(i)]; }
};

#endif  // TESTS_FILTER_TRANSFORM_TEST_POINT_HPP
