#include "layers/layers_attributes.hpp"

#include "layers/layer_io.hpp"

namespace {

// Corrupt layer data shows where the decoded values contradict the format;
// the reader that applies the layers turns the throw into a message.
constexpr int kCorruptLayerData = 4711;

uint32_t low_bits(uint32_t value, uint32_t bits) {
  return bits >= 32 ? value : value & ((1u << bits) - 1u);
}

// Applying a class below 32 sets the legacy class (its flag bits stay) and
// the extended class; a larger value changes nothing.
void apply_class(LASpoint* point, uint32_t value) {
  if (value >= 32) return;
  point->set_classification(static_cast<uint8_t>(value));
  point->set_extended_classification(static_cast<uint8_t>(value));
}

bool raw_value_bits_valid(uint8_t bits) {
  return bits >= 1 && bits <= 32;
}

// The specialized headers and their messages, which differ from kind to kind.
struct RawAttributeHeader {
  layer_io::ByteHeader layout;
  const char* unsupported_bits;  // printed with " %d\n"
};

const RawAttributeHeader kClassificationRawHeader = {
    {"ERROR: writing layer replace classification raw specialized header offset_to_data\n",
     "ERROR: reading layer replace classification raw specialized header offset_to_data\n",
     "ERROR: layer replace classification raw specialized header has offset_to_data",
     "ERROR: reading layer replace classification raw specialized header extra bytes\n",
     {{"ERROR: reading layer replace classification raw specialized header max_value_bits\n",
       "ERROR: writing layer replace classification raw specialized header max_value_bits\n"}}},
    "ERROR: layer replace classification raw specialized header has unsupported max_value_bits "
    "of"};

const RawAttributeHeader kUserDataRawHeader = {
    {"ERROR: writing layer specialized header offset_to_data\n",
     "ERROR: reading layer replace user data raw specialized offset_to_data\n",
     "ERROR: layer replace user data raw specialized has offset_to_data",
     "ERROR: reading layer replace user data raw extra bytes\n",
     {{"ERROR: reading layer replace user data raw specialized header few_values\n",
       "ERROR: writing layer specialized header few_values\n"},
      {"ERROR: reading layer replace user data raw specialized header max_value_bits\n",
       "ERROR: writing layer specialized header max_value_bits\n"}}},
    "ERROR: layer replace user data raw specialized has unsupported max_value_bits of"};

const layer_io::ByteHeader kUserDataCompressedHeader = {
    "ERROR: writing layer specialized header offset_to_data\n",
    "ERROR: reading layer replace user data compressed specialized offset_to_data\n",
    "ERROR: layer replace user data compressed specialized has offset_to_data",
    "ERROR: reading layer replace user data compressed extra bytes\n",
    {{"ERROR: reading layer replace user data compressed specialized header min_value\n",
      "ERROR: writing layer specialized header min_value\n"},
     {"ERROR: reading layer replace user data compressed specialized header max_value\n",
      "ERROR: writing layer specialized header max_value\n"}}};

const layer_io::ByteHeader kIntensityHeader = {
    "ERROR: writing layer specialized header offset_to_data\n",
    "ERROR: reading layer replace intensity compressed specialized offset_to_data\n",
    "ERROR: layer replace intensity compressed specialized has offset_to_data",
    "ERROR: reading layer replace intensity compressed extra bytes\n",
    {{"ERROR: reading layer replace intensity compressed specialized header uses_both_bytes\n",
      "ERROR: writing layer specialized header uses_both_bytes\n"},
     {"ERROR: reading layer replace intensity compressed specialized header uses_lower_byte\n",
      "ERROR: writing layer specialized header uses_lower_byte\n"}}};

}  // namespace

// --- raw dictionary

void RawValueDictionary::add(uint32_t value) {
  values[count++] = value;
  if (count == (1u << index_bits)) index_bits++;
}

bool RawValueDictionary::record(ByteStreamOut* out, uint32_t value, uint32_t value_bits) {
  value = low_bits(value, value_bits);
  if (count > 0) {
    for (uint32_t i = 0; i < count; i++) {
      if (values[i] == value) return out->put_bits(i, index_bits);
    }
    if (!out->put_bits(count, index_bits)) return false;
  }
  // A value of at most 8 bits always finds its place among 256 entries.
  if (count == 256) return false;
  add(value);
  return out->put_bits(value, value_bits);
}

uint32_t RawValueDictionary::apply(ByteStreamIn* in, uint32_t value_bits) {
  const uint32_t i = count == 0 ? 0 : in->get_bits(index_bits);
  if (i < count) return values[i];
  if (i > count || count == 256) throw kCorruptLayerData;
  const uint32_t value = in->get_bits(value_bits);
  add(value);
  return value;
}

// --- raw classification and user data

bool LASlayerReplaceAttributeRaw::init_read(ByteStreamIn* in) {
  dictionary.clear();
  return LASlayer::init_read(in);
}

bool LASlayerReplaceAttributeRaw::init_write(ByteStreamOut* out) {
  dictionary.clear();
  return LASlayer::init_write(out);
}

bool LASlayerReplaceAttributeRaw::record_point(const LASpoint* point) {
  if (ignores_source(point)) return true;
  if (classification()) {
    return dictionary.record(out_stream, point->get_classification(), max_value_bits);
  }
  const uint8_t value = point->get_user_data();
  if (few_values) return dictionary.record(out_stream, value, max_value_bits);
  if (max_value_bits >= 8) return out_stream->write_byte(value);
  return out_stream->put_bits(low_bits(value, max_value_bits), max_value_bits);
}

bool LASlayerReplaceAttributeRaw::apply_to_point(LASpoint* point) {
  if (ignores(point)) return true;
  if (classification()) {
    apply_class(point, dictionary.apply(in_stream, max_value_bits));
  } else if (few_values) {
    point->set_user_data(static_cast<uint8_t>(dictionary.apply(in_stream, max_value_bits)));
  } else if (max_value_bits >= 8) {
    point->set_user_data(static_cast<uint8_t>(in_stream->read_byte()));
  } else {
    point->set_user_data(static_cast<uint8_t>(in_stream->get_bits(max_value_bits)));
  }
  return true;
}

bool LASlayerReplaceAttributeRaw::finish_write(ByteStreamOut* out) {
  if (out_stream && !out_stream->flush_bits()) {
    std::fprintf(stderr, "ERROR: writing the last bits of a raw layer\n");
    return false;
  }
  return LASlayer::finish_write(out);
}

bool LASlayerReplaceAttributeRaw::write_specialized_header(ByteStreamOut* out) {
  if (classification()) {
    return layer_io::write_byte_header(out, kClassificationRawHeader.layout, {&max_value_bits});
  }
  return layer_io::write_byte_header(out, kUserDataRawHeader.layout,
                                     {&few_values, &max_value_bits});
}

bool LASlayerReplaceAttributeRaw::read_specialized_header(ByteStreamIn* in) {
  const RawAttributeHeader& header =
      classification() ? kClassificationRawHeader : kUserDataRawHeader;
  uint32_t extra;
  const bool read =
      classification()
          ? layer_io::read_byte_header(in, header.layout, {&max_value_bits}, &extra)
          : layer_io::read_byte_header(in, header.layout, {&few_values, &max_value_bits}, &extra);
  if (!read) return false;
  if (!raw_value_bits_valid(max_value_bits)) {
    std::fprintf(stderr, "%s %d\n", header.unsupported_bits, max_value_bits);
    return false;
  }
  return layer_io::skip(in, extra, header.layout.extra);
}

// --- compressed classification

bool LASlayerReplaceClassificationCompressed::set_classifications(uint32_t count,
                                                                  const uint32_t* classes,
                                                                  bool unchanged) {
  // The count is one byte on file.
  if ((count && classes == nullptr) || count > 255) {
    std::fprintf(stderr, "ERROR: allocating %u classifications\n", count);
    return false;
  }
  for (uint32_t i = 0; i < count; i++) {
    if (classes[i] >= 256) {
      std::fprintf(stderr, "ERROR: classification[%u] of %u outside valid range\n", i, classes[i]);
      return false;
    }
  }
  classifications.assign(classes, classes + count);
  allow_unchanged = unchanged ? 1 : 0;
  return true;
}

void LASlayerReplaceClassificationCompressed::complete_class_list() {
  if (classifications.empty()) {
    for (uint8_t c = 0; c < 32; c++) classifications.push_back(c);
  }
}

void LASlayerReplaceClassificationCompressed::start_models() {
  complete_class_list();
  symbols = static_cast<uint32_t>(classifications.size()) + (allow_unchanged ? 1u : 0u);
  symbol_models.clear(4 * size_t{symbols}, symbols);
  bit_models.clear(4 * size_t{symbols});
  last = 0;
}

void LASlayerReplaceClassificationCompressed::stop_models() {
  symbol_models.clear(0, 2);
  bit_models.clear(0);
}

bool LASlayerReplaceClassificationCompressed::init_write(ByteStreamOut* out) {
  // The class list is completed first, so that the record shows it whether
  // it is written now or at the end.
  complete_class_list();
  return LASlayerCoded::init_write(out);
}

bool LASlayerReplaceClassificationCompressed::record_point(const LASpoint* point) {
  const LASpoint* source = source_of(point);
  if (ignores(source)) return true;
  const uint32_t n = static_cast<uint32_t>(classifications.size());
  const uint32_t v = point->get_classification();
  uint32_t symbol = n;
  if (symbols == 2) {
    // The first class, else the second class or "unchanged".
    if (v == classifications[0]) {
      symbol = 0;
    } else if ((n > 1 && v == classifications[1]) || allow_unchanged) {
      symbol = 1;
    } else {
      return false;
    }
  } else {
    for (uint32_t i = 0; i < n; i++) {
      if (classifications[i] == v) {
        symbol = i;
        break;
      }
    }
    if (symbol == n && !allow_unchanged) return false;
  }
  // With a single symbol there is nothing to code.
  const size_t slot = return_context(source) * size_t{symbols} + last;
  if (symbols == 2) {
    coder.encoder->put_bit(bit_models.get(slot), symbol);
  } else if (symbols > 2) {
    coder.encoder->put_symbol(symbol_models.get(slot, coder), symbol);
  }
  last = symbol;
  return true;
}

bool LASlayerReplaceClassificationCompressed::apply_to_point(LASpoint* point) {
  if (ignores(point)) return true;
  const size_t slot = return_context(point) * size_t{symbols} + last;
  uint32_t p = 0;
  if (symbols == 2) {
    p = coder.decoder->get_bit(bit_models.get(slot));
  } else if (symbols > 2) {
    p = coder.decoder->get_symbol(symbol_models.get(slot, coder));
  }
  if (p < classifications.size()) apply_class(point, classifications[p]);
  last = p;
  return true;
}

bool LASlayerReplaceClassificationCompressed::write_specialized_header(ByteStreamOut* out) {
  const uint8_t n = static_cast<uint8_t>(classifications.size());
  const uint16_t offset_to_data = static_cast<uint16_t>(n + 4);
  if (!layer_io::put(out, offset_to_data, "ERROR: writing offset_to_data\n") ||
      !layer_io::put(out, n, "ERROR: writing num_classifications\n")) {
    return false;
  }
  for (uint32_t i = 0; i < n; i++) {
    if (!out->write_byte(classifications[i])) {
      std::fprintf(stderr, "ERROR: writing classification[%u]\n", i);
      return false;
    }
  }
  return layer_io::put(out, allow_unchanged, "ERROR: writing allow_unchanged\n");
}

bool LASlayerReplaceClassificationCompressed::read_specialized_header(ByteStreamIn* in) {
  uint16_t offset_to_data;
  uint8_t n;
  if (!layer_io::get(in, &offset_to_data, "ERROR: reading offset_to_data\n") ||
      !layer_io::get(in, &n, "ERROR: reading num_classifications\n")) {
    return false;
  }
  if (offset_to_data < 3u + n + 1u) {
    std::fprintf(stderr, "ERROR: offset_to_data %d < 3+%u+1\n", offset_to_data, n);
    return false;
  }
  classifications.assign(n, 0);
  for (uint32_t i = 0; i < n; i++) {
    char message[64];
    std::snprintf(message, sizeof(message), "ERROR: reading classification_byte[%u]\n", i);
    if (!layer_io::get(in, &classifications[i], message)) return false;
  }
  if (!layer_io::get(in, &allow_unchanged, "ERROR: reading allow_unchanged\n")) return false;
  return layer_io::skip(in, offset_to_data - (4u + n), "ERROR: reading extra bytes\n");
}

// --- compressed user data

bool LASlayerReplaceUserDataCompressed::set_value_range(uint8_t min, uint8_t max) {
  if (max < min) {
    std::fprintf(stderr, "ERROR: user data range from %d to %d is empty\n", min, max);
    return false;
  }
  min_value = min;
  max_value = max;
  return true;
}

void LASlayerReplaceUserDataCompressed::start_models() {
  models.clear(symbols(), symbols());
  last = 0;
}

bool LASlayerReplaceUserDataCompressed::record_point(const LASpoint* point) {
  if (ignores_source(point)) return true;
  const int32_t a = int32_t{point->get_user_data()} - min_value;
  if (a < 0 || a >= static_cast<int32_t>(symbols())) return false;
  // A range of one value leaves nothing to code.
  if (symbols() > 1) coder.encoder->put_symbol(models.get(last, coder), static_cast<uint32_t>(a));
  last = static_cast<uint32_t>(a);
  return true;
}

bool LASlayerReplaceUserDataCompressed::apply_to_point(LASpoint* point) {
  if (ignores(point)) return true;
  const uint32_t a = symbols() > 1 ? coder.decoder->get_symbol(models.get(last, coder)) : 0;
  point->set_user_data(static_cast<uint8_t>(min_value + a));
  last = a;
  return true;
}

bool LASlayerReplaceUserDataCompressed::write_specialized_header(ByteStreamOut* out) {
  return layer_io::write_byte_header(out, kUserDataCompressedHeader, {&min_value, &max_value});
}

bool LASlayerReplaceUserDataCompressed::read_specialized_header(ByteStreamIn* in) {
  uint32_t extra;
  return layer_io::read_byte_header(in, kUserDataCompressedHeader, {&min_value, &max_value},
                                    &extra) &&
         set_value_range(min_value, max_value) &&
         layer_io::skip(in, extra, kUserDataCompressedHeader.extra);
}

// --- flags

uint32_t LASlayerReplaceFlagCompressed::flag_of(const LASpoint* point) const {
  switch (fields) {
    case LAYER_FIELDS_WITHHELD:
      return point->get_withheld_flag();
    case LAYER_FIELDS_SYNTHETIC:
      return point->get_synthetic_flag();
    case LAYER_FIELDS_KEYPOINT:
      return point->get_keypoint_flag();
    default:
      return point->get_extended_overlap_flag();
  }
}

void LASlayerReplaceFlagCompressed::set_flag(LASpoint* point, uint32_t bit) const {
  const uint8_t b = static_cast<uint8_t>(bit);
  switch (fields) {
    case LAYER_FIELDS_WITHHELD:
      point->set_withheld_flag(b);
      point->set_extended_withheld_flag(b);
      break;
    case LAYER_FIELDS_SYNTHETIC:
      point->set_synthetic_flag(b);
      point->set_extended_synthetic_flag(b);
      break;
    case LAYER_FIELDS_KEYPOINT:
      point->set_keypoint_flag(b);
      point->set_extended_keypoint_flag(b);
      break;
    default:
      point->set_extended_overlap_flag(b);
  }
}

void LASlayerReplaceFlagCompressed::start_models() {
  models.clear(8);
  last = 0;
}

bool LASlayerReplaceFlagCompressed::record_point(const LASpoint* point) {
  const LASpoint* source = source_of(point);
  if (ignores(source)) return true;
  const uint32_t bit = flag_of(point);
  coder.encoder->put_bit(models.get(return_context(source) * 2 + last), bit);
  last = bit;
  return true;
}

bool LASlayerReplaceFlagCompressed::apply_to_point(LASpoint* point) {
  if (ignores(point)) return true;
  last = coder.decoder->get_bit(models.get(return_context(point) * 2 + last));
  set_flag(point, last);
  return true;
}

// --- intensity

bool LASlayerReplaceIntensityCompressed::set_byte_use(bool lower_byte_zero, bool upper_byte_zero) {
  if (lower_byte_zero && upper_byte_zero) return false;
  bytes.uses_both_bytes = !lower_byte_zero && !upper_byte_zero;
  bytes.uses_lower_byte = upper_byte_zero;
  return true;
}

bool LASlayerReplaceIntensityCompressed::record_point(const LASpoint* point) {
  if (ignores_source(point)) return true;
  bytes.encode(coder.encoder.get(), point->get_intensity());
  return true;
}

bool LASlayerReplaceIntensityCompressed::apply_to_point(LASpoint* point) {
  if (ignores(point)) return true;
  point->set_intensity(bytes.decode(coder.decoder.get()));
  return true;
}

bool LASlayerReplaceIntensityCompressed::write_specialized_header(ByteStreamOut* out) {
  return layer_io::write_byte_header(out, kIntensityHeader,
                                     {&bytes.uses_both_bytes, &bytes.uses_lower_byte});
}

bool LASlayerReplaceIntensityCompressed::read_specialized_header(ByteStreamIn* in) {
  return layer_io::read_whole_byte_header(in, kIntensityHeader,
                                          {&bytes.uses_both_bytes, &bytes.uses_lower_byte});
}

// --- extended LAS 1.4 attributes

void LASlayerReplaceExtendedLAS14AttributesCompressed::start_models() {
  scan_angle = coder.new_residual_coder(8);
  returns = coder.new_symbol_model(256);
  classification = coder.new_symbol_model(256);
  channel_overlap = coder.new_symbol_model(8);
}

void LASlayerReplaceExtendedLAS14AttributesCompressed::stop_models() {
  scan_angle.reset();
  returns.reset();
  classification.reset();
  channel_overlap.reset();
}

bool LASlayerReplaceExtendedLAS14AttributesCompressed::record_point(const LASpoint* point) {
  if (ignores_source(point)) return true;
  IntervalEncoder* enc = coder.encoder.get();
  scan_angle->encode(0, point->get_extended_scan_angle(), 0);
  enc->put_symbol(returns.get(), (point->get_extended_number_of_returns() & 15u) |
                                     ((point->get_extended_return_number() & 15u) << 4));
  enc->put_symbol(classification.get(), point->get_extended_classification());
  enc->put_symbol(channel_overlap.get(),
                  2u * point->get_extended_scanner_channel() + point->get_extended_overlap_flag());
  return true;
}

bool LASlayerReplaceExtendedLAS14AttributesCompressed::apply_to_point(LASpoint* point) {
  if (ignores(point)) return true;
  IntervalDecoder* dec = coder.decoder.get();
  point->set_extended_scan_angle(static_cast<int16_t>(scan_angle->decode(0, 0)));
  const uint32_t r = dec->get_symbol(returns.get());
  point->set_extended_number_of_returns(static_cast<uint8_t>(r & 15u));
  point->set_extended_return_number(static_cast<uint8_t>(r >> 4));
  point->set_extended_classification(static_cast<uint8_t>(dec->get_symbol(classification.get())));
  const uint32_t co = dec->get_symbol(channel_overlap.get());
  point->set_extended_scanner_channel(static_cast<uint8_t>(co >> 1));
  point->set_extended_overlap_flag(static_cast<uint8_t>(co & 1u));
  return true;
}

bool LASlayerReplaceExtendedLAS14AttributesCompressed::update_point_layout(
    LASheader* reading_header, LASpoint* point) {
  return point->init_for_point_type(reading_header, reading_header->point_data_format,
                                    reading_header->point_data_record_length, reading_header);
}

bool LASlayerReplaceExtendedLAS14AttributesCompressed::write_specialized_header(
    ByteStreamOut* out) {
  // This kind's offset counts only the bytes behind the field.
  const uint16_t offset_to_data = 0;
  return layer_io::put(out, offset_to_data,
                       "ERROR: writing layer specialized header offset_to_data\n");
}

bool LASlayerReplaceExtendedLAS14AttributesCompressed::read_specialized_header(ByteStreamIn* in) {
  uint16_t offset_to_data;
  return layer_io::get(in, &offset_to_data,
                       "ERROR: reading layer replace extended attributes specialized header "
                       "offset_to_data\n") &&
         layer_io::skip(in, offset_to_data,
                        "ERROR: reading layer replace extended attributes extra bytes\n");
}
