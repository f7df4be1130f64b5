#include "layers/layers_point_sets.hpp"

#include <cstring>

#include "layers/layer_io.hpp"

namespace {

// The option parsers split their text in place.
std::vector<char> writable_copy(const std::string& text) {
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');
  return copy;
}

}  // namespace

bool LASlayerCounting::put_counts(const LASpointInventory& inventory, LASheader* header) {
  if (inventory.number_of_point_records == 0) return true;
  return inventory.write_to_header(header);
}

// --- delete

void LASlayerDeletePointsCompressed::start_models() {
  models.clear(2);
  last = 0;
}

bool LASlayerDeletePointsCompressed::record_point(const LASpoint* point) {
  const LASpoint* source = source_of(point);
  if (!point->deleted_flag) inventory.count_point(*source);
  if (ignores(source)) return true;
  const uint32_t bit = point->deleted_flag ? 1u : 0u;
  coder.encoder->put_bit(models.get(last), bit);
  last = bit;
  return true;
}

bool LASlayerDeletePointsCompressed::apply_to_point(LASpoint* point) {
  if (ignores(point)) return true;
  last = coder.decoder->get_bit(models.get(last));
  point->deleted_flag = static_cast<uint8_t>(last);
  return true;
}

// --- append

bool LASlayerAppendPointsRaw::init_write(ByteStreamOut* out) {
  if (!LASlayer::init_write(out)) return false;
  counter = 0;
  first_appended = header->number_of_point_records ? header->number_of_point_records
                                                   : header->extended_number_of_point_records;
  if (!out_stream->write_u64_le(&first_appended)) {
    std::fprintf(stderr, "ERROR: writing first_appended\n");
    return false;
  }
  // The count of recorded points is known only at the end.
  end_count_position = out_stream->position();
  end_count = 0;
  if (!out_stream->write_u64_le(&end_count)) {
    std::fprintf(stderr, "ERROR: writing end_count\n");
    return false;
  }
  return true;
}

bool LASlayerAppendPointsRaw::record_point(const LASpoint* point) {
  const LASpoint* source = source_of(point);
  if (counter >= first_appended) {
    // The 20 bytes of a format 0 record are the first 20 of the point's data.
    if (!out_stream->write_bytes(source->raw(), 20)) return false;
    if (source->have_gps_time && !out_stream->write_u64_le(&source->gps_time)) return false;
  }
  inventory.count_point(*source);
  counter++;
  return true;
}

bool LASlayerAppendPointsRaw::finish_write(ByteStreamOut* out) {
  if (out_stream) {
    const int64_t end = out_stream->position();
    end_count = counter;
    if (!out_stream->seek_to(end_count_position) || !out_stream->write_u64_le(&end_count) ||
        !out_stream->seek_to(end)) {
      std::fprintf(stderr, "ERROR: updating end_count\n");
      return false;
    }
  }
  return LASlayer::finish_write(out);
}

bool LASlayerAppendPointsRaw::init_read(ByteStreamIn* in) {
  if (!LASlayer::init_read(in)) return false;
  counter = 0;
  return layer_io::get(in, &first_appended, "ERROR: reading first_appended\n") &&
         layer_io::get(in, &end_count, "ERROR: reading end_count\n");
}

bool LASlayerAppendPointsRaw::apply_to_point(LASpoint* point) {
  if (counter < first_appended) {
    counter++;
    return true;
  }
  if (counter >= end_count) return false;
  in_stream->read_bytes(point->raw(), 20);
  if (point->have_gps_time) in_stream->read_u64_le(&point->gps_time);
  counter++;
  return true;
}

// --- filter and transform

LASlayerCommand::LASlayerCommand(const LayerKindId& kind, LASheader* header, uint32_t mask,
                                 const char* description)
    : LASlayerCounting(kind, header, mask, description),
      word(kind.type == LAYER_FILTER ? "filter" : "transform") {}

bool LASlayerCommand::init_read(ByteStreamIn* in) {
  return LASlayer::init_read(in) && parse(true);
}

bool LASlayerCommand::init_write(ByteStreamOut* out) {
  return LASlayer::init_write(out) && parse(false);
}

bool LASlayerCommand::finish_read(ByteStreamIn* in) {
  clear();
  return LASlayer::finish_read(in);
}

bool LASlayerCommand::finish_write(ByteStreamOut* out) {
  clear();
  return LASlayer::finish_write(out);
}

bool LASlayerCommand::record_point(const LASpoint* point) {
  inventory.count_point(*source_of(point));
  return true;
}

bool LASlayerCommand::write_specialized_header(ByteStreamOut* out) {
  if (command.size() > 65531u) {
    std::fprintf(stderr, "ERROR: writing layer %s specialized header length of %s string\n", word,
                 word);
    return false;
  }
  const uint16_t length = static_cast<uint16_t>(command.size());
  const uint16_t offset_to_data = static_cast<uint16_t>(length + 4);
  if (!out->write_u16_le(&offset_to_data)) {
    std::fprintf(stderr, "ERROR: writing layer %s specialized header offset_to_data\n", word);
    return false;
  }
  if (!out->write_u16_le(&length)) {
    std::fprintf(stderr, "ERROR: writing layer %s specialized header length of %s string\n", word,
                 word);
    return false;
  }
  if (length && !out->write_bytes(reinterpret_cast<const uint8_t*>(command.data()), length)) {
    std::fprintf(stderr, "ERROR: writing layer %s specialized header %s string\n", word, word);
    return false;
  }
  return true;
}

bool LASlayerCommand::read_specialized_header(ByteStreamIn* in) {
  uint16_t offset_to_data, length;
  char message[96];
  std::snprintf(message, sizeof(message),
                "ERROR: reading layer %s specialized header offset_to_data\n", word);
  if (!layer_io::get(in, &offset_to_data, message)) return false;
  if (offset_to_data < 4) {
    std::fprintf(stderr, "ERROR: layer %s specialized header has offset_to_data %d < 4\n", word,
                 offset_to_data);
    return false;
  }
  std::snprintf(message, sizeof(message),
                "ERROR: reading layer %s specialized header length of %s string\n", word, word);
  if (!layer_io::get(in, &length, message)) return false;
  // The string lies inside the specialized header.
  if (offset_to_data < 4u + length) {
    std::fprintf(stderr, "ERROR: layer %s specialized header has offset_to_data %d < 4+%d\n", word,
                 offset_to_data, length);
    return false;
  }
  std::snprintf(message, sizeof(message), "ERROR: reading layer %s specialized header %s string\n",
                word, word);
  std::vector<char> text(length);
  if (length && !layer_io::get_bytes(in, text.data(), length, message)) return false;
  command.assign(text.data(), length);
  // A NUL inside the stored bytes ends the text, as it would for the parser.
  command.resize(std::strlen(command.c_str()));
  std::snprintf(message, sizeof(message),
                "ERROR: reading layer %s specialized header extra bytes\n", word);
  return layer_io::skip(in, offset_to_data - 4u - length, message);
}

bool LASlayerFilter::parse(bool) {
  filter.remove_all();
  std::vector<char> text = writable_copy(command);
  return filter.take_argument_string(text.data());
}

bool LASlayerFilter::apply_to_point(LASpoint* point) {
  if (filter.rejects(point)) point->deleted_flag = 1;
  return true;
}

bool LASlayerTransform::parse(bool reading) {
  transform.remove_all();
  std::vector<char> text = writable_copy(command);
  if (!transform.take_argument_string(text.data())) return false;
  if (reading && command.find("-filtered_transform") != std::string::npos) {
    auto filter = std::make_unique<LASfilter>();
    text = writable_copy(command);
    if (!filter->take_argument_string(text.data())) return false;
    if (filter->count() > 0) transform.attach_filter(filter.release());
  }
  return true;
}

bool LASlayerTransform::apply_to_point(LASpoint* point) {
  transform.apply(point);
  return true;
}

// --- add VLR

void LASlayerAddVLR::set_record(const char* id, uint16_t record, uint16_t length,
                                const uint8_t* payload, bool append_record) {
  std::memset(user_id, 0, sizeof(user_id));
  if (id) std::memcpy(user_id, id, strnlen(id, sizeof(user_id)));
  record_id = record;
  record_length_after_header = payload ? length : 0;
  data.assign(payload, payload + record_length_after_header);
  append = append_record;
}

bool LASlayerAddVLR::init_read(ByteStreamIn* in) {
  if (!LASlayer::init_read(in)) return false;
  std::unique_ptr<uint8_t[]> payload;
  if (record_length_after_header) {
    payload.reset(new uint8_t[record_length_after_header]);
    std::memcpy(payload.get(), data.data(), record_length_after_header);
  }
  char id[17] = {};
  std::memcpy(id, user_id, 16);
  header->insert_vlr(id, record_id, record_length_after_header, std::move(payload), false,
                     LASheader::kDefaultDescription, append);
  return true;
}

bool LASlayerAddVLR::write_specialized_header(ByteStreamOut* out) {
  const uint32_t offset_to_data = uint32_t{record_length_after_header} + 24;
  return layer_io::put(out, offset_to_data,
                       "ERROR: writing layer add vlr specialized header offset_to_data\n") &&
         layer_io::put_bytes(out, user_id, 16,
                             "ERROR: writing layer add vlr specialized header user_id\n") &&
         layer_io::put(out, record_id,
                       "ERROR: writing layer add vlr specialized header record_id\n") &&
         layer_io::put(
             out, record_length_after_header,
             "ERROR: writing layer add vlr specialized header record_length_after_header\n") &&
         layer_io::put_bytes(out, data.data(), record_length_after_header,
                             "ERROR: writing layer add vlr specialized header data\n");
}

bool LASlayerAddVLR::read_specialized_header(ByteStreamIn* in) {
  uint32_t offset_to_data;
  if (!layer_io::get(in, &offset_to_data,
                     "ERROR: reading layer add vlr specialized header offset_to_data\n")) {
    return false;
  }
  if (offset_to_data < 24) {
    std::fprintf(stderr, "ERROR: layer add vlr specialized header has offset_to_data %d < 24\n",
                 static_cast<int>(offset_to_data));
    return false;
  }
  if (!layer_io::get_bytes(in, user_id, 16,
                           "ERROR: reading layer add vlr specialized header user_id\n") ||
      !layer_io::get(in, &record_id,
                     "ERROR: reading layer add vlr specialized header record_id\n") ||
      !layer_io::get(
          in, &record_length_after_header,
          "ERROR: reading layer add vlr specialized header record_length_after_header\n")) {
    return false;
  }
  if (offset_to_data < 24u + record_length_after_header) {
    std::fprintf(stderr, "ERROR: layer add vlr specialized header has offset_to_data %u < 24+%u\n",
                 offset_to_data, record_length_after_header);
    return false;
  }
  data.assign(record_length_after_header, 0);
  if (record_length_after_header &&
      !layer_io::get_bytes(in, data.data(), record_length_after_header,
                           "ERROR: reading layer add vlr specialized header data\n")) {
    return false;
  }
  append = false;
  return layer_io::skip(in, offset_to_data - 24u - record_length_after_header,
                        "ERROR: reading layer add vlr specialized header extra bytes\n");
}
