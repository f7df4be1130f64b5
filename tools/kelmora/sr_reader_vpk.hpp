#ifndef KELMORA_SR_READER_VPK_HPP
#define KELMORA_SR_READER_VPK_HPP

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "sr_reader.hpp"

class LASreaderLAS;

// A raster stored as a point file, one point per filled cell, described by its
// "Raster VPK" record (7113). The whole file is rasterised on the first
// read_value; cells without a point are nodata.
//
// Cells are delivered at the quantum of every floating-point raster (0.01,
// offset 0) and not as raw Z, so that a file stored at another z scale or z
// offset compares on the same footing as ASC, BIL, TIF and IMG cells. A file
// at z scale 0.01 and z offset 0 delivers its raw Z unchanged.
class SRreader_vpk : public SRreader {
 public:
  SRreader_vpk();
  ~SRreader_vpk() override;

  bool open(const char* file_name);
  bool read_value() override;
  int64_t nodata_run() const override;
  void skip_nodata(int64_t cells) override;
  void close(bool close_file = true) override;

  // Points that fell outside the raster (a stale bounding box) and were skipped.
  int64_t skipped_points() const { return skipped; }

 private:
  bool rasterise();

  std::unique_ptr<LASreaderLAS> lasreader;
  std::string name;
  // The cells in blocks of 64, kept only where a point fell: memory follows the
  // points, not the size that the raster's record announces.
  struct Block {
    uint64_t filled = 0;  // bit i: cell i of the block holds a point's value
    int32_t z[64];
  };
  std::unordered_map<int64_t, Block> blocks;
  std::vector<int64_t> block_keys;  // the keys of blocks, in ascending order
  const Block* current = nullptr;   // the block of cell r_count, null when empty
  int64_t current_index = -1;
  int64_t cells = 0;
  int64_t skipped = 0;
  bool filled = false;  // the points were dropped into their cells
};

#endif
