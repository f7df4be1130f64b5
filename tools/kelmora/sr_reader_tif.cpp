#include "sr_reader_tif.hpp"

#include <geotiffio.h>
#include <tiffio.h>
#include <xtiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/run_messages.hpp"
#include "world_file.hpp"

namespace {

constexpr ttag_t kTagGdalMetadata = 42112;
constexpr ttag_t kTagGdalNodata = 42113;

TIFFExtendProc previous_extender = nullptr;

// GDAL keeps its metadata and nodata in two ASCII tags; registering them lets
// libtiff hand back tag 42113 as text instead of skipping it as unknown.
void gdal_tag_extender(TIFF* tif) {
  static const TIFFFieldInfo gdal_fields[] = {
      {kTagGdalNodata, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0,
       const_cast<char*>("GDALNoDataValue")},
      {kTagGdalMetadata, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char*>("GDALMetadata")},
  };
  TIFFMergeFieldInfo(tif, gdal_fields, 2);
  if (previous_extender) previous_extender(tif);
}

void install_tag_extender() {
  static std::once_flag once;
  std::call_once(once, [] { previous_extender = TIFFSetTagExtender(gdal_tag_extender); });
}

// Doubles of a variable-count tag, whichever count width libtiff registered it with.
bool get_doubles(TIFF* tif, ttag_t tag, uint32_t* count, const double** values) {
  const TIFFField* field = TIFFFieldWithTag(tif, tag);
  if (field == nullptr) return false;
  double* data = nullptr;
  if (TIFFFieldReadCount(field) == TIFF_VARIABLE2) {
    uint32_t n = 0;
    if (!TIFFGetField(tif, tag, &n, &data)) return false;
    *count = n;
  } else {
    uint16_t n = 0;
    if (!TIFFGetField(tif, tag, &n, &data)) return false;
    *count = n;
  }
  *values = data;
  return data != nullptr;
}

int32_t load_i32(const uint8_t* p) {
  int32_t v;
  memcpy(&v, p, 4);
  return v;
}

}  // namespace

SRreader_tif::SRreader_tif() {
  install_tag_extender();
}

SRreader_tif::~SRreader_tif() {
  release();
}

void SRreader_tif::release() {
  if (gtif) {
    GTIFFree(gtif);
    gtif = nullptr;
  }
  if (tif) {
    XTIFFClose(tif);
    tif = nullptr;
  }
  buffer.clear();
  buffer.shrink_to_fit();
  band.clear();
  band.shrink_to_fit();
}

bool SRreader_tif::open(const char* file_name) {
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR: zero file name pointer not supported by SRreader_tif::open()\n");
    return false;
  }
  tif = XTIFFOpen(file_name, "r");
  if (tif == nullptr) {
    fprintf(stderr, "ERROR: failed in XTIFFOpen\n");
    return false;
  }
  gtif = GTIFNew(tif);
  if (gtif == nullptr) {
    fprintf(stderr, "ERROR: failed in GTIFNew\n");
    return false;
  }
  uint32_t u32 = 0;
  uint16_t u16 = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &u32)) {
    fprintf(stderr, "ERROR: failed to get TIFFTAG_IMAGEWIDTH\n");
    return false;
  }
  ncols = static_cast<int32_t>(u32);
  if (!TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &u32)) {
    fprintf(stderr, "ERROR: failed to get TIFFTAG_IMAGELENGTH\n");
    return false;
  }
  nrows = static_cast<int32_t>(u32);
  if (!TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &u16)) {
    fprintf(stderr, "ERROR: failed to get TIFFTAG_SAMPLESPERPIXEL\n");
    return false;
  }
  nbands = u16;
  if (nbands >= 11) {
    fprintf(stderr, "ERROR: images with %d bands not supported\n", nbands);
    return false;
  }
  if (!TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &u16)) {
    fprintf(stderr, "ERROR: failed to get TIFFTAG_BITSPERSAMPLE\n");
    return false;
  }
  nbits = u16;
  if (TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &u16)) {
    sample_format = u16;
  } else {
    print_note("WARNING: failed to get TIFFTAG_SAMPLEFORMAT, assuming SAMPLEFORMAT_UINT.\n");
    sample_format = SAMPLEFORMAT_UINT;
  }
  is_float = (sample_format == SAMPLEFORMAT_IEEEFP);
  is_unsigned = (sample_format == SAMPLEFORMAT_UINT);

  if (!(nbits == 8 && nbands == 3)) {
    char* text = nullptr;
    if (TIFFGetField(tif, kTagGdalNodata, &text) && text) {
      if (is_float) {
        if (sscanf(text, "%g", &nodata_float) != 1) {
          nodata_float = -32767.0f;
          print_note(
              "WARNING: failed to parse TIFFTAG_GDAL_NODATA of '%s'. assuming nodata is %g\n", text,
              nodata_float);
        }
      } else if (sscanf(text, "%d", &nodata) != 1) {
        nodata = -32767;
        print_note("WARNING: failed to parse TIFFTAG_GDAL_NODATA of '%s'. assuming nodata is %d\n",
                   text, nodata);
      }
    } else {
      nodata = -32767;
      print_note("WARNING: failed to get TIFFTAG_GDAL_NODATA. assuming nodata is %d\n", nodata);
    }
  }

  if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &u16) && u16 == PHOTOMETRIC_YCBCR) {
    is_ycbcr = true;
    if (nbands != 3) print_note("WARNING: PHOTOMETRIC_YCBCR and nbands is %d\n", nbands);
  }
  if (!TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &u16)) {
    fprintf(stderr, "ERROR: failed to get TIFFTAG_PLANARCONFIG\n");
    return false;
  }
  is_planar_separate = (u16 == PLANARCONFIG_SEPARATE);
  is_tiled = TIFFIsTiled(tif) != 0;
  if (is_tiled) {
    if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tile_width)) {
      fprintf(stderr, "ERROR: failed to get TIFFTAG_TILEWIDTH\n");
      return false;
    }
    if (!TIFFGetField(tif, TIFFTAG_TILELENGTH, &tile_length)) {
      fprintf(stderr, "ERROR: failed to get TIFFTAG_TILELENGTH\n");
      return false;
    }
  } else if (!TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &strip_rows) || strip_rows == 0) {
    strip_rows = 1;
  }

  uint32_t tie_count = 0, scale_count = 0;
  const double* tie = nullptr;
  const double* pixel_scale = nullptr;
  if (get_doubles(tif, TIFFTAG_GEOTIEPOINTS, &tie_count, &tie) && tie_count >= 6 &&
      get_doubles(tif, TIFFTAG_GEOPIXELSCALE, &scale_count, &pixel_scale) && scale_count >= 2) {
    stepx = pixel_scale[0];
    stepy = pixel_scale[1];
    // The tie point holds raster position (I, J) at model (X, Y); raster
    // positions count from the upper-left cell's outer corner, or from its
    // centre when the raster type is PixelIsPoint (as GDAL writes such files).
    double shift = 0.0;
    geocode_t raster_type = 0;
    if (GTIFKeyGet(gtif, GTRasterTypeGeoKey, &raster_type, 0, 1) == 1 &&
        raster_type == RasterPixelIsPoint) {
      shift = 0.5;
    }
    llx = tie[3] - (tie[0] + shift) * stepx;
    ury = tie[4] + (tie[1] + shift) * stepy;
    lly = ury - nrows * stepy;
    urx = llx + ncols * stepx;
  } else {
    print_note("WARNING: no tags describing tiepoints and pixscale. trying world file ...\n");
    if (!read_world_file(this, file_name, "tfw", "TFW")) return false;
  }

  if (nbits == 8 || nbits == 16) {
    // Half floats read as integers would compare bit patterns, and their nodata would never match.
    if (is_float) {
      fprintf(stderr, "ERROR: nbits %d only supported for integer values by SRreader_tif\n", nbits);
      return false;
    }
    if (!rescale) scale[0] = 1.0;
  } else if (nbits == 32) {
    if (is_float) {
      if (!rescale) scale[0] = 0.01;
      nodata = quantize_nodata(nodata_float);
    } else if (!rescale) {
      scale[0] = 1.0;
    }
  } else if (nbits == 64) {
    if (!is_float) {
      fprintf(stderr, "ERROR: nbits %d only supported for floating point values by SRreader_tif\n",
              nbits);
      return false;
    }
    if (!rescale) scale[0] = 0.01;
    nodata = quantize_nodata(nodata_float);
  } else {
    fprintf(stderr, "ERROR: nbits %d not supported by SRreader_tif\n", nbits);
    return false;
  }
  if (ncols <= 0 || nrows <= 0) {
    fprintf(stderr, "ERROR: TIFF of %d columns and %d rows not supported\n", ncols, nrows);
    return false;
  }

  // Decoded rows hold all samples of a pixel unless the planes are separate;
  // the first plane or sample is band 1.
  pixel_bytes = static_cast<size_t>(nbits / 8) * (is_planar_separate ? 1 : nbands);
  tmsize_t size = is_tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
  if (!is_tiled && strip_rows == 1) size = TIFFScanlineSize(tif);
  if (size <= 0) {
    fprintf(stderr, "ERROR: allocating %d bytes for tile\n", static_cast<int>(size));
    return false;
  }
  buffer.assign(static_cast<size_t>(size), 0);
  // a tile may reach past the last row; only the raster's own rows are kept
  const uint32_t band_capacity = std::min<uint32_t>(tile_length, static_cast<uint32_t>(nrows));
  if (is_tiled) band.assign(static_cast<size_t>(band_capacity) * ncols * pixel_bytes, 0);
  band_first_row = 0;
  band_rows = 0;
  r_count = 0;
  rows_read = 0;
  col = ncols - 1;
  return true;
}

bool SRreader_tif::load_row() {
  uint32_t row = static_cast<uint32_t>(rows_read);
  size_t row_bytes = static_cast<size_t>(ncols) * pixel_bytes;
  if (is_tiled) {
    if (band_rows == 0 || row >= band_first_row + band_rows) {
      band_first_row = row - row % tile_length;
      band_rows = std::min<uint32_t>(tile_length, static_cast<uint32_t>(nrows) - band_first_row);
      size_t tile_row_bytes = static_cast<size_t>(tile_width) * pixel_bytes;
      for (uint32_t x = 0; x < static_cast<uint32_t>(ncols); x += tile_width) {
        // a failed tile would leave stale cells behind: fail the read instead
        if (TIFFReadTile(tif, buffer.data(), x, band_first_row, 0, 0) < 0) {
          TIFFError("ReadImage", "failure in TIFFReadTile");
          band_rows = 0;
          return false;
        }
        size_t width = std::min<size_t>(tile_width, static_cast<size_t>(ncols) - x);
        for (uint32_t r = 0; r < band_rows; r++) {
          memcpy(band.data() + r * row_bytes + x * pixel_bytes, buffer.data() + r * tile_row_bytes,
                 width * pixel_bytes);
        }
      }
    }
    row_data = band.data() + (row - band_first_row) * row_bytes;
  } else if (strip_rows == 1) {
    if (TIFFReadScanline(tif, buffer.data(), row, 0) < 0) {
      TIFFError("ReadImage", "failure in ReadScanline");
      return false;
    }
    row_data = buffer.data();
  } else {
    if (row % strip_rows == 0) {
      if (TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, row, 0), buffer.data(),
                               static_cast<tmsize_t>(-1)) < 0) {
        TIFFError("ReadImage", "failure in TIFFReadEncodedStrip (nbands == 1)");
        return false;
      }
    }
    row_data = buffer.data() + (row % strip_rows) * row_bytes;
  }
  return true;
}

bool SRreader_tif::read_value() {
  if (tif == nullptr || r_count < 0) return false;
  col++;
  if (col == ncols) {
    if (rows_read == nrows || !load_row()) {
      col = ncols - 1;
      return false;
    }
    col = 0;
    rows_read++;
  }
  const uint8_t* p = row_data + static_cast<size_t>(col) * pixel_bytes;
  bool nodata_nan = std::isnan(nodata_float);
  if (nbits == 32 && is_float) {
    float f;
    memcpy(&f, p, 4);
    if (!store_float_sample(f, f == nodata_float, nodata_nan, "SRreader_tif")) return false;
  } else if (nbits == 64) {
    double d;
    memcpy(&d, p, 8);
    if (!store_float_sample(d, d == static_cast<double>(nodata_float), nodata_nan,
                            "SRreader_tif")) {
      return false;
    }
  } else if (nbits == 32) {
    int32_t v = load_i32(p);
    if (is_unsigned && v < 0) {
      fprintf(stderr, "ERROR in SRreader_tif::read_value(): value %u exceeds 32-bit signed\n",
              static_cast<uint32_t>(v));
      return false;
    }
    store_int_sample(v);
  } else if (nbits == 16) {
    uint16_t u;
    memcpy(&u, p, 2);
    store_int_sample((sample_format == SAMPLEFORMAT_INT) ? int32_t{static_cast<int16_t>(u)}
                                                         : int32_t{u});
  } else {
    store_int_sample((sample_format == SAMPLEFORMAT_INT) ? int32_t{static_cast<int8_t>(p[0])}
                                                         : int32_t{p[0]});
  }
  r_count++;
  return true;
}

void SRreader_tif::close(bool) {
  release();
  finish_count("SRreader_tif");
}
