#include "io/formats/las_reader_asc.hpp"
#include "platform/run_messages.hpp"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Header lines are short; a line this long is a row of cells, of which only
// the first few are looked at before the cells are read as words.
constexpr size_t kLineKept = 4096;

bool is_blank(int c) {
  return static_cast<unsigned>(c) <= 32;
}

bool known(double v) {
  return std::isfinite(v) && v != 2e307;
}

}  // namespace

LASreaderASC::LASreaderASC() = default;

LASreaderASC::~LASreaderASC() {
  clean();
}

void LASreaderASC::clean() {
  input.close();
  reset_overflows();
  ncols = nrows = 0;
  xllcenter = yllcenter = 2e307;
  cellsize = 0.0f;
  nodata.set(-9999.0);
  line_count = 0;
  col = row = 0;
  first_line.clear();
  first_line_pos = 0;
  warned_word = false;
}

bool LASreaderASC::read_header_line(std::string* line, bool* more) {
  line->clear();
  *more = false;
  FILE* f = input.file;
  int c = getc_unlocked(f);
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    if (line->size() >= kLineKept && (is_blank(c) || line->size() >= kLineKept + kWordSize)) {
      *more = true;
      return true;
    }
    line->push_back(static_cast<char>(c));
    c = getc_unlocked(f);
  }
  return true;
}

void LASreaderASC::skip_line() {
  int c;
  do {
    c = getc_unlocked(input.file);
  } while (c != EOF && c != '\n');
}

bool LASreaderASC::is_first_data_line(const std::string& line, bool more) const {
  // With fewer than 5 columns the line must hold exactly ncols words, else
  // at least 5. Words are counted, not numbers: a cell that is no number is
  // taken as no data in the first row as in every other, instead of making
  // the row a header line and shifting the grid by a row.
  const int wanted = ncols < 5 ? ncols : 5;
  int words = 0;
  bool in_word = false;
  for (char c : line) {
    const bool blank = is_blank(static_cast<unsigned char>(c));
    if (!blank && !in_word) words++;
    in_word = !blank;
  }
  if (more) words++;
  return ncols < 5 ? words == wanted : words >= wanted;
}

bool LASreaderASC::read_header() {
  double xllcorner = 2e307, yllcorner = 2e307;
  std::string line;
  bool more;
  while (read_header_line(&line, &more)) {
    line_count++;
    if (comma) std::replace(line.begin(), line.end(), ',', '.');
    const char* t = line.c_str();
    if (raster_line_has(t, "ncols", "NCOLS")) {
      raster_line_int(t, &ncols);
    } else if (raster_line_has(t, "nrows", "NROWS")) {
      raster_line_int(t, &nrows);
    } else if (raster_line_has(t, "xllcorner", "XLLCORNER")) {
      raster_line_double(t, &xllcorner);
    } else if (raster_line_has(t, "yllcorner", "YLLCORNER")) {
      raster_line_double(t, &yllcorner);
    } else if (raster_line_has(t, "xllcenter", "XLLCENTER")) {
      raster_line_double(t, &xllcenter);
    } else if (raster_line_has(t, "yllcenter", "YLLCENTER")) {
      raster_line_double(t, &yllcenter);
    } else if (raster_line_has(t, "cellsize", "CELLSIZE")) {
      double size;
      if (raster_line_double(t, &size)) cellsize = static_cast<float>(size);
    } else if (raster_line_has(t, "nodata_value", "NODATA_VALUE") ||
               raster_line_has(t, "nodata_VALUE", "NODATA_value")) {
      double value;
      if (raster_line_double(t, &value)) nodata.set(value);
    } else if (ncols > 0 && nrows > 0 && cellsize > 0.0f && std::isfinite(cellsize) &&
               ((known(xllcorner) && known(yllcorner)) || (known(xllcenter) && known(yllcenter))) &&
               is_first_data_line(line, more)) {
      if (known(xllcorner) && known(yllcorner)) {
        xllcenter = xllcorner + cellsize * 0.5;
        yllcenter = yllcorner + cellsize * 0.5;
      }
      first_line = line;
      first_line_pos = 0;
      return true;
    }
    if (more) skip_line();
  }
  return false;
}

bool LASreaderASC::read_word(char* word) {
  size_t n = 0;
  const size_t size = first_line.size();
  while (first_line_pos < size &&
         is_blank(static_cast<unsigned char>(first_line[first_line_pos]))) {
    first_line_pos++;
  }
  if (first_line_pos < size) {
    while (first_line_pos < size &&
           !is_blank(static_cast<unsigned char>(first_line[first_line_pos]))) {
      if (n < kWordSize - 1) word[n++] = first_line[first_line_pos];
      first_line_pos++;
    }
    word[n] = '\0';
    return true;
  }
  if (!input.is_open()) return false;
  FILE* f = input.file;
  int c;
  do {
    c = getc_unlocked(f);
  } while (c != EOF && is_blank(c));
  if (c == EOF) return false;
  while (c != EOF && !is_blank(c)) {
    if (n < kWordSize - 1) word[n++] = static_cast<char>(c);
    c = getc_unlocked(f);
  }
  word[n] = '\0';
  return true;
}

bool LASreaderASC::read_cell(const char* word, double* value) {
  char text[kWordSize];
  std::strcpy(text, word);
  if (comma) std::replace(text, text + std::strlen(text), ',', '.');
  const char* end = text + std::strlen(text);
  double v;
  const std::from_chars_result r = std::from_chars(text, end, v);
  if (r.ec != std::errc() || r.ptr == text) {
    // A sign or a form the fast parse does not take.
    char* stop;
    v = std::strtod(text, &stop);
    if (stop == text) {
      if (!warned_word) {
        print_note("WARNING: ASC cell '%s' is not a number. taken as no data\n", word);
        warned_word = true;
      }
      return false;
    }
  }
  *value = v;
  // A cell that is no number (nan, inf) is no height either.
  return std::isfinite(v) && !nodata.matches(v);
}

bool LASreaderASC::open(const char* file_name, bool comma_not_point) {
  if (file_name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is zero\n");
    return false;
  }
  clean();
  comma = comma_not_point;
  if (!input.open_named(file_name, "r", "open")) return false;
  header.reset();
  if (!begin_header("LASreaderASC", file_name)) return false;
  if (!read_header()) {
    std::fprintf(stderr, "ERROR: was not able to find header\n");
    return false;
  }
  header.min_x = xllcenter;
  header.min_y = yllcenter;
  header.max_x = xllcenter + static_cast<float>(ncols - 1) * cellsize;
  header.max_y = yllcenter + static_cast<float>(nrows - 1) * cellsize;

  begin_count();
  char word[kWordSize];
  for (int32_t r = 0; r < nrows; r++) {
    for (int32_t c = 0; c < ncols; c++) {
      if (!read_word(word)) {
        input.close();
        return count_ended("ASC", file_name, r, c);
      }
      double v;
      if (read_cell(word, &v)) count_cell(v);
    }
  }
  // A decompressor that failed gave a short stream: the count is not the file's.
  if (!input.close()) return false;
  if (!end_count("ASC", 0.01, 0.01)) return false;
  if (!add_raster_record(ncols, nrows, cellsize, cellsize, xllcenter - cellsize * 0.5,
                         yllcenter - cellsize * 0.5)) {
    return false;
  }
  return reopen(file_name);
}

bool LASreaderASC::reopen(const char* file_name) {
  if (!input.open_named(file_name, "r", "reopen")) return false;
  for (int64_t k = 1; k < line_count; k++) skip_line();
  first_line.clear();
  first_line_pos = 0;
  col = row = 0;
  p_count = 0;
  return true;
}

bool LASreaderASC::read_one_point() {
  if (p_count >= npoints) {
    // A decompressor is only judged when its stream ends.
    if (input.piped) input.close();
    return false;
  }
  char word[kWordSize];
  for (;;) {
    if (col >= ncols) {
      col = 0;
      row++;
    }
    if (row >= nrows || !read_word(word)) return end_of_cells();
    double z;
    if (read_cell(word, &z)) {
      const double x = xllcenter + static_cast<float>(col) * cellsize;
      const double y = yllcenter + static_cast<float>(nrows - row - 1) * cellsize;
      set_point(x, y, z);
      col++;
      p_count++;
      return true;
    }
    col++;
  }
}

void LASreaderASC::close_input(bool) {
  report_overflows();
  input.close();
}
