// Writes the seed corpora of the fuzz targets from our own fixture writers:
// <dir>/las_reader (raw files of every point format, and their compressed copies for
// every coder version the library writes), <dir>/lax, <dir>/args, <dir>/vpk_writer
// (point sets for the writer round trip), <dir>/raster (ASC, BIL and VPK rasters),
// <dir>/text_reader, <dir>/ply_reader, <dir>/side_reader and <dir>/lay, and
// <dir>/lay_point_file.las, the point file the LAY inputs belong to (to replay one through the
// programs, beside it as lay_point_file.lay, with -ilay).

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/las_item.hpp"
#include "fuzz_harness.hpp"
#include "fuzz_lay.hpp"
#include "fuzz_side_formats.hpp"
#include "fuzz_text_formats.hpp"

namespace {

bool write(const std::string& name, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
    return 1;
  }
  const std::string dir = argv[1];
  for (const char* sub : {"", "/las_reader", "/lax", "/args", "/vpk_writer", "/raster",
                          "/text_reader", "/ply_reader", "/side_reader", "/lay"}) {
    mkdir((dir + sub).c_str(), 0755);
  }
  bool ok = true;
  int n = 0, compressed = 0;
  for (const std::vector<uint8_t>& las : fuzz_las_seed_files()) {
    ok = write(dir + "/las_reader/raw_" + std::to_string(n) + ".las", las) && ok;
    // Legacy formats get the sequential coders of versions 1 and 2, the
    // extended ones the layered coder; chunks of 3 points make several chunks
    // and a short last one. A coder the library does not build is skipped.
    const bool extended = las[104] >= 6;
    const std::vector<std::pair<uint16_t, int>> coders =
        extended
            ? std::vector<std::pair<uint16_t, int>>{{LAScompressorKind::multistream_chunked, 0}}
            : std::vector<std::pair<uint16_t, int>>{{LAScompressorKind::sequential_chunked, 1},
                                                    {LAScompressorKind::sequential_chunked, 2},
                                                    {LAScompressorKind::sequential, 2}};
    for (const auto& [kind, version] : coders) {
      const std::vector<uint8_t> vpk = fuzz_compressed_copy(las, kind, version, 3);
      if (vpk.empty()) continue;
      ok = write(dir + "/las_reader/vpk_" + std::to_string(n) + "_k" + std::to_string(kind) + "_v" +
                     std::to_string(version) + ".vpk",
                 vpk) &&
           ok;
      compressed++;
    }
    n++;
  }
  int m = 0;
  for (const std::vector<uint8_t>& lax : fuzz_lax_seed_files()) {
    ok = write(dir + "/lax/seed_" + std::to_string(m++) + ".lax", lax) && ok;
  }
  int w = 0;
  for (const std::vector<uint8_t>& input : fuzz_vpk_writer_seed_inputs()) {
    ok = write(dir + "/vpk_writer/seed_" + std::to_string(w++) + ".bin", input) && ok;
  }
  int r = 0;
  for (const std::vector<uint8_t>& input : fuzz_raster_seed_inputs()) {
    ok = write(dir + "/raster/seed_" + std::to_string(r++) + ".bin", input) && ok;
  }
  int a = 0;
  for (const std::string& line : fuzz_args_seed_lines()) {
    ok = write(dir + "/args/seed_" + std::to_string(a++) + ".txt",
               std::vector<uint8_t>(line.begin(), line.end())) &&
         ok;
  }
  int t = 0, p = 0;
  for (const std::vector<uint8_t>& text : fuzz_text_seed_files()) {
    ok = write(dir + "/text_reader/seed_" + std::to_string(t++) + ".txt", text) && ok;
  }
  for (const std::vector<uint8_t>& ply : fuzz_ply_seed_files()) {
    ok = write(dir + "/ply_reader/seed_" + std::to_string(p++) + ".ply", ply) && ok;
  }
  int sides = 0;
  for (const std::vector<uint8_t>& side : fuzz_side_seed_files()) {
    ok = write(dir + "/side_reader/seed_" + std::to_string(sides++), side) && ok;
  }
  ok = write(dir + "/lay_point_file.las", fuzz_lay_point_file()) && ok;
  int lays = 0;
  for (const std::vector<uint8_t>& lay : fuzz_lay_seed_files()) {
    ok = write(dir + "/lay/seed_" + std::to_string(lays++) + ".lay", lay) && ok;
  }
  std::fprintf(stderr,
               "%d raw and %d compressed LAS seeds, %d lax seeds, %d argument seeds, %d writer "
               "seeds, %d raster seeds, %d text, %d PLY, %d side-format and %d LAY seeds\n",
               n, compressed, m, a, w, r, t, p, sides, lays);
  if (!ok) std::fprintf(stderr, "ERROR: cannot write the seed corpus into '%s'\n", dir.c_str());
  return ok ? 0 : 1;
}
