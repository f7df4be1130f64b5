#include "las_fixture.hpp"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace {

// Byte order is spelled out here so that the fixture does not depend on the
// host's: a LAS file is little-endian on every machine.
void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void putf64(uint8_t* p, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  put64(p, bits);
}
uint16_t get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t get32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
uint64_t get64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
double getf64(const uint8_t* p) {
  uint64_t bits = get64(p);
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}
// Fixed-width text fields are zero padded; a name filling the field has no terminator.
void put_text(uint8_t* p, size_t width, const std::string& text) {
  std::memset(p, 0, width);
  std::memcpy(p, text.data(), text.size() < width ? text.size() : width);
}
std::string get_text(const uint8_t* p, size_t width) {
  size_t n = 0;
  while (n < width && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

bool fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  return false;
}

template <typename T>
void diff_field(std::ostringstream& out, const char* name, const T& a, const T& b) {
  if (out.tellp() == 0 && !(a == b)) out << name << ": " << +a << " != " << +b;
}
template <size_t N, typename T>
void diff_array(std::ostringstream& out, const char* name, const std::array<T, N>& a,
                const std::array<T, N>& b) {
  for (size_t i = 0; i < N && out.tellp() == 0; ++i) {
    if (!(a[i] == b[i])) out << name << "[" << i << "]: " << +a[i] << " != " << +b[i];
  }
}
void diff_bytes(std::ostringstream& out, const char* name, const std::vector<uint8_t>& a,
                const std::vector<uint8_t>& b) {
  if (out.tellp() != 0 || a == b) return;
  out << name << ": " << a.size() << " bytes != " << b.size() << " bytes";
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) {
      out << ", first difference at " << i;
      break;
    }
  }
}
void diff_text(std::ostringstream& out, const char* name, const std::string& a,
               const std::string& b) {
  if (out.tellp() == 0 && a != b) out << name << ": '" << a << "' != '" << b << "'";
}

}  // namespace

bool operator==(const FixturePoint& a, const FixturePoint& b) {
  return fixture_point_difference(a, b).empty();
}

std::string fixture_point_difference(const FixturePoint& a, const FixturePoint& b) {
  std::ostringstream out;
  diff_field(out, "X", a.X, b.X);
  diff_field(out, "Y", a.Y, b.Y);
  diff_field(out, "Z", a.Z, b.Z);
  diff_field(out, "intensity", a.intensity, b.intensity);
  diff_field(out, "return_number", a.return_number, b.return_number);
  diff_field(out, "number_of_returns", a.number_of_returns, b.number_of_returns);
  diff_field(out, "scan_direction_flag", a.scan_direction_flag, b.scan_direction_flag);
  diff_field(out, "edge_of_flight_line", a.edge_of_flight_line, b.edge_of_flight_line);
  diff_field(out, "classification", a.classification, b.classification);
  diff_field(out, "synthetic_flag", a.synthetic_flag, b.synthetic_flag);
  diff_field(out, "keypoint_flag", a.keypoint_flag, b.keypoint_flag);
  diff_field(out, "withheld_flag", a.withheld_flag, b.withheld_flag);
  diff_field(out, "overlap_flag", a.overlap_flag, b.overlap_flag);
  diff_field(out, "scanner_channel", a.scanner_channel, b.scanner_channel);
  diff_field(out, "scan_angle_rank", a.scan_angle_rank, b.scan_angle_rank);
  diff_field(out, "extended_scan_angle", a.extended_scan_angle, b.extended_scan_angle);
  diff_field(out, "user_data", a.user_data, b.user_data);
  diff_field(out, "point_source_ID", a.point_source_ID, b.point_source_ID);
  // Compared by bits so that a NaN written and read back counts as equal.
  uint64_t ga, gb;
  std::memcpy(&ga, &a.gps_time, 8);
  std::memcpy(&gb, &b.gps_time, 8);
  if (out.tellp() == 0 && ga != gb) out << "gps_time: " << a.gps_time << " != " << b.gps_time;
  diff_array(out, "rgb", a.rgb, b.rgb);
  diff_field(out, "nir", a.nir, b.nir);
  diff_array(out, "wavepacket", a.wavepacket, b.wavepacket);
  diff_bytes(out, "extra_bytes", a.extra_bytes, b.extra_bytes);
  return out.str();
}

bool operator==(const FixtureVlr& a, const FixtureVlr& b) {
  return a.reserved == b.reserved && a.user_id == b.user_id && a.record_id == b.record_id &&
         a.description == b.description && a.data == b.data;
}

bool operator==(const FixtureEvlr& a, const FixtureEvlr& b) {
  return a.reserved == b.reserved && a.user_id == b.user_id && a.record_id == b.record_id &&
         a.description == b.description && a.data == b.data;
}

std::string fixture_file_difference(const FixtureFile& a, const FixtureFile& b) {
  std::ostringstream out;
  diff_field(out, "version_major", a.version_major, b.version_major);
  diff_field(out, "version_minor", a.version_minor, b.version_minor);
  diff_field(out, "point_data_format", a.point_data_format, b.point_data_format);
  diff_field(out, "extra_bytes", a.extra_bytes, b.extra_bytes);
  diff_field(out, "file_source_ID", a.file_source_ID, b.file_source_ID);
  diff_field(out, "global_encoding", a.global_encoding, b.global_encoding);
  diff_field(out, "guid_data_1", a.guid_data_1, b.guid_data_1);
  diff_field(out, "guid_data_2", a.guid_data_2, b.guid_data_2);
  diff_field(out, "guid_data_3", a.guid_data_3, b.guid_data_3);
  diff_array(out, "guid_data_4", a.guid_data_4, b.guid_data_4);
  diff_text(out, "system_identifier", a.system_identifier, b.system_identifier);
  diff_text(out, "generating_software", a.generating_software, b.generating_software);
  diff_field(out, "file_creation_day", a.file_creation_day, b.file_creation_day);
  diff_field(out, "file_creation_year", a.file_creation_year, b.file_creation_year);
  diff_array(out, "scale", a.scale, b.scale);
  diff_array(out, "offset", a.offset, b.offset);
  diff_field(out, "start_of_waveform_data_packet_record", a.start_of_waveform_data_packet_record,
             b.start_of_waveform_data_packet_record);
  diff_bytes(out, "user_data_in_header", a.user_data_in_header, b.user_data_in_header);
  diff_field(out, "vlrs.size", a.vlrs.size(), b.vlrs.size());
  for (size_t i = 0; i < a.vlrs.size() && out.tellp() == 0; ++i) {
    if (!(a.vlrs[i] == b.vlrs[i])) out << "vlrs[" << i << "] differ";
  }
  diff_bytes(out, "user_data_after_header", a.user_data_after_header, b.user_data_after_header);
  diff_field(out, "evlrs.size", a.evlrs.size(), b.evlrs.size());
  for (size_t i = 0; i < a.evlrs.size() && out.tellp() == 0; ++i) {
    if (!(a.evlrs[i] == b.evlrs[i])) out << "evlrs[" << i << "] differ";
  }
  if (out.tellp() == 0 && a.counts != b.counts) out << "counts differ";
  diff_field(out, "header_size", a.header_size, b.header_size);
  return out.str();
}

uint16_t fixture_standard_record_length(uint8_t point_data_format) {
  static const uint16_t kLengths[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  return point_data_format <= 10 ? kLengths[point_data_format] : 0;
}

uint16_t fixture_known_header_size(uint8_t version_minor) {
  if (version_minor >= 4) return 375;
  if (version_minor == 3) return 235;
  return 227;
}

bool fixture_format_allowed(uint8_t version_minor, uint8_t point_data_format) {
  static const uint8_t kHighest[5] = {1, 1, 3, 5, 10};
  return point_data_format <= kHighest[version_minor < 4 ? version_minor : 4];
}

uint16_t fixture_record_length(const FixtureFile& file) {
  return static_cast<uint16_t>(fixture_standard_record_length(file.point_data_format) +
                               file.extra_bytes);
}

uint32_t fixture_attribute_size(uint8_t data_type, uint8_t options) {
  if (data_type == 0) return options;
  static const uint32_t kSizes[10] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8};
  uint32_t base = (data_type - 1u) % 10u;
  uint32_t dimension = (data_type - 1u) / 10u + 1u;
  return dimension * kSizes[base];
}

void fixture_encode_point(const FixturePoint& p, uint8_t format, uint16_t record_length,
                          uint8_t* out) {
  uint16_t standard = fixture_standard_record_length(format);
  if (standard == 0 || record_length < standard) {
    throw std::invalid_argument("fixture_encode_point: format or record length not supported");
  }
  std::memset(out, 0, record_length);
  put32(out + 0, static_cast<uint32_t>(p.X));
  put32(out + 4, static_cast<uint32_t>(p.Y));
  put32(out + 8, static_cast<uint32_t>(p.Z));
  put16(out + 12, p.intensity);
  size_t at;
  if (!fixture_format_is_extended(format)) {
    out[14] = static_cast<uint8_t>((p.return_number & 7) | ((p.number_of_returns & 7) << 3) |
                                   (p.scan_direction_flag ? 0x40 : 0) |
                                   (p.edge_of_flight_line ? 0x80 : 0));
    out[15] = static_cast<uint8_t>((p.classification & 31) | (p.synthetic_flag ? 0x20 : 0) |
                                   (p.keypoint_flag ? 0x40 : 0) | (p.withheld_flag ? 0x80 : 0));
    out[16] = static_cast<uint8_t>(p.scan_angle_rank);
    out[17] = p.user_data;
    put16(out + 18, p.point_source_ID);
    at = 20;
    if (fixture_format_has_gps(format)) {
      putf64(out + at, p.gps_time);
      at += 8;
    }
  } else {
    out[14] = static_cast<uint8_t>((p.return_number & 15) | ((p.number_of_returns & 15) << 4));
    out[15] =
        static_cast<uint8_t>((p.synthetic_flag ? 0x01 : 0) | (p.keypoint_flag ? 0x02 : 0) |
                             (p.withheld_flag ? 0x04 : 0) | (p.overlap_flag ? 0x08 : 0) |
                             ((p.scanner_channel & 3) << 4) | (p.scan_direction_flag ? 0x40 : 0) |
                             (p.edge_of_flight_line ? 0x80 : 0));
    out[16] = p.classification;
    out[17] = p.user_data;
    put16(out + 18, static_cast<uint16_t>(p.extended_scan_angle));
    put16(out + 20, p.point_source_ID);
    putf64(out + 22, p.gps_time);
    at = 30;
  }
  if (fixture_format_has_rgb(format)) {
    for (int c = 0; c < 3; ++c) put16(out + at + 2 * c, p.rgb[c]);
    at += 6;
    if (fixture_format_has_nir(format)) {
      put16(out + at, p.nir);
      at += 2;
    }
  }
  if (fixture_format_has_wavepacket(format)) {
    std::memcpy(out + at, p.wavepacket.data(), 29);
    at += 29;
  }
  size_t extra = record_length - at;
  if (extra > p.extra_bytes.size()) extra = p.extra_bytes.size();
  if (extra > 0) std::memcpy(out + at, p.extra_bytes.data(), extra);
}

FixturePoint fixture_decode_point(const uint8_t* in, uint8_t format, uint16_t record_length) {
  uint16_t standard = fixture_standard_record_length(format);
  if (standard == 0 || record_length < standard) {
    throw std::invalid_argument("fixture_decode_point: format or record length not supported");
  }
  FixturePoint p;
  p.X = static_cast<int32_t>(get32(in + 0));
  p.Y = static_cast<int32_t>(get32(in + 4));
  p.Z = static_cast<int32_t>(get32(in + 8));
  p.intensity = get16(in + 12);
  size_t at;
  if (!fixture_format_is_extended(format)) {
    p.return_number = in[14] & 7;
    p.number_of_returns = (in[14] >> 3) & 7;
    p.scan_direction_flag = (in[14] & 0x40) != 0;
    p.edge_of_flight_line = (in[14] & 0x80) != 0;
    p.classification = in[15] & 31;
    p.synthetic_flag = (in[15] & 0x20) != 0;
    p.keypoint_flag = (in[15] & 0x40) != 0;
    p.withheld_flag = (in[15] & 0x80) != 0;
    p.scan_angle_rank = static_cast<int8_t>(in[16]);
    p.user_data = in[17];
    p.point_source_ID = get16(in + 18);
    at = 20;
    if (fixture_format_has_gps(format)) {
      p.gps_time = getf64(in + at);
      at += 8;
    }
  } else {
    p.return_number = in[14] & 15;
    p.number_of_returns = in[14] >> 4;
    p.synthetic_flag = (in[15] & 0x01) != 0;
    p.keypoint_flag = (in[15] & 0x02) != 0;
    p.withheld_flag = (in[15] & 0x04) != 0;
    p.overlap_flag = (in[15] & 0x08) != 0;
    p.scanner_channel = (in[15] >> 4) & 3;
    p.scan_direction_flag = (in[15] & 0x40) != 0;
    p.edge_of_flight_line = (in[15] & 0x80) != 0;
    p.classification = in[16];
    p.user_data = in[17];
    p.extended_scan_angle = static_cast<int16_t>(get16(in + 18));
    p.point_source_ID = get16(in + 20);
    p.gps_time = getf64(in + 22);
    at = 30;
  }
  if (fixture_format_has_rgb(format)) {
    for (int c = 0; c < 3; ++c) p.rgb[c] = get16(in + at + 2 * c);
    at += 6;
    if (fixture_format_has_nir(format)) {
      p.nir = get16(in + at);
      at += 2;
    }
  }
  if (fixture_format_has_wavepacket(format)) {
    std::memcpy(p.wavepacket.data(), in + at, 29);
    at += 29;
  }
  p.extra_bytes.assign(in + at, in + record_length);
  return p;
}

std::array<uint8_t, 192> fixture_encode_attribute(const FixtureAttribute& a) {
  std::array<uint8_t, 192> d = {};
  uint8_t* p = d.data();
  // 0: reserved (2 bytes, zero)
  p[2] = a.data_type;
  p[3] = a.options;
  put_text(p + 4, 32, a.name);
  // 36: unused (4 bytes, zero)
  std::memcpy(p + 40, a.no_data.data(), 24);
  std::memcpy(p + 64, a.min.data(), 24);
  std::memcpy(p + 88, a.max.data(), 24);
  for (int i = 0; i < 3; ++i) putf64(p + 112 + 8 * i, a.scale[i]);
  for (int i = 0; i < 3; ++i) putf64(p + 136 + 8 * i, a.offset[i]);
  put_text(p + 160, 32, a.description);
  return d;
}

FixtureVlr fixture_extra_bytes_vlr(const std::vector<FixtureAttribute>& attributes) {
  FixtureVlr vlr;
  vlr.user_id = "LASF_Spec";
  vlr.record_id = 4;
  vlr.description = "extra bytes";
  for (const FixtureAttribute& a : attributes) {
    std::array<uint8_t, 192> d = fixture_encode_attribute(a);
    vlr.data.insert(vlr.data.end(), d.begin(), d.end());
  }
  return vlr;
}

FixtureHeader fixture_make_header(const FixtureFile& file,
                                  const std::vector<FixturePoint>& points) {
  FixtureHeader h;
  h.file_source_ID = file.file_source_ID;
  h.global_encoding = file.global_encoding;
  h.guid_data_1 = file.guid_data_1;
  h.guid_data_2 = file.guid_data_2;
  h.guid_data_3 = file.guid_data_3;
  h.guid_data_4 = file.guid_data_4;
  h.version_major = file.version_major;
  h.version_minor = file.version_minor;
  h.system_identifier = file.system_identifier.substr(0, 32);
  h.generating_software = file.generating_software.substr(0, 32);
  h.file_creation_day = file.file_creation_day;
  h.file_creation_year = file.file_creation_year;
  const bool las14 = file.version_minor >= 4;
  h.header_size = file.header_size != 0
                      ? file.header_size
                      : static_cast<uint16_t>(fixture_known_header_size(file.version_minor) +
                                              file.user_data_in_header.size());
  uint64_t offset = h.header_size;
  for (const FixtureVlr& v : file.vlrs) offset += kFixtureVlrHeaderSize + v.data.size();
  offset += file.user_data_after_header.size();
  h.offset_to_point_data = static_cast<uint32_t>(offset);
  h.number_of_variable_length_records = static_cast<uint32_t>(file.vlrs.size());
  h.point_data_format = file.point_data_format;
  h.point_data_record_length = fixture_record_length(file);

  const uint8_t format = file.point_data_format;
  const uint64_t total = points.size();
  std::array<uint64_t, 15> by_return = {};
  for (const FixturePoint& p : points) {
    unsigned r = fixture_format_is_extended(format) ? (p.return_number & 15) : (p.return_number & 7);
    if (r >= 1) ++by_return[r - 1];
  }
  // LAS 1.4 leaves the legacy counts 0 for the new formats and for counts they
  // cannot hold; older versions have nothing else to tell the count with.
  bool legacy =
      !las14 || (format <= 5 && total <= 0xFFFFFFFFull && file.counts == FixtureCounts::kStandard);
  if (legacy) {
    h.number_of_point_records = static_cast<uint32_t>(total);
    for (int r = 0; r < 5; ++r)
      h.number_of_points_by_return[r] = static_cast<uint32_t>(by_return[r]);
  }
  if (las14) {
    h.extended_number_of_point_records = total;
    h.extended_number_of_points_by_return = by_return;
  }

  h.scale = file.scale;
  h.offset = file.offset;
  if (!points.empty()) {
    int32_t lo[3] = {points[0].X, points[0].Y, points[0].Z};
    int32_t hi[3] = {lo[0], lo[1], lo[2]};
    for (const FixturePoint& p : points) {
      const int32_t v[3] = {p.X, p.Y, p.Z};
      for (int i = 0; i < 3; ++i) {
        if (v[i] < lo[i]) lo[i] = v[i];
        if (v[i] > hi[i]) hi[i] = v[i];
      }
    }
    h.min_x = lo[0] * file.scale[0] + file.offset[0];
    h.max_x = hi[0] * file.scale[0] + file.offset[0];
    h.min_y = lo[1] * file.scale[1] + file.offset[1];
    h.max_y = hi[1] * file.scale[1] + file.offset[1];
    h.min_z = lo[2] * file.scale[2] + file.offset[2];
    h.max_z = hi[2] * file.scale[2] + file.offset[2];
  }
  if (file.version_minor >= 3) {
    h.start_of_waveform_data_packet_record = file.start_of_waveform_data_packet_record;
  }
  if (las14 && !file.evlrs.empty()) {
    h.start_of_first_extended_variable_length_record = offset + total * h.point_data_record_length;
    h.number_of_extended_variable_length_records = static_cast<uint32_t>(file.evlrs.size());
  }
  return h;
}

std::vector<uint8_t> fixture_write_bytes(const FixtureFile& file,
                                         const std::vector<FixturePoint>& points) {
  if (fixture_standard_record_length(file.point_data_format) == 0) {
    throw std::invalid_argument("fixture_write_bytes: point data format above 10");
  }
  for (const FixtureVlr& v : file.vlrs) {
    if (v.data.size() > 0xFFFF) throw std::invalid_argument("fixture_write_bytes: VLR too long");
  }
  const FixtureHeader h = fixture_make_header(file, points);

  // The header block: every known field, then the user data, then cut or
  // padded to the header size (an explicit size can end inside the fields).
  std::vector<uint8_t> header(375, 0);
  uint8_t* p = header.data();
  std::memcpy(p + 0, h.file_signature.data(), 4);
  put16(p + 4, h.file_source_ID);
  put16(p + 6, h.global_encoding);
  put32(p + 8, h.guid_data_1);
  put16(p + 12, h.guid_data_2);
  put16(p + 14, h.guid_data_3);
  std::memcpy(p + 16, h.guid_data_4.data(), 8);
  p[24] = h.version_major;
  p[25] = h.version_minor;
  put_text(p + 26, 32, h.system_identifier);
  put_text(p + 58, 32, h.generating_software);
  put16(p + 90, h.file_creation_day);
  put16(p + 92, h.file_creation_year);
  put16(p + 94, h.header_size);
  put32(p + 96, h.offset_to_point_data);
  put32(p + 100, h.number_of_variable_length_records);
  p[104] = h.point_data_format;
  put16(p + 105, h.point_data_record_length);
  put32(p + 107, h.number_of_point_records);
  for (int r = 0; r < 5; ++r) put32(p + 111 + 4 * r, h.number_of_points_by_return[r]);
  for (int i = 0; i < 3; ++i) putf64(p + 131 + 8 * i, h.scale[i]);
  for (int i = 0; i < 3; ++i) putf64(p + 155 + 8 * i, h.offset[i]);
  putf64(p + 179, h.max_x);
  putf64(p + 187, h.min_x);
  putf64(p + 195, h.max_y);
  putf64(p + 203, h.min_y);
  putf64(p + 211, h.max_z);
  putf64(p + 219, h.min_z);
  put64(p + 227, h.start_of_waveform_data_packet_record);
  put64(p + 235, h.start_of_first_extended_variable_length_record);
  put32(p + 243, h.number_of_extended_variable_length_records);
  put64(p + 247, h.extended_number_of_point_records);
  for (int r = 0; r < 15; ++r) put64(p + 255 + 8 * r, h.extended_number_of_points_by_return[r]);
  header.resize(fixture_known_header_size(file.version_minor));
  header.insert(header.end(), file.user_data_in_header.begin(), file.user_data_in_header.end());
  header.resize(h.header_size, 0);

  std::vector<uint8_t> out = header;
  for (const FixtureVlr& v : file.vlrs) {
    uint8_t vh[kFixtureVlrHeaderSize];
    put16(vh + 0, v.reserved);
    put_text(vh + 2, 16, v.user_id);
    put16(vh + 18, v.record_id);
    put16(vh + 20, static_cast<uint16_t>(v.data.size()));
    put_text(vh + 22, 32, v.description);
    out.insert(out.end(), vh, vh + kFixtureVlrHeaderSize);
    out.insert(out.end(), v.data.begin(), v.data.end());
  }
  out.insert(out.end(), file.user_data_after_header.begin(), file.user_data_after_header.end());

  const uint16_t length = h.point_data_record_length;
  size_t at = out.size();
  out.resize(at + points.size() * length);
  for (const FixturePoint& point : points) {
    fixture_encode_point(point, file.point_data_format, length, out.data() + at);
    at += length;
  }

  if (file.version_minor >= 4) {
    for (const FixtureEvlr& e : file.evlrs) {
      uint8_t eh[kFixtureEvlrHeaderSize];
      put16(eh + 0, e.reserved);
      put_text(eh + 2, 16, e.user_id);
      put16(eh + 18, e.record_id);
      put64(eh + 20, e.data.size());
      put_text(eh + 28, 32, e.description);
      out.insert(out.end(), eh, eh + kFixtureEvlrHeaderSize);
      out.insert(out.end(), e.data.begin(), e.data.end());
    }
  }
  return out;
}

bool fixture_write_file(const std::string& path, const FixtureFile& file,
                        const std::vector<FixturePoint>& points, std::string* error) {
  std::vector<uint8_t> bytes = fixture_write_bytes(file, points);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return fail(error, "cannot open '" + path + "' for writing");
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  return ok || fail(error, "cannot write '" + path + "'");
}

bool fixture_read_bytes(const std::vector<uint8_t>& bytes, FixtureContents* out,
                        std::string* error) {
  *out = FixtureContents();
  FixtureHeader& h = out->header;
  FixtureFile& f = out->file;
  const size_t size = bytes.size();
  const uint8_t* p = bytes.data();
  if (size < 227) return fail(error, "shorter than 227 bytes");
  std::memcpy(h.file_signature.data(), p, 4);
  if (std::memcmp(p, "LASF", 4) != 0) return fail(error, "file signature is not LASF");
  h.file_source_ID = get16(p + 4);
  h.global_encoding = get16(p + 6);
  h.guid_data_1 = get32(p + 8);
  h.guid_data_2 = get16(p + 12);
  h.guid_data_3 = get16(p + 14);
  std::memcpy(h.guid_data_4.data(), p + 16, 8);
  h.version_major = p[24];
  h.version_minor = p[25];
  h.system_identifier = get_text(p + 26, 32);
  h.generating_software = get_text(p + 58, 32);
  h.file_creation_day = get16(p + 90);
  h.file_creation_year = get16(p + 92);
  h.header_size = get16(p + 94);
  h.offset_to_point_data = get32(p + 96);
  h.number_of_variable_length_records = get32(p + 100);
  h.point_data_format = p[104];
  h.point_data_record_length = get16(p + 105);
  h.number_of_point_records = get32(p + 107);
  for (int r = 0; r < 5; ++r) h.number_of_points_by_return[r] = get32(p + 111 + 4 * r);
  for (int i = 0; i < 3; ++i) h.scale[i] = getf64(p + 131 + 8 * i);
  for (int i = 0; i < 3; ++i) h.offset[i] = getf64(p + 155 + 8 * i);
  h.max_x = getf64(p + 179);
  h.min_x = getf64(p + 187);
  h.max_y = getf64(p + 195);
  h.min_y = getf64(p + 203);
  h.max_z = getf64(p + 211);
  h.min_z = getf64(p + 219);
  if (h.header_size < 227) return fail(error, "header size below 227");
  if (h.header_size > size) return fail(error, "header size beyond the end of the data");
  size_t known = 227;
  if (h.version_minor >= 3 && h.header_size >= 235) {
    h.start_of_waveform_data_packet_record = get64(p + 227);
    known = 235;
  }
  if (h.version_minor >= 4) {
    if (h.header_size < 375) return fail(error, "LAS 1.4 header size below 375");
    h.start_of_first_extended_variable_length_record = get64(p + 235);
    h.number_of_extended_variable_length_records = get32(p + 243);
    h.extended_number_of_point_records = get64(p + 247);
    for (int r = 0; r < 15; ++r) h.extended_number_of_points_by_return[r] = get64(p + 255 + 8 * r);
    known = 375;
  }
  if (h.point_data_format > 10) return fail(error, "point data format above 10 (compressed?)");
  const uint16_t standard = fixture_standard_record_length(h.point_data_format);
  if (h.point_data_record_length < standard) return fail(error, "record length below standard");

  f.version_major = h.version_major;
  f.version_minor = h.version_minor;
  f.point_data_format = h.point_data_format;
  f.extra_bytes = static_cast<uint16_t>(h.point_data_record_length - standard);
  f.file_source_ID = h.file_source_ID;
  f.global_encoding = h.global_encoding;
  f.guid_data_1 = h.guid_data_1;
  f.guid_data_2 = h.guid_data_2;
  f.guid_data_3 = h.guid_data_3;
  f.guid_data_4 = h.guid_data_4;
  f.system_identifier = h.system_identifier;
  f.generating_software = h.generating_software;
  f.file_creation_day = h.file_creation_day;
  f.file_creation_year = h.file_creation_year;
  f.scale = h.scale;
  f.offset = h.offset;
  f.start_of_waveform_data_packet_record = h.start_of_waveform_data_packet_record;
  if (h.header_size > known) f.user_data_in_header.assign(p + known, p + h.header_size);
  if (h.header_size != fixture_known_header_size(h.version_minor) + f.user_data_in_header.size()) {
    f.header_size = h.header_size;
  }

  size_t at = h.header_size;
  for (uint32_t i = 0; i < h.number_of_variable_length_records; ++i) {
    if (size - at < kFixtureVlrHeaderSize) return fail(error, "VLR header runs past the end");
    FixtureVlr v;
    v.reserved = get16(p + at);
    v.user_id = get_text(p + at + 2, 16);
    v.record_id = get16(p + at + 18);
    uint16_t length = get16(p + at + 20);
    v.description = get_text(p + at + 22, 32);
    at += kFixtureVlrHeaderSize;
    if (size - at < length) return fail(error, "VLR payload runs past the end");
    v.data.assign(p + at, p + at + length);
    at += length;
    f.vlrs.push_back(std::move(v));
  }
  if (at > h.offset_to_point_data) return fail(error, "VLRs run past the offset to point data");
  if (h.offset_to_point_data > size) return fail(error, "offset to point data beyond the end");
  f.user_data_after_header.assign(p + at, p + h.offset_to_point_data);

  uint64_t count = h.number_of_point_records;
  if (count == 0 && h.version_minor >= 4) {
    count = h.extended_number_of_point_records;
    if (count != 0 && h.point_data_format <= 5) f.counts = FixtureCounts::kLegacyZero;
  }
  const uint16_t length = h.point_data_record_length;
  at = h.offset_to_point_data;
  if (count > (size - at) / length) return fail(error, "point records run past the end");
  out->points.reserve(count);
  for (uint64_t i = 0; i < count; ++i) {
    out->points.push_back(fixture_decode_point(p + at, h.point_data_format, length));
    at += length;
  }

  if (h.version_minor >= 4 && h.number_of_extended_variable_length_records > 0) {
    at = h.start_of_first_extended_variable_length_record;
    for (uint32_t i = 0; i < h.number_of_extended_variable_length_records; ++i) {
      if (at > size || size - at < kFixtureEvlrHeaderSize) {
        return fail(error, "EVLR header runs past the end");
      }
      FixtureEvlr e;
      e.reserved = get16(p + at);
      e.user_id = get_text(p + at + 2, 16);
      e.record_id = get16(p + at + 18);
      uint64_t length64 = get64(p + at + 20);
      e.description = get_text(p + at + 28, 32);
      at += kFixtureEvlrHeaderSize;
      if (size - at < length64) return fail(error, "EVLR payload runs past the end");
      e.data.assign(p + at, p + at + length64);
      at += length64;
      f.evlrs.push_back(std::move(e));
    }
  }
  return true;
}

bool fixture_read_file(const std::string& path, FixtureContents* out, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return fail(error, "cannot open '" + path + "' for reading");
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  bool read_error = std::ferror(file) != 0;
  std::fclose(file);
  if (read_error) return fail(error, "cannot read '" + path + "'");
  return fixture_read_bytes(bytes, out, error);
}

FixturePoint fixture_random_point(FixtureRandom& r, uint8_t format, uint16_t extra_bytes) {
  FixturePoint p;
  p.X = static_cast<int32_t>(r.range(-100000000, 100000000));
  p.Y = static_cast<int32_t>(r.range(-100000000, 100000000));
  p.Z = static_cast<int32_t>(r.range(-1000000, 1000000));
  p.intensity = static_cast<uint16_t>(r.next_u32());
  const int max_returns = fixture_format_is_extended(format) ? 15 : 7;
  p.number_of_returns = static_cast<uint8_t>(r.range(1, max_returns));
  p.return_number = static_cast<uint8_t>(r.range(1, p.number_of_returns));
  p.scan_direction_flag = r.chance(0.5);
  p.edge_of_flight_line = r.chance(0.5);
  p.synthetic_flag = r.chance(0.5);
  p.keypoint_flag = r.chance(0.5);
  p.withheld_flag = r.chance(0.5);
  p.user_data = static_cast<uint8_t>(r.next_u32());
  p.point_source_ID = static_cast<uint16_t>(r.next_u32());
  if (fixture_format_is_extended(format)) {
    p.classification = static_cast<uint8_t>(r.next_u32());
    p.overlap_flag = r.chance(0.5);
    p.scanner_channel = static_cast<uint8_t>(r.below(4));
    p.extended_scan_angle = static_cast<int16_t>(r.range(-30000, 30000));
  } else {
    p.classification = static_cast<uint8_t>(r.below(32));
    p.scan_angle_rank = static_cast<int8_t>(r.range(-90, 90));
  }
  if (fixture_format_has_gps(format)) p.gps_time = r.uniform(0.0, 1.0e6);
  if (fixture_format_has_rgb(format)) {
    for (uint16_t& c : p.rgb) c = static_cast<uint16_t>(r.next_u32());
  }
  if (fixture_format_has_nir(format)) p.nir = static_cast<uint16_t>(r.next_u32());
  if (fixture_format_has_wavepacket(format)) {
    for (uint8_t& b : p.wavepacket) b = static_cast<uint8_t>(r.next_u32());
  }
  p.extra_bytes.resize(extra_bytes);
  for (uint8_t& b : p.extra_bytes) b = static_cast<uint8_t>(r.next_u32());
  return p;
}

std::vector<FixturePoint> fixture_random_points(uint64_t seed, size_t count, uint8_t format,
                                                uint16_t extra_bytes) {
  FixtureRandom r(seed);
  std::vector<FixturePoint> points;
  points.reserve(count);
  for (size_t i = 0; i < count; ++i) points.push_back(fixture_random_point(r, format, extra_bytes));
  return points;
}

void fixture_put_u8(std::vector<uint8_t>& bytes, size_t at, uint8_t value) {
  if (bytes.size() < at + 1) bytes.resize(at + 1, 0);
  bytes[at] = value;
}
void fixture_put_u16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  if (bytes.size() < at + 2) bytes.resize(at + 2, 0);
  put16(bytes.data() + at, value);
}
void fixture_put_u32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  if (bytes.size() < at + 4) bytes.resize(at + 4, 0);
  put32(bytes.data() + at, value);
}
void fixture_put_u64(std::vector<uint8_t>& bytes, size_t at, uint64_t value) {
  if (bytes.size() < at + 8) bytes.resize(at + 8, 0);
  put64(bytes.data() + at, value);
}
void fixture_put_f64(std::vector<uint8_t>& bytes, size_t at, double value) {
  if (bytes.size() < at + 8) bytes.resize(at + 8, 0);
  putf64(bytes.data() + at, value);
}
void fixture_set_point_count(std::vector<uint8_t>& bytes, uint64_t count) {
  const uint8_t minor = bytes.at(25);
  if (fixture_get_u32(bytes, 107) != 0 || minor < 4) {
    fixture_put_u32(bytes, 107, static_cast<uint32_t>(count));
  }
  if (minor >= 4) fixture_put_u64(bytes, 247, count);
}

uint16_t fixture_get_u16(const std::vector<uint8_t>& bytes, size_t at) {
  if (bytes.size() < at + 2) throw std::out_of_range("fixture_get_u16");
  return get16(bytes.data() + at);
}
uint32_t fixture_get_u32(const std::vector<uint8_t>& bytes, size_t at) {
  if (bytes.size() < at + 4) throw std::out_of_range("fixture_get_u32");
  return get32(bytes.data() + at);
}
uint64_t fixture_get_u64(const std::vector<uint8_t>& bytes, size_t at) {
  if (bytes.size() < at + 8) throw std::out_of_range("fixture_get_u64");
  return get64(bytes.data() + at);
}
double fixture_get_f64(const std::vector<uint8_t>& bytes, size_t at) {
  if (bytes.size() < at + 8) throw std::out_of_range("fixture_get_f64");
  return getf64(bytes.data() + at);
}
