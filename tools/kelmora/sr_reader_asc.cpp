#include "sr_reader_asc.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
constexpr size_t kAscBufferSize = 1 << 16;
constexpr size_t kAscTokenSize = 128;

// A line whose first character above code 32 can begin a number.
bool starts_with_number(const char* line) {
  while (*line != '\0' && static_cast<unsigned char>(*line) <= 32) line++;
  return (*line >= '0' && *line <= '9') || *line == '-' || *line == '+' || *line == '.';
}
}  // namespace

SRreader_asc::~SRreader_asc() {
  if (file) fclose(file);
}

bool SRreader_asc::open(const char* file_name) {
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): zero file name pointer not supported\n");
    return false;
  }
  file = fopen(file_name, "r");
  if (file == nullptr) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): cannot open '%s'\n", file_name);
    return false;
  }
  // The nodata line ends the header; the cells follow it. The nodata value is
  // read as a double so that a nodata of -9999.5 stays -9999.5.
  char line[256];
  bool have_nodata_line = false;
  bool have_cells = false;
  long line_start = ftell(file);
  while (!have_nodata_line && !have_cells && fgets(line, sizeof(line), file)) {
    if (starts_with_number(line)) {
      // The nodata line may be left out (GDAL does so for rasters without
      // nodata): the first line of numbers begins the cells, nodata is -9999.
      have_cells = fseek(file, line_start, SEEK_SET) == 0;
      if (!have_cells) break;
    } else if (strstr(line, "ncols")) {
      sscanf(line, "ncols %d", &ncols);
    } else if (strstr(line, "nrows")) {
      sscanf(line, "nrows %d", &nrows);
    } else if (strstr(line, "xllcorner")) {
      sscanf(line, "xllcorner %lf", &llx);
    } else if (strstr(line, "yllcorner")) {
      sscanf(line, "yllcorner %lf", &lly);
    } else if (strstr(line, "cellsize")) {
      sscanf(line, "cellsize %lf", &stepx);
      stepy = stepx;
    } else if (strstr(line, "NODATA_value")) {
      sscanf(line, "NODATA_value %lf", &nodata_double);
      have_nodata_line = true;
    } else if (strstr(line, "nodata_value")) {
      sscanf(line, "nodata_value %lf", &nodata_double);
      have_nodata_line = true;
    }
    line_start = ftell(file);
  }
  if (ncols <= 0) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): ncols is %d in '%s'\n", ncols, file_name);
    return false;
  }
  if (nrows <= 0) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): nrows is %d in '%s'\n", nrows, file_name);
    return false;
  }
  if (llx == SR_UNSET) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): xllcorner is %g in '%s'\n", llx, file_name);
    return false;
  }
  if (lly == SR_UNSET) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): yllcorner is %g in '%s'\n", lly, file_name);
    return false;
  }
  if (!(stepx > 0.0)) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): cellsize is %g in '%s'\n", stepx, file_name);
    return false;
  }
  if (!have_nodata_line && !have_cells) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): no NODATA_value line in '%s'\n", file_name);
    return false;
  }
  nbits = 32;
  nbands = 1;
  urx = llx + ncols * stepx;
  ury = lly + nrows * stepy;
  if (!rescale) scale[0] = 0.01;
  offset[0] = 0.0;
  nodata = quantize_nodata(nodata_double);
  buffer.assign(kAscBufferSize, 0);
  buffer_pos = buffer_len = 0;
  r_count = 0;
  return true;
}

int SRreader_asc::next_token(char* token, size_t capacity) {
  size_t n = 0;
  for (;;) {
    if (buffer_pos == buffer_len) {
      buffer_len = fread(buffer.data(), 1, buffer.size(), file);
      buffer_pos = 0;
      if (buffer_len == 0) break;
    }
    unsigned char c = static_cast<unsigned char>(buffer[buffer_pos]);
    if (c <= 32) {
      buffer_pos++;
      if (n) break;
      continue;
    }
    if (n + 1 == capacity) return -1;
    token[n++] = static_cast<char>(c);
    buffer_pos++;
  }
  token[n] = '\0';
  return n != 0 ? 1 : 0;
}

bool SRreader_asc::read_value() {
  if (file == nullptr || r_count < 0) return false;
  if (r_count == static_cast<int64_t>(nrows) * ncols) return false;
  char token[kAscTokenSize];
  int got = next_token(token, sizeof(token));
  if (got != 1) {
    if (got < 0) {
      fprintf(stderr, "ERROR in SRreader_asc::read_value(): value too long at cell %lld\n",
              static_cast<long long>(r_count));
    } else {
      fprintf(stderr, "ERROR in SRreader_asc::read_value(): file ends after %lld of %lld cells\n",
              static_cast<long long>(r_count), static_cast<long long>(nrows) * ncols);
    }
    return false;
  }
  char* end = nullptr;
  double v = strtod(token, &end);
  if (end == token || *end != '\0') {
    fprintf(stderr, "ERROR in SRreader_asc::read_value(): cannot parse '%s' as a number\n", token);
    return false;
  }
  cell_value = v;
  bool nodata_nan = std::isnan(nodata_double);
  if (!store_float_sample(v, v == nodata_double, nodata_nan, "SRreader_asc")) return false;
  r_count++;
  // Values beyond the header's cells mean rows longer or more than it says:
  // the cells read so far may sit in the wrong places, and the rest would go
  // uncompared.
  if (r_count == static_cast<int64_t>(nrows) * ncols && next_token(token, sizeof(token)) != 0) {
    fprintf(stderr,
            "ERROR in SRreader_asc::read_value(): more values than nrows (%d) * ncols (%d) cells\n",
            nrows, ncols);
    r_count--;
    return false;
  }
  return true;
}

void SRreader_asc::close(bool close_file) {
  buffer.clear();
  buffer.shrink_to_fit();
  if (close_file && file) {
    fclose(file);
    file = nullptr;
  }
  finish_count("SRreader_asc");
}
