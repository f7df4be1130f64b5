#include "raster_fixtures.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/las_header.hpp"
#include "core/las_point.hpp"
#include "core/las_vlr_payload.hpp"
#include "core/las_writer_las.hpp"
#include "las_fixture.hpp"

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

DemGrid whole_units(DemGrid g) {
  for (double& z : g.z) {
    if (z != g.nodata && !std::isnan(z)) z = std::round(z);
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
  // the centre of the upper-left cell
  fprintf(h, "ulxmap %.3f\nulymap %.3f\nxdim %g\nydim %g\n", g.llx + g.cell / 2,
          g.lly + g.nrows * g.cell - g.cell / 2, g.cell, g.cell);
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

namespace {

std::vector<VpkPoint> vpk_points(const DemGrid& g, const VpkOptions& o) {
  std::vector<VpkPoint> points;
  const double urx = g.llx + g.ncols * g.cell;
  const double ury = g.lly + g.nrows * g.cell;
  for (int r = 0; r < g.nrows; r++) {
    for (int c = 0; c < g.ncols; c++) {
      double v = g.at(c, r);
      if (v == g.nodata || std::isnan(v)) continue;
      VpkPoint p{g.llx + (c + 0.5) * g.cell, ury - (r + 0.5) * g.cell, v};
      if (o.corner_points && c == g.ncols - 1 && r == 0) {
        p.x = urx;
        p.y = ury;
      } else if (o.corner_points && c == 0 && r == g.nrows - 1) {
        p.x = g.llx;
        p.y = g.lly;
      }
      points.push_back(p);
    }
  }
  points.insert(points.end(), o.extra.begin(), o.extra.end());
  return points;
}

LASvlrRasterVPK vpk_record(const DemGrid& g) {
  LASvlrRasterVPK r;
  r.nbands = 1;
  r.nbits = 32;
  r.ncols = g.ncols;
  r.nrows = g.nrows;
  r.stepx = g.cell;
  r.stepy = g.cell;
  r.llx = g.llx;
  r.lly = g.lly;
  return r;
}

int32_t quantized(double v, double scale, double offset) {
  return static_cast<int32_t>(std::llround((v - offset) / scale));
}

bool fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool write_vpk(const std::string& path, const DemGrid& g, const VpkOptions& o, std::string* error) {
  const std::vector<VpkPoint> points = vpk_points(g, o);
  const LASvlrRasterVPK record = vpk_record(g);
  MallocBuffer payload = record.serialize();
  if (!payload) return fail(error, "cannot serialize the raster record");
  if (o.fixture_writer) {
    FixtureFile f;
    f.scale = {o.xy_scale, o.xy_scale, o.z_scale};
    f.offset = {0.0, 0.0, o.z_offset};
    if (o.with_record) {
      FixtureVlr vlr;
      vlr.user_id = "Raster VPK";
      vlr.record_id = LASvlrRasterVPK::kRecordId;
      vlr.data.assign(payload.get(), payload.get() + LASvlrRasterVPK::kPayloadLength);
      f.vlrs.push_back(vlr);
    }
    std::vector<FixturePoint> fixture_points;
    for (const VpkPoint& p : points) {
      FixturePoint fp;
      fp.X = quantized(p.x, o.xy_scale, 0.0);
      fp.Y = quantized(p.y, o.xy_scale, 0.0);
      fp.Z = quantized(p.z, o.z_scale, o.z_offset);
      fixture_points.push_back(fp);
    }
    return fixture_write_file(path, f, fixture_points, error);
  }
  LASheader h;
  h.x_scale_factor = h.y_scale_factor = o.xy_scale;
  h.z_scale_factor = o.z_scale;
  h.z_offset = o.z_offset;
  if (o.with_record) {
    std::unique_ptr<uint8_t[]> data(new uint8_t[LASvlrRasterVPK::kPayloadLength]);
    memcpy(data.get(), payload.get(), LASvlrRasterVPK::kPayloadLength);
    h.insert_vlr("Raster VPK", LASvlrRasterVPK::kRecordId, LASvlrRasterVPK::kPayloadLength,
                 std::move(data));
  }
  LASpoint point;
  if (!point.init_for_point_type(&h, 0, 20, &h)) return fail(error, "cannot lay out the point");
  point.set_return_number(1);
  point.set_number_of_returns(1);
  h.number_of_point_records = static_cast<uint32_t>(points.size());
  h.number_of_points_by_return[0] = static_cast<uint32_t>(points.size());
  for (size_t i = 0; i < points.size(); i++) {
    const double x = h.get_x(h.get_X(points[i].x));
    const double y = h.get_y(h.get_Y(points[i].y));
    const double z = h.get_z(h.get_Z(points[i].z));
    if (i == 0 || x < h.min_x) h.min_x = x;
    if (i == 0 || x > h.max_x) h.max_x = x;
    if (i == 0 || y < h.min_y) h.min_y = y;
    if (i == 0 || y > h.max_y) h.max_y = y;
    if (i == 0 || z < h.min_z) h.min_z = z;
    if (i == 0 || z > h.max_z) h.max_z = z;
  }
  if (o.extent_as_bounds) {
    h.min_x = g.llx;
    h.min_y = g.lly;
    h.max_x = g.llx + g.ncols * g.cell;
    h.max_y = g.lly + g.nrows * g.cell;
  }
  LASwriterLAS writer;
  if (!writer.open_file(path.c_str(), &h, o.compressor)) return fail(error, "cannot open writer");
  for (const VpkPoint& p : points) {
    point.X = h.get_X(p.x);
    point.Y = h.get_Y(p.y);
    point.Z = h.get_Z(p.z);
    if (!writer.write_one_point(&point)) {
      writer.close_output(false);
      return fail(error, "this build cannot write point records");
    }
  }
  if (writer.close_output(true) <= 0) return fail(error, "cannot close writer");
  return true;
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
