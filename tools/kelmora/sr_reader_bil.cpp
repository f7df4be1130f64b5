#include "sr_reader_bil.hpp"

#include <sys/stat.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

namespace {

uint32_t load_u32(const uint8_t* p, bool big_endian) {
  if (big_endian) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  }
  return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

uint16_t load_u16(const uint8_t* p, bool big_endian) {
  return big_endian ? static_cast<uint16_t>((p[0] << 8) | p[1])
                    : static_cast<uint16_t>((p[1] << 8) | p[0]);
}

}  // namespace

SRreader_bil::~SRreader_bil() {
  if (file) fclose(file);
}

bool SRreader_bil::open(const char* file_name) {
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR in SRreader_bil::open(): zero file name pointer not supported\n");
    return false;
  }
  std::string header_name(file_name);
  header_name.replace(header_name.size() >= 3 ? header_name.size() - 3 : 0, 3, "hdr");
  FILE* header = fopen(header_name.c_str(), "r");
  if (header == nullptr) {
    fprintf(stderr, "ERROR in SRreader_bil::open(): cannot open '%s'\n", header_name.c_str());
    return false;
  }
  // The same reading of the .hdr as the BIL point reader's: keys in any case
  // (GDAL writes them upper case), cells unsigned unless PIXELTYPE says so.
  EHdrHeader h;
  h.read(header);
  fclose(header);
  ncols = h.ncols;
  nrows = h.nrows;
  nbands = h.nbands;
  nbits = h.nbits;
  if (h.has_ulxmap) llx = h.ulxmap;
  if (h.has_ulymap) ury = h.ulymap;
  if (h.has_xdim) stepx = h.xdim;
  if (h.has_ydim) stepy = h.ydim;
  // a double, so that a fractional nodata of a float raster survives
  if (h.has_nodata) nodata_double = h.nodata;
  is_float = h.sample == EHdrSample::floating;
  is_unsigned = h.sample == EHdrSample::unsigned_int;
  is_big_endian = h.big_endian;
  if (nbands < 1) {
    fprintf(stderr, "ERROR in SRreader_bil::open(): %d bands with %d bits not supported\n", nbands,
            nbits);
    return false;
  }
  if (!h.unknown_layout.empty()) {
    fprintf(stderr, "ERROR in SRreader_bil::open(): layout '%s' not supported\n",
            h.unknown_layout.c_str());
    return false;
  }
  if (nbits == 32) {
    if (!rescale) scale[0] = is_float ? 0.01 : 1.0;
  } else if ((nbits == 16 || nbits == 8) && !is_float) {
    if (!rescale) scale[0] = 1.0;
  } else {
    fprintf(stderr, "ERROR in SRreader_bil::open(): 1 band with %d bits not supported\n", nbits);
    return false;
  }
  if (ncols <= 0) {
    fprintf(stderr, "ERROR in SRreader_bil::open(): ncols is %d in '%s'\n", ncols,
            header_name.c_str());
    return false;
  }
  if (nrows <= 0) {
    fprintf(stderr, "ERROR in SRreader_bil::open(): nrows is %d in '%s'\n", nrows,
            header_name.c_str());
    return false;
  }
  offset[0] = 0.0;
  nodata = quantize_nodata(nodata_double);
  nodata_fits_float = std::fabs(nodata_double) <= FLT_MAX;
  nodata_float = nodata_fits_float ? static_cast<float>(nodata_double) : 0.0f;
  // ulxmap and ulymap give the centre of the upper-left cell, as the BIL point
  // reader takes them; the extent runs to the cells' outer edges.
  if (llx != SR_UNSET && stepx != SR_UNSET) llx -= stepx / 2;
  if (ury != SR_UNSET && stepy != SR_UNSET) ury += stepy / 2;
  lly = ury - nrows * stepy;
  urx = llx + ncols * stepx;
  file = fopen(file_name, "rb");
  if (file == nullptr) {
    fprintf(stderr, "ERROR in SRreader_bil::open(): cannot open '%s'\n", file_name);
    return false;
  }
  // band 1 as the header lays it out, of however many bands
  std::string why;
  if (!ehdr_band1(h, &band1, &why)) {
    fprintf(stderr, "ERROR in SRreader_bil::open(): '%s' cannot be read: %s\n", header_name.c_str(),
            why.c_str());
    fclose(file);
    file = nullptr;
    return false;
  }
  const uint64_t row_bytes = band1.row_span;
  // ncols comes from a text header: a row the file cannot hold is refused before it is allocated
  struct stat status;
  if (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) &&
      row_bytes > static_cast<uint64_t>(status.st_size)) {
    fprintf(stderr,
            "ERROR in SRreader_bil::open(): a row of %d cells of %d bits is longer than the %lld "
            "bytes of '%s'\n",
            ncols, nbits, static_cast<long long>(status.st_size), file_name);
    fclose(file);
    file = nullptr;
    return false;
  }
  row.assign(static_cast<size_t>(row_bytes), 0);
  r_count = 0;
  rows_read = 0;
  col = ncols - 1;
  return true;
}

bool SRreader_bil::read_value() {
  if (file == nullptr || r_count < 0) return false;
  col++;
  if (col == ncols) {
    if (rows_read == nrows) {
      col = ncols - 1;
      return false;
    }
    // a short row would leave the cells of the previous row in the buffer
    const uint64_t at = band1.first + static_cast<uint64_t>(rows_read) * band1.row_step;
    if (at > static_cast<uint64_t>(INT64_MAX) ||
        fseeko(file, static_cast<off_t>(at), SEEK_SET) != 0 ||
        fread(row.data(), 1, row.size(), file) != row.size()) {
      fprintf(stderr, "ERROR in SRreader_bil::read_value(): file ends in row %d of %d\n", rows_read,
              nrows);
      col = ncols - 1;
      return false;
    }
    col = 0;
    rows_read++;
  }
  const uint8_t* p = row.data() + static_cast<size_t>(col) * static_cast<size_t>(band1.cell_step);
  if (nbits == 32) {
    uint32_t bits = load_u32(p, is_big_endian);
    if (is_float) {
      float f;
      memcpy(&f, &bits, 4);
      bool nodata_nan = std::isnan(nodata_double);
      if (!store_float_sample(f, nodata_fits_float && f == nodata_float, nodata_nan,
                              "SRreader_bil")) {
        return false;
      }
    } else if (is_unsigned) {
      if (bits > static_cast<uint32_t>(INT32_MAX)) {
        fprintf(stderr, "ERROR in SRreader_bil::read_value(): value %u exceeds 32-bit signed\n",
                bits);
        return false;
      }
      store_int_sample(static_cast<int32_t>(bits));
    } else {
      int32_t v;
      memcpy(&v, &bits, 4);
      store_int_sample(v);
    }
  } else if (nbits == 16) {
    uint16_t bits = load_u16(p, is_big_endian);
    store_int_sample(is_unsigned ? int32_t{bits} : int32_t{static_cast<int16_t>(bits)});
  } else {
    store_int_sample(is_unsigned ? int32_t{p[0]} : int32_t{static_cast<int8_t>(p[0])});
  }
  r_count++;
  return true;
}

void SRreader_bil::close(bool close_file) {
  row.clear();
  row.shrink_to_fit();
  if (close_file && file) {
    fclose(file);
    file = nullptr;
  }
  finish_count("SRreader_bil");
}
