#include "io/formats/side_raster.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "core/las_vlr_payload.hpp"
#include "platform/run_messages.hpp"

namespace {

bool is_blank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

const char* after_first_word(const char* t) {
  while (*t && is_blank(*t)) t++;
  while (*t && !is_blank(*t)) t++;
  while (*t && is_blank(*t)) t++;
  return t;
}

}  // namespace

bool raster_line_has(const char* line, const char* a, const char* b) {
  return std::strstr(line, a) || std::strstr(line, b);
}

bool raster_line_int(const char* line, int32_t* value) {
  const char* start = after_first_word(line);
  char* end;
  const long long v = std::strtoll(start, &end, 10);
  if (end == start || v < INT32_MIN || v > INT32_MAX) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

bool raster_line_double(const char* line, double* value) {
  const char* start = after_first_word(line);
  char* end;
  const double v = std::strtod(start, &end);
  if (end == start) return false;
  *value = v;
  return true;
}

bool raster_line_word(const char* line, char* word, size_t size) {
  const char* start = after_first_word(line);
  size_t n = 0;
  while (start[n] && !is_blank(start[n]) && n + 1 < size) {
    word[n] = start[n];
    n++;
  }
  word[n] = '\0';
  return n > 0;
}

void LASrasterCells::attach(FILE* f) {
  file = f;
  pos = end = 0;
}

const uint8_t* LASrasterCells::take(size_t n) {
  if (end - pos < n) {
    std::memmove(buffer.get(), buffer.get() + pos, end - pos);
    end -= pos;
    pos = 0;
    if (file) end += std::fread(buffer.get() + end, 1, kChunkSize - end, file);
    if (end < n) return nullptr;
  }
  const uint8_t* at = buffer.get() + pos;
  pos += n;
  return at;
}

size_t LASrasterCells::copy(uint8_t* out, size_t n) {
  size_t copied = 0;
  while (copied < n) {
    if (pos == end) {
      pos = end = 0;
      if (file) end = std::fread(buffer.get(), 1, kChunkSize, file);
      if (end == 0) break;
    }
    const size_t step = std::min(n - copied, end - pos);
    std::memcpy(out + copied, buffer.get() + pos, step);
    pos += step;
    copied += step;
  }
  return copied;
}

bool LASrasterCells::skip(uint64_t n) {
  const uint64_t held = end - pos;
  if (n <= held) {
    pos += static_cast<size_t>(n);
    return true;
  }
  n -= held;
  pos = end = 0;
  if (file == nullptr) return false;
  // Forward in steps a seek can take; whether the data reach that far shows
  // at the next read.
  while (n > 0) {
    const uint64_t step = n < (uint64_t{1} << 30) ? n : (uint64_t{1} << 30);
    if (std::fseek(file, static_cast<long>(step), SEEK_CUR) != 0) return false;
    n -= step;
  }
  return true;
}

bool LASreaderRaster::begin_header(const char* reader_name, const char* file_name) {
  side_header_software(&header, reader_name);
  side_header_date(&header, file_name);
  header.point_data_format = 0;
  header.point_data_record_length = 20;
  return point.init_for_point_type(&header, 0, 20, &header);
}

void LASreaderRaster::begin_count() {
  npoints = 0;
  header.min_z = 2e307;
  header.max_z = -2e307;
}

bool LASreaderRaster::end_count(const char* kind, double projected_x, double projected_y) {
  header.number_of_point_records =
      npoints <= INT64_C(4294967295) ? static_cast<uint32_t>(npoints) : 0;
  header.extended_number_of_point_records = static_cast<uint64_t>(npoints);
  if (npoints == 0) {
    print_note("WARNING: %s raster contains only no data values\n", kind);
    header.min_z = header.max_z = 0.0;
    return true;
  }
  double preferred[3];
  side_default_scale_factors(header, projected_x, projected_y, preferred);
  LASscaler own;
  if (!side_choose_quantization(&header, preferred, requested, &own)) {
    report_unheld(preferred);
    return false;
  }
  quantize_header_bounds();
  return true;
}

void LASreaderRaster::report_unheld(const double preferred[3]) const {
  static const char* const kNames[6] = {"min_x", "max_x", "min_y", "max_y", "min_z", "max_z"};
  const double bounds[6] = {header.min_x, header.max_x, header.min_y,
                            header.max_y, header.min_z, header.max_z};
  const double scales[3] = {header.x_scale_factor, header.y_scale_factor, header.z_scale_factor};
  const double offsets[3] = {header.x_offset, header.y_offset, header.z_offset};
  for (int b = 0; b < 6; b++) {
    const int a = b / 2;
    const double n = (bounds[b] - offsets[a]) / scales[a];
    if (n > -2147483648.5 && n < 2147483647.5) continue;
    if (requested.scale_factor_set && requested.scale_factor[a] != 0.0) {
      std::fprintf(stderr,
                   "ERROR: %s = %g does not fit a 32-bit integer with scale factor %g and offset "
                   "%g\n",
                   kNames[b], bounds[b], scales[a], offsets[a]);
      return;
    }
    // The reader's own quantum was made coarser up to 1 in vain: name the
    // one it starts from, as the user knows it.
    const double offset = requested.offset_set
                              ? requested.offset[a]
                              : side_choose_offset(bounds[a * 2], bounds[a * 2 + 1], preferred[a]);
    std::fprintf(stderr,
                 "ERROR: %s = %g does not fit a 32-bit integer with scale factor %g and offset %g, "
                 "nor with a coarser one up to 1\n",
                 kNames[b], bounds[b], preferred[a], offset);
    return;
  }
}

bool LASreaderRaster::add_raster_record(int32_t ncols, int32_t nrows, double stepx, double stepy,
                                        double llx, double lly) {
  LASvlrRasterVPK raster;
  raster.nbands = 1;
  raster.nbits = 32;
  raster.ncols = ncols;
  raster.nrows = nrows;
  raster.reserved1 = 0;
  raster.reserved2 = 0;
  raster.stepx = stepx;
  raster.stepx_y = 0.0;
  raster.stepy = stepy;
  raster.stepy_x = 0.0;
  raster.llx = llx;
  raster.lly = lly;
  raster.sigmaxy = 0.0;
  MallocBuffer bytes = raster.serialize();
  if (!bytes) return false;
  std::unique_ptr<uint8_t[]> payload(new uint8_t[LASvlrRasterVPK::kPayloadLength]);
  std::memcpy(payload.get(), bytes.get(), LASvlrRasterVPK::kPayloadLength);
  return header.insert_vlr(raster.vlr_user_id(), LASvlrRasterVPK::kRecordId,
                           LASvlrRasterVPK::kPayloadLength, std::move(payload), false,
                           LASheader::kDefaultDescription);
}

bool LASreaderRaster::count_ended(const char* kind, const char* file_name, int64_t row_at,
                                  int64_t col_at) const {
  std::fprintf(stderr,
               "ERROR: %s raster '%s' ends after %" PRId64 " of %d rows and %" PRId64
               " of %d cols\n",
               kind, file_name, row_at, nrows, col_at, ncols);
  return false;
}

bool LASreaderRaster::cells_fit(const char* kind, const char* file_name, uint64_t needed) const {
  struct stat status;
  if (file == nullptr || fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
    return true;
  }
  const uint64_t size = static_cast<uint64_t>(status.st_size);
  if (needed <= size) return true;
  std::fprintf(stderr,
               "ERROR: %s raster '%s' of %d cols and %d rows needs %" PRIu64
               " bytes but has %" PRIu64 "\n",
               kind, file_name, ncols, nrows, needed, size);
  return false;
}

bool LASreaderRaster::end_of_cells() {
  end_short("WARNING: end-of-file after %d of %d rows and %d of %d cols. read %" PRId64
            " points\n",
            row, nrows, col, ncols, p_count);
  npoints = p_count;
  return false;
}

bool LASreaderRaster::open_cells(const char* file_name, const char* verb, uint64_t skip) {
  close_cells();
  file = side_open_binary(file_name, verb, kStdioBufferSize);
  if (file == nullptr) return false;
  cells.attach(file);
  col = row = 0;
  p_count = 0;
  return skip == 0 || cells.skip(skip);
}

void LASreaderRaster::close_input(bool) {
  report_overflows();
  close_cells();
}

void LASreaderRaster::close_cells() {
  if (file) std::fclose(file);
  file = nullptr;
  cells.attach(nullptr);
}

void LASreaderRaster::report_overflows() {
  static const char kAxes[3] = {'x', 'y', 'z'};
  for (int a = 0; a < 3; a++) {
    if (overflows[a] != 0) {
      print_note("WARNING: total of %" PRId64 " integer overflows in %c\n", overflows[a], kAxes[a]);
      overflows[a] = 0;
    }
  }
}
