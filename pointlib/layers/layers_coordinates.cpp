#include "layers/layers_coordinates.hpp"

#include "layers/layer_io.hpp"

LASlayerReplaceZRaw::LASlayerReplaceZRaw(LASheader* header, uint32_t mask, const char* description)
    : LASlayer(header, mask, description) {
  type = LAYER_REPLACE;
  fields = LAYER_FIELDS_Z;
  compression = LAYER_RAW;
}

bool LASlayerReplaceZRaw::record_point(const LASpoint* point) {
  if (out_stream == nullptr) return false;
  if (ignores_source(point)) return true;
  if (max_value_bits == 32) return out_stream->write_u32_le(&point->Z);
  const int16_t z =
      static_cast<int16_t>(point->Z < INT16_MIN ? INT16_MIN : point->Z > INT16_MAX ? INT16_MAX
                                                                                   : point->Z);
  return out_stream->write_u16_le(&z);
}

bool LASlayerReplaceZRaw::apply_to_point(LASpoint* point) {
  if (ignores(point)) return true;
  if (max_value_bits == 32) {
    in_stream->read_u32_le(&point->Z);
  } else {
    int16_t z;
    in_stream->read_u16_le(&z);
    point->Z = z;
  }
  return true;
}

bool LASlayerReplaceZRaw::write_specialized_header(ByteStreamOut* out) {
  const uint16_t offset_to_data = 3;
  return layer_io::put(out, offset_to_data,
                       "ERROR: writing layer specialized header offset_to_data\n") &&
         layer_io::put(out, max_value_bits,
                       "ERROR: writing layer specialized header max_value_bits\n");
}

bool LASlayerReplaceZRaw::read_specialized_header(ByteStreamIn* in) {
  uint16_t offset_to_data;
  if (!layer_io::get(in, &offset_to_data,
                     "ERROR: reading layer replace Z raw specialized header offset_to_data\n")) {
    return false;
  }
  if (offset_to_data < 3) {
    std::fprintf(stderr, "ERROR: layer replace Z raw specialized has offset_to_data %d < 3\n",
                 offset_to_data);
    return false;
  }
  if (!layer_io::get(in, &max_value_bits,
                     "ERROR: reading layer replace Z raw specialized header max_value_bits\n")) {
    return false;
  }
  if (max_value_bits != 16 && max_value_bits != 32) {
    std::fprintf(stderr,
                 "ERROR: layer replace Z raw specialized has unsupported max_value_bits of %d\n",
                 max_value_bits);
    return false;
  }
  return layer_io::skip(in, offset_to_data - 3u, "ERROR: reading layer replace Z raw extra bytes\n");
}

LASlayerCoordinatesCompressed::LASlayerCoordinatesCompressed(LASheader* header, uint32_t kind_type,
                                                             uint32_t kind_fields, uint32_t mask,
                                                             const char* description,
                                                             uint32_t axes, uint32_t contexts,
                                                             bool per_return_context)
    : LASlayer(header, mask, description),
      axes(axes),
      contexts(contexts),
      per_return_context(per_return_context),
      replaces(kind_type == LAYER_REPLACE) {
  type = kind_type;
  fields = kind_fields;
  compression = LAYER_POINTWISE;
}

bool LASlayerCoordinatesCompressed::init_read(ByteStreamIn* in) {
  if (!LASlayer::init_read(in) || !coder.start_read(in)) return false;
  residual = std::make_unique<ResidualCoder>(coder.decoder.get(), 32, contexts, 8, 0);
  residual->prepare_decode();
  for (int32_t& p : predictions) p = 0;
  return true;
}

bool LASlayerCoordinatesCompressed::init_write(ByteStreamOut* out) {
  if (!LASlayer::init_write(out) || !coder.start_write(out_stream)) return false;
  residual = std::make_unique<ResidualCoder>(coder.encoder.get(), 32, contexts, 8, 0);
  residual->prepare_encode();
  for (int32_t& p : predictions) p = 0;
  no_point_yet = true;
  return true;
}

void LASlayerCoordinatesCompressed::widen_box(const LASpoint* point) {
  const int32_t xyz[3] = {point->X, point->Y, point->Z};
  for (int a = 0; a < 3; a++) {
    if (no_point_yet) {
      box_min[a] = box_max[a] = xyz[a];
    } else if (xyz[a] < box_min[a]) {
      box_min[a] = xyz[a];
    } else if (xyz[a] > box_max[a]) {
      box_max[a] = xyz[a];
    }
  }
  no_point_yet = false;
}

bool LASlayerCoordinatesCompressed::record_point(const LASpoint* point) {
  const LASpoint* source = source_of(point);
  if (ignores(source)) {
    widen_box(source);
    return true;
  }
  widen_box(point);
  const uint32_t c = per_return_context ? return_context(source) : 0;
  const int32_t now[3] = {point->X, point->Y, point->Z};
  const int32_t before[3] = {source->X, source->Y, source->Z};
  uint32_t k = 0;  // the axis' place among those of the kind
  for (int a = 0; a < 3; a++) {
    if (!(axes & (1u << a))) continue;
    // Differences wrap in 32 bits, as the decoder's sum does.
    const int32_t value =
        replaces ? now[a]
                 : static_cast<int32_t>(static_cast<uint32_t>(now[a]) -
                                        static_cast<uint32_t>(before[a]));
    const uint32_t context = c + 4 * k;
    residual->encode(predictions[context], value, context);
    predictions[context] = value;
    k++;
  }
  return true;
}

bool LASlayerCoordinatesCompressed::apply_to_point(LASpoint* point) {
  if (ignores(point)) return true;
  const uint32_t c = per_return_context ? return_context(point) : 0;
  int32_t* xyz[3] = {&point->X, &point->Y, &point->Z};
  uint32_t k = 0;
  for (int a = 0; a < 3; a++) {
    if (!(axes & (1u << a))) continue;
    const uint32_t context = c + 4 * k;
    const int32_t value = residual->decode(predictions[context], context);
    predictions[context] = value;
    *xyz[a] = replaces ? value
                       : static_cast<int32_t>(static_cast<uint32_t>(*xyz[a]) +
                                              static_cast<uint32_t>(value));
    k++;
  }
  return true;
}

bool LASlayerCoordinatesCompressed::finish_read(ByteStreamIn* in) {
  residual.reset();
  coder.finish_read();
  return LASlayer::finish_read(in);
}

bool LASlayerCoordinatesCompressed::finish_write(ByteStreamOut* out) {
  residual.reset();
  return finish_coded_layer(this, coder, out);
}

bool LASlayerCoordinatesCompressed::adjust_header() {
  if (no_point_yet) return true;
  if (axes & kX) {
    header->max_x = header->get_x(box_max[0]);
    header->min_x = header->get_x(box_min[0]);
  }
  if (axes & kY) {
    header->max_y = header->get_y(box_max[1]);
    header->min_y = header->get_y(box_min[1]);
  }
  if (axes & kZ) {
    header->max_z = header->get_z(box_max[2]);
    header->min_z = header->get_z(box_min[2]);
  }
  return true;
}

LASlayerReplaceZCompressed::LASlayerReplaceZCompressed(LASheader* header, uint32_t mask,
                                                       const char* description)
    : LASlayerCoordinatesCompressed(header, LAYER_REPLACE, LAYER_FIELDS_Z, mask | MODIFY_BOUNDS_Z,
                                    description, kZ, 4, true) {}

LASlayerDiffZCompressed::LASlayerDiffZCompressed(LASheader* header, uint32_t mask,
                                                 const char* description)
    : LASlayerCoordinatesCompressed(header, LAYER_DIFFERENCE, LAYER_FIELDS_Z,
                                    mask | MODIFY_BOUNDS_Z, description, kZ, 4, false) {}

LASlayerDiffXYCompressed::LASlayerDiffXYCompressed(LASheader* header, uint32_t mask,
                                                   const char* description)
    : LASlayerCoordinatesCompressed(header, LAYER_DIFFERENCE, LAYER_FIELDS_XY,
                                    mask | MODIFY_BOUNDS_X | MODIFY_BOUNDS_Y, description, kX | kY,
                                    8, true) {}

LASlayerDiffXYZCompressed::LASlayerDiffXYZCompressed(LASheader* header, uint32_t mask,
                                                     const char* description)
    : LASlayerCoordinatesCompressed(header, LAYER_DIFFERENCE, LAYER_FIELDS_XYZ,
                                    mask | MODIFY_BOUNDS_XYZ, description, kX | kY | kZ, 12, true) {
}
