#include "io/formats/las_reader_qfit.hpp"

#include <cinttypes>
#include <cstring>

#include "io/formats/record_bytes.hpp"

namespace {

bool valid_record_size(uint32_t size) {
  return size == 40 || size == 48 || size == 56;
}

uint32_t reversed(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

struct QfitAttribute {
  const char* name;
  const char* description;
  const char* failure;
  int type_index;  // data type - 1
  double scale;
  int64_t min, max;
  bool scaled;
};
const QfitAttribute kAttributes[4] = {
    {"scan azimuth", "Scan Azimuth (degrees X 1,000)", "scan_azimuth", 5, 0.001, 0, 360000, true},
    {"pitch", "Pitch (degrees X 1,000)", "pitch", 5, 0.001, -90000, 90000, true},
    {"roll", "Roll (degrees X 1,000)", "roll", 5, 0.001, -90000, 90000, true},
    {"pulse width", "Pulse Width (digitizer samples)", "pulse width", 0, 1.0, 0, 0, false},
};

}  // namespace

bool LASreaderQFIT::open_file(const char* file_name) {
  if (!open_stream_file(file_name, "open", 0)) return false;
  header.reset();
  static const LASvlrKeyEntry kKeys[4] = {
      {1024, 0, 1, 2}, {2048, 0, 1, 4326}, {4099, 0, 1, 9001}, {4096, 0, 1, 5030}};
  header.store_geo_key_directory(4, kKeys);
  side_header_date(&header, file_name);
  return open(stream.get());
}

bool LASreaderQFIT::read_layout() {
  uint32_t size;
  try {
    stream->read_u32_le(&size);
  } catch (int) {
    std::fprintf(stderr, "ERROR: reading QFIT header\n");
    return false;
  }
  big_endian = false;
  if (!valid_record_size(size)) {
    size = reversed(size);
    if (!valid_record_size(size)) {
      std::fprintf(stderr, "ERROR: corrupt QFIT header.\n");
      return false;
    }
    big_endian = true;
  }
  record_size = static_cast<int32_t>(size);
  uint8_t word[4];
  try {
    if (!stream->skip(size)) throw -1;
  } catch (int) {
    std::fprintf(stderr, "ERROR: reading %d bytes until point start offset from QFIT header\n",
                 record_size);
    return false;
  }
  try {
    stream->read_bytes(word, 4);
  } catch (int) {
    std::fprintf(stderr, "ERROR: reading point start offset from QFIT header\n");
    return false;
  }
  first_record = record_u32(word, big_endian);
  // The points follow the header records, which hold at least the two words
  // just read: an offset before their end would read the header as points.
  if (first_record < record_size + 8) {
    std::fprintf(stderr,
                 "ERROR: QFIT point start offset %" PRId64
                 " lies inside the header that ends at byte %d\n",
                 first_record, record_size + 8);
    return false;
  }
  if (!stream->seek_to_end(0)) return false;
  const int64_t length = stream->position();
  npoints = length > first_record ? (length - first_record) / record_size : 0;
  partial_record = length > first_record ? (length - first_record) % record_size : 0;
  if (npoints == 0) {
    std::fprintf(stderr,
                 "ERROR: no QFIT point record after the offset %" PRId64 " in %" PRId64 " bytes\n",
                 first_record, length);
    return false;
  }
  return stream->seek_to(first_record);
}

bool LASreaderQFIT::add_attributes() {
  const int count = record_size >= 48 ? 4 : 3;
  for (int k = 0; k < count; k++) {
    const QfitAttribute& a = kAttributes[k];
    LASattributeDescriptor d;
    bool made = LASattributeDescriptor::make(a.type_index, a.name, a.description, &d);
    if (made && a.scaled) {
      d.scale[0] = a.scale;
      std::memcpy(d.min[0], &a.min, 8);
      std::memcpy(d.max[0], &a.max, 8);
      d.options = LASattributeDescriptor::kScaleBit | LASattributeDescriptor::kMinBit |
                  LASattributeDescriptor::kMaxBit;
    }
    if (!made || header.add_attribute(d) < 0) {
      std::fprintf(stderr, "ERROR: initializing attribute %s\n", a.failure);
      return false;
    }
  }
  return true;
}

bool LASreaderQFIT::open(ByteStreamIn* given) {
  if (given == nullptr) {
    std::fprintf(stderr, "ERROR: ByteStreamIn* pointer is zero\n");
    return false;
  }
  take_stream(given);
  if (!read_layout()) return false;
  side_header_software(&header, "LASreaderQFIT");
  header.number_of_point_records =
      npoints <= INT64_C(4294967295) ? static_cast<uint32_t>(npoints) : 0;
  header.number_of_points_by_return[0] = header.number_of_point_records;
  header.extended_number_of_point_records = static_cast<uint64_t>(npoints);
  header.extended_number_of_points_by_return[0] = static_cast<uint64_t>(npoints);
  header.x_scale_factor = 1e-6;
  header.y_scale_factor = 1e-6;
  header.z_scale_factor = 0.001;
  header.x_offset = header.y_offset = header.z_offset = 0.0;
  file_quantizer = header;
  header.clear_attributes();
  if (!add_attributes()) return false;
  header.update_extra_bytes_vlr();
  header.point_data_format = 1;
  header.point_data_record_length = static_cast<uint16_t>(28 + header.total_attribute_size());
  if (!point.init_for_point_type(&header, 1, header.point_data_record_length, &header)) {
    return false;
  }
  int32_t* starts[4] = {&start_azimuth, &start_pitch, &start_roll, &start_pulse_width};
  for (int k = 0; k < 4; k++) {
    const int32_t index = header.get_attribute_index(kAttributes[k].name);
    *starts[k] = index < 0 ? -1 : header.attribute_starts[index];
  }
  return scan_points() && seek_point(0) && settle_quantization();
}

bool LASreaderQFIT::scan_points() {
  for (p_count = 0; p_count < npoints; p_count++) {
    if (!decode_next()) return false;
    point.compute_coordinates();
    side_widen_box(&header, point.coordinates, p_count == 0);
  }
  return true;
}

bool LASreaderQFIT::decode_next() {
  try {
    stream->read_bytes(record, static_cast<uint32_t>(record_size));
  } catch (int) {
    std::fprintf(stderr, "ERROR: reading QFIT point after %u of %u\n",
                 static_cast<unsigned>(p_count), static_cast<unsigned>(npoints));
    return false;
  }
  const bool big = big_endian;
  point.set_gps_time(record_i32(record, big) * 0.001);
  const int32_t latitude = record_i32(record + 4, big);
  int32_t longitude = record_i32(record + 8, big);
  if (longitude > 180000000) longitude -= 360000000;
  const int32_t elevation = record_i32(record + 12, big);
  set_xyz(longitude, latitude, elevation);
  point.set_intensity(static_cast<uint16_t>(record_u32(record + 20, big) & 0xFFFF));
  const int32_t azimuth = record_i32(record + 24, big);
  point.scan_angle_rank =
      static_cast<int8_t>(las_round_clamped(azimuth * 0.001 - 180.0, -128, 127));
  uint8_t* extra = point.extra_bytes.get();
  record_store_u32(extra + start_azimuth, static_cast<uint32_t>(azimuth));
  record_store_u32(extra + start_pitch, record_u32(record + 28, big));
  record_store_u32(extra + start_roll, record_u32(record + 32, big));
  // The pulse width is the lowest byte of its word.
  if (start_pulse_width >= 0) extra[start_pulse_width] = record[big ? 43 : 40];
  return true;
}

bool LASreaderQFIT::read_one_point() {
  if (p_count >= npoints) {
    if (partial_record && !ended_short()) {
      end_short("WARNING: end-of-file inside QFIT record %" PRId64 " after %" PRId64
                " of its %d bytes. its point is not read\n",
                npoints + 1, partial_record, record_size);
    }
    return false;
  }
  if (!decode_next()) return false;
  p_count++;
  return true;
}

bool LASreaderQFIT::seek_point(int64_t index) {
  return seek_record(index, first_record, record_size);
}

bool LASreaderQFIT::reopen(const char* file_name) {
  if (!open_stream_file(file_name, "open", 0)) return false;
  p_count = 0;
  return stream->seek_to(first_record);
}
