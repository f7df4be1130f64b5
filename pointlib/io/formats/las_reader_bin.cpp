#include "io/formats/las_reader_bin.hpp"

#include <cmath>
#include <cstring>

#include "io/formats/record_bytes.hpp"

namespace {

constexpr uint32_t kHeaderSize = 56;
constexpr int kStdioBufferSize = 524288;

// Return number and number of returns of an echo code, and whether the point
// counts as a first return.
void set_returns(uint8_t echo, LASpoint* point) {
  if (echo == 0) {
    point->set_return_number(1);
    point->set_number_of_returns(1);
  } else if (echo == 1) {
    point->set_return_number(1);
    point->set_number_of_returns(2);
  } else if (echo == 3) {
    point->set_return_number(2);
    point->set_number_of_returns(2);
  } else {
    point->set_return_number(2);
    point->set_number_of_returns(3);
  }
}

}  // namespace

bool LASreaderBIN::open_file(const char* file_name) {
  if (!open_stream_file(file_name, "open", kStdioBufferSize)) return false;
  header.reset();
  side_header_date(&header, file_name);
  return open(stream.get());
}

bool LASreaderBIN::reopen(const char* file_name) {
  if (!open_stream_file(file_name, "reopen", kStdioBufferSize)) return false;
  p_count = 0;
  return npoints == 0 || seek_point(0);
}

bool LASreaderBIN::read_header() {
  uint8_t h[kHeaderSize];
  try {
    stream->read_bytes(h, kHeaderSize);
  } catch (int) {
    std::fprintf(stderr, "ERROR: reading terrasolid header\n");
    return false;
  }
  if (record_i32(h) != static_cast<int32_t>(kHeaderSize)) {
    std::fprintf(stderr, "ERROR: corrupt terrasolid header. size != 56.\n");
    return false;
  }
  if (record_i32(h + 8) != 970401) {
    std::fprintf(stderr, "ERROR: corrupt terrasolid header. recog_val != 970401.\n");
    return false;
  }
  if (std::memcmp(h + 12, "CXYZ", 4) != 0) {
    std::fprintf(stderr, "ERROR: corrupt terrasolid header. recog_str != CXYZ.\n");
    return false;
  }
  const int32_t number = record_i32(h + 16);
  const int32_t units = record_i32(h + 20);
  const double origin[3] = {record_f64(h + 24), record_f64(h + 32), record_f64(h + 40)};
  // Points a header cannot count, and integers of no unit, give no coordinates.
  if (number < 0) {
    std::fprintf(stderr, "ERROR: corrupt terrasolid header. number of points %d is negative.\n",
                 number);
    return false;
  }
  if (units <= 0) {
    std::fprintf(stderr, "ERROR: corrupt terrasolid header. units %d is not positive.\n", units);
    return false;
  }
  if (!std::isfinite(origin[0]) || !std::isfinite(origin[1]) || !std::isfinite(origin[2])) {
    std::fprintf(stderr, "ERROR: corrupt terrasolid header. origin is not a number.\n");
    return false;
  }
  version = record_i32(h + 4);
  has_time = record_i32(h + 48) != 0;
  has_color = record_i32(h + 52) != 0;
  record_size = (version == kVersion20 ? 20 : 16) + (has_time ? 4 : 0) + (has_color ? 4 : 0);

  side_header_software(&header, "LASreaderBIN");
  static const uint8_t kFormats[2][2] = {{0, 2}, {1, 3}};
  static const uint16_t kLengths[2][2] = {{20, 26}, {28, 34}};
  header.point_data_format = kFormats[has_time][has_color];
  header.point_data_record_length = kLengths[has_time][has_color];
  header.number_of_point_records = static_cast<uint32_t>(number);
  npoints = number;
  // A coordinate is (integer - origin) / units.
  const double scale = 1.0 / units;
  header.x_scale_factor = header.y_scale_factor = header.z_scale_factor = scale;
  header.x_offset = -(origin[0] * scale);
  header.y_offset = -(origin[1] * scale);
  header.z_offset = -(origin[2] * scale);
  file_quantizer = header;
  return true;
}

bool LASreaderBIN::open(ByteStreamIn* given) {
  if (given == nullptr) {
    std::fprintf(stderr, "ERROR: ByteStreamIn* pointer is zero\n");
    return false;
  }
  take_stream(given);
  p_count = 0;
  if (!read_header()) return false;
  if (!point.init_for_point_type(&header, header.point_data_format, header.point_data_record_length,
                                 &header)) {
    return false;
  }
  return scan_points() && (npoints == 0 || seek_point(0)) && settle_quantization();
}

bool LASreaderBIN::scan_points() {
  for (uint32_t& count : header.number_of_points_by_return) count = 0;
  for (p_count = 0; p_count < npoints; p_count++) {
    if (!decode_next()) return false;
    point.compute_coordinates();
    side_widen_bounds(&header, point, p_count == 0);
    header.number_of_points_by_return[point.get_return_number() == 1 ? 0 : 1]++;
  }
  if (npoints > 0) return true;
  // A file of no points (as the BIN writer writes one) is its header alone.
  try {
    stream->read_byte();
  } catch (int) {
    return true;
  }
  std::fprintf(stderr,
               "ERROR: corrupt terrasolid header. number of points is 0 but records follow.\n");
  return false;
}

bool LASreaderBIN::decode_next() {
  const bool long_record = version == kVersion20;
  const uint32_t base = long_record ? 20 : 16;
  try {
    stream->read_bytes(record, base);
  } catch (int) {
    std::fprintf(stderr,
                 long_record ? "ERROR: reading terrasolid point after %u of %u\n"
                             : "ERROR: reading terrasolid row after %u of %u\n",
                 static_cast<unsigned>(p_count), static_cast<unsigned>(npoints));
    return false;
  }
  int32_t xyz[3];
  uint8_t code, echo;
  if (long_record) {
    xyz[0] = record_i32(record);
    xyz[1] = record_i32(record + 4);
    xyz[2] = record_i32(record + 8);
    code = record[12];
    echo = record[13];
    point.set_point_source_ID(record_u16(record + 16));
    point.set_intensity(record_u16(record + 18));
  } else {
    code = record[0];
    point.set_point_source_ID(record[1]);
    const uint16_t echo_intensity = record_u16(record + 2);
    point.set_intensity(echo_intensity & 0x3FFF);
    echo = static_cast<uint8_t>(echo_intensity >> 14);
    xyz[0] = record_i32(record + 4);
    xyz[1] = record_i32(record + 8);
    xyz[2] = record_i32(record + 12);
  }
  set_xyz(xyz[0], xyz[1], xyz[2]);
  point.set_classification(code & 31);
  set_returns(echo, &point);
  if (has_time || has_color) {
    const uint32_t extra = record_size - base;
    try {
      stream->read_bytes(record + base, extra);
    } catch (int) {
      std::fprintf(stderr, has_time ? "ERROR: reading terrasolid time\n"
                                    : "ERROR: reading terrasolid color\n");
      return false;
    }
    const uint8_t* words = record + base;
    if (has_time) {
      point.set_gps_time(record_u32(words) * 0.0002);
      words += 4;
    }
    if (has_color) {
      point.set_R(static_cast<uint16_t>(words[0] << 8));
      point.set_G(static_cast<uint16_t>(words[1] << 8));
      point.set_B(static_cast<uint16_t>(words[2] << 8));
    }
  }
  return true;
}

bool LASreaderBIN::read_one_point() {
  if (p_count >= npoints || !decode_next()) return false;
  p_count++;
  return true;
}

bool LASreaderBIN::seek_point(int64_t index) {
  return seek_record(index, kHeaderSize, record_size);
}
