#include "io/formats/las_reader_bil.hpp"

#include <cinttypes>
#include <cmath>
#include <cstring>

#include "io/formats/record_bytes.hpp"
#include "platform/run_messages.hpp"

namespace {

// The name up to and including the dot of its three-letter extension; false
// after a message when it has none.
bool side_file_base(const char* name, std::string* base) {
  const size_t length = std::strlen(name);
  for (size_t i = length >= 3 ? length - 3 : 0; i >= 1 && i < length; i--) {
    if (name[i] == '.') {
      base->assign(name, i + 1);
      return true;
    }
  }
  if (name[0] == '.') {
    base->assign(".");
    return true;
  }
  std::fprintf(stderr, "ERROR: file name '%s' is not a valid BIL file\n", name);
  return false;
}

// The side file with the lower-case extension, else the upper-case one.
FILE* open_side_file(const std::string& base, const char* lower, const char* upper) {
  FILE* f = std::fopen((base + lower).c_str(), "r");
  if (f == nullptr) f = std::fopen((base + upper).c_str(), "r");
  return f;
}

// One line of at most 255 characters; the rest of a longer one is dropped.
bool read_short_line(FILE* f, char line[256]) {
  if (std::fgets(line, 256, f) == nullptr) return false;
  if (std::strchr(line, '\n') == nullptr) {
    int c;
    do {
      c = std::fgetc(f);
    } while (c != EOF && c != '\n');
  }
  return true;
}

bool is_set(double v) {
  return std::isfinite(v) && v < 2e307;
}

}  // namespace

LASreaderBIL::LASreaderBIL() = default;

LASreaderBIL::~LASreaderBIL() {
  clean();
}

void LASreaderBIL::clean() {
  close_cells();
  col = row = 0;
  reset_overflows();
  ulxcenter = ulycenter = 2e307;
  nodata = -9999.0f;
  floats = signed_ints = big_endian = false;
}

bool LASreaderBIL::read_hdr(const char* file_name) {
  col = row = 0;
  ncols = nrows = nbands = nbits = 0;
  xdim = ydim = 0.0f;
  floats = signed_ints = big_endian = false;
  nodata = -9999.0f;
  std::string base;
  if (!side_file_base(file_name, &base)) return false;
  FILE* f = open_side_file(base, "hdr", "HDR");
  if (f == nullptr) {
    const std::string cut = base.substr(0, base.size() - 1);
    std::fprintf(stderr, "ERROR: cannot open files '%s.hdr' or '%s.HDR'\n", cut.c_str(),
                 cut.c_str());
    return false;
  }
  EHdrHeader h;
  h.read(f);
  std::fclose(f);
  if (h.layout_missing) print_note("WARNING: argument of LAYOUT missing for LASreader_bil\n");
  if (!h.unknown_pixeltype.empty()) {
    print_note("WARNING: pixeltype '%s' not recognized by LASreader_bil\n",
               h.unknown_pixeltype.c_str());
  }
  if (!h.unknown_byteorder.empty()) {
    print_note("WARNING: byteorder '%s' not recognized by LASreader_bil\n",
               h.unknown_byteorder.c_str());
  }
  ncols = h.ncols;
  nrows = h.nrows;
  nbands = h.nbands;
  nbits = h.nbits;
  big_endian = h.big_endian;
  floats = h.sample == EHdrSample::floating;
  signed_ints = h.sample == EHdrSample::signed_int;
  if (h.has_nodata) nodata = static_cast<float>(h.nodata);
  if (h.has_ulxmap && h.ulxmap < 2e307) ulxcenter = h.ulxmap;
  if (h.has_ulymap && h.ulymap < 2e307) ulycenter = h.ulymap;
  if (h.has_xdim) xdim = static_cast<float>(h.xdim);
  if (h.has_ydim) ydim = static_cast<float>(h.ydim);
  layout = h.layout;
  unknown_layout = h.unknown_layout;
  skipbytes = h.skipbytes;
  bandrowbytes = h.bandrowbytes;
  totalrowbytes = h.totalrowbytes;
  if (ncols <= 0 || nrows <= 0 || nbands <= 0 || nbits <= 0) {
    print_note("WARNING: not able to find all entries in HDR file\n");
    print_note("       ncols  = %d\n", ncols);
    print_note("       nrows  = %d\n", nrows);
    print_note("       nbands = %d\n", nbands);
    print_note("       nbits  = %d\n", nbits);
    return false;
  }
  return true;
}

bool LASreaderBIL::read_blw(const char* file_name) {
  std::string base;
  if (!side_file_base(file_name, &base)) return false;
  FILE* f = open_side_file(base, "blw", "BLW");
  if (f == nullptr) {
    const std::string cut = base.substr(0, base.size() - 1);
    print_note("WARNING: cannot open files '%s.blw' or '%s.BLW'\n", cut.c_str(), cut.c_str());
    return false;
  }
  // Lines 1, 4, 5 and 6 place the cells; a world file that lacks one
  // changes nothing.
  double values[6];
  bool complete = true;
  char line[256];
  for (int k = 0; k < 6 && complete; k++) {
    complete = read_short_line(f, line);
    if (complete && k != 1 && k != 2) {
      char* end;
      values[k] = std::strtod(line, &end);
      complete = end != line;
    }
  }
  std::fclose(f);
  if (!complete) {
    print_note("WARNING: corrupt world file\n");
    return false;
  }
  xdim = static_cast<float>(values[0]);
  ydim = static_cast<float>(-values[3]);
  ulxcenter = values[4];
  ulycenter = values[5];
  return true;
}

bool LASreaderBIL::check_cells(const char* file_name) {
  if ((nbits != 8 && nbits != 16 && nbits != 32) || (floats && nbits != 32)) {
    std::fprintf(stderr, "ERROR: BIL cells of %d bits%s are not supported\n", nbits,
                 floats ? " as float" : "");
    return false;
  }
  if (!unknown_layout.empty()) {
    std::fprintf(stderr, "ERROR: BIL layout '%s' is not supported\n", unknown_layout.c_str());
    return false;
  }
  EHdrHeader h;
  h.ncols = ncols;
  h.nrows = nrows;
  h.nbands = nbands;
  h.nbits = nbits;
  h.layout = layout;
  h.skipbytes = skipbytes;
  h.bandrowbytes = bandrowbytes;
  h.totalrowbytes = totalrowbytes;
  std::string why;
  if (!ehdr_band1(h, &band1, &why)) {
    std::fprintf(stderr, "ERROR: the *.hdr file for '%s' cannot be read: %s\n", file_name,
                 why.c_str());
    return false;
  }
  cell_gap = band1.cell_step - band1.cell_bytes;
  row_gap = band1.row_step - band1.row_span;
  return true;
}

bool LASreaderBIL::read_cell(int64_t c, int64_t r, float* value) {
  if (c > 0) {
    if (cell_gap != 0 && !cells.skip(cell_gap)) return false;
  } else if (r > 0 && row_gap != 0 && !cells.skip(row_gap)) {
    return false;
  }
  const uint8_t* p = cells.take(static_cast<size_t>(band1.cell_bytes));
  if (p == nullptr) return false;
  if (nbits == 32) {
    if (floats) {
      *value = record_f32(p, big_endian);
    } else {
      *value = signed_ints ? static_cast<float>(record_i32(p, big_endian))
                           : static_cast<float>(record_u32(p, big_endian));
    }
  } else if (nbits == 16) {
    *value = signed_ints ? static_cast<float>(record_i16(p, big_endian))
                         : static_cast<float>(record_u16(p, big_endian));
  } else {
    *value = signed_ints ? static_cast<float>(static_cast<int8_t>(p[0])) : p[0];
  }
  return true;
}

bool LASreaderBIL::open(const char* file_name) {
  if (file_name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is zero\n");
    return false;
  }
  clean();
  if (!read_hdr(file_name)) {
    std::fprintf(stderr, "ERROR: reading the *.hdr file for '%s'\n", file_name);
    return false;
  }
  if (!check_cells(file_name)) return false;
  if (!read_blw(file_name)) {
    print_note("WARNING: reading the *.blw file for '%s'\n", file_name);
  }
  if (!(xdim > 0.0f) || !std::isfinite(xdim)) {
    xdim = 1.0f;
    print_note("WARNING: xdim was not set. setting to %g\n", xdim);
  }
  if (!(ydim > 0.0f) || !std::isfinite(ydim)) {
    ydim = 1.0f;
    print_note("WARNING: ydim was not set. setting to %g\n", ydim);
  }
  if (!is_set(ulxcenter)) {
    ulxcenter = xdim * 0.5;
    print_note("WARNING: ulxcenter was not set. setting to %g\n", ulxcenter);
  }
  if (!is_set(ulycenter)) {
    ulycenter = (nrows - 0.5) * ydim;
    print_note("WARNING: ulycenter was not set. setting to %g\n", ulycenter);
  }
  // The file must hold every cell the header promises before a byte is
  // skipped: a lying header would otherwise place garbage as heights.
  if (!open_cells(file_name, "open", 0) || !cells_fit("BIL", file_name, band1.needed) ||
      !cells.skip(band1.first)) {
    return false;
  }
  if (!begin_header("LASreaderBIL", file_name)) return false;
  header.min_x = ulxcenter;
  header.max_x = ulxcenter + static_cast<float>(ncols - 1) * xdim;
  header.max_y = ulycenter;
  header.min_y = ulycenter - static_cast<float>(nrows - 1) * ydim;

  begin_count();
  float value;
  for (int64_t r = 0; r < nrows; r++) {
    for (int64_t c = 0; c < ncols; c++) {
      if (!read_cell(c, r, &value)) return count_ended("BIL", file_name, r, c);
      if (is_value(value, nodata)) count_cell(value);
    }
  }
  close_input(true);
  if (!end_count("BIL", xdim >= 0.5f ? 0.01 : 0.001, ydim >= 0.5f ? 0.01 : 0.001)) return false;
  if (!add_raster_record(ncols, nrows, xdim, ydim, ulxcenter - xdim * 0.5,
                         ulycenter + (0.5 - nrows) * ydim)) {
    return false;
  }
  return reopen(file_name);
}

bool LASreaderBIL::reopen(const char* file_name) {
  return open_cells(file_name, "reopen", band1.first);
}

bool LASreaderBIL::read_one_point() {
  if (p_count >= npoints) return false;
  for (;;) {
    if (col >= ncols) {
      col = 0;
      row++;
    }
    float value;
    if (row >= nrows || !read_cell(col, row, &value)) return end_of_cells();
    if (is_value(value, nodata)) {
      set_point(static_cast<float>(col) * xdim + ulxcenter,
                ulycenter - static_cast<float>(row) * ydim, value);
      col++;
      p_count++;
      return true;
    }
    col++;
  }
}
