#include "io/formats/ehdr_header.hpp"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool is_blank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// The next blank-separated word of `t` into `word` (cut to size - 1
// characters); the text after it.
const char* next_word(const char* t, char* word, size_t size) {
  while (*t && is_blank(*t)) t++;
  size_t n = 0;
  while (*t && !is_blank(*t)) {
    if (n + 1 < size) word[n++] = *t;
    t++;
  }
  word[n] = '\0';
  return t;
}

bool to_int64(const char* word, int64_t* value) {
  char* end;
  errno = 0;
  const long long v = std::strtoll(word, &end, 10);
  if (end == word || *end != '\0' || errno == ERANGE) return false;
  *value = v;
  return true;
}

void to_int32(const char* word, int32_t* value) {
  int64_t v;
  *value = to_int64(word, &v) && v >= INT32_MIN && v <= INT32_MAX ? static_cast<int32_t>(v) : 0;
}

void to_count(const char* word, int64_t* value) {
  int64_t v;
  *value = to_int64(word, &v) && v >= 0 ? v : -2;
}

bool to_double(const char* word, double* value) {
  char* end;
  const double v = std::strtod(word, &end);
  if (end == word) return false;
  *value = v;
  return true;
}

// a * b + c, false when it does not fit 64 bits.
bool mul_add(uint64_t a, uint64_t b, uint64_t c, uint64_t* result) {
  uint64_t product;
  return !__builtin_mul_overflow(a, b, &product) && !__builtin_add_overflow(product, c, result);
}

}  // namespace

bool ehdr_same_word(const char* a, const char* b) {
  for (; *a && *b; a++, b++) {
    if (std::tolower(static_cast<unsigned char>(*a)) !=
        std::tolower(static_cast<unsigned char>(*b))) {
      return false;
    }
  }
  return *a == *b;
}

void EHdrHeader::read(std::FILE* file) {
  char line[256];
  while (std::fgets(line, sizeof(line), file)) {
    const bool whole = std::strchr(line, '\n') != nullptr;
    read_line(line);
    if (!whole) {
      int c;
      do {
        c = std::fgetc(file);
      } while (c != EOF && c != '\n');
    }
  }
}

void EHdrHeader::read_line(const char* line) {
  char key[64];
  char value[256];
  const char* rest = next_word(line, key, sizeof(key));
  if (key[0] == '#' || key[0] == '\0') return;
  next_word(rest, value, sizeof(value));
  const bool given = value[0] != '\0';
  if (ehdr_same_word(key, "ncols")) {
    to_int32(value, &ncols);
  } else if (ehdr_same_word(key, "nrows")) {
    to_int32(value, &nrows);
  } else if (ehdr_same_word(key, "nbands")) {
    to_int32(value, &nbands);
  } else if (ehdr_same_word(key, "nbits")) {
    to_int32(value, &nbits);
  } else if (ehdr_same_word(key, "layout")) {
    layout_missing = !given;
    unknown_layout.clear();
    if (ehdr_same_word(value, "bil")) {
      layout = EHdrLayout::bil;
    } else if (ehdr_same_word(value, "bip")) {
      layout = EHdrLayout::bip;
    } else if (ehdr_same_word(value, "bsq")) {
      layout = EHdrLayout::bsq;
    } else if (given) {
      unknown_layout = value;
    }
  } else if (ehdr_same_word(key, "pixeltype")) {
    unknown_pixeltype.clear();
    if (ehdr_same_word(value, "float")) {
      sample = EHdrSample::floating;
    } else if (ehdr_same_word(value, "signedint")) {
      sample = EHdrSample::signed_int;
    } else if (ehdr_same_word(value, "unsignedint")) {
      sample = EHdrSample::unsigned_int;
    } else {
      unknown_pixeltype = value;
    }
  } else if (ehdr_same_word(key, "byteorder")) {
    unknown_byteorder.clear();
    big_endian = ehdr_same_word(value, "m");
    if (!big_endian && !ehdr_same_word(value, "i")) unknown_byteorder = value;
  } else if (ehdr_same_word(key, "nodata") || ehdr_same_word(key, "nodata_value")) {
    has_nodata = to_double(value, &nodata);
  } else if (ehdr_same_word(key, "ulxmap")) {
    has_ulxmap = to_double(value, &ulxmap);
  } else if (ehdr_same_word(key, "ulymap")) {
    has_ulymap = to_double(value, &ulymap);
  } else if (ehdr_same_word(key, "xdim")) {
    has_xdim = to_double(value, &xdim);
  } else if (ehdr_same_word(key, "ydim")) {
    has_ydim = to_double(value, &ydim);
  } else if (ehdr_same_word(key, "skipbytes")) {
    to_count(value, &skipbytes);
  } else if (ehdr_same_word(key, "bandrowbytes")) {
    to_count(value, &bandrowbytes);
  } else if (ehdr_same_word(key, "totalrowbytes")) {
    to_count(value, &totalrowbytes);
  }
}

bool ehdr_band1(const EHdrHeader& h, EHdrBand1* b, std::string* why) {
  if (h.skipbytes == -2 || h.bandrowbytes == -2 || h.totalrowbytes == -2) {
    *why = "SKIPBYTES, BANDROWBYTES and TOTALROWBYTES must be counts of bytes";
    return false;
  }
  const uint64_t ncols = static_cast<uint64_t>(h.ncols);
  const uint64_t nrows = static_cast<uint64_t>(h.nrows);
  const uint64_t nbands = static_cast<uint64_t>(h.nbands);
  b->cell_bytes = static_cast<uint64_t>(h.nbits / 8);
  b->first = h.skipbytes > 0 ? static_cast<uint64_t>(h.skipbytes) : 0;
  // The bytes of one band's row, and of one row of every band.
  uint64_t band_row;
  uint64_t all_bands_row;
  if (!mul_add(ncols, b->cell_bytes, 0, &band_row) ||
      !mul_add(band_row, nbands, 0, &all_bands_row)) {
    *why = "a row of its cells does not fit 64 bits";
    return false;
  }
  // BANDROWBYTES and TOTALROWBYTES may pad rows; they never shorten them.
  const uint64_t given_band_row =
      h.bandrowbytes >= 0 ? static_cast<uint64_t>(h.bandrowbytes) : band_row;
  switch (h.layout) {
    case EHdrLayout::bil: {
      uint64_t bands_row;
      if (given_band_row < band_row || !mul_add(given_band_row, nbands, 0, &bands_row)) {
        *why = "BANDROWBYTES is shorter than a row of band 1";
        return false;
      }
      b->cell_step = b->cell_bytes;
      b->row_step = h.totalrowbytes >= 0 ? static_cast<uint64_t>(h.totalrowbytes) : bands_row;
      if (b->row_step < bands_row) {
        *why = "TOTALROWBYTES is shorter than a row of every band";
        return false;
      }
      break;
    }
    case EHdrLayout::bip:
      b->cell_step = b->cell_bytes * nbands;
      b->row_step = h.totalrowbytes >= 0 ? static_cast<uint64_t>(h.totalrowbytes) : all_bands_row;
      if (b->row_step < all_bands_row) {
        *why = "TOTALROWBYTES is shorter than a row of every band";
        return false;
      }
      break;
    case EHdrLayout::bsq:
      b->cell_step = b->cell_bytes;
      b->row_step = given_band_row;
      if (b->row_step < band_row) {
        *why = "BANDROWBYTES is shorter than a row of band 1";
        return false;
      }
      break;
  }
  uint64_t last_row;
  if (!mul_add(ncols - 1, b->cell_step, b->cell_bytes, &b->row_span) ||
      !mul_add(nrows - 1, b->row_step, b->first, &last_row) ||
      __builtin_add_overflow(last_row, b->row_span, &b->needed)) {
    *why = "its cells lie beyond 64 bits of bytes";
    return false;
  }
  return true;
}
