#ifndef POINTLIB_IO_FORMATS_EHDR_HEADER_HPP
#define POINTLIB_IO_FORMATS_EHDR_HEADER_HPP

#include <cstdint>
#include <cstdio>
#include <string>

// The .hdr text beside a BIL raster (ESRI's EHdr layout), read alike by the
// point reader and the raster comparison: one "KEY value" per line, keys in
// any case (GDAL writes them in upper case), "#" lines skipped, unknown keys
// ignored.
enum class EHdrLayout { bil, bip, bsq };
enum class EHdrSample { unsigned_int, signed_int, floating };

struct EHdrHeader {
  // 0 when not given (or not a 32-bit number).
  int32_t ncols = 0;
  int32_t nrows = 0;
  int32_t nbands = 0;
  int32_t nbits = 0;
  bool big_endian = false;
  EHdrLayout layout = EHdrLayout::bil;
  // The layout's default: cells are unsigned unless PIXELTYPE says otherwise.
  EHdrSample sample = EHdrSample::unsigned_int;
  bool has_ulxmap = false, has_ulymap = false, has_xdim = false, has_ydim = false;
  double ulxmap = 0.0;  // centre of the upper-left cell
  double ulymap = 0.0;
  double xdim = 0.0;
  double ydim = 0.0;
  bool has_nodata = false;
  double nodata = 0.0;
  // -1 when not given; values that are no count are kept as -2.
  int64_t skipbytes = -1;
  int64_t bandrowbytes = -1;
  int64_t totalrowbytes = -1;

  // Values the reader cannot take, as written (empty when none): a LAYOUT
  // other than BIL, BIP or BSQ (or the key without a value), a PIXELTYPE
  // other than FLOAT, SIGNEDINT or UNSIGNEDINT, a BYTEORDER other than I or M
  // (the cells are then read little-endian).
  bool layout_missing = false;
  std::string unknown_layout;
  std::string unknown_pixeltype;
  std::string unknown_byteorder;

  // Reads the lines of `file` (any length; text after 255 characters of a
  // line is ignored).
  void read(std::FILE* file);
  // One line of the header.
  void read_line(const char* line);
};

// Where the cells of band 1 lie in the data file: the first at byte `first`,
// each next cell of a row `cell_step` bytes on, each next row `row_step`
// bytes on; one cell has `cell_bytes` bytes. `row_span` is the bytes from a
// row's first cell to the end of its last, `needed` the file size that holds
// every cell of band 1.
struct EHdrBand1 {
  uint64_t cell_bytes = 0;
  uint64_t first = 0;
  uint64_t cell_step = 0;
  uint64_t row_step = 0;
  uint64_t row_span = 0;
  uint64_t needed = 0;
};

// The band-1 layout of a header with positive ncols, nrows and nbands and
// nbits 8, 16 or 32. False, with the reason in `why`, when SKIPBYTES,
// BANDROWBYTES or TOTALROWBYTES contradict the grid (rows too short for their
// cells) or the sizes overflow 64 bits.
bool ehdr_band1(const EHdrHeader& header, EHdrBand1* band1, std::string* why);

// Case-insensitive comparison of two words.
bool ehdr_same_word(const char* a, const char* b);

#endif  // POINTLIB_IO_FORMATS_EHDR_HEADER_HPP
