#include "sr_reader.hpp"
#include "platform/run_messages.hpp"

#include <cinttypes>
#include <cmath>
#include <cstdio>

bool sr_round(double quotient, int32_t* out) {
  if (std::isnan(quotient)) return false;
  double r = std::trunc(quotient >= 0.0 ? quotient + 0.5 : quotient - 0.5);
  if (!(r >= static_cast<double>(SR_VALUE_MIN) && r <= static_cast<double>(INT32_MAX))) {
    return false;
  }
  *out = static_cast<int32_t>(r);
  return true;
}

bool sr_quantize(double v, double offset, double scale, int32_t* out) {
  return sr_round((v - offset) / scale, out);
}

SRreader::SRreader() {
  for (int i = 0; i < 10; i++) {
    value[i] = -1;
    scale[i] = 1.0;
    offset[i] = 0.0;
  }
}

void SRreader::set_rescale(double new_scale) {
  rescale = true;
  for (double& s : scale) s = new_scale;
}

void SRreader::close(bool) {}

void SRreader::world_to_raster(const double* xyz, float* rc) const {
  rc[0] = static_cast<float>((xyz[0] - llx) / stepx - 0.5);
  rc[1] = static_cast<float>((ury - xyz[1]) / stepy - 0.5);
  rc[2] = static_cast<float>(xyz[2]);
}

void SRreader::raster_to_world(const float* rc, double* xyz) const {
  xyz[0] = rc[0] * stepx + llx;
  xyz[1] = ury - rc[1] * stepy;
  xyz[2] = rc[2];
}

void SRreader::finish_count(const char* reader_name) {
  if (r_count != -1) {
    int64_t cells = static_cast<int64_t>(nrows) * static_cast<int64_t>(ncols);
    if (r_count != cells) {
      print_note("WARNING (%s): r_count is %" PRId64 " but nrows (%d) * ncols (%d) is %" PRId64
                 "\n",
                 reader_name, r_count, nrows, ncols, cells);
    }
  }
  r_count = -1;
}

bool SRreader::store_float_sample(double v, bool is_nodata_sample, bool nodata_is_nan,
                                  const char* reader_name) {
  cell_nodata = is_nodata_sample || (nodata_is_nan && std::isnan(v));
  if (cell_nodata) {
    value[0] = nodata;
    return true;
  }
  if (std::isnan(v)) {
    value[0] = SR_VALUE_NAN;
    return true;
  }
  if (!sr_quantize(v, offset[0], scale[0], &value[0])) {
    fprintf(stderr, "ERROR in %s::read_value(): value %g has no 32-bit integer at quantum %g\n",
            reader_name, v, scale[0]);
    return false;
  }
  return true;
}

int32_t SRreader::quantize_nodata(double nodata_value) const {
  int32_t q;
  if (!sr_quantize(nodata_value, offset[0], scale[0], &q)) return SR_NODATA_NO_INT;
  return q;
}
