#ifndef TESTS_SUPPORT_SIDE_FIXTURES_HPP
#define TESTS_SUPPORT_SIDE_FIXTURES_HPP

// Files of the side formats written byte by byte from their layouts, so that
// the readers can be checked against values put in by hand: Terrasolid BIN,
// QFIT in both byte orders, shapefiles of every point shape type (with and
// without M, null shapes, stated counts and lengths of our choosing), BIL
// rasters with their .hdr in both byte orders, and PLANS DTM rasters.

#include <cstdint>
#include <string>
#include <vector>

namespace side_fixtures {

using Bytes = std::vector<uint8_t>;

// Appends values in either byte order.
struct ByteWriter {
  Bytes bytes;
  bool big = false;
  void u8(uint8_t v) { bytes.push_back(v); }
  void u16(uint16_t v);
  void u32(uint32_t v);
  void u64(uint64_t v);
  void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void f32(float v);
  void f64(double v);
  void text(const char* t, size_t n);  // n bytes, zero-padded
};

bool write_file(const std::string& path, const Bytes& bytes);
bool write_file(const std::string& path, const std::string& text);

// --- Terrasolid BIN
struct BinPoint {
  int32_t x = 0, y = 0, z = 0;
  uint8_t code = 0;
  uint8_t echo = 0;  // 20-byte records: any byte; 16-byte records: 0..3
  uint16_t line = 0;
  uint16_t intensity = 0;  // 16-byte records keep 14 bits
  uint32_t time = 0;       // units of 0.0002 s
  uint8_t red = 0, green = 0, blue = 0;
};
struct BinFile {
  int32_t version = 20020715;
  int32_t units = 1000;
  double origin[3] = {0.0, 0.0, 0.0};
  bool time = false;
  bool color = false;
  int64_t stated_points = -1;  // -1: the number of points
};
Bytes bin_bytes(const BinFile& file, const std::vector<BinPoint>& points);

// --- QFIT
struct QfitRecord {
  int32_t time_ms = 0;
  int32_t latitude = 0;   // degrees x 1e6
  int32_t longitude = 0;  // degrees x 1e6, 0..360e6
  int32_t elevation = 0;  // mm
  int32_t intensity_word = 0;
  int32_t azimuth = 0;  // degrees x 1000
  int32_t pitch = 0;
  int32_t roll = 0;
  uint8_t pulse_width = 0;  // 48-byte records
};
// The record size as the first word; at byte 4 + record size the word that
// gives the offset of the points (default: right after that word).
Bytes qfit_bytes(int32_t record_size, bool big_endian, const std::vector<QfitRecord>& records,
                 int64_t offset = -1);

// --- shapefiles
struct ShpVertex {
  double x = 0.0, y = 0.0, z = 0.0, m = 0.0;
};
struct ShpRecord {
  int32_t type = 1;  // 0 is a null shape; a type of no points has only `trailing`
  std::vector<ShpVertex> vertices;
  bool with_m = true;        // M types and Z types: the M part is written
  bool count_given = false;  // multipoints: else the number of vertices
  int32_t stated_count = 0;
  bool length_given = false;  // else the true content length
  int32_t stated_length = 0;  // in 16-bit words
  std::string trailing;       // bytes after the content, counted in the length
};
// The main header says `type`; its box is the box of every vertex.
Bytes shp_bytes(int32_t type, const std::vector<ShpRecord>& records);

// --- BIL
struct BilRaster {
  int32_t ncols = 0, nrows = 0;
  int nbits = 32;
  int nbands = 1;
  const char* pixeltype = "float";  // null: no line
  bool big_endian = false;
  double ulxmap = 0.0, ulymap = 0.0;  // centre of the upper-left cell
  double xdim = 1.0, ydim = 1.0;
  const char* nodata = "-9999";  // null: no line
  std::vector<double> cells;     // band 1, rows from the top
  // Bands after the first hold cell + band_step x band index, so that a
  // reader that takes another band's cell shows it.
  double band_step = 0.0;
  const char* layout = "BIL";  // BIL, BIP or BSQ, written as the header says
  int64_t skipbytes = 0;       // leading bytes (and the SKIPBYTES line when not 0)
  // Padding after each band's row (BIL: BANDROWBYTES line; BSQ: BANDROWBYTES)
  // and after each row of every band (BIL, BIP: TOTALROWBYTES line); a line is
  // written whenever the padding is not negative.
  int64_t band_row_padding = -1;
  int64_t total_row_padding = -1;
  std::string extra_hdr;  // more header lines
};
// Writes the .bil and its .hdr (the name's extension replaced by hdr).
bool write_bil(const std::string& path, const BilRaster& raster);
// The .hdr text alone.
std::string bil_hdr_text(const BilRaster& raster);

// --- PLANS DTM
struct DtmRaster {
  double llx = 0.0, lly = 0.0;  // corner of the lower-left cell
  double xdim = 1.0, ydim = 1.0;
  int32_t ncols = 0, nrows = 0;
  int16_t horizontal_units = 1, vertical_units = 1, data_type = 2;
  int16_t coordinate_system = 2, zone = 17, horizontal_datum = 2, vertical_datum = 2;
  float version = 3.1f;
  double rotation = 0.0;
  std::vector<double> cells;  // columns from the west, each from the south
};
Bytes dtm_bytes(const DtmRaster& raster);

}  // namespace side_fixtures

#endif  // TESTS_SUPPORT_SIDE_FIXTURES_HPP
