#include "io/formats/las_reader_shp.hpp"

#include <cinttypes>
#include <cmath>

#include "io/formats/record_bytes.hpp"
#include "platform/run_messages.hpp"

namespace {

constexpr int kMainHeaderSize = 100;
// Vertices taken from the file at a time, so that a stated count never
// reserves more memory than the file really holds.
constexpr int64_t kChunkVertices = 4096;

bool is_point_type(int32_t type) {
  return type == 1 || type == 11 || type == 21 || type == 8 || type == 18 || type == 28;
}

bool is_multipoint(int32_t type) {
  return type == 8 || type == 18 || type == 28;
}

bool has_z(int32_t type) {
  return type == 11 || type == 18;
}

}  // namespace

LASreaderSHP::LASreaderSHP() = default;

LASreaderSHP::~LASreaderSHP() {
  clean();
}

void LASreaderSHP::clean() {
  input.close();
  vertex_count = vertex_next = 0;
  records = 0;
  cut_short = false;
}

bool LASreaderSHP::read_bytes(uint8_t* bytes, size_t n) {
  return std::fread(bytes, 1, n, input.file) == n;
}

bool LASreaderSHP::skip_bytes(int64_t n) {
  uint8_t scrap[4096];
  while (n > 0) {
    const size_t step =
        n < static_cast<int64_t>(sizeof(scrap)) ? static_cast<size_t>(n) : sizeof(scrap);
    if (!read_bytes(scrap, step)) return false;
    n -= static_cast<int64_t>(step);
  }
  return true;
}

bool LASreaderSHP::read_main_header() {
  uint8_t h[kMainHeaderSize];
  if (!read_bytes(h, kMainHeaderSize)) return false;
  const int32_t code = record_i32(h, true);
  if (code != 9994) {
    std::fprintf(stderr, "ERROR: wrong shapefile code %d != 9994\n", code);
    return false;
  }
  const int32_t version = record_i32(h + 28);
  if (version != 1000) {
    std::fprintf(stderr, "ERROR: wrong shapefile version %d != 1000\n", version);
    return false;
  }
  shape_type = record_i32(h + 32);
  if (!is_point_type(shape_type)) {
    std::fprintf(stderr, "ERROR: wrong shape type %d != 1,11,21,8,18,28\n", shape_type);
    return false;
  }
  header.min_x = record_f64(h + 36);
  header.min_y = record_f64(h + 44);
  header.max_x = record_f64(h + 52);
  header.max_y = record_f64(h + 60);
  header.min_z = record_f64(h + 68);
  header.max_z = record_f64(h + 76);
  return true;
}

LASreaderSHP::Record LASreaderSHP::read_vertices(int32_t type, int64_t length, int32_t number) {
  // What the record must hold for its vertices; M values (a range and one
  // per vertex) may follow or not, and are skipped with the rest.
  const int64_t n = number;
  int64_t needed = 16 * n;
  if (has_z(type)) needed += (is_multipoint(type) ? 16 : 0) + 8 * n;
  if (n < 0 || needed > length) {
    std::fprintf(stderr,
                 "ERROR: shapefile record %d of shape type %d has %d points but only %" PRId64
                 " bytes for them\n",
                 records, type, number, length);
    return Record::corrupt;
  }
  vertex_count = 0;
  if (!is_multipoint(type) && length <= 64) {
    // A single point in one read: x, y, then z or m.
    uint8_t content[64];
    if (!read_bytes(content, static_cast<size_t>(length))) return Record::end;
    vertices.resize(3);
    vertices[0] = record_f64(content);
    vertices[1] = record_f64(content + 8);
    vertices[2] = has_z(type) ? record_f64(content + 16) : 0.0;
    vertex_count = 1;
    vertex_next = 0;
    return Record::read;
  }
  uint8_t chunk[16 * kChunkVertices];
  for (int64_t done = 0; done < n;) {
    const int64_t step = n - done < kChunkVertices ? n - done : kChunkVertices;
    if (!read_bytes(chunk, static_cast<size_t>(16 * step))) return Record::end;
    vertices.resize(3 * static_cast<size_t>(done + step));
    for (int64_t k = 0; k < step; k++) {
      double* v = &vertices[3 * static_cast<size_t>(done + k)];
      v[0] = record_f64(chunk + 16 * k);
      v[1] = record_f64(chunk + 16 * k + 8);
      v[2] = 0.0;
    }
    done += step;
  }
  if (has_z(type)) {
    if (is_multipoint(type) && !skip_bytes(16)) return Record::end;
    for (int64_t done = 0; done < n;) {
      const int64_t step = n - done < 2 * kChunkVertices ? n - done : 2 * kChunkVertices;
      if (!read_bytes(chunk, static_cast<size_t>(8 * step))) return Record::end;
      for (int64_t k = 0; k < step; k++) {
        vertices[3 * static_cast<size_t>(done + k) + 2] = record_f64(chunk + 8 * k);
      }
      done += step;
    }
  }
  if (!skip_bytes(length - needed)) return Record::end;
  vertex_count = static_cast<size_t>(n);
  vertex_next = 0;
  return Record::read;
}

LASreaderSHP::Record LASreaderSHP::read_record() {
  for (;;) {
    // Record number and content length (big-endian), then the shape type.
    uint8_t head[12];
    const size_t got = std::fread(head, 1, 12, input.file);
    if (got == 0) return Record::end;
    records++;
    cut_short = true;
    if (got < 12) return Record::end;
    // The content length counts 16-bit words and includes the shape type.
    const int64_t length = 2 * static_cast<int64_t>(record_i32(head + 4, true)) - 4;
    if (length < 0) {
      std::fprintf(stderr, "ERROR: shapefile record %d is %" PRId64 " bytes long\n", records,
                   length + 4);
      return Record::corrupt;
    }
    const int32_t type = record_i32(head + 8);
    if (type != shape_type && type != 0) {
      print_note("WARNING: wrong shape type %d != %d in record\n", type, shape_type);
    }
    if (!is_point_type(type)) {
      // Null shapes, and shapes of no points, are passed over.
      if (!skip_bytes(length)) return Record::end;
      cut_short = false;
      continue;
    }
    Record result;
    if (is_multipoint(type)) {
      uint8_t box_and_count[36];
      if (length < 36) {
        std::fprintf(stderr,
                     "ERROR: shapefile record %d of shape type %d is %" PRId64 " bytes long\n",
                     records, type, length + 4);
        return Record::corrupt;
      }
      if (!read_bytes(box_and_count, 36)) return Record::end;
      result = read_vertices(type, length - 36, record_i32(box_and_count + 32));
    } else {
      result = read_vertices(type, length, 1);
    }
    if (result != Record::end) cut_short = false;
    if (result != Record::read || vertex_count > 0) return result;
  }
}

bool LASreaderSHP::open(const char* file_name) {
  if (file_name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is zero\n");
    return false;
  }
  clean();
  corrupt = false;
  if (!input.open_named(file_name, "rb", "open")) return false;
  header.reset();
  side_header_software(&header, "LASreaderSHP");
  side_header_date(&header, file_name);
  header.point_data_format = 0;
  header.point_data_record_length = 20;
  if (!point.init_for_point_type(&header, 0, 20, &header)) return false;
  if (!read_main_header()) return false;

  // The count the main header's file length suggests misses records without
  // M values, so every record is walked once; its vertices give the box.
  npoints = 0;
  Record r;
  while ((r = read_record()) == Record::read) {
    for (size_t k = 0; k < vertex_count; k++) {
      side_widen_box(&header, &vertices[3 * k], npoints == 0);
      npoints++;
    }
  }
  if (r == Record::corrupt) return false;
  if (cut_short) {
    end_short("WARNING: end-of-file inside shapefile record %d. its points are not read\n",
              records);
  }
  if (!input.close()) return false;
  header.number_of_point_records =
      npoints <= INT64_C(4294967295) ? static_cast<uint32_t>(npoints) : 0;
  header.number_of_points_by_return[0] = header.number_of_point_records;
  header.extended_number_of_point_records = static_cast<uint64_t>(npoints);

  double scale[3];
  side_default_scale_factors(header, 0.01, 0.01, scale);
  // Coordinates beyond 32-bit integers would be clamped.
  if (npoints > 0 && !side_fit_quantization(&header, scale, LASrequestedQuantizer())) return false;
  quantize_header_bounds();
  const LASscaler own = header;
  requested.replace(&header);
  if (npoints > 0 && !side_quantization_holds(header, own)) return false;
  return reopen(file_name);
}

bool LASreaderSHP::reopen(const char* file_name) {
  if (file_name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is zero\n");
    return false;
  }
  clean();
  if (!input.open_named(file_name, "rb", "reopen")) return false;
  uint8_t h[kMainHeaderSize];
  if (!read_bytes(h, kMainHeaderSize)) return false;
  p_count = 0;
  return true;
}

bool LASreaderSHP::read_one_point() {
  if (p_count >= npoints) {
    // A decompressor is only judged when its stream ends.
    if (input.piped) close_input(true);
    return false;
  }
  if (vertex_next >= vertex_count) {
    if (!input.is_open()) return false;
    const Record r = read_record();
    if (r != Record::read) {
      if (r == Record::corrupt) corrupt = true;
      npoints = p_count;
      return false;
    }
  }
  const double* v = &vertices[3 * vertex_next++];
  point.X = header.get_X(v[0]);
  point.Y = header.get_Y(v[1]);
  point.Z = header.get_Z(v[2]);
  p_count++;
  return true;
}

void LASreaderSHP::close_input(bool) {
  input.close();
  vertex_count = vertex_next = 0;
}
