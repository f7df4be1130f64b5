#ifndef POINTLIB_IO_FORMATS_SIDE_VARIANTS_HPP
#define POINTLIB_IO_FORMATS_SIDE_VARIANTS_HPP

// The rescale, reoffset and rescalereoffset variants of a reader of a format
// that is not LAS: the plain reader with requested scale factors and/or
// offsets. Where they take effect is the plain reader's business
// (request_rescale and request_reoffset): the header's own quantization is
// replaced after the open, or the requested one is chosen during it; either
// way every point arrives quantized with the header's values.

template <class Plain>
class LASsideRescale : public virtual Plain {
 public:
  LASsideRescale(double x_scale, double y_scale, double z_scale) {
    const double scale[3] = {x_scale, y_scale, z_scale};
    this->request_rescale(scale);
  }
};

template <class Plain>
class LASsideReoffset : public virtual Plain {
 public:
  LASsideReoffset(double x_offset, double y_offset, double z_offset) {
    const double offset[3] = {x_offset, y_offset, z_offset};
    this->request_reoffset(offset);
  }
};

template <class Plain>
class LASsideRescaleReoffset : public LASsideRescale<Plain>, public LASsideReoffset<Plain> {
 public:
  LASsideRescaleReoffset(double x_scale, double y_scale, double z_scale, double x_offset,
                         double y_offset, double z_offset)
      : LASsideRescale<Plain>(x_scale, y_scale, z_scale),
        LASsideReoffset<Plain>(x_offset, y_offset, z_offset) {}
};

// The class the read opener makes: both triples, scale factors only, offsets
// only, or neither (null).
template <class Plain>
Plain* side_make_variant(const double* scale, const double* offset) {
  if (scale && offset) {
    return new LASsideRescaleReoffset<Plain>(scale[0], scale[1], scale[2], offset[0], offset[1],
                                             offset[2]);
  }
  if (scale) return new LASsideRescale<Plain>(scale[0], scale[1], scale[2]);
  if (offset) return new LASsideReoffset<Plain>(offset[0], offset[1], offset[2]);
  return new Plain();
}

#endif  // POINTLIB_IO_FORMATS_SIDE_VARIANTS_HPP
