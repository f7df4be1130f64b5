#include "side_fixtures.hpp"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace side_fixtures {

void ByteWriter::u16(uint16_t v) {
  for (int i = 0; i < 2; i++) bytes.push_back(static_cast<uint8_t>(v >> (8 * (big ? 1 - i : i))));
}

void ByteWriter::u32(uint32_t v) {
  for (int i = 0; i < 4; i++) bytes.push_back(static_cast<uint8_t>(v >> (8 * (big ? 3 - i : i))));
}

void ByteWriter::u64(uint64_t v) {
  for (int i = 0; i < 8; i++) bytes.push_back(static_cast<uint8_t>(v >> (8 * (big ? 7 - i : i))));
}

void ByteWriter::f32(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  u32(bits);
}

void ByteWriter::f64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  u64(bits);
}

void ByteWriter::text(const char* t, size_t n) {
  const size_t length = std::min(std::strlen(t), n);
  bytes.insert(bytes.end(), t, t + length);
  bytes.insert(bytes.end(), n - length, 0);
}

bool write_file(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool write_file(const std::string& path, const std::string& text) {
  return write_file(path, Bytes(text.begin(), text.end()));
}

Bytes bin_bytes(const BinFile& file, const std::vector<BinPoint>& points) {
  ByteWriter w;
  w.i32(56);
  w.i32(file.version);
  w.i32(970401);
  w.text("CXYZ", 4);
  w.i32(static_cast<int32_t>(file.stated_points < 0 ? static_cast<int64_t>(points.size())
                                                    : file.stated_points));
  w.i32(file.units);
  for (double o : file.origin) w.f64(o);
  w.i32(file.time ? 1 : 0);
  w.i32(file.color ? 1 : 0);
  for (const BinPoint& p : points) {
    if (file.version == 20020715) {
      w.i32(p.x);
      w.i32(p.y);
      w.i32(p.z);
      w.u8(p.code);
      w.u8(p.echo);
      w.u8(0);
      w.u8(0);
      w.u16(p.line);
      w.u16(p.intensity);
    } else {
      w.u8(p.code);
      w.u8(static_cast<uint8_t>(p.line));
      w.u16(static_cast<uint16_t>((p.echo & 3) << 14 | (p.intensity & 0x3FFF)));
      w.i32(p.x);
      w.i32(p.y);
      w.i32(p.z);
    }
    if (file.time) w.u32(p.time);
    if (file.color) {
      w.u8(p.red);
      w.u8(p.green);
      w.u8(p.blue);
      w.u8(0xEE);
    }
  }
  return w.bytes;
}

Bytes qfit_bytes(int32_t record_size, bool big_endian, const std::vector<QfitRecord>& records,
                 int64_t offset) {
  ByteWriter w;
  w.big = big_endian;
  w.i32(record_size);
  for (int k = 0; k < record_size; k++) w.u8(0);
  const int64_t start = offset < 0 ? record_size + 8 : offset;
  w.u32(static_cast<uint32_t>(start));
  while (static_cast<int64_t>(w.bytes.size()) < start) w.u8(0);
  for (const QfitRecord& r : records) {
    w.i32(r.time_ms);
    w.i32(r.latitude);
    w.i32(r.longitude);
    w.i32(r.elevation);
    w.i32(0);
    w.i32(r.intensity_word);
    w.i32(r.azimuth);
    w.i32(r.pitch);
    w.i32(r.roll);
    w.i32(0);
    if (record_size >= 48) {
      // The pulse width is the low byte of its word.
      w.i32(r.pulse_width);
      w.i32(0);
    }
    if (record_size >= 56) {
      w.i32(0);
      w.i32(0);
    }
  }
  return w.bytes;
}

namespace {

bool multipoint(int32_t type) {
  return type == 8 || type == 18 || type == 28;
}

bool with_z(int32_t type) {
  return type == 11 || type == 18;
}

bool with_m(int32_t type) {
  return type == 11 || type == 18 || type == 21 || type == 28;
}

}  // namespace

Bytes shp_bytes(int32_t type, const std::vector<ShpRecord>& records) {
  double box[8] = {1e300, 1e300, -1e300, -1e300, 1e300, -1e300, 1e300, -1e300};
  bool any = false;
  ByteWriter body;
  int32_t number = 1;
  for (const ShpRecord& r : records) {
    ByteWriter content;
    content.i32(r.type);
    const bool points = r.type == 1 || r.type == 11 || r.type == 21 || multipoint(r.type);
    if (points) {
      const bool m = with_m(r.type) && r.with_m;
      if (multipoint(r.type)) {
        double rb[4] = {1e300, 1e300, -1e300, -1e300};
        for (const ShpVertex& v : r.vertices) {
          rb[0] = std::min(rb[0], v.x);
          rb[1] = std::min(rb[1], v.y);
          rb[2] = std::max(rb[2], v.x);
          rb[3] = std::max(rb[3], v.y);
        }
        for (double b : rb) content.f64(b);
        content.i32(r.count_given ? r.stated_count : static_cast<int32_t>(r.vertices.size()));
        for (const ShpVertex& v : r.vertices) {
          content.f64(v.x);
          content.f64(v.y);
        }
        if (with_z(r.type)) {
          content.f64(0.0);
          content.f64(0.0);
          for (const ShpVertex& v : r.vertices) content.f64(v.z);
        }
        if (m) {
          content.f64(0.0);
          content.f64(0.0);
          for (const ShpVertex& v : r.vertices) content.f64(v.m);
        }
      } else {
        const ShpVertex& v = r.vertices.at(0);
        content.f64(v.x);
        content.f64(v.y);
        if (with_z(r.type)) content.f64(v.z);
        if (m) content.f64(v.m);
      }
      for (const ShpVertex& v : r.vertices) {
        any = true;
        box[0] = std::min(box[0], v.x);
        box[1] = std::min(box[1], v.y);
        box[2] = std::max(box[2], v.x);
        box[3] = std::max(box[3], v.y);
        box[4] = std::min(box[4], v.z);
        box[5] = std::max(box[5], v.z);
      }
    }
    content.bytes.insert(content.bytes.end(), r.trailing.begin(), r.trailing.end());
    body.big = true;
    body.i32(number++);
    body.i32(r.length_given ? r.stated_length : static_cast<int32_t>(content.bytes.size() / 2));
    body.bytes.insert(body.bytes.end(), content.bytes.begin(), content.bytes.end());
  }
  if (!any) std::fill(box, box + 8, 0.0);
  ByteWriter w;
  w.big = true;
  w.i32(9994);
  for (int k = 0; k < 5; k++) w.i32(0);
  w.i32(static_cast<int32_t>((100 + body.bytes.size()) / 2));
  w.big = false;
  w.i32(1000);
  w.i32(type);
  w.f64(box[0]);
  w.f64(box[1]);
  w.f64(box[2]);
  w.f64(box[3]);
  w.f64(box[4]);
  w.f64(box[5]);
  w.f64(0.0);
  w.f64(0.0);
  w.bytes.insert(w.bytes.end(), body.bytes.begin(), body.bytes.end());
  return w.bytes;
}

namespace {

void put_bil_cell(ByteWriter* w, const BilRaster& r, double v) {
  const bool floats = r.pixeltype && strcasecmp(r.pixeltype, "float") == 0;
  if (r.nbits == 32) {
    if (floats) {
      w->f32(static_cast<float>(v));
    } else {
      w->i32(static_cast<int32_t>(v));
    }
  } else if (r.nbits == 16) {
    w->u16(static_cast<uint16_t>(static_cast<int32_t>(v)));
  } else {
    w->u8(static_cast<uint8_t>(static_cast<int32_t>(v)));
  }
}

void pad(ByteWriter* w, int64_t n) {
  for (int64_t k = 0; k < n; k++) w->u8(0xEE);
}

}  // namespace

bool write_bil(const std::string& path, const BilRaster& r) {
  ByteWriter w;
  w.big = r.big_endian;
  pad(&w, r.skipbytes);
  const int64_t band_pad = r.band_row_padding > 0 ? r.band_row_padding : 0;
  const int64_t total_pad = r.total_row_padding > 0 ? r.total_row_padding : 0;
  auto cell = [&r](int band, int row, int col) {
    return r.cells[static_cast<size_t>(row * r.ncols + col)] + r.band_step * band;
  };
  const std::string layout = r.layout;
  if (layout == "BSQ") {
    for (int b = 0; b < r.nbands; b++) {
      for (int row = 0; row < r.nrows; row++) {
        for (int c = 0; c < r.ncols; c++) put_bil_cell(&w, r, cell(b, row, c));
        pad(&w, band_pad);
      }
    }
  } else {
    for (int row = 0; row < r.nrows; row++) {
      if (layout == "BIP") {
        for (int c = 0; c < r.ncols; c++) {
          for (int b = 0; b < r.nbands; b++) put_bil_cell(&w, r, cell(b, row, c));
        }
      } else {
        for (int b = 0; b < r.nbands; b++) {
          for (int c = 0; c < r.ncols; c++) put_bil_cell(&w, r, cell(b, row, c));
          pad(&w, band_pad);
        }
      }
      pad(&w, total_pad);
    }
  }
  return write_file(path, w.bytes) &&
         write_file(path.substr(0, path.size() - 3) + "hdr", bil_hdr_text(r));
}

std::string bil_hdr_text(const BilRaster& r) {
  const std::string layout = r.layout;
  const int64_t band_pad = r.band_row_padding > 0 ? r.band_row_padding : 0;
  // The lines in the order and spelling of GDAL's EHdr driver.
  char text[1024];
  std::string hdr;
  std::snprintf(text, sizeof(text),
                "BYTEORDER      %s\nLAYOUT         %s\nNROWS          %d\nNCOLS          %d\n"
                "NBANDS         %d\nNBITS          %d\n",
                r.big_endian ? "M" : "I", r.layout, r.nrows, r.ncols, r.nbands, r.nbits);
  hdr += text;
  const int64_t band_row = int64_t{r.ncols} * (r.nbits / 8);
  if (r.band_row_padding >= 0) {
    hdr += "BANDROWBYTES   " + std::to_string(band_row + r.band_row_padding) + "\n";
  }
  if (r.total_row_padding >= 0) {
    const int64_t row = layout == "BIP" ? band_row * r.nbands : (band_row + band_pad) * r.nbands;
    hdr += "TOTALROWBYTES  " + std::to_string(row + r.total_row_padding) + "\n";
  }
  if (r.skipbytes != 0) hdr += "SKIPBYTES      " + std::to_string(r.skipbytes) + "\n";
  if (r.pixeltype) hdr += std::string("PIXELTYPE      ") + r.pixeltype + "\n";
  std::snprintf(text, sizeof(text),
                "ULXMAP         %.17g\nULYMAP         %.17g\nXDIM           %.17g\n"
                "YDIM           %.17g\n",
                r.ulxmap, r.ulymap, r.xdim, r.ydim);
  hdr += text;
  if (r.nodata) hdr += std::string("NODATA         ") + r.nodata + "\n";
  hdr += r.extra_hdr;
  return hdr;
}

Bytes dtm_bytes(const DtmRaster& r) {
  ByteWriter w;
  w.text("PLANS-PC BINARY .DTM", 21);
  w.text("fixture", 61);
  w.f32(r.version);
  w.f64(r.llx);
  w.f64(r.lly);
  w.f64(0.0);
  w.f64(0.0);
  w.f64(r.rotation);
  w.f64(r.xdim);
  w.f64(r.ydim);
  w.i32(r.ncols);
  w.i32(r.nrows);
  w.i16(r.horizontal_units);
  w.i16(r.vertical_units);
  w.i16(r.data_type);
  w.i16(r.coordinate_system);
  w.i16(r.zone);
  w.i16(r.horizontal_datum);
  w.i16(r.vertical_datum);
  for (int k = 0; k < 36; k++) w.u8(0);
  for (double v : r.cells) {
    switch (r.data_type) {
      case 0:
        w.i16(static_cast<int16_t>(v));
        break;
      case 1:
        w.i32(static_cast<int32_t>(v));
        break;
      case 2:
        w.f32(static_cast<float>(v));
        break;
      default:
        w.f64(v);
        break;
    }
  }
  return w.bytes;
}

}  // namespace side_fixtures
