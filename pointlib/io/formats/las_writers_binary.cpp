#include "io/formats/las_writers_binary.hpp"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstring>

#include "core/byte_stream_out.hpp"
#include "core/las_header.hpp"
#include "io/formats/record_bytes.hpp"
#include "io/formats/side_writer.hpp"
#include "platform/file_identity.hpp"
#include "platform/run_messages.hpp"

namespace {

constexpr int kLibraryVersion = 210531;

// Truncates toward zero into 64 bits, saturating at the ends (NaN gives 0).
int64_t truncate_i64(double value) {
  if (!(value == value)) return 0;
  if (value >= 9223372036854775807.0) return INT64_MAX;
  if (value <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(value);
}

// Echo code of the returns: 0 only, 1 first, 2 intermediate, 3 last.
uint8_t echo_code(const LASpoint& point) {
  const bool extended = point.is_extended_point();
  const int n = extended ? point.get_extended_number_of_returns() : point.get_number_of_returns();
  const int r = extended ? point.get_extended_return_number() : point.get_return_number();
  if (n <= 1) return 0;
  if (r == 1) return 1;
  if (r >= n) return 3;
  return 2;
}

// The class a BIN code byte can hold: classes above 31 are unknown to it.
uint8_t bin_class(const LASpoint& point) {
  if (!point.is_extended_point()) return point.get_classification();
  const uint8_t c = point.get_extended_classification();
  return c < 32 ? c : 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// shared

LASwriterBinarySide::~LASwriterBinarySide() {
  if (delete_stream) delete stream;
  if (file) std::fclose(file);
}

ByteStreamOut* LASwriterBinarySide::named_stream(const char* name, uint32_t io_buffer_size) {
  if (name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is zero\n");
    return nullptr;
  }
  FILE* f = std::fopen(name, "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "ERROR: cannot open file '%s'\n", name);
    return nullptr;
  }
  if (io_buffer_size > 0 && std::setvbuf(f, nullptr, _IOFBF, io_buffer_size) != 0) {
    print_note("WARNING: setvbuf() failed with buffer size %u\n", io_buffer_size);
  }
  file = f;
  file_name = name;
  return new ByteStreamOutFileLE(f);
}

ByteStreamOut* LASwriterBinarySide::cfile_stream(FILE* f) {
  if (f == nullptr) {
    std::fprintf(stderr, "ERROR: file pointer is zero\n");
    return nullptr;
  }
  // POSIX streams have no text mode, so standard output needs no switch.
  return new ByteStreamOutFileLE(f);
}

bool LASwriterBinarySide::take_stream(ByteStreamOut* out, const LASheader* header) {
  if (out == nullptr) {
    std::fprintf(stderr, "ERROR: ByteStreamOut pointer is zero\n");
    return false;
  }
  stream = out;
  return side_header_given(header);
}

void LASwriterBinarySide::begin_points(const LASheader& header) {
  side_begin_points(this, header);
  write_failed = false;
  time_warned = false;
  start_position = stream->position();
}

void LASwriterBinarySide::abandon() {
  if (delete_stream) delete stream;
  stream = nullptr;
  if (file) {
    std::fclose(file);
    file = nullptr;
    remove_regular_file(file_name.c_str());
  }
}

void LASwriterBinarySide::fail_write() {
  if (!write_failed) {
    const char* name = file ? file_name.c_str() : "stdout";
    std::fprintf(stderr, "ERROR: cannot write to '%s': %s\n", name,
                 errno ? std::strerror(errno) : "write failed");
  }
  write_failed = true;
}

int64_t LASwriterBinarySide::finish() {
  const int64_t bytes = stream->position() - start_position;
  // Buffered writes fail late: a full disk may show only when the buffer is
  // flushed or the file closed.
  if (auto* out = dynamic_cast<ByteStreamOutFile*>(stream)) {
    errno = 0;
    if (!write_failed &&
        (!out->flush() || std::fflush(out->get_file()) != 0 || std::ferror(out->get_file()))) {
      fail_write();
    }
  }
  if (delete_stream) delete stream;
  stream = nullptr;
  if (file) {
    errno = 0;
    if (std::fclose(file) != 0) fail_write();
    file = nullptr;
  }
  side_end_points(this);
  return write_failed ? -1 : bytes;
}

// ---------------------------------------------------------------------------
// BIN

LASwriterBIN::~LASwriterBIN() {
  if (stream) close_output(true);
}

bool LASwriterBIN::open_file(const char* name, const LASheader* header, const char* version_text,
                             uint32_t io_buffer_size) {
  ByteStreamOut* out = named_stream(name, io_buffer_size);
  return out && open_stream(out, header, version_text);
}

bool LASwriterBIN::open_cfile(FILE* f, const LASheader* header, const char* version_text) {
  ByteStreamOut* out = cfile_stream(f);
  return out && open_stream(out, header, version_text);
}

bool LASwriterBIN::open_stream(ByteStreamOut* out, const LASheader* header,
                               const char* version_text) {
  if (start(out, header, version_text)) return true;
  abandon();
  return false;
}

bool LASwriterBIN::start(ByteStreamOut* out, const LASheader* header, const char* version_text) {
  if (!take_stream(out, header)) return false;
  version = version_text && std::strstr(version_text, "ts16") ? 20020715 : 20010712;
  const double s =
      std::fmin(header->x_scale_factor, std::fmin(header->y_scale_factor, header->z_scale_factor));
  if (!(s > 0.0) || !std::isfinite(s)) {
    std::fprintf(stderr, "ERROR: scale factors %g %g %g give no terrasolid units\n",
                 header->x_scale_factor, header->y_scale_factor, header->z_scale_factor);
    return false;
  }
  // The units are the reciprocal of the finest scale factor. A scale factor
  // that was computed (0.1 * 0.1) has a reciprocal a hair below the whole
  // number it stands for, which truncation would make one unit coarser; a
  // scale factor above 1 would give 0 units, which no reader can divide by.
  const double reciprocal = 1.0 / s;
  const double nearest = std::round(reciprocal);
  double u = std::fabs(reciprocal - nearest) <= 1e-9 * nearest ? nearest : std::trunc(reciprocal);
  if (u < 1.0) u = 1.0;
  if (u > 2147483647.0) u = 2147483647.0;
  units = static_cast<int32_t>(u);
  // 0.0 - ... rather than a negation: a zero offset gives +0.0, not -0.0.
  origin[0] = 0.0 - header->x_offset / s;
  origin[1] = 0.0 - header->y_offset / s;
  origin[2] = 0.0 - header->z_offset / s;
  // Points of the LAS 1.4 formats carry time, and some colour, as well.
  with_time = side_format_has_time(header->point_data_format);
  with_colour = side_format_has_rgb(header->point_data_format);
  begin_points(*header);

  uint8_t bytes[56] = {};
  record_store_i32(bytes + 0, 56);
  record_store_i32(bytes + 4, version);
  record_store_i32(bytes + 8, 970401);
  std::memcpy(bytes + 12, "CXYZ", 4);
  record_store_u32(bytes + 16, static_cast<uint32_t>(npoints));
  record_store_i32(bytes + 20, units);
  record_store_f64(bytes + 24, origin[0]);
  record_store_f64(bytes + 32, origin[1]);
  record_store_f64(bytes + 40, origin[2]);
  record_store_i32(bytes + 48, with_time ? 1 : 0);
  record_store_i32(bytes + 52, with_colour ? 1 : 0);
  errno = 0;
  if (!stream->write_bytes(bytes, 56)) {
    std::fprintf(stderr, "ERROR: writing terrasolid header\n");
    return false;
  }
  return true;
}

bool LASwriterBIN::to_integer(double coordinate, double axis_origin, char axis, int32_t* out) {
  const int64_t v = las_round_i64(coordinate * units + axis_origin);
  if (LASscaler::fits32(v)) {
    *out = static_cast<int32_t>(v);
    return true;
  }
  // A clamped or wrapped integer would put the point elsewhere.
  std::fprintf(stderr,
               "ERROR: %c coordinate %.15g of point %" PRId64
               " does not fit the 32-bit integers of terrasolid BIN at %d units\n",
               axis, coordinate, p_count + 1, units);
  return false;
}

bool LASwriterBIN::write_one_point(const LASpoint* point) {
  int32_t xyz[3];
  if (!to_integer(quantizer.get_x(point->X), origin[0], 'x', &xyz[0]) ||
      !to_integer(quantizer.get_y(point->Y), origin[1], 'y', &xyz[1]) ||
      !to_integer(quantizer.get_z(point->Z), origin[2], 'z', &xyz[2])) {
    return false;
  }
  uint8_t record[28];
  uint32_t size;
  const uint8_t echo = echo_code(*point);
  if (version == 20020715) {
    record_store_i32(record + 0, xyz[0]);
    record_store_i32(record + 4, xyz[1]);
    record_store_i32(record + 8, xyz[2]);
    record[12] = bin_class(*point);
    record[13] = echo;
    record[14] = 0;
    record[15] = 0;
    record_store_u16(record + 16, point->point_source_ID);
    record_store_u16(record + 18, point->intensity);
    size = 20;
  } else {
    record[0] = bin_class(*point);
    record[1] = static_cast<uint8_t>(point->point_source_ID & 0xFF);
    record_store_u16(record + 2, static_cast<uint16_t>((echo << 14) | (point->intensity & 0x3FFF)));
    record_store_i32(record + 4, xyz[0]);
    record_store_i32(record + 8, xyz[1]);
    record_store_i32(record + 12, xyz[2]);
    size = 16;
  }
  if (with_time) {
    const int64_t ticks = truncate_i64(point->gps_time / 0.0002 + 0.5);
    if ((ticks < 0 || ticks > int64_t{UINT32_MAX}) && !time_warned) {
      print_note(
          "WARNING: gps time %.6f does not fit the 32-bit time of terrasolid BIN. "
          "times are written modulo 2^32 ticks of 0.0002 seconds.\n",
          point->gps_time);
      time_warned = true;
    }
    record_store_u32(record + size, static_cast<uint32_t>(static_cast<uint64_t>(ticks)));
    size += 4;
  }
  if (with_colour) {
    record[size + 0] = static_cast<uint8_t>(point->rgb[0] >> 8);
    record[size + 1] = static_cast<uint8_t>(point->rgb[1] >> 8);
    record[size + 2] = static_cast<uint8_t>(point->rgb[2] >> 8);
    record[size + 3] = 0;
    size += 4;
  }
  errno = 0;
  if (write_failed || !stream->write_bytes(record, size)) {
    fail_write();
    return false;
  }
  p_count++;
  return true;
}

int64_t LASwriterBIN::close_output(bool update_npoints) {
  if (stream == nullptr) return -1;
  if (update_npoints && p_count != npoints) {
    if (stream->can_seek()) {
      const int64_t end = stream->position();
      const uint32_t count = static_cast<uint32_t>(p_count);
      errno = 0;
      if (!stream->seek_to(start_position + 16) || !stream->write_u32_le(&count) ||
          !stream->seek_to(end)) {
        fail_write();
      }
    } else {
      std::fprintf(stderr,
                   "ERROR: stream not seekable. cannot update header from %" PRId64 " to %" PRId64
                   " points.\n",
                   npoints, p_count);
      write_failed = true;
    }
  }
  return finish();
}

// ---------------------------------------------------------------------------
// QFIT

LASwriterQFIT::~LASwriterQFIT() {
  if (stream) close_output(true);
}

bool LASwriterQFIT::open_file(const char* name, const LASheader* h, int32_t record_version,
                              uint32_t io_buffer_size) {
  ByteStreamOut* out = named_stream(name, io_buffer_size);
  return out && open_stream(out, h, record_version);
}

bool LASwriterQFIT::open_cfile(FILE* f, const LASheader* h, int32_t record_version) {
  ByteStreamOut* out = cfile_stream(f);
  return out && open_stream(out, h, record_version);
}

bool LASwriterQFIT::open_stream(ByteStreamOut* out, const LASheader* h, int32_t record_version) {
  if (start(out, h, record_version)) return true;
  abandon();
  return false;
}

bool LASwriterQFIT::start(ByteStreamOut* out, const LASheader* h, int32_t record_version) {
  if (!take_stream(out, h)) return false;
  header = h;
  if (!(h->min_x > -361 && h->min_y > -361 && h->max_x < 361 && h->max_y < 361)) {
    std::fprintf(stderr, "ERROR: bounding box (%g %g / %g %g) exceeds longitude / latitude\n",
                 h->min_x, h->min_y, h->max_x, h->max_y);
    return false;
  }
  raw_coordinates = h->x_scale_factor == 0.000001 && h->y_scale_factor == 0.000001 &&
                    h->z_scale_factor == 0.001 && h->x_offset == 0.0 && h->y_offset == 0.0 &&
                    h->z_offset == 0.0;
  auto start_of = [h](const char* name) {
    const int32_t index = h->get_attribute_index(name);
    return index < 0 ? -1 : h->attribute_starts[static_cast<size_t>(index)];
  };
  scan_azimuth_start = start_of("scan azimuth");
  pitch_start = start_of("pitch");
  roll_start = start_of("roll");
  pulse_width_start = start_of("pulse width");
  if (record_version == 0) {
    record_length = pulse_width_start >= 0 ? 48 : 40;
  } else if (record_version == 40 || record_version == 48 || record_version == 56) {
    record_length = record_version;
  } else {
    print_note("WARNING: version %d of QFIT unknown ... using 48\n", record_version);
    record_length = 48;
  }
  begin_points(*h);

  const uint32_t L = static_cast<uint32_t>(record_length);
  uint8_t text[56] = {};
  std::snprintf(reinterpret_cast<char*>(text), L - 4, "via LASwriterQFIT (version %d)",
                kLibraryVersion);
  if (!stream->write_u32_le(&record_length)) {
    std::fprintf(stderr, "ERROR: while writing version of QFIT header\n");
    return false;
  }
  if (!stream->write_bytes(text, L - 4)) {
    std::fprintf(stderr, "ERROR: writing first header record of QFIT header\n");
    return false;
  }
  const int32_t marker = -9000000;
  if (!stream->write_u32_le(&marker)) {
    std::fprintf(stderr, "ERROR: while writing -9000000 into QFIT header\n");
    return false;
  }
  const int32_t offset = 2 * record_length;
  if (!stream->write_u32_le(&offset)) {
    std::fprintf(stderr, "ERROR: while writing offset into QFIT header\n");
    return false;
  }
  std::memset(text, 0, sizeof(text));
  std::snprintf(reinterpret_cast<char*>(text), L - 8, "converted by Mirvelox from LAS");
  if (!stream->write_bytes(text, L - 8)) {
    std::fprintf(stderr, "ERROR: writing second header record of QFIT header\n");
    return false;
  }
  return true;
}

bool LASwriterQFIT::word_of(double value, double unit, const char* what, int32_t* out) {
  const int64_t v = las_round_i64(value / unit);
  if (LASscaler::fits32(v)) {
    *out = static_cast<int32_t>(v);
    return true;
  }
  std::fprintf(stderr,
               "ERROR: %s %.15g of point %" PRId64 " does not fit the 32-bit integers of QFIT\n",
               what, value, p_count + 1);
  return false;
}

bool LASwriterQFIT::write_one_point(const LASpoint* point) {
  int32_t words[14] = {};
  const int64_t ms = las_round_i64(std::fabs(point->gps_time) * 1000.0);
  if (ms > INT32_MAX && !time_warned) {
    print_note(
        "WARNING: gps time %.6f does not fit the 32-bit milliseconds of QFIT. times are "
        "written modulo 2^31 milliseconds.\n",
        point->gps_time);
    time_warned = true;
  }
  words[0] = static_cast<int32_t>(static_cast<uint64_t>(ms) & 0x7FFFFFFF);
  int64_t longitude;
  if (raw_coordinates) {
    longitude = point->X;
    words[1] = point->Y;
    words[3] = point->Z;
  } else {
    int32_t x;
    if (!word_of(quantizer.get_x(point->X), 0.000001, "longitude", &x) ||
        !word_of(quantizer.get_y(point->Y), 0.000001, "latitude", &words[1]) ||
        !word_of(quantizer.get_z(point->Z), 0.001, "elevation", &words[3])) {
      return false;
    }
    longitude = x;
  }
  if (longitude < 0) longitude += 360000000;
  if (!LASscaler::fits32(longitude)) {
    std::fprintf(stderr, "ERROR: longitude of point %" PRId64 " does not fit QFIT\n", p_count + 1);
    return false;
  }
  words[2] = static_cast<int32_t>(longitude);
  words[5] = point->intensity;
  const uint8_t* extra = point->extra_bytes.get();
  auto attribute = [point, extra](int32_t start, int32_t size, int32_t* value) {
    if (start < 0 || extra == nullptr || start + size > point->extra_bytes_number) return false;
    if (size == 4) {
      *value = record_i32(extra + start);
    } else {
      *value = extra[start];
    }
    return true;
  };
  // Without a stored azimuth the scan angle goes in its place, moved by 180
  // degrees as QFIT readers take it back (scan angle = azimuth - 180).
  if (!attribute(scan_azimuth_start, 4, &words[6])) {
    words[6] = point->is_extended_point() ? 180000 + point->extended_scan_angle * 6
                                          : 180000 + point->scan_angle_rank * 1000;
  }
  attribute(pitch_start, 4, &words[7]);
  attribute(roll_start, 4, &words[8]);
  if (record_length >= 48) attribute(pulse_width_start, 1, &words[10]);
  const int count = record_length / 4;
  uint8_t record[sizeof(words)];
  for (int k = 0; k < count; k++) record_store_i32(record + 4 * k, words[k]);
  errno = 0;
  if (write_failed || !stream->write_bytes(record, static_cast<uint32_t>(record_length))) {
    fail_write();
    return false;
  }
  p_count++;
  return true;
}

int64_t LASwriterQFIT::close_output(bool) {
  if (stream == nullptr) return -1;
  return finish();
}
