#include "layers/layers_coordinates.hpp"

#include "layers/layer_io.hpp"

namespace {

const layer_io::ByteHeader kZRawHeader = {
    "ERROR: writing layer specialized header offset_to_data\n",
    "ERROR: reading layer replace Z raw specialized header offset_to_data\n",
    "ERROR: layer replace Z raw specialized has offset_to_data",
    "ERROR: reading layer replace Z raw extra bytes\n",
    {{"ERROR: reading layer replace Z raw specialized header max_value_bits\n",
      "ERROR: writing layer specialized header max_value_bits\n"}}};

enum : uint32_t { kX = 1, kY = 2, kZ = 4 };

uint32_t axis_count(uint32_t axes) {
  return (axes & kX ? 1 : 0) + (axes & kY ? 1 : 0) + (axes & kZ ? 1 : 0);
}

}  // namespace

bool LASlayerReplaceZRaw::record_point(const LASpoint* point) {
  if (out_stream == nullptr) return false;
  if (ignores_source(point)) return true;
  if (max_value_bits == 32) return out_stream->write_u32_le(&point->Z);
  const int16_t z = static_cast<int16_t>(point->Z < INT16_MIN   ? INT16_MIN
                                         : point->Z > INT16_MAX ? INT16_MAX
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
  return layer_io::write_byte_header(out, kZRawHeader, {&max_value_bits});
}

bool LASlayerReplaceZRaw::read_specialized_header(ByteStreamIn* in) {
  uint32_t extra;
  if (!layer_io::read_byte_header(in, kZRawHeader, {&max_value_bits}, &extra)) return false;
  if (max_value_bits != 16 && max_value_bits != 32) {
    std::fprintf(stderr,
                 "ERROR: layer replace Z raw specialized has unsupported max_value_bits of %d\n",
                 max_value_bits);
    return false;
  }
  return layer_io::skip(in, extra, kZRawHeader.extra);
}

LASlayerCoordinatesCompressed::LASlayerCoordinatesCompressed(const LayerKindId& kind,
                                                             LASheader* header, uint32_t mask,
                                                             const char* description,
                                                             ContextByReturn context)
    : LASlayerCoded(kind, header, mask, description),
      axes(kind.fields),
      per_return_context(context),
      replaces(kind.type == LAYER_REPLACE) {}

void LASlayerCoordinatesCompressed::start_models() {
  // Four return contexts for each coordinate coded.
  residual = coder.new_residual_coder(4 * axis_count(axes));
  for (int32_t& p : predictions) p = 0;
  no_point_yet = true;
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
    const int32_t value = replaces ? now[a]
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
    *xyz[a] =
        replaces
            ? value
            : static_cast<int32_t>(static_cast<uint32_t>(*xyz[a]) + static_cast<uint32_t>(value));
    k++;
  }
  return true;
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
