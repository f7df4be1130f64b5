#include "sr_reader_vpk.hpp"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/las_reader_las.hpp"
#include "core/las_vlr_payload.hpp"
#include "platform/run_messages.hpp"

namespace {

constexpr int kVpkInputBuffer = 262144;

// Column or row of a coordinate measured from the raster's near edge, or -1
// when it lies outside [0, n]. A coordinate on the far edge itself (x equal to
// urx, y equal to lly) belongs to the last cell, as it does in every other
// raster format.
int64_t cell_of(double distance, double step, int32_t n) {
  double f = std::floor(distance / step);
  if (!(f >= 0.0) || f > static_cast<double>(n)) return -1;
  int64_t i = static_cast<int64_t>(f);
  if (i == n) {
    if (distance > static_cast<double>(n) * step) return -1;
    i = n - 1;
  }
  return i;
}

}  // namespace

SRreader_vpk::SRreader_vpk() = default;

SRreader_vpk::~SRreader_vpk() {
  if (lasreader) lasreader->close_input(true);
}

bool SRreader_vpk::open(const char* file_name) {
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR: zero file name pointer not supported by SRreader_vpk\n");
    return false;
  }
  name = file_name;
  lasreader.reset(new LASreaderLAS());
  if (!lasreader->open_file(file_name, kVpkInputBuffer)) {
    fprintf(stderr, "ERROR: cannot open lasreaderlas with file name '%s'\n", file_name);
    lasreader.reset();
    return false;
  }
  const LASheader& header = lasreader->header;
  const LASvlrRecord* record = nullptr;
  for (const LASvlrRecord& vlr : header.vlrs) {
    if (strncmp(vlr.user_id, "Raster VPK", 16) == 0 &&
        vlr.record_id == LASvlrRasterVPK::kRecordId) {
      record = &vlr;
      break;
    }
  }
  if (record == nullptr) {
    fprintf(stderr, "ERROR: cannot find RasterVPK VLR in '%s'\n", file_name);
    lasreader.reset();
    return false;
  }
  LASvlrRasterVPK raster;
  if (record->data == nullptr ||
      !raster.deserialize(record->data.get(), record->record_length_after_header)) {
    fprintf(stderr, "ERROR: corrupt RasterVPK VLR in '%s'\n", file_name);
    lasreader.reset();
    return false;
  }
  nbands = raster.nbands;
  nbits = raster.nbits;
  ncols = raster.ncols;
  nrows = raster.nrows;
  stepx = raster.stepx;
  stepx_y = raster.stepx_y;
  stepy = raster.stepy;
  stepy_x = raster.stepy_x;
  llx = raster.llx;
  lly = raster.lly;
  urx = ncols * stepx + llx;
  ury = nrows * stepy + lly;
  if (!rescale) scale[0] = 0.01;
  offset[0] = 0.0;
  struct {
    bool outside;
    const char* message;
  } const bounds[] = {
      {header.min_x < llx, "ERROR: invalid RasterVPK (min_x is smaller than llx) for '%s'\n"},
      {header.min_y < lly, "ERROR: invalid RasterVPK (min_y is smaller than lly) for '%s'\n"},
      {header.max_x > urx, "ERROR: invalid RasterVPK (max_x is larger than urx) for '%s'\n"},
      {header.max_y > ury, "ERROR: invalid RasterVPK (max_y is larger than ury) for '%s'\n"},
  };
  for (const auto& b : bounds) {
    if (b.outside) {
      fprintf(stderr, b.message, file_name);
      lasreader.reset();
      return false;
    }
  }
  blocks.clear();
  current = nullptr;
  current_index = -1;
  cells = 0;
  skipped = 0;
  filled = false;
  r_count = 0;
  return true;
}

bool SRreader_vpk::rasterise() {
  filled = true;
  // 64-bit: a raster of more than 2^31 cells is described by two 32-bit sizes.
  const int64_t count = (ncols > 0 && nrows > 0) ? static_cast<int64_t>(ncols) * nrows : 0;
  Block* block = nullptr;
  int64_t block_index = -1;
  const LASheader& header = lasreader->header;
  const bool raw_z = header.z_scale_factor == scale[0] && header.z_offset == offset[0];
  const LASpoint& point = lasreader->point;
  while (count > 0 && lasreader->read_point()) {
    int64_t col = cell_of(point.get_x() - llx, stepx, ncols);
    int64_t row = cell_of(ury - point.get_y(), stepy, nrows);
    if (col < 0 || row < 0) {
      skipped++;
      continue;
    }
    int32_t z = point.Z;
    if (!raw_z && !sr_quantize(point.get_z(), offset[0], scale[0], &z)) {
      fprintf(stderr,
              "ERROR in SRreader_vpk::read_value(): z %g has no 32-bit integer at quantum %g\n",
              point.get_z(), scale[0]);
      return false;
    }
    const int64_t k = row * ncols + col;
    // Points come row by row: the block of the point before is the likely one.
    if ((k >> 6) != block_index) {
      block_index = k >> 6;
      try {
        block = &blocks[block_index];
      } catch (const std::bad_alloc&) {
        fprintf(stderr, "ERROR: cannot allocate pixel raster of size %d by %d\n", ncols, nrows);
        return false;
      }
    }
    block->filled |= uint64_t{1} << (k & 63);
    block->z[k & 63] = z;
  }
  if (skipped > 0) {
    print_note("WARNING (SRreader_vpk): skipped %" PRId64 " points outside the raster of '%s'\n",
               skipped, name.c_str());
  }
  // Cells of lost points would be compared as nodata, as if the raster had none there.
  if (lasreader->p_count < lasreader->npoints) {
    fprintf(stderr,
            "ERROR in SRreader_vpk::read_value(): only %" PRId64 " of %" PRId64
            " points could be read from '%s'\n",
            lasreader->p_count, lasreader->npoints, name.c_str());
    return false;
  }
  if (lasreader->failed()) return false;
  block_keys.clear();
  block_keys.reserve(blocks.size());
  for (const auto& b : blocks) block_keys.push_back(b.first);
  std::sort(block_keys.begin(), block_keys.end());
  lasreader->close_input(true);
  lasreader.reset();
  cells = count;
  return true;
}

bool SRreader_vpk::read_value() {
  if (r_count < 0) return false;
  if (!filled && !rasterise()) return false;
  if (r_count >= cells) return false;
  if ((r_count >> 6) != current_index) {
    current_index = r_count >> 6;
    const auto found = blocks.find(current_index);
    current = found == blocks.end() ? nullptr : &found->second;
  }
  const int i = static_cast<int>(r_count & 63);
  if (current && ((current->filled >> i) & 1u)) {
    cell_nodata = false;
    value[0] = current->z[i];
  } else {
    cell_nodata = true;
    value[0] = 0;
  }
  r_count++;
  return true;
}

int64_t SRreader_vpk::nodata_run() const {
  if (!filled || r_count < 0 || r_count >= cells) return 0;
  const int64_t from = r_count >> 6;
  for (auto key = std::lower_bound(block_keys.begin(), block_keys.end(), from);
       key != block_keys.end(); ++key) {
    uint64_t bits = blocks.find(*key)->second.filled;
    if (*key == from) bits &= ~uint64_t{0} << (r_count & 63);
    if (bits != 0) return (*key << 6) + __builtin_ctzll(bits) - r_count;
  }
  return cells - r_count;
}

void SRreader_vpk::skip_nodata(int64_t n) {
  r_count += std::min(n, nodata_run());
  cell_nodata = true;
  value[0] = 0;
}

void SRreader_vpk::close(bool close_file) {
  std::unordered_map<int64_t, Block>().swap(blocks);
  std::vector<int64_t>().swap(block_keys);
  current = nullptr;
  current_index = -1;
  if (close_file && lasreader) {
    lasreader->close_input(true);
    lasreader.reset();
  }
  finish_count("SRreader_vpk");
}
