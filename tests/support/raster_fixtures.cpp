#include "raster_fixtures.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace raster_fixtures {

DemGrid make_dem(int ncols, int nrows, double low, double high, int nodata_every) {
  DemGrid g;
  g.ncols = ncols;
  g.nrows = nrows;
  g.llx = 630000.0;
  g.lly = 4830000.0;
  g.cell = 2.0;
  g.z.resize(static_cast<size_t>(ncols) * nrows);
  for (int r = 0; r < nrows; r++) {
    for (int c = 0; c < ncols; c++) {
      double t = 0.5 + 0.25 * std::sin(c * 0.31) + 0.25 * std::cos(r * 0.23 + c * 0.07);
      double z = low + (high - low) * t;
      g.at(c, r) = std::round(z * 100.0) / 100.0;
      if (nodata_every > 0 && (c * 7 + r * 13) % nodata_every == 0) g.at(c, r) = g.nodata;
    }
  }
  return g;
}

bool write_asc(const std::string& path, const DemGrid& g, int decimals, int values_per_line) {
  FILE* f = fopen(path.c_str(), "w");
  if (!f) return false;
  fprintf(f, "ncols %d\nnrows %d\nxllcorner %.3f\nyllcorner %.3f\ncellsize %g\nNODATA_value %g\n",
          g.ncols, g.nrows, g.llx, g.lly, g.cell, g.nodata);
  for (int r = 0; r < g.nrows; r++) {
    for (int c = 0; c < g.ncols; c++) {
      double v = g.at(c, r);
      bool last_on_line =
          c + 1 == g.ncols || (values_per_line > 0 && (c + 1) % values_per_line == 0);
      if (std::isnan(v)) {
        fputs("nan", f);
      } else if (v == g.nodata) {
        fprintf(f, "%g", v);
      } else {
        fprintf(f, "%.*f", decimals, v);
      }
      fputc(last_on_line ? '\n' : ' ', f);
    }
  }
  return fclose(f) == 0;
}

namespace {

void put_bytes(std::vector<uint8_t>* out, uint64_t bits, int nbytes, bool big_endian) {
  for (int i = 0; i < nbytes; i++) {
    int shift = big_endian ? 8 * (nbytes - 1 - i) : 8 * i;
    out->push_back(static_cast<uint8_t>(bits >> shift));
  }
}

}  // namespace

bool write_bil(const std::string& path, const DemGrid& g, BilSample kind, bool big_endian,
               double factor, int64_t int_nodata, bool write_pixeltype) {
  int nbits = 32;
  const char* pixeltype = "signedint";
  switch (kind) {
    case BilSample::kS8:
      nbits = 8;
      break;
    case BilSample::kU8:
      nbits = 8;
      pixeltype = "unsignedint";
      break;
    case BilSample::kS16:
      nbits = 16;
      break;
    case BilSample::kU16:
      nbits = 16;
      pixeltype = "unsignedint";
      break;
    case BilSample::kS32:
      break;
    case BilSample::kU32:
      pixeltype = "unsignedint";
      break;
    case BilSample::kF32:
      pixeltype = "float";
      break;
  }
  std::vector<uint8_t> bytes;
  for (double z : g.z) {
    if (kind == BilSample::kF32) {
      float f = static_cast<float>(z);
      uint32_t bits;
      memcpy(&bits, &f, 4);
      put_bytes(&bytes, bits, 4, big_endian);
    } else {
      int64_t v = (z == g.nodata) ? int_nodata : std::llround(z * factor);
      put_bytes(&bytes, static_cast<uint64_t>(v), nbits / 8, big_endian);
    }
  }
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (fclose(f) == 0) && ok;
  std::string header_path = path.substr(0, path.size() - 3) + "hdr";
  FILE* h = fopen(header_path.c_str(), "w");
  if (!h) return false;
  fprintf(h, "byteorder %c\nlayout bil\nnrows %d\nncols %d\nnbands 1\nnbits %d\n",
          big_endian ? 'M' : 'I', g.nrows, g.ncols, nbits);
  if (write_pixeltype) fprintf(h, "pixeltype %s\n", pixeltype);
  fprintf(h, "ulxmap %.3f\nulymap %.3f\nxdim %g\nydim %g\n", g.llx, g.lly + g.nrows * g.cell,
          g.cell, g.cell);
  if (kind == BilSample::kF32) {
    fprintf(h, "nodata %g\n", g.nodata);
  } else {
    fprintf(h, "nodata %lld\n", static_cast<long long>(int_nodata));
  }
  return (fclose(h) == 0) && ok;
}

bool write_text(const std::string& path, const std::string& text) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
  return (fclose(f) == 0) && ok;
}

ScopedTempDir::ScopedTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kelmora_XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) != nullptr) dir = buf.data();
}

ScopedTempDir::~ScopedTempDir() {
  if (!dir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
}

}  // namespace raster_fixtures
