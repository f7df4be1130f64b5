#include "sr_reader_img.hpp"

#include <cpl_error.h>
#include <gdal.h>
#include <gdal_frmts.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// GDAL's own error lines would mix with ours; every call runs under a quiet
// handler and failures are reported by this reader.
struct QuietGdal {
  QuietGdal() { CPLPushErrorHandler(CPLQuietErrorHandler); }
  ~QuietGdal() { CPLPopErrorHandler(); }
  QuietGdal(const QuietGdal&) = delete;
  QuietGdal& operator=(const QuietGdal&) = delete;
};

void register_hfa() {
  static std::once_flag once;
  std::call_once(once, [] { GDALRegister_HFA(); });
}

// The Imagine pixel type of a band as GDAL presents it. GDAL 3.6 has no signed
// byte type: such bands come as Byte marked PIXELTYPE=SIGNEDBYTE, and 1-, 2-
// and 4-bit bands as Byte marked NBITS.
int imagine_type(GDALRasterBandH band) {
  switch (GDALGetRasterDataType(band)) {
    case GDT_Byte: {
      const char* pixeltype = GDALGetMetadataItem(band, "PIXELTYPE", "IMAGE_STRUCTURE");
      if (pixeltype && strcmp(pixeltype, "SIGNEDBYTE") == 0) return 4;
      const char* nbits = GDALGetMetadataItem(band, "NBITS", "IMAGE_STRUCTURE");
      if (nbits) {
        int n = atoi(nbits);
        if (n == 1) return 0;
        if (n == 2) return 1;
        if (n == 4) return 2;
      }
      return 3;
    }
    case GDT_UInt16:
      return 5;
    case GDT_Int16:
      return 6;
    case GDT_UInt32:
      return 7;
    case GDT_Int32:
      return 8;
    case GDT_Float32:
      return 9;
    case GDT_Float64:
      return 10;
    case GDT_CFloat32:
      return 11;
    case GDT_CFloat64:
      return 12;
    default:
      return -1;
  }
}

int bits_of_type(int type) {
  switch (type) {
    case 3:
    case 4:
      return 8;
    case 5:
    case 6:
      return 16;
    case 7:
    case 8:
    case 9:
      return 32;
    case 10:
      return 64;
    default:
      return 0;
  }
}

}  // namespace

SRreader_img::~SRreader_img() {
  release();
}

void SRreader_img::release() {
  if (dataset) {
    QuietGdal quiet;
    GDALClose(static_cast<GDALDatasetH>(dataset));
    dataset = nullptr;
    band1 = nullptr;
  }
  blocks.clear();
  blocks.shrink_to_fit();
}

bool SRreader_img::open(const char* file_name) {
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR: zero file name pointer not supported by SRreader_img::open()\n");
    return false;
  }
  register_hfa();
  QuietGdal quiet;
  const char* const only_hfa[] = {"HFA", nullptr};
  dataset = GDALOpenEx(file_name, GDAL_OF_RASTER | GDAL_OF_READONLY, only_hfa, nullptr, nullptr);
  if (dataset == nullptr) {
    fprintf(stderr, "ERROR: HFAOpen() failed in SRreader_img::open().\n");
    return false;
  }
  GDALDatasetH ds = static_cast<GDALDatasetH>(dataset);
  ncols = GDALGetRasterXSize(ds);
  nrows = GDALGetRasterYSize(ds);
  nbands = GDALGetRasterCount(ds);
  if (ncols <= 0) {
    fprintf(stderr, "ERROR in SRreader_img::open(): ncols is %d in '%s'\n", ncols, file_name);
    return false;
  }
  if (nrows <= 0) {
    fprintf(stderr, "ERROR in SRreader_img::open(): nrows is %d in '%s'\n", nrows, file_name);
    return false;
  }
  if (nbands != 1 && nbands != 3) {
    fprintf(stderr, "ERROR in SRreader_img::open(): nbands is %d in '%s'\n", nbands, file_name);
    return false;
  }
  double gt[6];
  if (GDALGetGeoTransform(ds, gt) != CE_None) {
    fprintf(stderr, "ERROR in SRreader_img::open(): no map info in '%s'\n", file_name);
    return false;
  }
  stepx = gt[1];
  stepy = -gt[5];
  if (!(stepx > 0.0)) {
    fprintf(stderr, "ERROR in SRreader_img::open(): stepx is %g in '%s'\n", stepx, file_name);
    return false;
  }
  if (!(stepy > 0.0)) {
    fprintf(stderr, "ERROR in SRreader_img::open(): stepy is %g in '%s'\n", stepy, file_name);
    return false;
  }
  stepx_y = gt[2];
  stepy_x = gt[4];
  axis_aligned = (gt[2] == 0.0 && gt[4] == 0.0);
  llx = gt[0];
  lly = gt[3] - nrows * stepy;
  urx = llx + ncols * stepx;
  ury = lly + nrows * stepy;

  GDALRasterBandH band = GDALGetRasterBand(ds, 1);
  band1 = band;
  data_type = imagine_type(band);
  GDALGetBlockSize(band, &block_x, &block_y);
  if (nbands == 3) {
    static const char* const names[] = {"R", "G", "B"};
    for (int b = 2; b <= 3; b++) {
      GDALRasterBandH other = GDALGetRasterBand(ds, b);
      int other_type = imagine_type(other);
      int ox = 0, oy = 0;
      GDALGetBlockSize(other, &ox, &oy);
      const char* what = nullptr;
      int mine = 0, theirs = 0;
      if (other_type != data_type) {
        what = "data type";
        mine = data_type;
        theirs = other_type;
      } else if (ox != block_x) {
        what = "block x size";
        mine = block_x;
        theirs = ox;
      } else if (oy != block_y) {
        what = "block y size";
        mine = block_y;
        theirs = oy;
      }
      if (what) {
        fprintf(stderr,
                "ERROR in SRreader_img::open(): R and %s channel have different %s %d and %d in "
                "'%s'\n",
                names[b - 1], what, mine, theirs, file_name);
        return false;
      }
    }
    if (bits_of_type(data_type) != 8 && bits_of_type(data_type) != 16) {
      fprintf(stderr, "ERROR in SRreader_img::open(): unsupported data type %d in '%s'\n",
              data_type, file_name);
      return false;
    }
  }
  nbits = bits_of_type(data_type);
  if (nbits == 0) {
    fprintf(stderr, "ERROR in SRreader_img::open(): unsupported data type %d in '%s'\n", data_type,
            file_name);
    return false;
  }
  is_float = (data_type == 9 || data_type == 10);
  is_unsigned = (data_type == 3 || data_type == 5 || data_type == 7);
  if (!rescale) scale[0] = is_float ? 0.01 : 1.0;
  offset[0] = 0.0;
  int has = 0;
  nodata_double = GDALGetRasterNoDataValue(band, &has);
  nodata_present = (has != 0);
  nodata_known = nodata_present;
  if (nodata_present) {
    if (is_float) {
      nodata = quantize_nodata(nodata_double);
    } else if (!sr_round(nodata_double, &nodata)) {
      nodata = SR_NODATA_NO_INT;
    }
  }
  sample_bytes = nbits / 8;
  blocks_across = (ncols + block_x - 1) / block_x;
  size_t block_bytes = static_cast<size_t>(block_x) * block_y * sample_bytes;
  blocks.resize(block_bytes * blocks_across);
  block_row = -1;
  r_count = 0;
  rows_read = 0;
  col = ncols - 1;
  return true;
}

bool SRreader_img::load_block_row() {
  QuietGdal quiet;
  GDALRasterBandH band = static_cast<GDALRasterBandH>(band1);
  size_t block_bytes = static_cast<size_t>(block_x) * block_y * sample_bytes;
  int32_t next = rows_read / block_y;
  for (int b = 0; b < blocks_across; b++) {
    if (GDALReadBlock(band, b, next, blocks.data() + b * block_bytes) != CE_None) {
      fprintf(stderr,
              "ERROR in SRreader_img::read_value(): failed to read block %d of block row %d\n", b,
              next);
      return false;
    }
  }
  block_row = next;
  return true;
}

bool SRreader_img::read_value() {
  if (dataset == nullptr || r_count < 0) return false;
  col++;
  if (col == ncols) {
    if (rows_read == nrows || (rows_read % block_y == 0 && !load_block_row())) {
      col = ncols - 1;
      return false;
    }
    col = 0;
    rows_read++;
  }
  size_t block_bytes = static_cast<size_t>(block_x) * block_y * sample_bytes;
  int32_t row_in_block = (rows_read - 1) % block_y;
  const uint8_t* p = blocks.data() + (col / block_x) * block_bytes +
                     (static_cast<size_t>(row_in_block) * block_x + col % block_x) * sample_bytes;
  switch (data_type) {
    case 9: {
      float f;
      memcpy(&f, p, 4);
      bool same = nodata_present &&
                  (f == nodata_double ||
                   (std::fabs(nodata_double) <= FLT_MAX && f == static_cast<float>(nodata_double)));
      if (!store_float_sample(f, same, nodata_present && std::isnan(nodata_double),
                              "SRreader_img")) {
        return false;
      }
      break;
    }
    case 10: {
      double d;
      memcpy(&d, p, 8);
      if (!store_float_sample(d, nodata_present && d == nodata_double,
                              nodata_present && std::isnan(nodata_double), "SRreader_img")) {
        return false;
      }
      break;
    }
    case 7: {
      uint32_t u;
      memcpy(&u, p, 4);
      if (u > static_cast<uint32_t>(INT32_MAX)) {
        fprintf(stderr, "ERROR in SRreader_img::read_value(): value %u exceeds 32-bit signed\n", u);
        return false;
      }
      store_int_sample(static_cast<int32_t>(u));
      break;
    }
    case 8: {
      int32_t v;
      memcpy(&v, p, 4);
      store_int_sample(v);
      break;
    }
    case 5:
    case 6: {
      uint16_t u;
      memcpy(&u, p, 2);
      store_int_sample(data_type == 6 ? int32_t{static_cast<int16_t>(u)} : int32_t{u});
      break;
    }
    default:
      store_int_sample(data_type == 4 ? int32_t{static_cast<int8_t>(p[0])} : int32_t{p[0]});
      break;
  }
  r_count++;
  return true;
}

void SRreader_img::close(bool) {
  release();
  finish_count("SRreader_img");
}
