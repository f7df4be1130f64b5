#include "sr_reader_png.hpp"

#include <png.h>
#include <sys/stat.h>

#include <csetjmp>
#include <cstring>
#include <new>

#include "platform/run_messages.hpp"
#include "world_file.hpp"

namespace {

// Deflate's largest ratio of inflated to deflated bytes is 1032; a little room above it.
constexpr size_t kMostInflated = 1040;

void png_error_to_stderr(png_structp png, png_const_charp message) {
  fprintf(stderr, "ERROR: libpng: %s\n", message);
  png_longjmp(png, 1);
}

void png_warning_to_stderr(png_structp, png_const_charp message) {
  print_note("WARNING: libpng: %s\n", message);
}

}  // namespace

SRreader_png::~SRreader_png() {
  release();
}

void SRreader_png::release() {
  if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  png = nullptr;
  info = nullptr;
  if (file) {
    fclose(file);
    file = nullptr;
  }
  rows.clear();
  rows.shrink_to_fit();
}

bool SRreader_png::read_header() {
  if (setjmp(png_jmpbuf(png))) {
    fprintf(stderr, "ERROR: setjmp(png_jmpbuf(png_ptr)) failed\n");
    return false;
  }
  png_init_io(png, file);
  png_set_sig_bytes(png, 8);
  png_read_info(png, info);
  ncols = static_cast<int32_t>(png_get_image_width(png, info));
  nrows = static_cast<int32_t>(png_get_image_height(png, info));
  nbits = png_get_bit_depth(png, info);
  switch (png_get_color_type(png, info)) {
    case PNG_COLOR_TYPE_GRAY:
      nbands = 1;
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      nbands = 2;
      break;
    case PNG_COLOR_TYPE_RGB:
      nbands = 3;
      break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      nbands = 4;
      break;
    default:
      nbands = -1;
      break;
  }
  // GDAL keeps a grey raster's nodata as the transparent grey of its tRNS chunk.
  png_color_16p transparent = nullptr;
  if (nbands == 1 && png_get_tRNS(png, info, nullptr, nullptr, &transparent) && transparent) {
    nodata = transparent->gray;
  }
  is_interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  if (is_interlaced) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  channels = png_get_channels(png, info);
  row_bytes = png_get_rowbytes(png, info);
  return true;
}

bool SRreader_png::open(const char* file_name) {
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR: zero file name pointer not supported by SRreader_png\n");
    return false;
  }
  file = fopen(file_name, "rb");
  png_byte signature[8];
  if (file == nullptr || fread(signature, 1, 8, file) != 8 || png_sig_cmp(signature, 0, 8)) {
    fprintf(stderr, "ERROR: file '%s' not recognized as a PNG file\n", file_name);
    return false;
  }
  png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_error_to_stderr,
                               png_warning_to_stderr);
  if (png == nullptr) {
    fprintf(stderr, "ERROR: png_create_read_struct failed\n");
    return false;
  }
  info = png_create_info_struct(png);
  if (info == nullptr) {
    fprintf(stderr, "ERROR: png_create_info_struct failed\n");
    return false;
  }
  if (!read_header()) return false;
  if (!read_world_file(this, file_name, "pgw", "PGW")) return false;
  if (nbits != 8 && nbits != 16) {
    fprintf(stderr, "ERROR: nbits %d not supported by SRreader_png\n", nbits);
    return false;
  }
  if (ncols <= 0 || nrows <= 0) return false;
  size_t total = is_interlaced ? row_bytes * static_cast<size_t>(nrows) : row_bytes;
  // The header alone sets the size: an interlaced image of 900000 by 900000
  // cells would need terabytes before its first row is decoded. Deflate packs
  // at most 1032 bytes into one, so an image the file cannot hold is refused.
  struct stat status;
  if (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) &&
      total / kMostInflated > static_cast<uint64_t>(status.st_size)) {
    fprintf(stderr, "ERROR: an image of %d by %d cells cannot come from the %lld bytes of '%s'\n",
            ncols, nrows, static_cast<long long>(status.st_size), file_name);
    return false;
  }
  try {
    rows.assign(total, 0);
  } catch (const std::bad_alloc&) {
    if (is_interlaced) {
      fprintf(stderr, "ERROR: allocating space for all %d rows\n", nrows);
    } else {
      fprintf(stderr, "ERROR: allocating space for one row\n");
    }
    return false;
  }
  r_count = 0;
  rows_read = 0;
  col = ncols - 1;
  return true;
}

bool SRreader_png::read_next_row() {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_row(png, rows.data(), nullptr);
  return true;
}

bool SRreader_png::read_whole_image() {
  std::vector<png_bytep> pointers(static_cast<size_t>(nrows));
  for (size_t r = 0; r < pointers.size(); r++) pointers[r] = rows.data() + r * row_bytes;
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, pointers.data());
  return true;
}

bool SRreader_png::read_value() {
  if (png == nullptr || r_count < 0) return false;
  col++;
  if (col == ncols) {
    if (rows_read == nrows) {
      col = ncols - 1;
      return false;
    }
    bool ok = true;
    if (!is_interlaced) {
      ok = read_next_row();
      row_data = rows.data();
    } else {
      if (rows_read == 0) ok = read_whole_image();
      row_data = rows.data() + static_cast<size_t>(rows_read) * row_bytes;
    }
    if (!ok) {
      col = ncols - 1;
      return false;
    }
    col = 0;
    rows_read++;
  }
  if (nbits == 16) {
    // PNG stores 16-bit samples most significant byte first
    const uint8_t* p = row_data + static_cast<size_t>(col) * channels * 2;
    store_int_sample((p[0] << 8) | p[1]);
  } else {
    store_int_sample(row_data[static_cast<size_t>(col) * channels]);
  }
  r_count++;
  return true;
}

void SRreader_png::close(bool) {
  release();
  finish_count("SRreader_png");
}
