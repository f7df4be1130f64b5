#include "layers/layers_colour.hpp"

#include "layers/layer_io.hpp"

namespace {

int32_t clamp_byte(int32_t v) {
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

uint32_t mod256(int32_t v) {
  return static_cast<uint32_t>(v) & 0xFFu;
}

// A point that gets colour it did not carry grows by the channels' bytes.
void add_rgb(LASheader* header, LASpoint* point) {
  if (point->have_rgb) return;
  point->have_rgb = true;
  point->total_point_size += 6;
  header->point_data_record_length = static_cast<uint16_t>(header->point_data_record_length + 6);
}

const layer_io::ByteHeader kRGBRawHeader = {
    "ERROR: writing layer specialized header offset_to_data\n",
    "ERROR: reading layer add RGB raw specialized offset_to_data\n",
    "ERROR: layer add RGB raw specialized has offset_to_data",
    "ERROR: reading layer add RGB raw extra bytes\n",
    {{"ERROR: reading layer add RGB raw specialized header lower_byte_zero\n",
      "ERROR: writing layer specialized header lower_byte_zero\n"}}};

// Of RGB and near infrared both; writing clear_ignored fails with the
// message of uses_lower_byte.
const layer_io::ByteHeader kColourCompressedHeader = {
    "ERROR: writing layer specialized header offset_to_data\n",
    "ERROR: reading layer add RGB compressed specialized offset_to_data\n",
    "ERROR: layer add RGB compressed specialized has offset_to_data",
    "ERROR: reading layer add RGB compressed extra bytes\n",
    {{"ERROR: reading layer add RGB compressed specialized header uses_both_bytes\n",
      "ERROR: writing layer specialized header uses_both_bytes\n"},
     {"ERROR: reading layer add RGB compressed specialized header uses_lower_byte\n",
      "ERROR: writing layer specialized header uses_lower_byte\n"},
     {"ERROR: reading layer add RGB compressed specialized header clear_ignored\n",
      "ERROR: writing layer specialized header uses_lower_byte\n"}}};

}  // namespace

// --- raw RGB

bool LASlayerAddRGBRaw::record_point(const LASpoint* point) {
  if (out_stream == nullptr) return false;
  if (ignores_source(point)) return true;
  return out_stream->write_u16_le(&point->rgb[0]) && out_stream->write_u16_le(&point->rgb[1]) &&
         out_stream->write_u16_le(&point->rgb[2]);
}

bool LASlayerAddRGBRaw::apply_to_point(LASpoint* point) {
  if (in_stream == nullptr) return false;
  if (ignores(point)) {
    if (clear_ignored) point->rgb[0] = point->rgb[1] = point->rgb[2] = 0;
    return true;
  }
  for (int i = 0; i < 3; i++) in_stream->read_u16_le(&point->rgb[i]);
  return true;
}

bool LASlayerAddRGBRaw::write_specialized_header(ByteStreamOut* out) {
  return layer_io::write_byte_header(out, kRGBRawHeader, {&lower_byte_zero});
}

bool LASlayerAddRGBRaw::read_specialized_header(ByteStreamIn* in) {
  return layer_io::read_whole_byte_header(in, kRGBRawHeader, {&lower_byte_zero});
}

// --- compressed colour, shared

bool LASlayerAddColourCompressed::write_specialized_header(ByteStreamOut* out) {
  return layer_io::write_byte_header(out, kColourCompressedHeader,
                                     {&uses_both_bytes, &uses_lower_byte, &clear_ignored});
}

bool LASlayerAddColourCompressed::read_specialized_header(ByteStreamIn* in) {
  return layer_io::read_whole_byte_header(in, kColourCompressedHeader,
                                          {&uses_both_bytes, &uses_lower_byte, &clear_ignored});
}

// --- compressed RGB

void LASlayerAddRGBCompressed::start_models() {
  mask = coder.new_symbol_model(uses_both_bytes ? 128 : 16);
  const int n = uses_both_bytes ? 6 : 3;
  for (int i = 0; i < 6; i++) {
    bytes[i] = i < n ? coder.new_symbol_model(256) : nullptr;
  }
  last[0] = last[1] = last[2] = 0;
}

void LASlayerAddRGBCompressed::stop_models() {
  mask.reset();
  for (auto& m : bytes) m.reset();
}

bool LASlayerAddRGBCompressed::update_point_layout(LASheader* reading_header, LASpoint* point) {
  add_rgb(reading_header, point);
  return true;
}

bool LASlayerAddRGBCompressed::record_point(const LASpoint* point) {
  if (ignores_source(point)) return true;
  if (uses_both_bytes) {
    record_both_bytes(point);
  } else {
    record_one_byte(point);
  }
  return true;
}

bool LASlayerAddRGBCompressed::apply_to_point(LASpoint* point) {
  if (ignores(point)) {
    if (clear_ignored) point->rgb[0] = point->rgb[1] = point->rgb[2] = 0;
    return true;
  }
  if (uses_both_bytes) {
    apply_both_bytes(point);
  } else {
    apply_one_byte(point);
  }
  return true;
}

void LASlayerAddRGBCompressed::record_one_byte(const LASpoint* point) {
  IntervalEncoder* enc = coder.encoder.get();
  int32_t c[3];
  for (int i = 0; i < 3; i++) {
    c[i] = uses_lower_byte ? (point->rgb[i] & 0xFF) : (point->rgb[i] >> 8);
  }
  const int32_t lr = last[0], lg = last[1], lb = last[2];
  const uint32_t m = (c[0] != lr ? 1u : 0u) | (c[1] != lg ? 2u : 0u) | (c[2] != lb ? 4u : 0u) |
                     (c[0] == c[1] && c[1] == c[2] ? 0u : 8u);
  enc->put_symbol(mask.get(), m);
  if (m & 1u) enc->put_symbol(bytes[0].get(), mod256(c[0] - lr));
  if (m & 8u) {
    const int32_t d = c[0] - lr;
    if (m & 2u) enc->put_symbol(bytes[1].get(), mod256(c[1] - clamp_byte(lg + d)));
    if (m & 4u)
      enc->put_symbol(bytes[2].get(), mod256(c[2] - clamp_byte(lb + (d + c[1] - lg) / 2)));
  }
  for (int i = 0; i < 3; i++) last[i] = static_cast<uint16_t>(c[i]);
}

void LASlayerAddRGBCompressed::apply_one_byte(LASpoint* point) {
  IntervalDecoder* dec = coder.decoder.get();
  const int32_t lr = last[0], lg = last[1], lb = last[2];
  const uint32_t m = dec->get_symbol(mask.get());
  int32_t r = lr, g, b;
  if (m & 1u)
    r = static_cast<int32_t>(mod256(lr + static_cast<int32_t>(dec->get_symbol(bytes[0].get()))));
  if (m & 8u) {
    const int32_t d = r - lr;
    g = lg;
    b = lb;
    if (m & 2u) {
      g = static_cast<int32_t>(
          mod256(clamp_byte(lg + d) + static_cast<int32_t>(dec->get_symbol(bytes[1].get()))));
    }
    if (m & 4u) {
      b = static_cast<int32_t>(mod256(clamp_byte(lb + (d + g - lg) / 2) +
                                      static_cast<int32_t>(dec->get_symbol(bytes[2].get()))));
    }
  } else {
    g = b = r;
  }
  const int32_t c[3] = {r, g, b};
  for (int i = 0; i < 3; i++) {
    last[i] = static_cast<uint16_t>(c[i]);
    point->rgb[i] = static_cast<uint16_t>(uses_lower_byte ? c[i] : c[i] << 8);
  }
}

void LASlayerAddRGBCompressed::record_both_bytes(const LASpoint* point) {
  IntervalEncoder* enc = coder.encoder.get();
  int32_t lo[3], hi[3], llo[3], lhi[3];
  for (int i = 0; i < 3; i++) {
    lo[i] = point->rgb[i] & 0xFF;
    hi[i] = point->rgb[i] >> 8;
    llo[i] = last[i] & 0xFF;
    lhi[i] = last[i] >> 8;
  }
  uint32_t m = 0;
  for (int i = 0; i < 3; i++) {
    if (lo[i] != llo[i]) m |= 1u << (2 * i);
    if (hi[i] != lhi[i]) m |= 2u << (2 * i);
  }
  const bool grey = point->rgb[0] == point->rgb[1] && point->rgb[1] == point->rgb[2];
  if (!grey) m |= 64u;
  enc->put_symbol(mask.get(), m);
  if (m & 1u) enc->put_symbol(bytes[0].get(), mod256(lo[0] - llo[0]));
  if (m & 2u) enc->put_symbol(bytes[3].get(), mod256(hi[0] - lhi[0]));
  if (m & 64u) {
    const int32_t dl = lo[0] - llo[0], dh = hi[0] - lhi[0];
    if (m & 4u) enc->put_symbol(bytes[1].get(), mod256(lo[1] - clamp_byte(llo[1] + dl)));
    if (m & 16u) {
      enc->put_symbol(bytes[2].get(),
                      mod256(lo[2] - clamp_byte(llo[2] + (dl + lo[1] - llo[1]) / 2)));
    }
    if (m & 8u) enc->put_symbol(bytes[4].get(), mod256(hi[1] - clamp_byte(lhi[1] + dh)));
    if (m & 32u) {
      enc->put_symbol(bytes[5].get(),
                      mod256(hi[2] - clamp_byte(lhi[2] + (dh + hi[1] - lhi[1]) / 2)));
    }
  }
  for (int i = 0; i < 3; i++) last[i] = point->rgb[i];
}

void LASlayerAddRGBCompressed::apply_both_bytes(LASpoint* point) {
  IntervalDecoder* dec = coder.decoder.get();
  int32_t llo[3], lhi[3];
  for (int i = 0; i < 3; i++) {
    llo[i] = last[i] & 0xFF;
    lhi[i] = last[i] >> 8;
  }
  auto next = [&](int model, int32_t prediction) {
    return static_cast<int32_t>(
        mod256(prediction + static_cast<int32_t>(dec->get_symbol(bytes[model].get()))));
  };
  const uint32_t m = dec->get_symbol(mask.get());
  int32_t lo[3], hi[3];
  lo[0] = m & 1u ? next(0, llo[0]) : llo[0];
  hi[0] = m & 2u ? next(3, lhi[0]) : lhi[0];
  if (m & 64u) {
    const int32_t dl = lo[0] - llo[0], dh = hi[0] - lhi[0];
    lo[1] = m & 4u ? next(1, clamp_byte(llo[1] + dl)) : llo[1];
    lo[2] = m & 16u ? next(2, clamp_byte(llo[2] + (dl + lo[1] - llo[1]) / 2)) : llo[2];
    hi[1] = m & 8u ? next(4, clamp_byte(lhi[1] + dh)) : lhi[1];
    hi[2] = m & 32u ? next(5, clamp_byte(lhi[2] + (dh + hi[1] - lhi[1]) / 2)) : lhi[2];
  } else {
    lo[1] = lo[2] = lo[0];
    hi[1] = hi[2] = hi[0];
  }
  for (int i = 0; i < 3; i++) {
    last[i] = static_cast<uint16_t>((hi[i] << 8) | lo[i]);
    point->rgb[i] = last[i];
  }
}

// --- compressed near infrared

void LASlayerAddNIRCompressed::start_models() {
  nir.uses_both_bytes = uses_both_bytes;
  nir.uses_lower_byte = uses_lower_byte;
  nir.start(coder);
}

bool LASlayerAddNIRCompressed::update_point_layout(LASheader* reading_header, LASpoint* point) {
  add_rgb(reading_header, point);
  if (!point->have_nir) {
    point->have_nir = true;
    point->total_point_size += 2;
    reading_header->point_data_record_length =
        static_cast<uint16_t>(reading_header->point_data_record_length + 2);
  }
  return true;
}

bool LASlayerAddNIRCompressed::record_point(const LASpoint* point) {
  if (ignores_source(point)) return true;
  nir.encode(coder.encoder.get(), point->get_NIR());
  return true;
}

bool LASlayerAddNIRCompressed::apply_to_point(LASpoint* point) {
  if (ignores(point)) {
    if (clear_ignored) point->set_NIR(0);
    return true;
  }
  point->set_NIR(nir.decode(coder.decoder.get()));
  return true;
}
