#ifndef TESTS_SUPPORT_FUZZ_RASTER_HARNESS_HPP
#define TESTS_SUPPORT_FUZZ_RASTER_HARNESS_HPP

// One input through the raster readers of the raster comparison tool, the way
// the raster fuzz target runs it and the kelmora tests replay what it found.
// Header only: the readers live in the tool, which only the target and the
// tool's tests link.
//
// Byte 0 chooses the reader: 0 ASC (the rest is the file), 1 BIL (bytes 1-2,
// little-endian, the length of the ".hdr" text that follows; the rest is the
// raster), 2 VPK (the rest is the point file). The readers open files by name,
// so the bytes are written into `dir` first.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "sr_reader.hpp"
#include "sr_reader_factory.hpp"

namespace fuzz_raster {

inline bool write_file(const std::string& name, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace fuzz_raster

inline void fuzz_raster_one(const uint8_t* data, size_t size, const std::string& dir) {
  if (size < 1) return;
  const char* kinds[] = {"asc", "bil", "vpk"};
  const int kind = data[0] % 3;
  const std::string name = dir + "/r." + kinds[kind];
  const uint8_t* body = data + 1;
  size_t body_size = size - 1;
  if (kind == 1) {
    if (size < 3) return;
    const size_t header = std::min<size_t>(data[1] | (size_t{data[2]} << 8), size - 3);
    if (!fuzz_raster::write_file(dir + "/r.hdr", data + 3, header)) return;
    body = data + 3 + header;
    body_size = size - 3 - header;
  }
  if (!fuzz_raster::write_file(name, body, body_size)) return;
  std::unique_ptr<SRreader> reader(open_raster_reader(kinds[kind], name.c_str()));
  if (!reader) return;
  // Cells without data (a VPK raster whose cells hold no points) come back
  // one by one; enough of them show any fault.
  for (int64_t cells = 0; cells < (int64_t{1} << 22) && reader->read_value(); cells++) {
    reader->is_nodata();
  }
  const double xyz[3] = {reader->llx, reader->ury, 0.0};
  float rc[3];
  reader->world_to_raster(xyz, rc);
  double back[3];
  reader->raster_to_world(rc, back);
  reader->close();
}

#endif
